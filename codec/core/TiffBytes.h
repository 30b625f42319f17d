#pragma once
// Bounds-checked reads of a TIFF-ordered byte range (EXIF, TIFF-based RAW
// files, box headers): reads outside the range give 0.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

namespace pix {

class TiffBytes {
public:
    TiffBytes(const uint8_t* data, size_t size, bool big) : data_(data), size_(size), big_(big) {}
    bool Has(uint64_t at, uint64_t length) const { return at <= size_ && length <= size_ - at; }
    uint8_t U8(uint64_t at) const { return Has(at, 1) ? data_[at] : 0; }
    uint16_t U16(uint64_t at) const {
        if (!Has(at, 2)) return 0;
        return big_ ? uint16_t(data_[at] << 8 | data_[at + 1]) : uint16_t(data_[at + 1] << 8 | data_[at]);
    }
    uint32_t U32(uint64_t at) const {
        if (!Has(at, 4)) return 0;
        uint32_t hi = U16(at), lo = U16(at + 2);
        return big_ ? hi << 16 | lo : lo << 16 | hi;
    }
    uint64_t U64(uint64_t at) const {
        uint64_t hi = U32(at), lo = U32(at + 4);
        return big_ ? hi << 32 | lo : lo << 32 | hi;
    }
    bool Is(uint64_t at, const char* text) const {
        size_t length = std::strlen(text);
        return Has(at, length) && std::memcmp(data_ + at, text, length) == 0;
    }
    // The number in a SHORT or LONG (or IFD) entry of 12 bytes at `entry`.
    uint32_t Value(uint64_t entry) const {
        uint16_t type = U16(entry + 2);
        if (type == 3) return U16(entry + 8);
        if (type == 4 || type == 13) return U32(entry + 8);
        return 0;
    }
    // The text of a short ASCII entry (a date, a name), up to its first zero; "" when longer.
    std::string Ascii(uint64_t entry) const {
        uint32_t count = U32(entry + 4);
        if (count > 64) return "";
        uint64_t at = count <= 4 ? entry + 8 : U32(entry + 8);
        if (U16(entry + 2) != 2 || !Has(at, count)) return "";
        std::string text(reinterpret_cast<const char*>(data_ + at), count);
        return text.substr(0, text.find('\0'));
    }
    const uint8_t* Data() const { return data_; }
    size_t Size() const { return size_; }

private:
    const uint8_t* data_;
    size_t size_;
    bool big_;
};

}  // namespace pix
