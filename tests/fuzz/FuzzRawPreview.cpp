// libFuzzer target: the RAW preview finder (TIFF-based RAWs, RAF, CR3).
#include <cstddef>
#include <cstdint>
#include <vector>

#include "core/RawPreview.h"

namespace {

// A preview starting inside the buffer is a JPEG, and every preview lies in the file.
void Check(const pix::RawPreview& preview, const std::vector<uint8_t>& block, uint64_t fileSize) {
    if (!preview.length) return;
    if (preview.offset > fileSize || preview.length > fileSize - preview.offset) __builtin_trap();
    if (preview.offset < block.size() && (preview.offset + 2 > block.size() || block[preview.offset] != 0xFF))
        __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // An exact-size copy, so that reading one byte past it is caught.
    std::vector<uint8_t> block(data, data + size);
    for (uint64_t fileSize : {uint64_t(size), uint64_t(size) * 4 + 100000}) {
        pix::RawInfo info = pix::ParseRaw(block.data(), block.size(), fileSize);
        Check(info.largest, block, fileSize);
        Check(info.smallest, block, fileSize);
        if (info.orientation < 1 || info.orientation > 8) __builtin_trap();
    }
    return 0;
}
