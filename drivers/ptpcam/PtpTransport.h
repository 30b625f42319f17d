#pragma once
// What carries PTP transactions to a camera: TCP/IP today (IpTransport), a
// USB bulk pipe one day. One transaction at a time; events come on their own.
#include <cstdint>
#include <functional>
#include <vector>

#include "PtpData.h"

namespace ptp {

enum class Status { kOk, kCancelled, kRefused, kBroken };

// Bytes of the data phase so far and the total announced (0: unknown); false cancels.
using DataProgress = std::function<bool(uint64_t received, uint64_t total)>;

class Transport {
public:
    virtual ~Transport() = default;
    // The request, its data from the camera (into `data` when given; more than `maxData` bytes
    // break the link) and the camera's response.
    virtual Status Transact(uint16_t code, uint32_t transaction, const std::vector<uint32_t>& params,
                            std::vector<uint8_t>* data, uint64_t maxData, const DataProgress& progress,
                            Message& response) = 0;
    // Waits up to `milliseconds` for an event; false when none came or the link broke (Broken()).
    virtual bool NextEvent(Message& event, int milliseconds) = 0;
    virtual bool Broken() const = 0;
    // Ends every wait, from any thread: the transport is broken from then on.
    virtual void Close() = 0;
};

}  // namespace ptp
