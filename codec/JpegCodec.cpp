#include "JpegCodec.h"

#include <turbojpeg.h>

#include <cstring>

#include "core/JpegHeader.h"

namespace pix {
namespace {

class TjHandle {
public:
    explicit TjHandle(tjhandle handle) : handle_(handle) {}
    ~TjHandle() {
        if (handle_) tjDestroy(handle_);
    }
    TjHandle(const TjHandle&) = delete;
    TjHandle& operator=(const TjHandle&) = delete;
    tjhandle Get() const { return handle_; }

private:
    tjhandle handle_;
};

struct TjBuffer {
    unsigned char* data = nullptr;
    unsigned long size = 0;
    ~TjBuffer() {
        if (data) tjFree(data);
    }
};

// Hostile progressive files with thousands of scans are refused
// (TJFLAG_LIMITSCANS) rather than decoded for minutes.
// A warning about data that ends early means the picture is incomplete; the
// other warnings (stray bytes between markers) are common in camera files.
bool AcceptableWarning(tjhandle handle) {
    if (tjGetErrorCode(handle) != TJERR_WARNING) return false;
    const char* text = tjGetErrorStr2(handle);
    return !text || !std::strstr(text, "Premature end");
}

const int kTransforms[9] = {TJXOP_NONE,      TJXOP_NONE,  TJXOP_HFLIP,      TJXOP_ROT180, TJXOP_VFLIP,
                            TJXOP_TRANSPOSE, TJXOP_ROT90, TJXOP_TRANSVERSE, TJXOP_ROT270};

}  // namespace

bool DecodeJpeg(const uint8_t* data, size_t size, int minWidth, int minHeight, Bitmap& out,
                int* scaleDenominator) {
    JpegHeader header = ParseJpegHeader(data, size);
    if (!header.valid || uint64_t(header.width) * uint64_t(header.height) > kMaxPixels) return false;

    TjHandle handle(tjInitDecompress());
    if (!handle.Get()) return false;
    int width = 0, height = 0, subsampling = 0, colorspace = 0;
    if (tjDecompressHeader3(handle.Get(), data, static_cast<unsigned long>(size), &width, &height,
                            &subsampling, &colorspace) != 0)
        return false;

    int denominator = 8;
    while (denominator > 1 && (TJSCALED(width, (tjscalingfactor{1, denominator})) < minWidth ||
                               TJSCALED(height, (tjscalingfactor{1, denominator})) < minHeight))
        denominator /= 2;
    int scaledWidth = TJSCALED(width, (tjscalingfactor{1, denominator}));
    int scaledHeight = TJSCALED(height, (tjscalingfactor{1, denominator}));
    if (!out.Allocate(scaledWidth, scaledHeight)) return false;

    int result = tjDecompress2(handle.Get(), data, static_cast<unsigned long>(size), out.pixels.data(),
                               scaledWidth, int(out.Stride()), scaledHeight, TJPF_BGR,
                               TJFLAG_LIMITSCANS);
    if (result != 0 && !AcceptableWarning(handle.Get())) {
        out = Bitmap();
        return false;
    }
    if (scaleDenominator) *scaleDenominator = denominator;
    return true;
}

bool EncodeJpeg(const Bitmap& bitmap, int quality, const std::vector<uint8_t>& exifTiff,
                std::vector<uint8_t>& out) {
    if (bitmap.Empty()) return false;
    TjHandle handle(tjInitCompress());
    if (!handle.Get()) return false;
    TjBuffer jpeg;
    if (tjCompress2(handle.Get(), bitmap.pixels.data(), bitmap.width, int(bitmap.Stride()),
                    bitmap.height, TJPF_BGR, &jpeg.data, &jpeg.size, TJSAMP_420, quality,
                    TJFLAG_ACCURATEDCT) != 0)
        return false;

    out.clear();
    out.insert(out.end(), jpeg.data, jpeg.data + 2);  // SOI
    size_t segment = exifTiff.size() + 8;             // length field, "Exif\0\0", the block
    if (!exifTiff.empty() && segment <= 0xFFFF) {
        const uint8_t app1[] = {0xFF, 0xE1, uint8_t(segment >> 8), uint8_t(segment & 0xFF),
                                'E', 'x', 'i', 'f', 0, 0};
        out.insert(out.end(), app1, app1 + sizeof app1);
        out.insert(out.end(), exifTiff.begin(), exifTiff.end());
    }
    out.insert(out.end(), jpeg.data + 2, jpeg.data + jpeg.size);
    return true;
}

bool TransformJpegLossless(const uint8_t* data, size_t size, int orientation,
                           std::vector<uint8_t>& out) {
    if (orientation < 1 || orientation > 8) return false;
    TjHandle handle(tjInitTransform());
    if (!handle.Get()) return false;
    tjtransform transform = {};
    transform.op = kTransforms[orientation];
    transform.options = TJXOPT_PERFECT;
    TjBuffer jpeg;
    if (tjTransform(handle.Get(), data, static_cast<unsigned long>(size), 1, &jpeg.data, &jpeg.size,
                    &transform, TJFLAG_LIMITSCANS) != 0)
        return false;
    out.assign(jpeg.data, jpeg.data + jpeg.size);
    return true;
}

}  // namespace pix
