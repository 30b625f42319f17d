#include "ImageHeader.h"

#include <cstdlib>
#include <cstring>

#include "Exif.h"
#include "JpegHeader.h"
#include "Pixels.h"

namespace pix {
namespace {

uint32_t Be32(const uint8_t* p) { return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3]; }
uint32_t Le32(const uint8_t* p) { return uint32_t(p[3]) << 24 | uint32_t(p[2]) << 16 | uint32_t(p[1]) << 8 | p[0]; }
uint16_t Le16(const uint8_t* p) { return uint16_t(p[1] << 8 | p[0]); }

PictureSize Checked(int64_t width, int64_t height) {
    if (width <= 0 || height <= 0 || width > 1000000 || height > 1000000) return {};
    return {int(width), int(height)};
}

}  // namespace

PictureSize ReadPictureSize(const uint8_t* data, size_t size) {
    if (!data) return {};
    if (LooksLikeJpeg(data, size)) {
        JpegHeader header = ParseJpegHeader(data, size);
        if (!header.valid) return {};
        int orientation = header.exifOffset
                              ? ParseTiff(data + header.exifOffset, header.exifLength).orientation
                              : 1;
        return SwapsAxes(orientation) ? Checked(header.height, header.width)
                                      : Checked(header.width, header.height);
    }
    if (size >= 24 && std::memcmp(data, "\x89PNG\r\n\x1a\n", 8) == 0 && std::memcmp(data + 12, "IHDR", 4) == 0)
        return Checked(Be32(data + 16), Be32(data + 20));
    if (size >= 10 && (std::memcmp(data, "GIF87a", 6) == 0 || std::memcmp(data, "GIF89a", 6) == 0))
        return Checked(Le16(data + 6), Le16(data + 8));
    if (size >= 26 && data[0] == 'B' && data[1] == 'M')
        return Checked(int32_t(Le32(data + 18)), std::llabs(int32_t(Le32(data + 22))));
    ExifInfo tiff = ParseTiff(data, size);
    if (tiff.present) return Checked(tiff.imageWidth, tiff.imageHeight);
    return {};
}

}  // namespace pix
