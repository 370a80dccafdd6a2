// Packed index keys must read back byte for byte whatever their runs of
// zeros, through keys set again and again, and keys left behind must not
// pile up.
#include <gtest/gtest.h>

#include <map>
#include <random>

#include "db/paradox/packed_keys.h"

namespace tabulor::db {
namespace {

// A key as an index holds one: text fields padded with zeros, a field of zeros, a date.
std::vector<uint8_t> MakeKey(std::mt19937& rng, size_t width) {
  std::vector<uint8_t> key(width, 0);
  size_t at = 0;
  while (at < width) {
    const size_t field = std::min(width - at, size_t{1} + rng() % 300);
    const size_t text = rng() % 4 == 0 ? 0 : rng() % (field + 1);
    for (size_t i = 0; i < text; ++i) key[at + i] = static_cast<uint8_t>(rng() % 3 == 0 ? 0 : 'A' + rng() % 26);
    at += field;
  }
  if (rng() % 5 == 0) std::fill(key.begin(), key.end(), 0xFF);
  return key;
}

TEST(PackedKeys, KeysReadBackAsSetThroughChangesAndRepacking) {
  for (const auto& [width, pack] : {std::pair{size_t{1}, true}, std::pair{size_t{68}, true},
                                     std::pair{size_t{700}, true}, std::pair{size_t{22}, false}}) {
    SCOPED_TRACE("width " + std::to_string(width) + (pack ? ", packed" : ", as they are"));
    std::mt19937 rng(static_cast<unsigned>(width));
    PackedKeys keys(width, pack);
    std::map<size_t, std::vector<uint8_t>> model;
    std::vector<uint8_t> got(width);
    const size_t ids = 3000;
    keys.grow(ids);
    for (int step = 0; step < 40000; ++step) {
      const size_t id = rng() % ids;
      model[id] = MakeKey(rng, width);
      keys.Set(id, model[id].data());
      if (step % 97 == 0) {
        for (const auto& [held, key] : model) {
          keys.Get(held, got.data());
          ASSERT_EQ(got, key) << "id " << held << " at step " << step;
        }
        // An id never set reads as zeros.
        keys.Get(ids + 5, got.data());
        ASSERT_EQ(got, std::vector<uint8_t>(width, 0));
      }
    }
    // What the live keys take when packed once, and what is held: keys set
    // again leave at most as much behind as lives, and a slab's worth.
    size_t live = 0;
    {
      PackedKeys fresh(width, pack);
      for (const auto& [id, key] : model) fresh.Set(id, key.data());
      live = fresh.PackedBytes();
    }
    EXPECT_LE(keys.PackedBytes(), 2 * live + 64 * 1024);
  }
  // A last name, a first name (30 bytes each) and a date, as Patient_Existant holds them.
  std::mt19937 rng(3);
  PackedKeys names(68, true);
  for (size_t id = 0; id < 1000; ++id) {
    std::vector<uint8_t> key(68, 0);
    for (size_t field : {size_t{0}, size_t{30}})
      for (size_t i = 0, n = 3 + rng() % 10; i < n; ++i) key[field + i] = static_cast<uint8_t>('A' + rng() % 26);
    for (size_t i = 60; i < 68; ++i) key[i] = static_cast<uint8_t>(1 + rng() % 255);
    names.Set(id, key.data());
  }
  EXPECT_LT(names.PackedBytes(), 1000 * 68 / 2);
}

}  // namespace
}  // namespace tabulor::db
