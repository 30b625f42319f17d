// Codec timings under Wine.
//   codec_bench.exe --make <dir>       writes photo-like 12 MP and 24 MP JPEGs with EXIF thumbnails
//   codec_bench.exe <file.jpg>...      prints ms per image: full decode, 1/8 decode, EXIF thumbnail
#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

#include "BenchClock.h"
#include "JpegCodec.h"
#include "SyntheticPhotos.h"
#include "core/Exif.h"
#include "core/JpegHeader.h"

namespace {

bool Make(const std::string& dir) {
    const struct { const char* name; int w, h; } kFiles[] = {{"12mp.jpg", 4000, 3000}, {"24mp.jpg", 6000, 4000}};
    for (const auto& f : kFiles) {
        std::vector<uint8_t> jpeg =
            synthetic::CameraJpeg(synthetic::PhotoLike(f.w, f.h), {"2024:07:01 12:00:00", 1});
        if (jpeg.empty()) return false;
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
