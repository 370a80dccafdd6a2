// The sample files: names, sample counts and blobs, including the damaged ones.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "access_import/sequence_file.h"

namespace tabulor::access_import {
namespace {

namespace fs = std::filesystem;

TEST(SequenceFile, NamesCountsAndBounds) {
  EXPECT_EQ(SequenceFileName("00012", 7), "00012007.pos");
  EXPECT_EQ(SequenceFileName("00012", 1234), "000121234.pos");
  EXPECT_EQ(SequenceFileName("0 12", 7), "0012007.pos");
  for (const char* code : {"../x", "a/b", "a\\b", ".."}) EXPECT_THROW(SequenceFileName(code, 7), std::runtime_error) << code;
  EXPECT_THROW(SequenceFileName("00012", 1e300), std::runtime_error);
  EXPECT_EQ(ExpectedSampleCount(3, 100), 300);
  EXPECT_EQ(ExpectedSampleCount(2.5, 1), 2);   // halves to even
  EXPECT_EQ(ExpectedSampleCount(3.5, 1), 4);
  for (double duration : {0.0, -2.0, 3601.0, 1e12}) EXPECT_THROW(ExpectedSampleCount(duration, 100), std::runtime_error) << duration;
  EXPECT_THROW(ExpectedSampleCount(3, 0), std::runtime_error);
}

TEST(SequenceFile, BlobsOfGoodAndDamagedFiles) {
  const fs::path path = fs::temp_directory_path() / ("seq_" + std::to_string(::getpid()) + ".pos");
  auto blob_of = [&](const std::string& text, int32_t expected) {
    std::ofstream(path, std::ios::binary) << text;
    return ReadSampleBlob(path.string(), expected, 100, db::TextFormats{});
  };
  const std::vector<uint8_t> one = blob_of("1,5\r\n-2,5\r\n", 3);
  ASSERT_EQ(one.size(), 24u);
  const std::vector<uint8_t> first{0x00, 0x00, 0x80, 0x3f, 0x00, 0x00, 0xa0, 0x40};  // 1.0f, 5.0f
  EXPECT_EQ(std::vector<uint8_t>(one.begin(), one.begin() + 8), first);
  EXPECT_EQ(std::vector<uint8_t>(one.begin() + 16, one.end()), std::vector<uint8_t>(8, 0)) << "zero-filled";
  EXPECT_EQ(blob_of("1.5,2\n3,4.25", 1).size(), 16u) << "point as decimal separator, no final line break";
  EXPECT_EQ(blob_of("1,2\n3,4\n5,6\n", 2).size(), 24u) << "more lines than N";
  for (const char* bad : {"1,2\n\n3,4\n", "12\n", "a,b\n", "1;2\n"}) EXPECT_THROW(blob_of(bad, 1), std::runtime_error) << bad;
  EXPECT_THROW(blob_of(std::string(100000, 'x'), 1), std::runtime_error) << "a line too long";
  // The longest line read is 257 characters, with or without its line break.
  const std::string longest = "1," + std::string(255, '0');
  for (const std::string& end : {std::string("\n"), std::string()}) {
    EXPECT_EQ(blob_of(longest + end, 1).size(), 8u) << end.size();
    EXPECT_THROW(blob_of(longest + "0" + end, 1), std::runtime_error) << end.size();
  }
  EXPECT_THROW(ReadSampleBlob(fs::temp_directory_path().string(), 1, 10, {}), std::runtime_error) << "a folder";
  std::string many;
  for (int i = 0; i < 101; ++i) many += "1,1\n";
  EXPECT_THROW(blob_of(many, 1), std::runtime_error) << "more lines than the bound";
  EXPECT_THROW(ReadSampleBlob("/nonexistent/x.pos", 1, 10, {}), std::runtime_error);
  fs::remove(path);
}

}  // namespace
}  // namespace tabulor::access_import
