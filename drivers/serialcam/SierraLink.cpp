#include "SierraLink.h"

#include <windows.h>

#include <algorithm>

namespace {

constexpr uint8_t kAck = 0x06, kNak = 0x15, kRefused = 0x11, kEnq = 0x05;
constexpr DWORD kActionMs = 20000;
constexpr uint8_t kCommandStart = 0x1b, kCommandType = 0x43;
constexpr uint8_t kMorePackets = 0x02, kLastPacket = 0x03;
constexpr int kPowerOnSpeed = 19200;
constexpr int kAttempts = 4;
constexpr DWORD kAnswerMs = 2000;
constexpr size_t kMaxPacket = 4096;
constexpr size_t kSlice = 256;

const std::pair<int, uint32_t> kSpeedCodes[] = {{115200, 5}, {57600, 4}, {38400, 3}, {19200, 2}, {9600, 1}};

uint16_t Sum(const uint8_t* bytes, size_t size) {
    uint32_t sum = 0;
    for (size_t i = 0; i < size; ++i) sum += bytes[i];
    return uint16_t(sum);
}

void Put32(std::vector<uint8_t>& out, uint32_t value) {
    for (int i = 0; i < 4; ++i) out.push_back(uint8_t(value >> (8 * i)));
}

}  // namespace

bool SierraLink::Start(const std::string& port, int speed) {
    port_ = port;
    wantedSpeed_ = speed;
    return line_.Open(port, kPowerOnSpeed) && WakeUp() && RaiseSpeed();
}

void SierraLink::Stop() {
    if (line_.IsOpen()) DoAction(kEndSession);
    line_.Close();
}

bool SierraLink::Resync() {
    if (!line_.IsOpen() && !line_.Open(port_, kPowerOnSpeed)) return false;
    Sleep(100);  // let a packet the camera was sending run out
    line_.Discard();
    return line_.SetSpeed(kPowerOnSpeed) && WakeUp() && RaiseSpeed();
}

bool SierraLink::WakeUp() {
    for (int attempt = 0; attempt < kAttempts; ++attempt) {
        uint8_t wake = 0, answer = 0;
        if (!line_.Write(&wake, 1)) return false;
        if (line_.Read(&answer, 1, 500) && answer == kNak) return true;
        line_.Discard();
    }
    return false;
}

// The camera answers at the old speed, then both sides change.
bool SierraLink::RaiseSpeed() {
    for (const auto& [bps, code] : kSpeedCodes) {
        if (bps > wantedSpeed_) continue;
        if (bps == kPowerOnSpeed) return true;
        if (SetInt(kLineSpeed, code)) {
            Sleep(20);
            return line_.SetSpeed(bps);
        }
    }
    return true;
}

// Sets commands are answered by ACK; requests by their first data packet,
// whose first byte comes back in `first`.
bool SierraLink::SendCommand(const std::vector<uint8_t>& payload, uint8_t* first) {
    std::vector<uint8_t> packet = {kCommandStart, kCommandType, uint8_t(payload.size()), uint8_t(payload.size() >> 8)};
    packet.insert(packet.end(), payload.begin(), payload.end());
    uint16_t sum = Sum(payload.data(), payload.size());
    packet.push_back(uint8_t(sum));
    packet.push_back(uint8_t(sum >> 8));
    for (int attempt = 0; attempt < kAttempts; ++attempt) {
        if (!line_.Write(packet)) return false;
        uint8_t answer = 0;
        if (!line_.Read(&answer, 1, kAnswerMs)) return false;
        if (answer == kRefused) return false;
        if (!first && answer == kAck) return true;
        if (first && (answer == kMorePackets || answer == kLastPacket)) {
            *first = answer;
            return true;
        }
        if (answer != kNak) line_.Discard();
    }
    return false;
}

// One data packet, checked; a spoilt one is asked for again.
bool SierraLink::ReadPacket(uint8_t first, std::vector<uint8_t>& payload, bool& last, const Tick& tick,
                            bool& stopped) {
    size_t inPacket = 0;
    // A camera gone silent still lets the caller stop at once, not after a timeout.
    SerialLine::KeepWaiting keepWaiting;
    if (tick) keepWaiting = [&] {
        stopped = !tick(inPacket);
        return !stopped;
    };
    for (int attempt = 0; attempt < kAttempts; ++attempt) {
        uint8_t header[4] = {first};
        inPacket = 0;
        if (!first && !line_.Read(header, 1, kAnswerMs, keepWaiting)) return false;
        first = 0;
        if (header[0] == kRefused) return false;
        if (header[0] != kMorePackets && header[0] != kLastPacket) {
            line_.Discard();
            continue;
        }
        if (!line_.Read(header + 1, 3, kAnswerMs, keepWaiting)) return false;
        size_t length = size_t(header[2] | header[3] << 8);
        if (length > kMaxPacket) return false;
        std::vector<uint8_t> body(length + 2);
        // Read in slices so that a long packet at a slow speed still lets the
        // caller look at its cancel often.
        for (size_t at = 0; at < body.size(); at += kSlice) {
            size_t part = std::min(kSlice, body.size() - at);
            if (!line_.Read(body.data() + at, part, kAnswerMs, keepWaiting)) return false;
            inPacket = at + part;
            if (tick && !tick(inPacket)) {
                stopped = true;
                return false;
            }
        }
        uint16_t sum = uint16_t(body[length] | body[length + 1] << 8);
        uint8_t answer = Sum(body.data(), length) == sum ? kAck : kNak;
        if (!line_.Write(&answer, 1)) return false;
        if (answer == kAck) {
            payload.assign(body.begin(), body.begin() + long(length));
            last = header[0] == kLastPacket;
            return true;
        }
    }
    return false;
}

bool SierraLink::SetInt(uint8_t reg, uint32_t value) {
    std::vector<uint8_t> payload = {0x00, reg};
    Put32(payload, value);
    return SendCommand(payload);
}

bool SierraLink::GetInt(uint8_t reg, uint32_t& value) {
    uint8_t first = 0;
    if (!SendCommand({0x01, reg}, &first)) return false;
    std::vector<uint8_t> packet;
    bool last = false, stopped = false;
    if (!ReadPacket(first, packet, last, nullptr, stopped) || packet.size() < 4) return false;
    value = uint32_t(packet[0]) | uint32_t(packet[1]) << 8 | uint32_t(packet[2]) << 16 | uint32_t(packet[3]) << 24;
    return true;
}

bool SierraLink::SetString(uint8_t reg, const std::string& text) {
    std::vector<uint8_t> payload = {0x03, reg};
    payload.insert(payload.end(), text.begin(), text.end());
    payload.push_back(0);
    return SendCommand(payload);
}

bool SierraLink::GetString(uint8_t reg, std::vector<uint8_t>& data, const Progress& progress, bool* cancelled) {
    data.clear();
    if (cancelled) *cancelled = false;
    uint8_t first = 0;
    if (!SendCommand({0x04, reg}, &first)) return false;
    bool stopped = false;
    size_t before = 0;
    Tick tick = [&](size_t inPacket) { return !progress || progress(before + inPacket); };
    for (bool last = false; !last;) {
        std::vector<uint8_t> packet;
        if (!ReadPacket(first, packet, last, tick, stopped)) {
            if (cancelled) *cancelled = stopped;
            return false;
        }
        data.insert(data.end(), packet.begin(), packet.end());
        before = data.size();
        first = 0;
    }
    return true;
}

// Deleting takes the camera a while: it says ENQ when it has finished.
bool SierraLink::DoAction(uint8_t action) {
    if (!SendCommand({0x02, action})) return false;
    if (action == kEndSession) return true;
    uint8_t done = 0;
    return line_.Read(&done, 1, kActionMs) && done == kEnq;
}
