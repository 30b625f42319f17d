#pragma once
// JPEG file structure read from the markers alone, without decoding.
#include <cstddef>
#include <cstdint>

namespace pix {

struct JpegHeader {
    bool valid = false;       // SOI and a frame header were found
    int width = 0;
    int height = 0;
    int components = 0;
    bool progressive = false;
    size_t exifOffset = 0;    // the TIFF block inside the APP1 "Exif" segment; 0: none
    size_t exifLength = 0;
    size_t app1Offset = 0;    // the whole APP1 segment, marker included
    size_t app1Length = 0;
};

// Reads markers up to the first scan. Never reads outside [data, data + size).
JpegHeader ParseJpegHeader(const uint8_t* data, size_t size);

inline bool LooksLikeJpeg(const uint8_t* data, size_t size) {
    return size >= 3 && data[0] == 0xFF && data[1] == 0xD8 && data[2] == 0xFF;
}

}  // namespace pix
