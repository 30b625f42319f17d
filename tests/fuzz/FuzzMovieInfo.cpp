// libFuzzer target: the movie header reader (QuickTime/MP4 boxes, AVI chunks).
#include <cstddef>
#include <cstdint>
#include <vector>

#include "core/MovieInfo.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::vector<uint8_t> file(data, data + size);
    // Every read gets an exact-size copy, so that reading one byte past it is caught.
    auto read = [&file](uint64_t at, size_t count) {
        if (at >= file.size()) return std::vector<uint8_t>();
        size_t length = count < file.size() - at ? count : file.size() - at;
        return std::vector<uint8_t>(file.begin() + long(at), file.begin() + long(at + length));
    };
    for (uint64_t fileSize : {uint64_t(size), uint64_t(size) * 4 + (uint64_t(1) << 33)}) {
        pix::MovieInfo info = pix::ParseMovie(read, fileSize);
        if (info.width < 0 || info.height < 0 || info.width > 65535 || info.height > 65535) __builtin_trap();
        if (!info.dateTimeOriginal.empty() && info.dateTimeOriginal.size() != 19) __builtin_trap();
    }
    return 0;
}
