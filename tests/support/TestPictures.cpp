#include "support/TestPictures.h"

#include <turbojpeg.h>

#include <array>
#include <cstdlib>

#include "support/Screen.h"
#include "support/TestPaths.h"

const Color kQuadrants[4] = {{255, 0, 0}, {0, 255, 0}, {0, 0, 255}, {255, 255, 255}};

pix::Bitmap QuadrantBitmap(int width, int height) {
    return Painted(width, height, [&](int x, int y) { return kQuadrants[(y >= height / 2) * 2 + (x >= width / 2)]; });
}

pix::Bitmap Checkerboard(int width, int height) {
    return Painted(width, height, [](int x, int y) { return (x + y) & 1 ? Color{255, 255, 255} : Color{0, 0, 0}; });
}

namespace {

// Writes TIFF values in the block's byte order.
class TiffWriter {
public:
    explicit TiffWriter(bool big) : big_(big) {}
    std::vector<uint8_t> bytes;

    void Put(uint32_t v, int size, size_t at) {
        for (int i = 0; i < size; ++i) bytes[at + size_t(i)] = uint8_t(v >> 8 * (big_ ? size - 1 - i : i));
    }
    void U16(uint16_t v) { bytes.resize(bytes.size() + 2), Put(v, 2, bytes.size() - 2); }
    void U32(uint32_t v) { bytes.resize(bytes.size() + 4), Put(v, 4, bytes.size() - 4); }
    // Short single values sit in the first half of the value field.
    void Entry(uint16_t tag, uint16_t type, uint32_t count, uint32_t value) {
        U16(tag), U16(type), U32(count);
        if (type == 3 && count == 1) U16(uint16_t(value)), U16(0);
        else U32(value);
    }

private:
    bool big_;
};

}  // namespace

std::vector<uint8_t> MakeTiff(const ExifFields& f) {
    TiffWriter w(f.bigEndian);
    w.bytes = f.bigEndian ? std::vector<uint8_t>{'M', 'M'} : std::vector<uint8_t>{'I', 'I'};
    w.U16(42);
    w.U32(8);
    // IFD0: orientation, Exif IFD pointer.
    uint16_t ifd0Count = uint16_t((f.orientation ? 1 : 0) + 1);
    w.U16(ifd0Count);
    if (f.orientation) w.Entry(0x0112, 3, 1, uint32_t(f.orientation));
    size_t exifPointer = w.bytes.size() + 8;
    w.Entry(0x8769, 4, 1, 0);
    size_t nextIfd = w.bytes.size();
    w.U32(0);
    // Exif IFD: date, pixel dimensions.
    w.Put(uint32_t(w.bytes.size()), 4, exifPointer);
    w.U16(3);
    size_t dateValue = w.bytes.size() + 8;
    w.Entry(0x9003, 2, 20, 0);
    w.Entry(0xA002, 4, 1, uint32_t(f.pixelWidth));
    w.Entry(0xA003, 4, 1, uint32_t(f.pixelHeight));
    w.U32(0);
    w.Put(uint32_t(w.bytes.size()), 4, dateValue);
    std::string date = f.dateTimeOriginal;
    date.resize(19, ' ');
    w.bytes.insert(w.bytes.end(), date.begin(), date.end());
    w.bytes.push_back(0);
    if (!f.thumbnail.empty()) {
        w.Put(uint32_t(w.bytes.size()), 4, nextIfd);
        w.U16(2);
        size_t offsetValue = w.bytes.size() + 8;
        w.Entry(0x0201, 4, 1, 0);
        w.Entry(0x0202, 4, 1, uint32_t(f.thumbnail.size()));
        w.U32(0);
        w.Put(uint32_t(w.bytes.size()), 4, offsetValue);
        w.bytes.insert(w.bytes.end(), f.thumbnail.begin(), f.thumbnail.end());
    }
    return w.bytes;
}

std::vector<uint8_t> MakeJpeg(const pix::Bitmap& upright, const ExifFields& exif, JpegKind kind,
                              int quality) {
    int turn = exif.orientation ? exif.orientation : 1;
    pix::Bitmap stored = pix::Orient(upright, turn == 6 ? 8 : turn == 8 ? 6 : turn);  // the turn that undoes it
    tjhandle handle = tjInitCompress();
    unsigned char* jpeg = nullptr;
    unsigned long size = 0;
    int flags = kind == kProgressive ? TJFLAG_PROGRESSIVE : 0;
    tjCompress2(handle, stored.pixels.data(), stored.width, int(stored.Stride()), stored.height,
                TJPF_BGR, &jpeg, &size, kind == kGreyscale ? TJSAMP_GRAY : TJSAMP_420, quality,
                flags);
    std::vector<uint8_t> out(jpeg, jpeg + 2);
    std::vector<uint8_t> tiff = MakeTiff(exif);
    size_t segment = tiff.size() + 8;
    out.insert(out.end(), {0xFF, 0xE1, uint8_t(segment >> 8), uint8_t(segment), 'E', 'x', 'i', 'f', 0, 0});
    out.insert(out.end(), tiff.begin(), tiff.end());
    out.insert(out.end(), jpeg + 2, jpeg + size);
    tjFree(jpeg), tjDestroy(handle);
    return out;
}

std::vector<uint8_t> MakeTiffRaw(const std::vector<uint8_t>& thumb, const std::vector<uint8_t>& preview, uint32_t loopTo) {
    std::vector<uint8_t> out = {'I', 'I', 42, 0, 8, 0, 0, 0};
    auto put = [&out](uint32_t v, int bytes) { for (int i = 0; i < bytes; ++i) out.push_back(uint8_t(v >> 8 * i)); };
    auto ifd = [&](std::vector<std::array<uint32_t, 2>> entries, uint32_t next) {
        put(uint32_t(entries.size()), 2);
        for (auto& e : entries) put(e[0], 2), put(4, 2), put(1, 4), put(e[1], 4);  // LONGs
        put(next, 4);
    };
    ifd({{0x0112, 6}, {0x014A, 62}, {0x0201, 182}, {0x0202, uint32_t(thumb.size())}}, loopTo);
    ifd({{0x00FE, 1}, {0x0103, 6}, {0x0111, uint32_t(182 + thumb.size())}, {0x0117, uint32_t(preview.size())}}, 116);
    ifd({{0x00FE, 0}, {0x0100, 6000}, {0x0101, 4000}, {0x0103, 1}, {0x0106, 32803}}, loopTo);  // a colour filter array
    out.insert(out.end(), thumb.begin(), thumb.end());
    out.insert(out.end(), preview.begin(), preview.end());
    return out;
}

std::vector<uint8_t> MakePngWithAlpha(int width, int height) {
    std::vector<BYTE> pixels(size_t(width) * height * 4);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            BYTE* p = &pixels[(size_t(y) * width + x) * 4];
            p[0] = 0, p[1] = 0, p[2] = 255;  // red
            p[3] = x < width / 2 ? 255 : 0;  // right half transparent
        }
    std::string path = WriteTempFile("alpha.png", {});
    WritePng(path, width, height, pixels.data());
    return ReadFileBytes(path);
}

std::string WriteTempFile(const std::string& name, const std::vector<uint8_t>& bytes) {
    static std::string dir = MakeTempDir("pixtest");
    std::string path = dir + "\\" + name;
    HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    DWORD written = 0;
    if (!bytes.empty()) WriteFile(file, bytes.data(), DWORD(bytes.size()), &written, nullptr);
    CloseHandle(file);
    return path;
}

std::vector<uint8_t> ReadFileBytes(const std::string& path) {
    std::vector<uint8_t> bytes;
    HANDLE file = CreateFileW(Utf16(path).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return bytes;
    bytes.resize(GetFileSize(file, nullptr));
    DWORD read = 0;
    ReadFile(file, bytes.data(), DWORD(bytes.size()), &read, nullptr);
    CloseHandle(file);
    return bytes;
}

HGLOBAL ToGlobal(const std::vector<uint8_t>& bytes) {
    HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, bytes.size() ? bytes.size() : 1);
    void* at = GlobalLock(memory);
    if (!bytes.empty()) memcpy(at, bytes.data(), bytes.size());
    GlobalUnlock(memory);
    return memory;
}

Canvas::Canvas(int width, int height, COLORREF fill) : width_(width), height_(height) {
    BITMAPINFO info = {};
    info.bmiHeader = {sizeof(BITMAPINFOHEADER), width, -height, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
    void* bits = nullptr;
    dc_ = CreateCompatibleDC(nullptr);
    bitmap_ = CreateDIBSection(dc_, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    bits_ = static_cast<uint8_t*>(bits);
    old_ = SelectObject(dc_, bitmap_);
    HBRUSH brush = CreateSolidBrush(fill);
    RECT all = {0, 0, width, height};
    FillRect(dc_, &all, brush);
    DeleteObject(brush);
}

Canvas::~Canvas() { SelectObject(dc_, old_), DeleteObject(bitmap_), DeleteDC(dc_); }

Color Canvas::At(int x, int y) const {
    GdiFlush();
    const uint8_t* p = bits_ + (size_t(y) * width_ + x) * 4;
    return {p[2], p[1], p[0]};
}

bool Near(const Color& a, const Color& b, int tolerance) {
    return std::abs(a.r - b.r) <= tolerance && std::abs(a.g - b.g) <= tolerance &&
           std::abs(a.b - b.b) <= tolerance;
}
