#pragma once
// The sample files of the sequences: "<code><number>.pos" in the data folder
// beside the database, one "X,Y" line a sample, turned into a blob of pairs of
// 32-bit little-endian floats.
#include <cstdint>
#include <string>
#include <vector>

#include "db/common/text_formats.h"

namespace tabulor::access_import {

// "%s%3.0f.pos" of the code and the number, every space made "0". Throws
// std::runtime_error when the name would not be a plain file name of the
// data folder (a separator, "..", a control character, an unusable number).
std::string SequenceFileName(const std::string& code, double number);

// Samples the run accepts at most: an hour at the frequency.
int64_t MaxSamples(int32_t frequency);

// duration × frequency rounded half to even; throws std::runtime_error unless
// it is above 0 and at most MaxSamples(frequency).
int32_t ExpectedSampleCount(double duration, int32_t frequency);

// The blob of the file at `path`: its pairs in file order, zero-filled up to
// `expected` pairs. A number is read with the decimal separator of `formats`
// or a point. Throws std::runtime_error for a line without a comma, a part
// that is not a number, a blank line, a read error, or more than
// `max_pairs` lines.
std::vector<uint8_t> ReadSampleBlob(const std::string& path, int32_t expected, int64_t max_pairs,
                                    const db::TextFormats& formats);

}  // namespace tabulor::access_import
