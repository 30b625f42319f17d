#pragma once
// Pixel sizes of picture files read from their headers, without decoding.
#include <cstddef>
#include <cstdint>

namespace pix {

struct PictureSize {
    int width = 0;
    int height = 0;
};

// JPEG (the upright size when EXIF turns it), PNG, GIF, BMP and TIFF; 0 x 0
// when the header cannot be read.
PictureSize ReadPictureSize(const uint8_t* data, size_t size);

}  // namespace pix
