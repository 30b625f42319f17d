#include "SyntheticPhotos.h"

#include <algorithm>
#include <cmath>

#include "JpegCodec.h"

namespace synthetic {
namespace {

class Tiff {
public:
    std::vector<uint8_t> bytes = {'I', 'I', 42, 0, 8, 0, 0, 0};

    void U16(uint32_t v) { bytes.insert(bytes.end(), {uint8_t(v), uint8_t(v >> 8)}); }
    void U32(uint32_t v) { U16(v & 0xFFFF), U16(v >> 16); }
    void Set32(size_t at, uint32_t v) {
        for (int i = 0; i < 4; ++i) bytes[at + i] = uint8_t(v >> (8 * i));
    }
    // An entry whose value is stored later; returns where to write its offset.
    size_t Entry(uint16_t tag, uint16_t type, uint32_t count, uint32_t value) {
        U16(tag), U16(type), U32(count);
        size_t at = bytes.size();
        U32(value);
        return at;
    }
};

// IFD0 (orientation, Exif IFD), Exif IFD (date), IFD1 (thumbnail).
std::vector<uint8_t> CameraExif(const CameraShot& shot, const std::vector<uint8_t>& thumbnail) {
    Tiff t;
    t.U16(2);
    t.Entry(0x0112, 3, 1, uint32_t(shot.orientation));
    size_t exifPointer = t.Entry(0x8769, 4, 1, 0);
    size_t ifd1Pointer = t.bytes.size();
    t.U32(0);
    t.Set32(exifPointer, uint32_t(t.bytes.size()));
    t.U16(1);
    size_t datePointer = t.Entry(0x9003, 2, 20, 0);
    t.U32(0);
    t.Set32(datePointer, uint32_t(t.bytes.size()));
    std::string date = shot.dateTimeOriginal;
    date.resize(19, ' ');
    t.bytes.insert(t.bytes.end(), date.begin(), date.end());
    t.bytes.push_back(0);
    t.Set32(ifd1Pointer, uint32_t(t.bytes.size()));
    t.U16(2);
    size_t thumbPointer = t.Entry(0x0201, 4, 1, 0);
    t.Entry(0x0202, 4, 1, uint32_t(thumbnail.size()));
    t.U32(0);
    t.Set32(thumbPointer, uint32_t(t.bytes.size()));
    t.bytes.insert(t.bytes.end(), thumbnail.begin(), thumbnail.end());
    return t.bytes;
}

int InverseOrientation(int orientation) { return orientation == 6 ? 8 : orientation == 8 ? 6 : orientation; }

}  // namespace

pix::Bitmap PhotoLike(int width, int height, int seed) {
    pix::Bitmap bitmap;
    bitmap.Allocate(width, height);
    uint32_t noise = 12345u + uint32_t(seed) * 7919u;
    double phase = seed * 0.7;
    for (int y = 0; y < height; ++y) {
        uint8_t* row = bitmap.Row(y);
        for (int x = 0; x < width; ++x) {
            noise = noise * 1103515245u + 12345u;
            int n = int((noise >> 16) & 15) - 8;
            double fx = double(x) / width, fy = double(y) / height;
            double sky = fy < 0.45 ? 1.0 : 0.0;
            int r = int(sky * (90 + 80 * fy) + (1 - sky) * (110 + 70 * std::sin(fx * 9 + phase))) + n;
            int g = int(sky * (150 + 60 * fy) + (1 - sky) * (140 + 60 * std::cos(fy * 7 - fx * 2 + phase))) + n;
            int b = int(sky * (230 - 40 * fy) + (1 - sky) * (70 + 40 * std::sin((fx + fy) * 5))) + n;
            double sunX = fx - 0.7 - 0.1 * std::sin(phase), sunY = fy - 0.2;
            if (sunX * sunX + sunY * sunY < 0.004) r = 255, g = 230, b = 120;
            row[x * 3] = uint8_t(std::clamp(b, 0, 255));
            row[x * 3 + 1] = uint8_t(std::clamp(g, 0, 255));
            row[x * 3 + 2] = uint8_t(std::clamp(r, 0, 255));
        }
    }
    return bitmap;
}

std::vector<uint8_t> CameraJpeg(const pix::Bitmap& upright, const CameraShot& shot, int quality) {
    // The camera stores the sensor's picture and says how to turn it upright.
    pix::Bitmap stored = pix::Orient(upright, InverseOrientation(shot.orientation));
    bool wide = stored.width >= stored.height;
    int tw = wide ? 160 : 120, th = wide ? 120 : 160;
    pix::Bitmap small = pix::Resample(stored, tw, th, {0, 0, tw, th});
    std::vector<uint8_t> thumbnail, jpeg;
    pix::EncodeJpeg(small, 85, {}, thumbnail);
    pix::EncodeJpeg(stored, quality, CameraExif(shot, thumbnail), jpeg);
    return jpeg;
}

namespace {

struct TiffEntry {
    uint16_t tag, type;  // 2: ASCII, 3: SHORT, 4: LONG
    uint32_t count, value;
};

class TiffWriter {
public:
    void Put(uint32_t value, int bytes) {
        for (int i = 0; i < bytes; ++i) out.push_back(uint8_t(value >> 8 * i));
    }
    void PutIfd(const std::vector<TiffEntry>& entries) {
        Put(uint32_t(entries.size()), 2);
        for (const TiffEntry& e : entries) {
            Put(e.tag, 2), Put(e.type, 2), Put(e.count, 4);
            Put(e.value, e.type == 3 ? 2 : 4);
            if (e.type == 3) Put(0, 2);
        }
        Put(0, 4);  // no next IFD
    }
    void PutBytes(const std::vector<uint8_t>& bytes) { out.insert(out.end(), bytes.begin(), bytes.end()); }
    static uint32_t IfdSize(size_t entries) { return uint32_t(2 + 12 * entries + 4); }
    std::vector<uint8_t> out;
};

}  // namespace

std::vector<uint8_t> CameraRaw(const pix::Bitmap& upright, const CameraShot& shot) {
    pix::Bitmap stored = pix::Orient(upright, InverseOrientation(shot.orientation));
    bool wide = stored.width >= stored.height;
    int tw = wide ? 160 : 120, th = wide ? 120 : 160;
    std::vector<uint8_t> thumbnail, preview, sensor(16, 0x5A);
    pix::EncodeJpeg(pix::Resample(stored, tw, th, {0, 0, tw, th}), 85, {}, thumbnail);
    pix::EncodeJpeg(stored, 92, {}, preview);
    // IFD0, the two SubIFD offsets, the preview's IFD, the sensor's, the EXIF IFD, the date, then the data.
    const uint32_t ifd0 = 8, subIfds = ifd0 + TiffWriter::IfdSize(9), previewIfd = subIfds + 8,
                   sensorIfd = previewIfd + TiffWriter::IfdSize(5), exifIfd = sensorIfd + TiffWriter::IfdSize(7),
                   date = exifIfd + TiffWriter::IfdSize(1), thumbAt = date + 20,
                   previewAt = thumbAt + uint32_t(thumbnail.size()), sensorAt = previewAt + uint32_t(preview.size());
    TiffWriter tiff;
    tiff.PutBytes({'I', 'I', 42, 0}), tiff.Put(ifd0, 4);
    tiff.PutIfd({{0x00FE, 4, 1, 1}, {0x0100, 3, 1, uint32_t(tw)}, {0x0101, 3, 1, uint32_t(th)}, {0x0103, 3, 1, 6},
                 {0x0112, 3, 1, uint32_t(shot.orientation)}, {0x014A, 4, 2, subIfds}, {0x0201, 4, 1, thumbAt},
                 {0x0202, 4, 1, uint32_t(thumbnail.size())}, {0x8769, 4, 1, exifIfd}});
    tiff.Put(previewIfd, 4), tiff.Put(sensorIfd, 4);
    tiff.PutIfd({{0x00FE, 4, 1, 1}, {0x0100, 3, 1, uint32_t(stored.width)}, {0x0101, 3, 1, uint32_t(stored.height)},
                 {0x0201, 4, 1, previewAt}, {0x0202, 4, 1, uint32_t(preview.size())}});
    tiff.PutIfd({{0x00FE, 4, 1, 0}, {0x0100, 3, 1, uint32_t(stored.width * 3)}, {0x0101, 3, 1, uint32_t(stored.height * 3)},
                 {0x0103, 3, 1, 1}, {0x0106, 3, 1, 32803}, {0x0111, 4, 1, sensorAt}, {0x0117, 4, 1, uint32_t(sensor.size())}});
    tiff.PutIfd({{0x9003, 2, 20, date}});
    std::string when = shot.dateTimeOriginal.substr(0, 19);
    when.resize(20, '\0');
    tiff.PutBytes(std::vector<uint8_t>(when.begin(), when.end()));
    tiff.PutBytes(thumbnail), tiff.PutBytes(preview), tiff.PutBytes(sensor);
    return tiff.out;
}

}  // namespace synthetic
