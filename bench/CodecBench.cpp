// Codec timings under Wine.
//   codec_bench.exe --make <dir>       writes photo-like 12 MP and 24 MP JPEGs with EXIF thumbnails
//   codec_bench.exe <file.jpg>...      prints ms per image: full decode, 1/8 decode, EXIF thumbnail
#include <windows.h>

#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "JpegCodec.h"
#include "core/Exif.h"
#include "core/JpegHeader.h"

namespace {

double Now() {
    LARGE_INTEGER counter, frequency;
    QueryPerformanceCounter(&counter);
    QueryPerformanceFrequency(&frequency);
    return double(counter.QuadPart) * 1000.0 / double(frequency.QuadPart);
}

std::vector<uint8_t> ReadBytes(const char* path, size_t limit = SIZE_MAX) {
    std::vector<uint8_t> bytes;
    FILE* file = std::fopen(path, "rb");
    if (!file) return bytes;
    std::fseek(file, 0, SEEK_END);
    size_t size = std::min(size_t(std::ftell(file)), limit);
    std::fseek(file, 0, SEEK_SET);
    bytes.resize(size);
    size_t read = std::fread(bytes.data(), 1, size, file);
    bytes.resize(read);
    std::fclose(file);
    return bytes;
}

// Smooth shapes plus sensor-like noise: decodes like a real photograph.
pix::Bitmap PhotoLike(int width, int height) {
    pix::Bitmap bitmap;
    bitmap.Allocate(width, height);
    uint32_t noise = 12345;
    for (int y = 0; y < height; ++y) {
        uint8_t* row = bitmap.Row(y);
        for (int x = 0; x < width; ++x) {
            noise = noise * 1103515245u + 12345u;
            int n = int((noise >> 16) & 15) - 8;
            double fx = double(x) / width, fy = double(y) / height;
            int r = int(128 + 100 * std::sin(fx * 9 + fy * 3)) + n;
            int g = int(128 + 90 * std::cos(fy * 7 - fx * 2)) + n;
            int b = int(128 + 80 * std::sin((fx + fy) * 5)) + n;
            row[x * 3] = uint8_t(std::min(255, std::max(0, b)));
            row[x * 3 + 1] = uint8_t(std::min(255, std::max(0, g)));
            row[x * 3 + 2] = uint8_t(std::min(255, std::max(0, r)));
        }
    }
    return bitmap;
}

std::vector<uint8_t> ThumbnailTiff(const std::vector<uint8_t>& thumbnail) {
    // IFD0 with no entries, IFD1 with the thumbnail's offset and length.
    std::vector<uint8_t> t = {'I', 'I', 42, 0, 8, 0, 0, 0, 0, 0, 14, 0, 0, 0};
    auto u16 = [&](uint16_t v) { t.push_back(uint8_t(v)), t.push_back(uint8_t(v >> 8)); };
    auto u32 = [&](uint32_t v) { u16(uint16_t(v)), u16(uint16_t(v >> 16)); };
    u16(2);
    u16(0x0201), u16(4), u32(1), u32(uint32_t(14 + 2 + 24 + 4));
    u16(0x0202), u16(4), u32(1), u32(uint32_t(thumbnail.size()));
    u32(0);
    t.insert(t.end(), thumbnail.begin(), thumbnail.end());
    return t;
}

bool Make(const std::string& dir) {
    const struct { const char* name; int w, h; } kFiles[] = {{"12mp.jpg", 4000, 3000}, {"24mp.jpg", 6000, 4000}};
    for (const auto& f : kFiles) {
        pix::Bitmap photo = PhotoLike(f.w, f.h);
        pix::Bitmap thumb = pix::Resample(photo, 160, 120, {0, 0, 160, 120});
        std::vector<uint8_t> thumbJpeg, jpeg;
        if (!pix::EncodeJpeg(thumb, 85, {}, thumbJpeg) ||
            !pix::EncodeJpeg(photo, 90, ThumbnailTiff(thumbJpeg), jpeg))
            return false;
        std::string path = dir + "\\" + f.name;
        FILE* out = std::fopen(path.c_str(), "wb");
        if (!out) return false;
        std::fwrite(jpeg.data(), 1, jpeg.size(), out);
        std::fclose(out);
        std::printf("%s %dx%d %zu bytes\n", path.c_str(), f.w, f.h, jpeg.size());
    }
    return true;
}

template <class F>
double MsPerRun(int runs, F&& body) {
    body();  // warm
    double start = Now();
    for (int i = 0; i < runs; ++i) body();
    return (Now() - start) / runs;
}

void Measure(const char* path) {
    std::vector<uint8_t> bytes = ReadBytes(path);
    pix::JpegHeader header = pix::ParseJpegHeader(bytes.data(), bytes.size());
    pix::Bitmap out;
    int scale = 0;
    double full = MsPerRun(5, [&] { pix::DecodeJpeg(bytes.data(), bytes.size(), header.width, header.height, out, &scale); });
    double eighth = MsPerRun(10, [&] { pix::DecodeJpeg(bytes.data(), bytes.size(), 0, 0, out, &scale); });
    double thumb = MsPerRun(50, [&] {
        std::vector<uint8_t> head = ReadBytes(path, 64 * 1024);
        pix::JpegHeader h = pix::ParseJpegHeader(head.data(), head.size());
        pix::ExifInfo info = pix::ParseTiff(head.data() + h.exifOffset, h.exifLength);
        const uint8_t* t = head.data() + h.exifOffset + info.thumbnailOffset;
        pix::DecodeJpeg(t, info.thumbnailLength, 160, 120, out, &scale);
    });
    std::printf("%s %.2f %.2f %.3f\n", path, full, eighth, thumb);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 3 && std::string(argv[1]) == "--make") return Make(argv[2]) ? 0 : 1;
    for (int i = 1; i < argc; ++i) Measure(argv[i]);
    return 0;
}
