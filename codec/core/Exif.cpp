#include "Exif.h"

#include "TiffBytes.h"

namespace pix {
namespace {

constexpr uint16_t kTagImageWidth = 0x0100;
constexpr uint16_t kTagImageLength = 0x0101;
constexpr uint16_t kTagOrientation = 0x0112;
constexpr uint16_t kTagExifIfd = 0x8769;
constexpr uint16_t kTagDateTimeOriginal = 0x9003;
constexpr uint16_t kTagPixelXDimension = 0xA002;
constexpr uint16_t kTagPixelYDimension = 0xA003;
constexpr uint16_t kTagThumbnailOffset = 0x0201;
constexpr uint16_t kTagThumbnailLength = 0x0202;
constexpr uint16_t kTypeShort = 3;

using TiffReader = TiffBytes;

struct IfdVisitor {
    const TiffReader& tiff;
    ExifInfo& info;

    // Visits the entries of the IFD at `offset`; returns the next IFD's offset.
    uint32_t Visit(uint32_t offset, int ifdIndex, uint32_t* exifIfd) {
        uint16_t count = tiff.U16(offset);
        if (!tiff.Has(offset + 2, size_t(count) * 12)) return 0;
        uint32_t thumbOffset = 0, thumbLength = 0;
        for (uint16_t i = 0; i < count; ++i) {
            size_t entry = offset + 2 + size_t(i) * 12;
            uint16_t tag = tiff.U16(entry);
            if (ifdIndex == 0 && tag == kTagOrientation && tiff.U16(entry + 2) == kTypeShort) {
                uint32_t value = tiff.U16(entry + 8);
                info.orientation = value >= 1 && value <= 8 ? int(value) : 1;
                info.orientationOffset = entry + 8;
            } else if (ifdIndex == 0 && tag == kTagImageWidth) {
                info.imageWidth = tiff.Value(entry);
            } else if (ifdIndex == 0 && tag == kTagImageLength) {
                info.imageHeight = tiff.Value(entry);
            } else if (ifdIndex == 0 && tag == kTagExifIfd && exifIfd) {
                *exifIfd = tiff.Value(entry);
            } else if (ifdIndex == -1 && tag == kTagDateTimeOriginal) {
                info.dateTimeOriginal = tiff.Ascii(entry);
            } else if (ifdIndex == -1 && tag == kTagPixelXDimension) {
                info.pixelWidth = tiff.Value(entry);
            } else if (ifdIndex == -1 && tag == kTagPixelYDimension) {
                info.pixelHeight = tiff.Value(entry);
            } else if (ifdIndex == 1 && tag == kTagThumbnailOffset) {
                thumbOffset = tiff.Value(entry);
            } else if (ifdIndex == 1 && tag == kTagThumbnailLength) {
                thumbLength = tiff.Value(entry);
            }
        }
        if (ifdIndex == 1 && thumbOffset && thumbLength && tiff.Has(thumbOffset, thumbLength)) {
            info.thumbnailOffset = thumbOffset;
            info.thumbnailLength = thumbLength;
        }
        return tiff.U32(offset + 2 + size_t(count) * 12);
    }
};

}  // namespace

ExifInfo ParseTiff(const uint8_t* data, size_t size) {
    ExifInfo info;
    if (!data || size < 8) return info;
    bool big;
    if (data[0] == 'I' && data[1] == 'I') {
        big = false;
    } else if (data[0] == 'M' && data[1] == 'M') {
        big = true;
    } else {
        return info;
    }
    TiffReader tiff(data, size, big);
    if (tiff.U16(2) != 42) return info;
    info.present = true;
    info.bigEndian = big;

    IfdVisitor visitor{tiff, info};
    uint32_t exifIfd = 0;
    uint32_t ifd0 = tiff.U32(4);
    uint32_t ifd1 = visitor.Visit(ifd0, 0, &exifIfd);
    // Only IFD0, IFD1 and the Exif IFD are read, each once: links cannot loop.
    if (ifd1 && ifd1 != ifd0) visitor.Visit(ifd1, 1, nullptr);
    if (exifIfd && exifIfd != ifd0 && exifIfd != ifd1) visitor.Visit(exifIfd, -1, nullptr);
    return info;
}

bool SetOrientation(uint8_t* tiff, size_t size, const ExifInfo& info, int orientation) {
    if (!info.orientationOffset || info.orientationOffset + 2 > size) return false;
    uint8_t* at = tiff + info.orientationOffset;
    if (info.bigEndian) {
        at[0] = 0;
        at[1] = uint8_t(orientation);
    } else {
        at[0] = uint8_t(orientation);
        at[1] = 0;
    }
    return true;
}

}  // namespace pix
