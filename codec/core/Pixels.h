#pragma once
// 24-bit pictures in memory, their eight orientations, and resampling.
// Portable: no platform headers.
#include <cstddef>
#include <cstdint>
#include <vector>

namespace pix {

// Blue, green, red bytes per pixel, rows top-down, each padded to a multiple
// of four bytes (so the pixels are a device-independent bitmap as they stand).
struct Bitmap {
    int width = 0;
    int height = 0;
    std::vector<uint8_t> pixels;

    bool Empty() const { return width <= 0 || height <= 0; }
    size_t Stride() const { return (size_t(width) * 3 + 3) & ~size_t(3); }
    uint8_t* Row(int y) { return pixels.data() + Stride() * size_t(y); }
    const uint8_t* Row(int y) const { return pixels.data() + Stride() * size_t(y); }
    bool Allocate(int w, int h);
};

// Orientations use the EXIF codes 1..8: how a stored picture is shown upright.
constexpr int kUpright = 1;
// The orientation that first applies `first`, then `then`.
int ComposeOrientation(int first, int then);
// The orientation of `quarterTurns` clockwise quarter turns (any integer).
int TurnOrientation(int quarterTurns);
// Whether an orientation exchanges width and height.
inline bool SwapsAxes(int orientation) { return orientation >= 5 && orientation <= 8; }
// `source` shown in `orientation`.
Bitmap Orient(const Bitmap& source, int orientation);

struct Rect {
    int left, top, right, bottom;
    int Width() const { return right - left; }
    int Height() const { return bottom - top; }
};

// The part `part` of `source` resampled to `width` x `height` by area
// averaging (every source pixel weighs by the area it covers in the output
// pixel). `part` must lie inside 0,0,width,height.
Bitmap Resample(const Bitmap& source, int width, int height, const Rect& part);

}  // namespace pix
