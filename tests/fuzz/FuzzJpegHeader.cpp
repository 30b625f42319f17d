// libFuzzer target: the JPEG marker reader and the EXIF block it finds.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "core/Exif.h"
#include "core/JpegHeader.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::vector<uint8_t> file(data, data + size);
    pix::JpegHeader header = pix::ParseJpegHeader(file.data(), file.size());
    if (header.exifOffset) {
        if (header.exifOffset + header.exifLength > size) __builtin_trap();
        pix::ParseTiff(file.data() + header.exifOffset, header.exifLength);
    }
    if (header.valid && (header.width <= 0 || header.height <= 0)) __builtin_trap();
    return 0;
}
