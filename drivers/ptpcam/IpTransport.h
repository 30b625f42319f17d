#pragma once
// PTP over TCP/IP (CIPA DC-X005): a command connection and an event
// connection to the camera, both opened with the standard's handshake.
#include <winsock2.h>
#include <windows.h>

#include <atomic>
#include <memory>
#include <string>

#include "PtpTransport.h"

namespace ptp {

class IpTransport final : public Transport {
public:
    // Connects and shakes hands within about `timeoutMs` per step; null when the camera cannot be reached.
    static std::unique_ptr<IpTransport> Connect(const std::string& host, uint16_t port, int timeoutMs);
    ~IpTransport() override;

    Status Transact(uint16_t code, uint32_t transaction, const std::vector<uint32_t>& params, std::vector<uint8_t>* data,
                    uint64_t maxData, const DataProgress& progress, Message& response) override;
    bool NextEvent(Message& event, int milliseconds) override;
    bool Broken() const override { return broken_; }
    void Close() override;

private:
    enum class Read { kPacket, kQuiet, kBroken, kCancelled };
    IpTransport(SOCKET command, SOCKET event) : command_(command), event_(event) {}
    // A whole packet. Waits up to `quietMs` for its first byte, then up to the
    // silence allowed between bytes; `keepGoing(bytes of this packet so far)` may stop it.
    Read ReadPacket(SOCKET socket, Packet& packet, int quietMs, const std::function<bool(size_t)>& keepGoing);
    bool Send(SOCKET socket, const std::vector<uint8_t>& bytes);
    Status Fail();
    Status Cancel(uint32_t transaction);
    // Before the next request: the cancelled transaction's answer; a camera that does not give it breaks the link.
    bool DrainCancelled();

    struct Inbox {
        std::vector<uint8_t> bytes;  // received, not yet cut into packets from `start` on
        size_t start = 0;
    };

    SOCKET command_, event_;
    Inbox commandInbox_, eventInbox_;
    uint32_t cancelled_ = 0;  // a transaction cancelled whose answer is still to come
    bool cancelPending_ = false;
    std::atomic<bool> broken_{false};
};

}  // namespace ptp
