#include "Pixels.h"

#include <algorithm>
#include <cmath>
#include <new>

namespace pix {
namespace {

// Source coordinates of output (x, y): u = a*x + b*y + ..., v = c*x + d*y + ...
struct Matrix {
    int a, b, c, d;
};

const Matrix kMatrices[9] = {
    {1, 0, 0, 1},                                      // unused
    {1, 0, 0, 1},   {-1, 0, 0, 1}, {-1, 0, 0, -1}, {1, 0, 0, -1},
    {0, 1, 1, 0},   {0, 1, -1, 0}, {0, -1, -1, 0}, {0, -1, 1, 0},
};

int Valid(int orientation) { return orientation >= 1 && orientation <= 8 ? orientation : 1; }

int CodeOf(const Matrix& m) {
    for (int code = 1; code <= 8; ++code) {
        const Matrix& k = kMatrices[code];
        if (k.a == m.a && k.b == m.b && k.c == m.c && k.d == m.d) return code;
    }
    return 1;
}

// For each output index along one axis: the first source index it covers and
// the weights of the source indexes it covers, which sum to 1.
struct Span {
    int first;
    std::vector<float> weights;
};

std::vector<Span> Spans(int sourceLength, int outputLength, int from, int to) {
    std::vector<Span> spans;
    spans.reserve(size_t(to - from));
    double scale = double(sourceLength) / outputLength;
    for (int i = from; i < to; ++i) {
        double start = i * scale, end = (i + 1) * scale;
        int first = std::min(int(start), sourceLength - 1);
        int last = std::min(int(std::ceil(end)) - 1, sourceLength - 1);
        Span span{first, {}};
        for (int s = first; s <= std::max(first, last); ++s) {
            double covered = std::min(end, double(s + 1)) - std::max(start, double(s));
            span.weights.push_back(float(std::max(covered, 0.0) / (end - start)));
        }
        spans.push_back(std::move(span));
    }
    return spans;
}

}  // namespace

bool Bitmap::Allocate(int w, int h) {
    try {
        pixels.assign(((size_t(w) * 3 + 3) & ~size_t(3)) * size_t(h), 0);
    } catch (const std::bad_alloc&) {
        width = height = 0;
        pixels.clear();
        return false;
    }
    width = w;
    height = h;
    return true;
}

int ComposeOrientation(int first, int then) {
    const Matrix& f = kMatrices[Valid(first)];
    const Matrix& t = kMatrices[Valid(then)];
    // Source of the final picture = first's matrix applied to then's.
    Matrix m = {f.a * t.a + f.b * t.c, f.a * t.b + f.b * t.d, f.c * t.a + f.d * t.c,
                f.c * t.b + f.d * t.d};
    return CodeOf(m);
}

int TurnOrientation(int quarterTurns) {
    static const int kTurns[4] = {1, 6, 3, 8};
    return kTurns[((quarterTurns % 4) + 4) % 4];
}

Bitmap Orient(const Bitmap& source, int orientation) {
    orientation = Valid(orientation);
    Bitmap out;
    if (orientation == kUpright) return source;
    bool swap = SwapsAxes(orientation);
    if (!out.Allocate(swap ? source.height : source.width, swap ? source.width : source.height))
        return out;
    const Matrix& m = kMatrices[orientation];
    int u0 = (m.a < 0 ? out.width - 1 : 0) + (m.b < 0 ? out.height - 1 : 0);
    int v0 = (m.c < 0 ? out.width - 1 : 0) + (m.d < 0 ? out.height - 1 : 0);
    for (int y = 0; y < out.height; ++y) {
        uint8_t* row = out.Row(y);
        for (int x = 0; x < out.width; ++x) {
            int u = m.a * x + m.b * y + u0;
            int v = m.c * x + m.d * y + v0;
            const uint8_t* pixel = source.Row(v) + size_t(u) * 3;
            row[x * 3] = pixel[0];
            row[x * 3 + 1] = pixel[1];
            row[x * 3 + 2] = pixel[2];
        }
    }
    return out;
}

Bitmap Resample(const Bitmap& source, int width, int height, const Rect& part) {
    Bitmap out;
    if (source.Empty() || width <= 0 || height <= 0 || part.Width() <= 0 || part.Height() <= 0)
        return out;
    if (!out.Allocate(part.Width(), part.Height())) return out;
    std::vector<Span> columns = Spans(source.width, width, part.left, part.right);
    std::vector<Span> rows = Spans(source.height, height, part.top, part.bottom);
    std::vector<float> line(size_t(out.width) * 3);  // the row without its padding

    for (int y = 0; y < out.height; ++y) {
        std::fill(line.begin(), line.end(), 0.0f);
        const Span& rowSpan = rows[size_t(y)];
        for (size_t r = 0; r < rowSpan.weights.size(); ++r) {
            float rowWeight = rowSpan.weights[r];
            if (rowWeight <= 0) continue;
            const uint8_t* sourceRow = source.Row(rowSpan.first + int(r));
            for (int x = 0; x < out.width; ++x) {
                const Span& colSpan = columns[size_t(x)];
                const uint8_t* pixel = sourceRow + size_t(colSpan.first) * 3;
                float b = 0, g = 0, red = 0;
                for (float w : colSpan.weights) {
                    b += w * pixel[0];
                    g += w * pixel[1];
                    red += w * pixel[2];
                    pixel += 3;
                }
                line[size_t(x) * 3] += rowWeight * b;
                line[size_t(x) * 3 + 1] += rowWeight * g;
                line[size_t(x) * 3 + 2] += rowWeight * red;
            }
        }
        uint8_t* target = out.Row(y);
        for (size_t i = 0; i < line.size(); ++i)
            target[i] = uint8_t(std::min(255.0f, line[i] + 0.5f));
    }
    return out;
}

}  // namespace pix
