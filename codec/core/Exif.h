#pragma once
// EXIF (TIFF) metadata of JPEG files. Portable: no platform headers.
#include <cstddef>
#include <cstdint>
#include <string>

namespace pix {

struct ExifInfo {
    bool present = false;
    int orientation = 1;          // 1..8; 1 when absent or out of range
    size_t orientationOffset = 0; // offset of the orientation value in the TIFF block; 0: none
    bool bigEndian = false;
    std::string dateTimeOriginal; // "YYYY:MM:DD HH:MM:SS" or empty
    uint32_t imageWidth = 0;      // IFD0 ImageWidth (TIFF files); 0 when absent
    uint32_t imageHeight = 0;
    uint32_t pixelWidth = 0;      // Exif PixelXDimension; 0 when absent
    uint32_t pixelHeight = 0;
    size_t thumbnailOffset = 0;   // IFD1 JPEG thumbnail, relative to the TIFF block
    size_t thumbnailLength = 0;   // 0 when there is none (or it lies outside the block)
};

// Parses a TIFF block (what follows "Exif\0\0" in an APP1 segment). Never reads
// outside [tiff, tiff + size); a damaged block gives what could be read.
ExifInfo ParseTiff(const uint8_t* tiff, size_t size);

// Sets the orientation value inside a TIFF block to `orientation`, if it has one.
bool SetOrientation(uint8_t* tiff, size_t size, const ExifInfo& info, int orientation);

}  // namespace pix
