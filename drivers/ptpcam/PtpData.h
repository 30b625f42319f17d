#pragma once
// PTP (ISO 15740) as a camera speaks it over any transport: the codes and the
// datasets a host reads, and the packets of PTP over TCP/IP (CIPA DC-X005).
// Portable: no platform headers. Every count and length a camera sends is
// checked against the bytes that came.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace ptp {

enum Operation : uint16_t {
    kGetDeviceInfo = 0x1001,
    kOpenSession = 0x1002,
    kCloseSession = 0x1003,
    kGetStorageIds = 0x1004,
    kGetObjectHandles = 0x1007,
    kGetObjectInfo = 0x1008,
    kGetObject = 0x1009,
    kGetThumb = 0x100A,
    kDeleteObject = 0x100B,
    kGetPartialObject = 0x101B,
};

enum ResponseCode : uint16_t { kOk = 0x2001, kSessionAlreadyOpen = 0x201E };
enum EventCode : uint16_t { kObjectAdded = 0x4002, kObjectRemoved = 0x4003 };
constexpr uint16_t kAssociationFormat = 0x3001;
constexpr uint32_t kAllStorages = 0xFFFFFFFF, kRootParent = 0xFFFFFFFF;

// A dataset read front to back, little-endian; reading past its end marks it bad and gives zeros.
class Reader {
public:
    Reader(const uint8_t* data, size_t size) : data_(data), size_(size) {}
    uint8_t U8();
    uint16_t U16();
    uint32_t U32();
    uint64_t U64();
    std::string String();  // a PTP string (count, UTF-16LE) as UTF-8
    std::vector<uint32_t> U32Array(size_t maxCount);
    void Skip(size_t bytes);
    bool Ok() const { return ok_; }
    size_t Left() const { return size_ - at_; }

private:
    bool Take(size_t bytes);
    const uint8_t* data_;
    size_t size_, at_ = 0;
    bool ok_ = true;
};

class Writer {
public:
    Writer& U16(uint16_t value) { return Put(value, 2); }
    Writer& U32(uint32_t value) { return Put(value, 4); }
    Writer& U64(uint64_t value) { return Put(value, 8); }
    Writer& Bytes(const uint8_t* data, size_t size);
    Writer& Utf16z(const std::string& utf8);  // UTF-16LE with a closing zero (PTP/IP names)
    std::vector<uint8_t> bytes;

private:
    Writer& Put(uint64_t value, int size);
};

struct ObjectInfo {
    uint32_t storage = 0;
    uint16_t format = 0;
    uint32_t size = 0;
    uint16_t thumbFormat = 0;
    uint32_t thumbSize = 0;
    uint32_t width = 0, height = 0;
    uint32_t parent = 0;
    std::string name;
    std::string captureDate;  // "YYYY:MM:DD HH:MM:SS", or empty
};

bool ParseObjectInfo(const uint8_t* data, size_t size, ObjectInfo& out);
// "YYYYMMDDThhmmss" (with any tenths or zone after it) as "YYYY:MM:DD HH:MM:SS"; empty when it is none.
std::string ExifDate(const std::string& ptpDate);
// UTF-8 of UTF-16LE code units; unpaired surrogates become U+FFFD.
std::string Utf8(const std::u16string& units);

// ---- PTP/IP

enum PacketType : uint32_t {
    kInitCommandRequest = 1,
    kInitCommandAck = 2,
    kInitEventRequest = 3,
    kInitEventAck = 4,
    kInitFail = 5,
    kOperationRequest = 6,
    kOperationResponse = 7,
    kEvent = 8,
    kStartData = 9,
    kData = 10,
    kCancel = 11,
    kEndData = 12,
    kProbeRequest = 13,
    kProbeResponse = 14,
};

constexpr uint32_t kProtocolVersion = 0x00010000;
constexpr size_t kHeaderBytes = 8;
// Larger packets are not believed: a camera chunks its data well below this.
constexpr uint32_t kLargestPacket = 32u << 20;

struct Packet {
    uint32_t type = 0;
    std::vector<uint8_t> payload;
};

// A whole packet: its length and type, then `payload`.
std::vector<uint8_t> MakePacket(PacketType type, const std::vector<uint8_t>& payload);
std::vector<uint8_t> InitCommandRequest(const uint8_t guid[16], const std::string& friendlyName);
std::vector<uint8_t> InitEventRequest(uint32_t connection);
std::vector<uint8_t> OperationRequest(uint16_t code, uint32_t transaction, const std::vector<uint32_t>& params);
std::vector<uint8_t> CancelRequest(uint32_t transaction);

// The header's length field: 0 when the header is no packet a host accepts.
uint32_t PacketLength(const uint8_t header[kHeaderBytes]);

// An Operation Response or Event: its code, transaction and parameters.
struct Message {
    uint16_t code = 0;
    uint32_t transaction = 0;
    std::vector<uint32_t> params;
};
bool ParseMessage(const std::vector<uint8_t>& payload, Message& out);

}  // namespace ptp
