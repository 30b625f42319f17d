#include "MovieInfo.h"

#include <cstdio>

#include "TiffBytes.h"

namespace pix {
namespace {

constexpr int kMaxTopBoxes = 64;
constexpr int kMaxChildBoxes = 256;
constexpr size_t kMaxMovieBox = 4 << 20;
constexpr size_t kAviHeaderBytes = 64 << 10;
constexpr uint64_t kSeconds1904To1970 = 2082844800;

// "YYYY:MM:DD HH:MM:SS" of a count of seconds since 1904 (QuickTime's clock).
std::string QuickTimeDate(uint64_t seconds) {
    if (seconds == 0 || seconds > 0x3FFFFFFFFull) return "";  // unset, or past the year 2400
    // Days to a civil date: years of 400 are 146,097 days; March first makes leap days last.
    int64_t days = int64_t(seconds / 86400) - int64_t(kSeconds1904To1970 / 86400) + 719468;
    int64_t era = (days >= 0 ? days : days - 146096) / 146097;
    int64_t dayOfEra = days - era * 146097;
    int64_t yearOfEra = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
    int64_t dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    int64_t shiftedMonth = (5 * dayOfYear + 2) / 153;
    int day = int(dayOfYear - (153 * shiftedMonth + 2) / 5 + 1);
    int month = int(shiftedMonth < 10 ? shiftedMonth + 3 : shiftedMonth - 9);
    int year = int(yearOfEra + era * 400 + (month <= 2));
    unsigned secondOfDay = unsigned(seconds % 86400);
    char text[32];
    snprintf(text, sizeof text, "%04d:%02d:%02d %02u:%02u:%02u", year, month, day, secondOfDay / 3600,
             secondOfDay / 60 % 60, secondOfDay % 60);
    return text;
}

// The boxes of a movie box held in memory: its header (date) and its tracks' headers (frame size).
class MovieBox {
public:
    MovieBox(const std::vector<uint8_t>& bytes, MovieInfo& info) : box_(bytes.data(), bytes.size(), true), info_(info) {}

    void Read() { Children(0, box_.Size(), 0); }

private:
    void Children(uint64_t at, uint64_t end, int depth) {
        for (int boxes = 0; depth < 3 && boxes < kMaxChildBoxes && at + 8 <= end; ++boxes) {
            uint64_t size = box_.U32(at);
            if (size < 8) return;
            if (size > end - at) size = end - at;  // cut at the bytes read: a long clip's track still has its header
            if (box_.Is(at + 4, "mvhd")) MovieHeader(at + 8, size - 8);
            else if (box_.Is(at + 4, "tkhd")) TrackHeader(at + 8, size - 8);
            else if (box_.Is(at + 4, "trak")) Children(at + 8, at + size, depth + 1);
            at += size;
        }
    }

    void MovieHeader(uint64_t at, uint64_t size) {
        bool wide = box_.U8(at) == 1;  // version 1: 64-bit times
        if (size >= (wide ? 12u : 8u)) info_.dateTimeOriginal = QuickTimeDate(wide ? box_.U64(at + 4) : box_.U32(at + 4));
    }

    // The first track with a frame size is the picture's; a matrix turning it a quarter exchanges the sides.
    void TrackHeader(uint64_t at, uint64_t size) {
        uint64_t matrix = box_.U8(at) == 1 ? 52 : 40;
        if (info_.width || size < matrix + 44) return;
        int width = int(box_.U32(at + matrix + 36) >> 16), height = int(box_.U32(at + matrix + 40) >> 16);
        if (!width || !height) return;
        bool quarter = box_.U32(at + matrix) == 0 && box_.U32(at + matrix + 4) != 0;
        info_.width = quarter ? height : width;
        info_.height = quarter ? width : height;
    }

    TiffBytes box_;
    MovieInfo& info_;
};

void ParseQuickTime(const ReadBytesAt& read, uint64_t fileSize, MovieInfo& info) {
    uint64_t offset = 0;
    for (int box = 0; box < kMaxTopBoxes && offset + 8 <= fileSize; ++box) {
        std::vector<uint8_t> header = read(offset, 16);
        TiffBytes bytes(header.data(), header.size(), true);
        uint64_t size = bytes.U32(0), start = 8;
        if (size == 1) size = bytes.U64(8), start = 16;
        else if (size == 0) size = fileSize - offset;
        if (!bytes.Has(0, start) || size < start || size > fileSize - offset) return;
        if (bytes.Is(4, "ftyp")) info.recognised = true;
        if (bytes.Is(4, "moov")) {
            info.recognised = true;
            uint64_t length = size - start < kMaxMovieBox ? size - start : kMaxMovieBox;
            std::vector<uint8_t> movie = read(offset + start, size_t(length));
            MovieBox(movie, info).Read();
            return;
        }
        offset += size;
    }
}

// An AVI's digitising date as its camera wrote it: "2009/10/27 12:14:34",
// "2009:10:27 12:14:34" or C's "TUE OCT 27 12:14:34 2009".
std::string AviDate(std::string text) {
    text = text.substr(0, text.find('\0'));
    unsigned year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
    char monthName[4] = {}, weekday[4] = {};
    if (sscanf(text.c_str(), "%4u%*[:/-]%2u%*[:/-]%2u %2u:%2u:%2u", &year, &month, &day, &hour, &minute, &second) != 6) {
        static const char kMonths[] = "JANFEBMARAPRMAYJUNJULAUGSEPOCTNOVDEC";
        if (sscanf(text.c_str(), "%3s %3s %2u %2u:%2u:%2u %4u", weekday, monthName, &day, &hour, &minute, &second, &year) != 7)
            return "";
        for (char& c : monthName) c = char(c >= 'a' && c <= 'z' ? c - 32 : c);
        for (unsigned m = 0; m < 12 && !month; ++m)
            if (std::string(kMonths + 3 * m, 3) == monthName) month = m + 1;
    }
    if (year < 1900 || year > 2399 || month < 1 || month > 12 || day < 1 || day > 31 || hour > 23 || minute > 59 ||
        second > 60)
        return "";
    char out[32];
    snprintf(out, sizeof out, "%04u:%02u:%02u %02u:%02u:%02u", year, month, day, hour, minute, second);
    return out;
}

// The header list at the file's start: the main header's frame size and the date chunk.
void ParseAvi(const std::vector<uint8_t>& head, MovieInfo& info) {
    TiffBytes avi(head.data(), head.size(), false);
    info.recognised = true;
    uint64_t at = 12, end = head.size();
    for (int chunks = 0; chunks < kMaxChildBoxes && at + 8 <= end; ++chunks) {
        uint64_t size = avi.U32(at + 4);
        if (avi.Is(at, "LIST") && avi.Is(at + 8, "hdrl")) {
            end = at + 8 + size < end ? at + 8 + size : end;
            at += 12;
            continue;
        }
        if (avi.Is(at, "avih") && size >= 40) {
            uint32_t width = avi.U32(at + 8 + 32), height = avi.U32(at + 8 + 36);
            if (width <= 65535 && height <= 65535) info.width = int(width), info.height = int(height);
        } else if (avi.Is(at, "IDIT") && avi.Has(at + 8, size) && size < 64) {
            info.dateTimeOriginal = AviDate(std::string(reinterpret_cast<const char*>(head.data() + at + 8), size_t(size)));
        }
        at += 8 + size + (size & 1);
    }
}

}  // namespace

MovieInfo ParseMovie(const ReadBytesAt& read, uint64_t fileSize) {
    MovieInfo info;
    std::vector<uint8_t> head = read(0, kAviHeaderBytes);
    TiffBytes start(head.data(), head.size(), false);
    if (start.Is(0, "RIFF") && start.Is(8, "AVI ")) ParseAvi(head, info);
    else ParseQuickTime(read, fileSize, info);
    return info;
}

}  // namespace pix
