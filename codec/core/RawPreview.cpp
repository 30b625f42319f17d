#include "RawPreview.h"

#include <cstring>

#include "Exif.h"
#include "JpegHeader.h"
#include "TiffBytes.h"

namespace pix {
namespace {

constexpr int kMaxIfds = 64;
constexpr uint16_t kMaxEntries = 1024;
constexpr int kMaxSubIfds = 8;
constexpr int kMaxBoxDepth = 8;
constexpr int kMaxBoxes = 256;
constexpr int kMaxOffers = 32;  // previews a file may offer: a damaged one may point at the same bytes again and again
constexpr size_t kJpegHeadBytes = 256 << 10;  // a preview's frame header comes well before this


// The first frame marker of a JPEG, 0 when none is within `size`.
uint8_t FrameMarker(const uint8_t* data, size_t size) {
    size_t at = 2;
    while (at + 4 <= size && data[at] == 0xFF) {
        uint8_t marker = data[at + 1];
        if (marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC) return marker;
        if (marker == 0xDA || marker == 0xD9) return 0;
        at += marker == 0xFF ? 1 : 2 + (size_t(data[at + 2]) << 8 | data[at + 3]);
    }
    return 0;
}

// Cameras without a clock write blanks or zeros.
bool IsDate(const std::string& text) {
    return text.size() >= 10 && text[0] >= '0' && text[0] <= '9' && text.compare(0, 4, "0000") != 0;
}

bool IsLossless(uint8_t frameMarker) {
    return frameMarker == 0xC3 || frameMarker == 0xC7 || frameMarker == 0xCB || frameMarker == 0xCF;
}

int Dimension(uint32_t pixels) { return pixels <= 65535 ? int(pixels) : 0; }

bool Bigger(const RawPreview& a, const RawPreview& b) {
    if (a.width && b.width) return uint64_t(a.width) * a.height > uint64_t(b.width) * b.height;
    return a.length > b.length;
}

class Finder {
public:
    Finder(const uint8_t* data, size_t size, uint64_t fileSize)
        : file_(data, size, false), fileSize_(fileSize < size ? size : fileSize) {}

    // Keeps a preview if it lies in the file and, when its start was read, is a
    // JPEG a viewer can decode (lossless JPEG is raw sensor data).
    bool Offer(uint64_t offset, uint64_t length, int width, int height, bool mustVerify) {
        if (length < 4 || offset > fileSize_ || length > fileSize_ - offset || ++offers_ > kMaxOffers) return false;
        if (offset < file_.Size()) {
            if (!file_.Has(offset, 3) || !LooksLikeJpeg(file_.Data() + offset, 3)) return false;
            size_t inBuffer = size_t(length < file_.Size() - offset ? length : file_.Size() - offset);
            if (inBuffer > kJpegHeadBytes) inBuffer = kJpegHeadBytes;
            if (IsLossless(FrameMarker(file_.Data() + offset, inBuffer))) return false;
            JpegHeader header = ParseJpegHeader(file_.Data() + offset, inBuffer);
            if (header.valid) width = header.width, height = header.height;
        } else if (mustVerify) {
            return false;
        }
        RawPreview preview{offset, length, width, height};
        if (!info.largest.length || Bigger(preview, info.largest)) info.largest = preview;
        if (!info.smallest.length || Bigger(info.smallest, preview)) info.smallest = preview;
        return true;
    }

    void SetOrientation(uint32_t value) {
        if (orientationFound_) return;
        orientationFound_ = true;
        info.orientation = value >= 1 && value <= 8 ? int(value) : 1;
    }

    // Date, orientation and thumbnail from the EXIF of a preview read whole enough.
    void ReadPreviewExif(const RawPreview& preview) {
        if (!preview.length || preview.offset >= file_.Size()) return;
        const uint8_t* jpeg = file_.Data() + preview.offset;
        size_t available = file_.Size() - size_t(preview.offset);
        if (available > preview.length) available = size_t(preview.length);
        if (available > kJpegHeadBytes) available = kJpegHeadBytes;
        JpegHeader header = ParseJpegHeader(jpeg, available);
        if (!header.exifOffset) return;
        ExifInfo exif = ParseTiff(jpeg + header.exifOffset, header.exifLength);
        if (info.dateTimeOriginal.empty() && IsDate(exif.dateTimeOriginal)) info.dateTimeOriginal = exif.dateTimeOriginal;
        if (exif.orientationOffset) SetOrientation(uint32_t(exif.orientation));
        if (exif.thumbnailLength)
            Offer(preview.offset + header.exifOffset + exif.thumbnailOffset, exif.thumbnailLength, 0, 0, true);
    }

    const TiffBytes& File() const { return file_; }
    RawInfo info;

private:
    TiffBytes file_;
    uint64_t fileSize_;
    int offers_ = 0;
    bool orientationFound_ = false;
};

// Walks the IFDs of a TIFF block starting at `base` in the file.
class TiffWalker {
public:
    TiffWalker(Finder& finder, size_t base, size_t size, bool big, bool panasonic)
        : finder_(finder), tiff_(finder.File().Data() + base, size, big), base_(base), panasonic_(panasonic) {}

    void Walk(uint32_t ifd0) {
        Push(ifd0);
        for (int next = 0; next < pendingCount_; ++next) Visit(pending_[next], next == 0);
        // A raw image said to be the full one, else the EXIF's pixel size (a CR2's raw
        // directory has no size of its own), else the largest image that is no preview.
        const uint32_t* sensor = panasonicSensor_[0] && panasonicSensor_[1] ? panasonicSensor_
                                 : explicitSensor_[0]                       ? explicitSensor_
                                 : exifSize_[0] && exifSize_[1]             ? exifSize_
                                                                            : widestSensor_;
        if (sensor[0] && sensor[0] <= 65535 && sensor[1] <= 65535) {
            finder_.info.sensorWidth = int(sensor[0]);
            finder_.info.sensorHeight = int(sensor[1]);
        }
    }

private:
    struct Ifd {
        bool hasSubfileType = false;
        uint32_t subfileType = 0, width = 0, height = 0, compression = 0;
        uint32_t stripOffset = 0, stripLength = 0, jpegOffset = 0, jpegLength = 0;
    };

    void Push(uint32_t offset) {
        if (!offset || pendingCount_ == kMaxIfds) return;
        for (int i = 0; i < pendingCount_; ++i)
            if (pending_[i] == offset) return;  // a loop, or a second link to one IFD
        pending_[pendingCount_++] = offset;
    }

    uint32_t Value(size_t entry) const { return tiff_.Value(entry); }

    // The value of a single-valued entry; 0 for arrays (several strips).
    uint32_t Single(size_t entry) const { return tiff_.U32(entry + 4) == 1 ? Value(entry) : 0; }

    std::string Ascii(size_t entry) const { return tiff_.Ascii(entry); }

    void PushSubIfds(size_t entry) {
        uint32_t count = tiff_.U32(entry + 4);
        if (count == 1) return Push(Value(entry));
        uint32_t array = tiff_.U32(entry + 8);
        for (uint32_t i = 0; i < count && i < kMaxSubIfds; ++i) Push(tiff_.U32(uint64_t(array) + i * 4));
    }

    void Read(size_t entry, bool first, Ifd& ifd) {
        switch (tiff_.U16(entry)) {
        case 0x00FE: ifd.hasSubfileType = true, ifd.subfileType = Value(entry); break;
        case 0x0100: ifd.width = Value(entry); break;
        case 0x0101: ifd.height = Value(entry); break;
        case 0x0103: ifd.compression = Value(entry); break;
        case 0x0106:  // colour filter array or linear raw: sensor data
            if (Value(entry) == 32803 || Value(entry) == 34892) finder_.info.raw = true;
            break;
        case 0xC612: finder_.info.raw = true; break;  // DNGVersion
        case 0x0111: ifd.stripOffset = Single(entry); break;
        case 0x0117: ifd.stripLength = Single(entry); break;
        case 0x0201: ifd.jpegOffset = Value(entry); break;
        case 0x0202: ifd.jpegLength = Value(entry); break;
        case 0x014A: PushSubIfds(entry); break;
        case 0x8769: Push(Value(entry)); break;
        case 0x0112:
            if (first) finder_.SetOrientation(Value(entry));
            break;
        case 0x9003:
            if (finder_.info.dateTimeOriginal.empty() && IsDate(Ascii(entry))) finder_.info.dateTimeOriginal = Ascii(entry);
            break;
        case 0xA002: exifSize_[0] = Value(entry); break;
        case 0xA003: exifSize_[1] = Value(entry); break;
        case 0x0002:  // Panasonic sensor size
            if (panasonic_ && first) panasonicSensor_[0] = Value(entry);
            break;
        case 0x0003:
            if (panasonic_ && first) panasonicSensor_[1] = Value(entry);
            break;
        case 0x002E:  // Panasonic JpgFromRaw: an UNDEFINED array holding a JPEG
            if (panasonic_ && tiff_.U16(entry + 2) == 7)
                Offer(tiff_.U32(entry + 8), tiff_.U32(entry + 4), 0, 0, false);
            break;
        default: break;
        }
    }

    bool Offer(uint64_t offset, uint64_t length, uint32_t width, uint32_t height, bool mustVerify) {
        return finder_.Offer(base_ + offset, length, Dimension(width), Dimension(height), mustVerify);
    }

    void Visit(uint32_t offset, bool first) {
        uint16_t count = tiff_.U16(offset);
        if (count > kMaxEntries) return;
        Ifd ifd;
        for (uint16_t i = 0; i < count && tiff_.Has(offset + 2 + size_t(i) * 12, 12); ++i)
            Read(offset + 2 + size_t(i) * 12, first, ifd);
        Push(tiff_.U32(offset + 2 + size_t(count) * 12));

        // Compressions only cameras' raw data uses (Nikon, Sony, Pentax, Kodak, Leaf).
        for (uint32_t raw : {34713u, 32767u, 32769u, 32770u, 65000u, 65535u})
            if (ifd.compression == raw) finder_.info.raw = true;
        bool preview = ifd.jpegOffset && Offer(ifd.jpegOffset, ifd.jpegLength, ifd.width, ifd.height, false);
        bool reduced = ifd.hasSubfileType && ifd.subfileType == 1;
        if ((ifd.compression == 6 || ifd.compression == 7) && ifd.stripOffset)
            preview |= Offer(ifd.stripOffset, ifd.stripLength, ifd.width, ifd.height, !reduced);
        if (preview || !ifd.width || !ifd.height) return;
        uint32_t* sensor = ifd.hasSubfileType && ifd.subfileType == 0 ? explicitSensor_ : widestSensor_;
        if (uint64_t(ifd.width) * ifd.height > uint64_t(sensor[0]) * sensor[1])
            sensor[0] = ifd.width, sensor[1] = ifd.height;
    }

    Finder& finder_;
    TiffBytes tiff_;
    size_t base_;
    bool panasonic_;
    uint32_t pending_[kMaxIfds] = {};
    int pendingCount_ = 0;
    uint32_t explicitSensor_[2] = {}, widestSensor_[2] = {}, panasonicSensor_[2] = {}, exifSize_[2] = {};
};

// A TIFF header at `base`: byte order, and whether it is Panasonic's. False when none.
bool ReadTiffHeader(const TiffBytes& file, size_t base, bool& big, bool& panasonic) {
    if (file.Is(base, "II")) big = false;
    else if (file.Is(base, "MM")) big = true;
    else return false;
    uint16_t magic = TiffBytes(file.Data(), file.Size(), big).U16(base + 2);
    panasonic = magic == 0x55;
    return magic == 42 || magic == 0x4F52 || magic == 0x5352 || panasonic;  // TIFF, Olympus, Panasonic
}

bool WalkTiff(Finder& finder, size_t base, size_t size) {
    bool big = false, panasonic = false;
    if (!ReadTiffHeader(finder.File(), base, big, panasonic)) return false;
    TiffWalker walker(finder, base, size, big, panasonic);
    walker.Walk(TiffBytes(finder.File().Data() + base, size, big).U32(4));
    return true;
}

void ParseRaf(Finder& finder) {
    const TiffBytes raf(finder.File().Data(), finder.File().Size(), true);
    finder.Offer(raf.U32(84), raf.U32(88), 0, 0, true);
    // Records of the sensor data's header; 0x100 holds the full raw height and width.
    uint64_t at = uint64_t(raf.U32(92)) + 4;
    for (uint32_t i = 0, count = raf.U32(at - 4); i < count && i < 256 && raf.Has(at, 4); ++i) {
        uint16_t tag = raf.U16(at), length = raf.U16(at + 2);
        if (tag == 0x100 && length >= 4) {
            finder.info.sensorHeight = raf.U16(at + 4);
            finder.info.sensorWidth = raf.U16(at + 6);
        }
        at += 4 + length;
    }
}

// ISO base media boxes of a Canon CR3.
class Cr3Reader {
public:
    explicit Cr3Reader(Finder& finder) : finder_(finder), file_(finder.File().Data(), finder.File().Size(), true) {}

    void Read() { Children(0, file_.Size(), 0); }

private:
    static constexpr const char* kCanonUuid = "\x85\xc0\xb6\x87\x82\x0f\x11\xe0\x81\x11\xf4\xce\x46\x2b\x6a\x48";
    static constexpr const char* kPreviewUuid = "\xea\xf4\x2b\x5e\x1c\x98\x4b\x88\xb9\xfb\xb7\xdc\x40\x6e\x4d\x16";

    void Children(uint64_t at, uint64_t end, int depth) {
        if (depth > kMaxBoxDepth) return;
        for (int boxes = 0; boxes < kMaxBoxes && at + 8 <= end && file_.Has(at, 8); ++boxes) {
            uint64_t size = file_.U32(at), header = 8;
            if (size == 1) size = file_.U64(at + 8), header = 16;
            else if (size == 0) size = end - at;
            if (size < header || size > end - at) size = end - at;  // a damaged size ends its parent
            Box(at, at + header, at + size, depth);
            at += size;
        }
    }

    void Box(uint64_t start, uint64_t payload, uint64_t end, int depth) {
        uint64_t readable = end < file_.Size() ? end : file_.Size();
        if (file_.Is(start + 4, "moov") || file_.Is(start + 4, "mdia") || file_.Is(start + 4, "minf") ||
            file_.Is(start + 4, "stbl"))
            Children(payload, readable, depth + 1);
        else if (file_.Is(start + 4, "trak") && ++tracks_ == 1)
            Children(payload, readable, depth + 1);
        else if (file_.Is(start + 4, "uuid") && file_.Is(payload, kCanonUuid))
            Children(payload + 16, readable, depth + 1);
        else if (file_.Is(start + 4, "uuid") && file_.Is(payload, kPreviewUuid))
            Children(payload + 16 + 8, readable, depth + 1);
        else if (file_.Is(start + 4, "CMT1") || file_.Is(start + 4, "CMT2"))
            WalkTiff(finder_, size_t(payload), size_t(readable - payload));
        else if (file_.Is(start + 4, "THMB") || file_.Is(start + 4, "PRVW"))
            JpegInBox(payload, readable);
        else if (file_.Is(start + 4, "stsz"))  // the first track's single sample: a full-size JPEG
            trackLength_ = file_.U32(payload + 4) ? file_.U32(payload + 4) : file_.U32(payload + 12);
        else if (file_.Is(start + 4, "co64"))
            TrackJpeg(file_.U64(payload + 8));
        else if (file_.Is(start + 4, "stco"))
            TrackJpeg(file_.U32(payload + 8));
    }

    // A few header bytes (sizes, version), then the JPEG and, just before it or
    // four bytes earlier, its length.
    void JpegInBox(uint64_t payload, uint64_t end) {
        for (uint64_t at = payload; at < payload + 32 && at + 3 <= end; ++at) {
            if (!LooksLikeJpeg(file_.Data() + at, 3)) continue;
            uint64_t room = end - at, length = file_.U32(at - 4);
            if (!length || length > room) length = file_.U32(at - 8);
            if (!length || length > room) length = room;
            finder_.Offer(at, length, 0, 0, true);
            return;
        }
    }

    void TrackJpeg(uint64_t offset) {
        if (tracks_ == 1 && trackLength_) finder_.Offer(offset, trackLength_, 0, 0, false);
    }

    Finder& finder_;
    TiffBytes file_;
    int tracks_ = 0;
    uint32_t trackLength_ = 0;
};

}  // namespace

RawInfo ParseRaw(const uint8_t* data, size_t size, uint64_t fileSize) {
    if (!data || size < 16) return {};
    Finder finder(data, size, fileSize);
    const TiffBytes& file = finder.File();
    if (file.Is(0, "FUJIFILMCCD-RAW ")) {
        ParseRaf(finder);
        finder.info.raw = true;
    } else if (file.Is(4, "ftypcrx ")) {
        Cr3Reader(finder).Read();
        finder.info.raw = true;
    } else if (!WalkTiff(finder, 0, size)) {
        return {};
    } else if (TiffBytes(data, size, file.Is(0, "MM")).U16(2) != 42 || file.Is(8, "CR")) {
        finder.info.raw = true;  // Olympus and Panasonic mark their RAWs in the TIFF magic, Canon's CR2 after the header
    }
    finder.info.recognised = true;
    RawPreview largest = finder.info.largest, smallest = finder.info.smallest;
    finder.ReadPreviewExif(largest);
    if (smallest.offset != largest.offset) finder.ReadPreviewExif(smallest);
    return finder.info;
}

}  // namespace pix
