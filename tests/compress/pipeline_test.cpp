// The pieces of the run: the deflate step, the pool, the report lines.
#include <gtest/gtest.h>
#include <gmock/gmock.h>

#include "compress/blob_deflate.h"
#include "compress/deflate_pool.h"
#include "compress/report_lines.h"
#include "data_table.h"

namespace tabulor::compress::testing {
namespace {

using ::testing::ElementsAre;

TEST(DeflateBlobTest, SameStreamAsZlibsOneShotCompressionWhateverTheSize) {
  for (const auto& [images, dim] : std::vector<std::pair<int, int>>{{1, 1}, {101, 200}, {2000, 400}}) {
    const db::Blob raw = Acquisition(images, dim, images);
    const db::Blob stored = DeflateBlob(raw);
    EXPECT_EQ(stored, Deflated(raw)) << images << " x " << dim;
    EXPECT_EQ(InflateWhole(stored), raw);
  }
  // Bytes that do not compress need more room than the first guess.
  db::Blob noise(1 << 20);
  uint32_t x = 1;
  for (auto& b : noise) b = static_cast<uint8_t>((x = x * 1664525u + 1013904223u) >> 24);
  EXPECT_EQ(InflateWhole(DeflateBlob(noise)), noise);
}

TEST(DeflatePoolTest, ResultsComeBackForTheirOwnBlobs) {
  DeflatePool pool(3);
  EXPECT_EQ(pool.Workers(), 3);
  std::vector<db::Blob> raws;
  std::vector<std::future<db::Blob>> results;
  for (int i = 0; i < 40; ++i) {
    raws.push_back(Acquisition(50 + 13 * i, 200, i));
    results.push_back(pool.Submit(raws.back()));
  }
  for (int i = 0; i < 40; ++i) EXPECT_EQ(InflateWhole(results[i].get()), raws[i]) << i;
}

TEST(DeflatePoolTest, DroppingThePoolWithWorkQueuedJoinsItsThreads) {
  std::vector<std::future<db::Blob>> results;
  {
    DeflatePool pool(1);
    for (int i = 0; i < 20; ++i) results.push_back(pool.Submit(Acquisition(1000, 400, i)));
  }
  int done = 0, dropped = 0;
  for (auto& r : results) {
    try {
      r.get();
      ++done;
    } catch (const std::future_error&) {
      ++dropped;
    }
  }
  EXPECT_EQ(done + dropped, 20);
  EXPECT_GT(dropped, 0);
}

TEST(ReportLinesTest, ReplacesExistingLinesAndExtendsWithEmptyOnes) {
  ReportLines report;
  EXPECT_EQ(report.Put(1, "start"), 1);
  EXPECT_EQ(report.Put(3, "first"), 2);
  EXPECT_EQ(report.Put(4, "second"), 1);
  EXPECT_THAT(report.Lines(), ElementsAre("start", "", "first", "second"));
  EXPECT_EQ(report.Put(1, "again"), 0);
  EXPECT_EQ(report.Put(3, "other"), 0);
  EXPECT_THAT(report.Lines(), ElementsAre("again", "", "other", "second"));
  EXPECT_THROW(report.Put(0, "x"), std::out_of_range);
}

}  // namespace
}  // namespace tabulor::compress::testing
