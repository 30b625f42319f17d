#include "IpTransport.h"

#include <ws2tcpip.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "common/DriverFiles.h"

namespace ptp {
namespace {

constexpr int kSliceMs = 50;
constexpr size_t kReadBytes = 256 << 10;
// A camera silent this long mid-answer is gone; tests of damaged answers wait less.
int SilenceMs() {
    static const int silence = [] {
        char value[16] = {};
        int ms = GetEnvironmentVariableA("ORVEX_PTP_SILENCE_MS", value, sizeof value) ? atoi(value) : 0;
        return ms > 0 ? ms : 10000;
    }();
    return silence;
}
constexpr int kDrainMs = 1000;     // a camera answering a cancel later than this is reconnected
constexpr int kLongestUncancellableMs = 30000;
constexpr uint64_t kLargestData = 1ull << 30;  // more than a camera file: a camera out of order

struct WinsockUse {
    WinsockUse() {
        WSADATA data;
        ready = WSAStartup(MAKEWORD(2, 2), &data) == 0;
    }
    bool ready = false;  // left started: the process may call into the driver until it ends
};

bool Winsock() {
    static WinsockUse use;
    return use.ready;
}

// Waits until `socket` has bytes (or is closed); false after `ms` without.
bool Readable(SOCKET socket, int ms) {
    fd_set readable;
    FD_ZERO(&readable);
    FD_SET(socket, &readable);
    timeval wait = {ms / 1000, (ms % 1000) * 1000};
    return select(0, &readable, nullptr, nullptr, &wait) > 0;
}

SOCKET ConnectTo(const std::string& host, uint16_t port, int timeoutMs) {
    ADDRINFOW hints = {}, *found = nullptr;
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_protocol = IPPROTO_TCP;
    std::wstring service = std::to_wstring(port);
    if (GetAddrInfoW(driverfiles::Widen(host).c_str(), service.c_str(), &hints, &found) != 0) return INVALID_SOCKET;
    SOCKET connected = INVALID_SOCKET;
    for (ADDRINFOW* address = found; address && connected == INVALID_SOCKET; address = address->ai_next) {
        SOCKET s = socket(address->ai_family, address->ai_socktype, address->ai_protocol);
        if (s == INVALID_SOCKET) continue;
        int window = 1 << 20;  // a picture in flight fits; set before connecting, where it counts
        setsockopt(s, SOL_SOCKET, SO_RCVBUF, reinterpret_cast<const char*>(&window), sizeof window);
        u_long nonBlocking = 1;
        ioctlsocket(s, FIONBIO, &nonBlocking);
        if (connect(s, address->ai_addr, int(address->ai_addrlen)) != 0 && WSAGetLastError() != WSAEWOULDBLOCK) {
            closesocket(s);  // refused or no route: no point waiting
            continue;
        }
        fd_set writable, failed;
        FD_ZERO(&writable);
        FD_ZERO(&failed);
        FD_SET(s, &writable);
        FD_SET(s, &failed);
        timeval wait = {timeoutMs / 1000, (timeoutMs % 1000) * 1000};
        int error = 0, length = sizeof error;
        bool ok = select(0, nullptr, &writable, &failed, &wait) > 0 && FD_ISSET(s, &writable) &&
                  getsockopt(s, SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&error), &length) == 0 && error == 0;
        nonBlocking = 0;
        ioctlsocket(s, FIONBIO, &nonBlocking);
        if (!ok) {
            closesocket(s);
            continue;
        }
        BOOL noDelay = TRUE;  // requests are small and each waits for its answer
        setsockopt(s, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&noDelay), sizeof noDelay);
        BOOL keepAlive = TRUE;  // a camera switched off mid-session is noticed
        setsockopt(s, SOL_SOCKET, SO_KEEPALIVE, reinterpret_cast<const char*>(&keepAlive), sizeof keepAlive);
        DWORD sendMs = 5000;  // a camera that stops reading cannot hold a sender
        setsockopt(s, SOL_SOCKET, SO_SNDTIMEO, reinterpret_cast<const char*>(&sendMs), sizeof sendMs);
        connected = s;
    }
    FreeAddrInfoW(found);
    return connected;
}

std::string HostName() {
    wchar_t name[MAX_COMPUTERNAME_LENGTH + 1] = {};
    DWORD size = MAX_COMPUTERNAME_LENGTH + 1;
    return GetComputerNameW(name, &size) ? driverfiles::Narrow(name) : "Windows";
}

// This computer's identity towards cameras, the same in every session of its
// user: a camera that paired with it once knows it again.
const uint8_t* HostGuid() {
    static uint8_t guid[16];
    static bool made = [] {
        wchar_t user[256] = {};
        DWORD size = 256;
        GetUserNameW(user, &size);
        std::string identity = "OrvexView|" + HostName() + "|" + driverfiles::Narrow(user);
        uint64_t halves[2] = {0xcbf29ce484222325ull, 0x84222325cbf29ce4ull};  // FNV-1a, two seeds
        for (uint64_t& half : halves)
            for (unsigned char c : identity) half = (half ^ c) * 0x100000001b3ull;
        std::memcpy(guid, halves, sizeof guid);
        return true;
    }();
    (void)made;
    return guid;
}

}  // namespace

std::unique_ptr<IpTransport> IpTransport::Connect(const std::string& host, uint16_t port, int timeoutMs) {
    if (!Winsock()) return nullptr;
    SOCKET command = ConnectTo(host, port, timeoutMs);
    if (command == INVALID_SOCKET) return nullptr;
    std::unique_ptr<IpTransport> link(new IpTransport(command, INVALID_SOCKET));
    Packet ack;
    if (!link->Send(command, InitCommandRequest(HostGuid(), HostName())) ||
        link->ReadPacket(command, ack, timeoutMs, nullptr) != Read::kPacket || ack.type != kInitCommandAck ||
        ack.payload.size() < 4)
        return nullptr;
    uint32_t connection = Reader(ack.payload.data(), 4).U32();
    link->event_ = ConnectTo(host, port, timeoutMs);
    if (link->event_ == INVALID_SOCKET || !link->Send(link->event_, InitEventRequest(connection)) ||
        link->ReadPacket(link->event_, ack, timeoutMs, nullptr) != Read::kPacket || ack.type != kInitEventAck)
        return nullptr;
    return link;
}

IpTransport::~IpTransport() {
    if (command_ != INVALID_SOCKET) closesocket(command_);
    if (event_ != INVALID_SOCKET) closesocket(event_);
}

void IpTransport::Close() {
    broken_ = true;
    // Shut, not closed: another thread may be waiting on them, and a closed socket's number can be reused.
    if (command_ != INVALID_SOCKET) shutdown(command_, SD_BOTH);
    if (event_ != INVALID_SOCKET) shutdown(event_, SD_BOTH);
}

bool IpTransport::Send(SOCKET socket, const std::vector<uint8_t>& bytes) {
    for (size_t sent = 0; sent < bytes.size();) {
        int now = send(socket, reinterpret_cast<const char*>(bytes.data() + sent), int(bytes.size() - sent), 0);
        if (now <= 0) return false;
        sent += size_t(now);
    }
    return true;
}

// Bytes come in as large reads as the socket gives; whole packets are cut from them.
IpTransport::Read IpTransport::ReadPacket(SOCKET socket, Packet& packet, int quietMs, const std::function<bool(size_t)>& keepGoing) {
    Inbox& inbox = socket == command_ ? commandInbox_ : eventInbox_;
    int waited = 0;
    for (;;) {
        size_t have = inbox.bytes.size() - inbox.start;
        if (have >= kHeaderBytes) {
            const uint8_t* at = inbox.bytes.data() + inbox.start;
            uint32_t length = PacketLength(at);
            if (length == 0) return Read::kBroken;  // no packet: the stream cannot be followed any further
            if (have >= length) {
                packet.type = Reader(at + 4, 4).U32();
                packet.payload.assign(at + kHeaderBytes, at + length);
                inbox.start += length;
                return Read::kPacket;
            }
        }
        if (broken_) return Read::kBroken;
        if (keepGoing && !keepGoing(have > kHeaderBytes ? have - kHeaderBytes : 0)) return Read::kCancelled;
        int slice = quietMs > 0 && have == 0 && quietMs - waited < kSliceMs ? std::max(quietMs - waited, 1) : kSliceMs;
        if (!Readable(socket, slice)) {
            waited += slice;
            if (have == 0 && waited >= quietMs) return Read::kQuiet;
            if (waited >= SilenceMs()) return Read::kBroken;
            continue;
        }
        waited = 0;
        inbox.bytes.erase(inbox.bytes.begin(), inbox.bytes.begin() + long(inbox.start));
        inbox.start = 0;
        size_t kept = inbox.bytes.size();
        inbox.bytes.resize(kept + kReadBytes);
        int now = recv(socket, reinterpret_cast<char*>(inbox.bytes.data() + kept), int(kReadBytes), 0);
        inbox.bytes.resize(kept + size_t(now > 0 ? now : 0));
        if (now <= 0) return Read::kBroken;
    }
}

Status IpTransport::Fail() {
    Close();
    return Status::kBroken;
}

Status IpTransport::Transact(uint16_t code, uint32_t transaction, const std::vector<uint32_t>& params,
                             std::vector<uint8_t>* data, uint64_t maxData, const DataProgress& progress,
                             Message& response) {
    if (broken_ || !DrainCancelled() || !Send(command_, OperationRequest(code, transaction, params))) return Fail();
    uint64_t total = 0, received = 0;
    bool cancelled = false;
    // A read nobody can cancel still ends: a camera trickling bytes cannot hold it for ever.
    DWORD deadline = GetTickCount() + kLongestUncancellableMs;
    auto keepGoing = [&](size_t inPacket) {
        if (!progress) return int(deadline - GetTickCount()) > 0;
        cancelled = cancelled || !progress(received + inPacket, total);
        return !cancelled;
    };
    for (;;) {
        Packet packet;
        Read read = ReadPacket(command_, packet, SilenceMs(), keepGoing);
        if (read == Read::kCancelled && !cancelled) return Fail();  // past the deadline
        if (read == Read::kCancelled) return Cancel(transaction);
        if (read != Read::kPacket) return Fail();
        Reader in(packet.payload.data(), packet.payload.size());
        if (packet.type == kOperationResponse) {
            if (!ParseMessage(packet.payload, response) || response.transaction != transaction) return Fail();
            return response.code == kOk ? Status::kOk : Status::kRefused;
        }
        if (in.U32() != transaction || !in.Ok()) return Fail();
        if (packet.type == kStartData) {
            total = in.U64();
            if (data && total <= std::min<uint64_t>(maxData, kLargestPacket)) data->reserve(size_t(total));
        } else if (packet.type == kData || packet.type == kEndData) {
            received += packet.payload.size() - 4;
            if (received > maxData || received > kLargestData) return Fail();
            if (data) data->insert(data->end(), packet.payload.begin() + 4, packet.payload.end());
            if (!keepGoing(0)) return Cancel(transaction);
        } else {
            return Fail();
        }
    }
}

// The standard's Cancel packet ends the data phase; the camera's answer to it
// is read before the next request, so the user's Cancel takes effect at once.
Status IpTransport::Cancel(uint32_t transaction) {
    if (!Send(command_, CancelRequest(transaction))) return Fail(), Status::kCancelled;
    cancelled_ = transaction;
    cancelPending_ = true;
    return Status::kCancelled;
}

bool IpTransport::DrainCancelled() {
    if (!cancelPending_) return true;
    cancelPending_ = false;
    DWORD until = GetTickCount() + kDrainMs;
    for (;;) {
        Packet packet;
        int left = int(until - GetTickCount());
        if (left <= 0 || ReadPacket(command_, packet, left, [&](size_t) { return int(until - GetTickCount()) > 0; }) != Read::kPacket)
            return false;
        Message answer;
        if (packet.type == kOperationResponse && ParseMessage(packet.payload, answer) && answer.transaction == cancelled_)
            return true;
    }
}

bool IpTransport::NextEvent(Message& event, int milliseconds) {
    for (;;) {
        Packet packet;
        Read read = ReadPacket(event_, packet, milliseconds, nullptr);
        if (read == Read::kQuiet) return false;
        if (read != Read::kPacket) {
            Close();
            return false;
        }
        if (packet.type == kProbeRequest) {  // the camera asks whether this host is still there
            if (!Send(event_, MakePacket(kProbeResponse, {}))) return Close(), false;
            continue;
        }
        if (packet.type == kEvent && ParseMessage(packet.payload, event)) return true;
    }
}

}  // namespace ptp
