// libFuzzer target: what a network camera sends, read as PTP datasets and PTP/IP packets.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "PtpData.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // An exact-size copy, so that reading one byte past it is caught.
    const std::vector<uint8_t> bytes(data, data + size);
    ptp::ObjectInfo info;
    if (ptp::ParseObjectInfo(bytes.data(), bytes.size(), info) && (info.name.empty() || info.name.size() > 255 * 3))
        __builtin_trap();
    if (!info.captureDate.empty() && info.captureDate.size() != 19) __builtin_trap();
    ptp::Reader array(bytes.data(), bytes.size());
    if (array.U32Array(100000).size() * 4 > bytes.size()) __builtin_trap();
    ptp::Message message;
    ptp::ParseMessage(bytes, message);
    if (message.params.size() > 5) __builtin_trap();
    if (size >= ptp::kHeaderBytes) {
        uint32_t length = ptp::PacketLength(bytes.data());
        if (length && (length < ptp::kHeaderBytes || length > ptp::kLargestPacket)) __builtin_trap();
    }
    return 0;
}
