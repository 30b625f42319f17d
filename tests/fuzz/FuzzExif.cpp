// libFuzzer target: the EXIF (TIFF) parser and the orientation writer.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "core/Exif.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // An exact-size copy, so that reading one byte past it is caught.
    std::vector<uint8_t> block(data, data + size);
    pix::ExifInfo info = pix::ParseTiff(block.data(), block.size());
    if (info.thumbnailLength && info.thumbnailOffset + info.thumbnailLength > size) __builtin_trap();
    if (info.orientation < 1 || info.orientation > 8) __builtin_trap();
    pix::SetOrientation(block.data(), block.size(), info, 1);
    return 0;
}
