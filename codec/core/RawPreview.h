#pragma once
// The JPEG previews cameras embed in their RAW files, found from the file's first
// bytes without decoding anything. Portable: no platform headers.
#include <cstddef>
#include <cstdint>
#include <string>

namespace pix {

struct RawPreview {
    uint64_t offset = 0, length = 0;  // within the file; length 0: none
    int width = 0, height = 0;        // 0 when unknown
};

struct RawInfo {
    bool recognised = false;  // a container this parser knows (a plain TIFF too)
    bool raw = false;         // a camera's RAW file, not a TIFF picture
    RawPreview largest, smallest;
    std::string dateTimeOriginal;  // "YYYY:MM:DD HH:MM:SS" or empty
    int orientation = 1;           // 1..8
    int sensorWidth = 0, sensorHeight = 0;
};

// `data` holds the first `size` bytes of a file of `fileSize` bytes (TIFF-based
// RAWs, Fujifilm RAF, Canon CR3). Never reads outside [data, data + size); a
// preview starting inside the buffer starts with FF D8, and every preview lies
// inside the file.
RawInfo ParseRaw(const uint8_t* data, size_t size, uint64_t fileSize);

}  // namespace pix
