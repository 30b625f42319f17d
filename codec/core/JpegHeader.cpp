#include "JpegHeader.h"

#include <cstring>

namespace pix {
namespace {

bool IsFrameMarker(uint8_t marker) {
    return marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC;
}

bool IsProgressive(uint8_t marker) {
    return marker == 0xC2 || marker == 0xC6 || marker == 0xCA || marker == 0xCE;
}

}  // namespace

JpegHeader ParseJpegHeader(const uint8_t* data, size_t size) {
    JpegHeader header;
    if (!data || !LooksLikeJpeg(data, size)) return header;
    size_t at = 2;
    while (at + 4 <= size) {
        if (data[at] != 0xFF) return header;
        uint8_t marker = data[at + 1];
        if (marker == 0xFF) {  // fill byte
            ++at;
            continue;
        }
        if (marker == 0xD8 || (marker >= 0xD0 && marker <= 0xD7) || marker == 0x01) {
            at += 2;
            continue;
        }
        if (marker == 0xD9 || marker == 0xDA) break;  // end of image, start of scan
        size_t length = size_t(data[at + 2]) << 8 | data[at + 3];
        if (length < 2 || at + 2 + length > size) return header;
        const uint8_t* body = data + at + 4;
        size_t bodyLength = length - 2;

        if (marker == 0xE1 && !header.exifOffset && bodyLength >= 6 &&
            std::memcmp(body, "Exif\0\0", 6) == 0) {
            header.exifOffset = at + 4 + 6;
            header.exifLength = bodyLength - 6;
            header.app1Offset = at;
            header.app1Length = length + 2;
        } else if (IsFrameMarker(marker) && !header.valid && bodyLength >= 6) {
            header.height = body[1] << 8 | body[2];
            header.width = body[3] << 8 | body[4];
            header.components = body[5];
            header.progressive = IsProgressive(marker);
            header.valid = header.width > 0 && header.height > 0 && header.components > 0;
        }
        at += 2 + length;
    }
    return header;
}

}  // namespace pix
