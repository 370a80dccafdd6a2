#pragma once
// Raw acquisition bytes that look and compress like real posturography data:
// 16-bit little-endian samples of smooth signals with measurement noise.
#include "db/paradox/types.h"
#include "db/schema/generator/random.h"

namespace tabulor::schema {

// `frames` images of `frame_bytes` bytes each: every image holds one 16-bit
// value per sensor; loaded sensors follow slow oscillations with noise, the
// others read zero (no contact), as on a pressure plate.
db::Blob AcquisitionFrames(int frames, int frame_bytes, Rng& rng);

// A centre-of-pressure trace: `samples` pairs of X and Y positions (16-bit,
// hundredths of a millimetre) swaying around a mean, then the vertical load.
db::Blob CentreOfPressureTrace(int samples, Rng& rng);

}  // namespace tabulor::schema
