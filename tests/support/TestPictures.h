#pragma once
// Pictures made by the tests themselves: quadrant-coloured bitmaps, EXIF blocks, and JPEG, PNG files of them.
#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "core/Pixels.h"

struct Color {
    uint8_t r, g, b;
};

// A picture whose pixel at x, y is `paint(x, y)`.
template <typename Paint> pix::Bitmap Painted(int width, int height, Paint paint) {
    pix::Bitmap bitmap;
    bitmap.Allocate(width, height);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            Color c = paint(x, y);
            uint8_t* p = bitmap.Row(y) + x * 3;
            p[0] = c.b, p[1] = c.g, p[2] = c.r;
        }
    return bitmap;
}

// Top-left red, top-right green, bottom-left blue, bottom-right white.
extern const Color kQuadrants[4];
pix::Bitmap QuadrantBitmap(int width, int height);
// A one-pixel black and white checkerboard.
pix::Bitmap Checkerboard(int width, int height);

struct ExifFields {
    int orientation = 0;  // 0: no orientation tag
    std::string dateTimeOriginal;
    int pixelWidth = 0, pixelHeight = 0;
    std::vector<uint8_t> thumbnail;  // a JPEG for IFD1
    bool bigEndian = false;
};
std::vector<uint8_t> MakeTiff(const ExifFields& fields);

enum JpegKind { kBaseline, kProgressive, kGreyscale };
// `upright` stored so that `exif.orientation` shows it upright again.
std::vector<uint8_t> MakeJpeg(const pix::Bitmap& upright, const ExifFields& exif,
                              JpegKind kind = kBaseline, int quality = 95);
std::vector<uint8_t> MakePngWithAlpha(int width, int height);
// A TIFF-based RAW: IFD0 (orientation 6, thumbnail, SubIFD), a JPEG preview SubIFD, then a
// 6000 x 4000 colour filter array; `loopTo` links the last IFDs back to that offset.
std::vector<uint8_t> MakeTiffRaw(const std::vector<uint8_t>& thumb, const std::vector<uint8_t>& preview,
                                 uint32_t loopTo = 0);

std::string WriteTempFile(const std::string& name, const std::vector<uint8_t>& bytes);
std::vector<uint8_t> ReadFileBytes(const std::string& path);
HGLOBAL ToGlobal(const std::vector<uint8_t>& bytes);

// A 32-bit top-down DIB section in a memory DC, filled with one colour.
class Canvas {
public:
    Canvas(int width, int height, COLORREF fill = RGB(255, 0, 255));
    ~Canvas();
    HDC Dc() const { return dc_; }
    Color At(int x, int y) const;
    int Width() const { return width_; }
    int Height() const { return height_; }

private:
    int width_, height_;
    HDC dc_;
    HBITMAP bitmap_;
    HGDIOBJ old_;
    uint8_t* bits_ = nullptr;
};

bool Near(const Color& a, const Color& b, int tolerance = 40);
