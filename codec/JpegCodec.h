#pragma once
// JPEG through libjpeg-turbo: scaled decoding, encoding with the original EXIF
// kept, and lossless quarter turns.
#include <cstdint>
#include <string>
#include <vector>

#include "core/Pixels.h"

namespace pix {

// Refused before decoding: larger pictures would need unbounded memory.
constexpr uint64_t kMaxPixels = 400ull * 1000 * 1000;

// Decodes at the largest DCT scale (1/8 .. 1) whose result still covers
// `minWidth` x `minHeight` (0 x 0: the smallest). `scaleDenominator` gets 1, 2, 4 or 8.
bool DecodeJpeg(const uint8_t* data, size_t size, int minWidth, int minHeight, Bitmap& out,
                int* scaleDenominator);

// A baseline JPEG of `bitmap` at `quality`, with `exifTiff` (a TIFF block) as
// its APP1 segment when not empty.
bool EncodeJpeg(const Bitmap& bitmap, int quality, const std::vector<uint8_t>& exifTiff,
                std::vector<uint8_t>& out);

// `data` shown in `orientation`, transformed without re-encoding. Fails when
// the picture's size does not allow a perfect transform.
bool TransformJpegLossless(const uint8_t* data, size_t size, int orientation,
                           std::vector<uint8_t>& out);

}  // namespace pix
