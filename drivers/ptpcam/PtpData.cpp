#include "PtpData.h"

#include <cstring>

namespace ptp {

bool Reader::Take(size_t bytes) {
    if (!ok_ || bytes > size_ - at_) {
        ok_ = false;
        at_ = size_;
        return false;
    }
    return true;
}

uint8_t Reader::U8() { return Take(1) ? data_[at_++] : 0; }
uint16_t Reader::U16() { return uint16_t(U8() | U8() << 8); }
uint32_t Reader::U32() { return uint32_t(U16()) | uint32_t(U16()) << 16; }
uint64_t Reader::U64() { return uint64_t(U32()) | uint64_t(U32()) << 32; }

void Reader::Skip(size_t bytes) {
    if (Take(bytes)) at_ += bytes;
}

std::string Reader::String() {
    uint8_t count = U8();  // UTF-16 units, the closing zero included
    if (!Take(size_t(count) * 2)) return {};
    std::u16string units;
    for (uint8_t i = 0; i < count; ++i) units.push_back(char16_t(U16()));
    return Utf8(units.substr(0, units.find(u'\0')));
}

std::vector<uint32_t> Reader::U32Array(size_t maxCount) {
    uint32_t count = U32();
    if (count > maxCount || !Take(size_t(count) * 4)) {
        ok_ = false;
        return {};
    }
    std::vector<uint32_t> values(count);
    for (uint32_t& value : values) value = U32();
    return values;
}

Writer& Writer::Put(uint64_t value, int size) {
    for (int i = 0; i < size; ++i) bytes.push_back(uint8_t(value >> 8 * i));
    return *this;
}

Writer& Writer::Bytes(const uint8_t* data, size_t size) {
    bytes.insert(bytes.end(), data, data + size);
    return *this;
}

Writer& Writer::Utf16z(const std::string& utf8) {
    for (size_t i = 0; i < utf8.size();) {  // ASCII and the Basic Multilingual Plane suffice for a host's name
        unsigned char c = static_cast<unsigned char>(utf8[i]);
        uint32_t code = c, extra = c >= 0xF0 ? 3 : c >= 0xE0 ? 2 : c >= 0xC0 ? 1 : 0;
        if (extra) code = c & (0x3F >> extra);
        for (uint32_t k = 1; k <= extra && i + k < utf8.size(); ++k) code = code << 6 | (utf8[i + k] & 0x3F);
        i += 1 + extra;
        U16(code > 0xFFFF ? uint16_t(0xFFFD) : uint16_t(code));
    }
    return U16(0);
}

std::string Utf8(const std::u16string& units) {
    std::string out;
    for (size_t i = 0; i < units.size(); ++i) {
        uint32_t code = units[i];
        if (code >= 0xD800 && code < 0xDC00 && i + 1 < units.size() && units[i + 1] >= 0xDC00 && units[i + 1] < 0xE000)
            code = 0x10000 + ((code - 0xD800) << 10) + (units[++i] - 0xDC00);
        else if (code >= 0xD800 && code < 0xE000)
            code = 0xFFFD;
        if (code < 0x80) {
            out += char(code);
        } else if (code < 0x800) {
            out += char(0xC0 | code >> 6), out += char(0x80 | (code & 0x3F));
        } else if (code < 0x10000) {
            out += char(0xE0 | code >> 12), out += char(0x80 | (code >> 6 & 0x3F)), out += char(0x80 | (code & 0x3F));
        } else {
            out += char(0xF0 | code >> 18), out += char(0x80 | (code >> 12 & 0x3F));
            out += char(0x80 | (code >> 6 & 0x3F)), out += char(0x80 | (code & 0x3F));
        }
    }
    return out;
}

bool ParseObjectInfo(const uint8_t* data, size_t size, ObjectInfo& out) {
    Reader in(data, size);
    out = ObjectInfo();
    out.storage = in.U32();
    out.format = in.U16();
    in.Skip(2);  // protection
    out.size = in.U32();
    out.thumbFormat = in.U16();
    out.thumbSize = in.U32();
    in.Skip(8);  // thumbnail pixel size
    out.width = in.U32();
    out.height = in.U32();
    in.Skip(4);  // bit depth
    out.parent = in.U32();
    in.Skip(2 + 4 + 4);  // association type and description, sequence number
    out.name = in.String();
    if (!in.Ok() || out.name.empty()) return false;
    out.captureDate = ExifDate(in.String());  // older cameras may end the dataset before it
    return true;
}

std::string ExifDate(const std::string& ptpDate) {
    if (ptpDate.size() < 15 || ptpDate[8] != 'T') return {};
    for (size_t i = 0; i < 15; ++i)
        if (i != 8 && (ptpDate[i] < '0' || ptpDate[i] > '9')) return {};
    const std::string& d = ptpDate;
    return d.substr(0, 4) + ":" + d.substr(4, 2) + ":" + d.substr(6, 2) + " " + d.substr(9, 2) + ":" + d.substr(11, 2) +
           ":" + d.substr(13, 2);
}

std::vector<uint8_t> MakePacket(PacketType type, const std::vector<uint8_t>& payload) {
    Writer packet;
    packet.U32(uint32_t(kHeaderBytes + payload.size())).U32(type).Bytes(payload.data(), payload.size());
    return packet.bytes;
}

std::vector<uint8_t> InitCommandRequest(const uint8_t guid[16], const std::string& friendlyName) {
    Writer body;
    body.Bytes(guid, 16).Utf16z(friendlyName).U32(kProtocolVersion);
    return MakePacket(kInitCommandRequest, body.bytes);
}

std::vector<uint8_t> InitEventRequest(uint32_t connection) { return MakePacket(kInitEventRequest, Writer().U32(connection).bytes); }

std::vector<uint8_t> OperationRequest(uint16_t code, uint32_t transaction, const std::vector<uint32_t>& params) {
    Writer body;
    body.U32(1).U16(code).U32(transaction);  // 1: no data phase, or data from the camera
    for (uint32_t param : params) body.U32(param);
    return MakePacket(kOperationRequest, body.bytes);
}

std::vector<uint8_t> CancelRequest(uint32_t transaction) { return MakePacket(kCancel, Writer().U32(transaction).bytes); }

uint32_t PacketLength(const uint8_t header[kHeaderBytes]) {
    Reader in(header, kHeaderBytes);
    uint32_t length = in.U32(), type = in.U32();
    if (length < kHeaderBytes || length > kLargestPacket || type < kInitCommandRequest || type > kProbeResponse) return 0;
    return length;
}

bool ParseMessage(const std::vector<uint8_t>& payload, Message& out) {
    Reader in(payload.data(), payload.size());
    out.code = in.U16();
    out.transaction = in.U32();
    out.params.clear();
    while (in.Ok() && in.Left() >= 4 && out.params.size() < 5) out.params.push_back(in.U32());
    return in.Ok();
}

}  // namespace ptp
