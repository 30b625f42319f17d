#include "PixImage.h"

#include <algorithm>

#include "JpegCodec.h"
#include "WicCodec.h"
#include "core/JpegHeader.h"
#include "core/RawPreview.h"

namespace pix {
namespace {

constexpr int kReencodeQuality = 92;
// Renditions up to this size are kept between paints (thumbnails, fitted views).
constexpr uint64_t kKeptRenditionPixels = 4ull * 1000 * 1000;

bool WriteWholeFile(const char* path, const std::vector<uint8_t>& bytes) {
    HANDLE file = CreateFileW(WidePath(path).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    DWORD written = 0;
    bool ok = WriteFile(file, bytes.data(), DWORD(bytes.size()), &written, nullptr) &&
              written == bytes.size();
    CloseHandle(file);
    if (!ok) DeleteFileW(WidePath(path).c_str());
    return ok;
}

void ResetOrientationInFile(std::vector<uint8_t>& jpeg) {
    JpegHeader header = ParseJpegHeader(jpeg.data(), jpeg.size());
    if (!header.exifOffset) return;
    uint8_t* tiff = jpeg.data() + header.exifOffset;
    SetOrientation(tiff, header.exifLength, ParseTiff(tiff, header.exifLength), kUpright);
}

void DrawBitmap(HDC dc, int x, int y, const Bitmap& bitmap) {
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = bitmap.width;
    info.bmiHeader.biHeight = -bitmap.height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 24;
    info.bmiHeader.biCompression = BI_RGB;
    StretchDIBits(dc, x, y, bitmap.width, bitmap.height, 0, 0, bitmap.width, bitmap.height,
                  bitmap.pixels.data(), &info, DIB_RGB_COLORS, SRCCOPY);
}

// A camera RAW's largest embedded JPEG preview, cut out of the file; empty when
// the bytes are no RAW or their preview does not decode. `orientation` is the
// RAW's own, which previews without EXIF of their own follow.
std::vector<uint8_t> RawPreviewBytes(const std::vector<uint8_t>& file, int& orientation) {
    RawInfo info = ParseRaw(file.data(), file.size(), file.size());
    const RawPreview& preview = info.largest;
    if (!info.raw || !preview.length || preview.offset >= file.size() ||
        preview.length > file.size() - preview.offset)
        return {};
    const uint8_t* start = file.data() + preview.offset;
    if (!LooksLikeJpeg(start, size_t(preview.length))) return {};
    orientation = info.orientation;
    return std::vector<uint8_t>(start, start + preview.length);
}

}  // namespace

std::wstring WidePath(const char* utf8) {
    int length = MultiByteToWideChar(CP_UTF8, 0, utf8, -1, nullptr, 0);
    std::wstring wide(size_t(length > 0 ? length : 1), L'\0');
    if (length > 0) MultiByteToWideChar(CP_UTF8, 0, utf8, -1, &wide[0], length);
    wide.pop_back();  // the terminating zero
    return wide;
}

PixImage::~PixImage() {
    if (palette_) DeleteObject(palette_);
}

int PixImage::Width() {
    std::lock_guard<std::mutex> hold(lock_);
    return SwapsAxes(Orientation()) ? storedHeight_ : storedWidth_;
}

int PixImage::Height() {
    std::lock_guard<std::mutex> hold(lock_);
    return SwapsAxes(Orientation()) ? storedWidth_ : storedHeight_;
}

void PixImage::ForgetRenditions() {
    oriented_ = Bitmap();
    orientedOrientation_ = 0;
    rendition_ = Bitmap();
    renditionWidth_ = renditionHeight_ = 0;
}

bool PixImage::Load(std::vector<uint8_t> bytes) {
    std::lock_guard<std::mutex> hold(lock_);
    encoded_.clear();
    exif_ = ExifInfo();
    exifTiff_.clear();
    fileOrientation_ = 1;
    turns_ = 0;
    storedWidth_ = storedHeight_ = 0;
    decoded_ = Bitmap();
    decodedScale_ = 0;
    loaded_ = false;
    ForgetRenditions();

    isJpeg_ = LooksLikeJpeg(bytes.data(), bytes.size());
    if (!isJpeg_) {
        // A RAW is seen, turned and printed through the JPEG its camera embedded.
        int rawOrientation = 1;
        std::vector<uint8_t> preview = RawPreviewBytes(bytes, rawOrientation);
        if (!preview.empty() && LoadJpeg(std::move(preview), rawOrientation)) return true;
        isJpeg_ = false;
    }
    if (isJpeg_) return LoadJpeg(std::move(bytes), 1);
    if (!DecodeWithWic(bytes.data(), bytes.size(), decoded_)) return false;
    decodedScale_ = 1;
    storedWidth_ = decoded_.width;
    storedHeight_ = decoded_.height;
    encoded_ = std::move(bytes);
    loaded_ = true;
    return true;
}

bool PixImage::LoadJpeg(std::vector<uint8_t> bytes, int orientationWithoutExif) {
    isJpeg_ = true;
    JpegHeader header = ParseJpegHeader(bytes.data(), bytes.size());
    // The smallest decode checks the whole file at little cost in time and
    // memory; drawing decodes again at the size it needs.
    if (!header.valid || !DecodeJpeg(bytes.data(), bytes.size(), 0, 0, decoded_, &decodedScale_)) return false;
    storedWidth_ = header.width;
    storedHeight_ = header.height;
    fileOrientation_ = orientationWithoutExif;
    if (header.exifOffset) {
        const uint8_t* tiff = bytes.data() + header.exifOffset;
        exif_ = ParseTiff(tiff, header.exifLength);
        exifTiff_.assign(tiff, tiff + header.exifLength);
        if (exif_.orientation != 1) fileOrientation_ = exif_.orientation;
    }
    encoded_ = std::move(bytes);
    loaded_ = true;
    return true;
}

bool PixImage::Turn(int quarterTurnsClockwise) {
    std::lock_guard<std::mutex> hold(lock_);
    turns_ = ((turns_ + quarterTurnsClockwise) % 4 + 4) % 4;
    ForgetRenditions();
    return true;
}

bool PixImage::EnsureDecoded(int width, int height) {
    bool present = !decoded_.Empty();
    if (present && (decodedScale_ == 1 || (decoded_.width >= width && decoded_.height >= height)))
        return true;
    Bitmap larger;
    int scale = 1;
    bool decoded = isJpeg_ ? DecodeJpeg(encoded_.data(), encoded_.size(), width, height, larger, &scale)
                           : DecodeWithWic(encoded_.data(), encoded_.size(), larger);
    if (!decoded) return false;
    decoded_ = std::move(larger);
    decodedScale_ = scale;
    oriented_ = Bitmap();
    orientedOrientation_ = 0;
    return true;
}

const Bitmap& PixImage::Oriented() {
    int orientation = Orientation();
    if (orientation == kUpright) return decoded_;  // no copy of an upright picture
    if (orientedOrientation_ != orientation || oriented_.Empty()) {
        oriented_ = Orient(decoded_, orientation);
        orientedOrientation_ = orientation;
    }
    return oriented_;
}

bool PixImage::Draw(HDC dc, const RECT& dest, const RECT* clip) {
    std::lock_guard<std::mutex> hold(lock_);
    int width = dest.right - dest.left, height = dest.bottom - dest.top;
    if (!loaded_ || width <= 0 || height <= 0) return false;

    RECT visible = dest;
    if (clip && !IntersectRect(&visible, &visible, clip)) return true;
    RECT box;
    int region = GetClipBox(dc, &box);
    if ((region == SIMPLEREGION || region == COMPLEXREGION) &&
        !IntersectRect(&visible, &visible, &box))
        return true;

    bool swap = SwapsAxes(Orientation());
    if (!EnsureDecoded(swap ? height : width, swap ? width : height)) return false;
    Rect part = {visible.left - dest.left, visible.top - dest.top, visible.right - dest.left,
                 visible.bottom - dest.top};
    bool whole = part.left == 0 && part.top == 0 && part.right == width && part.bottom == height;
    if (whole && renditionWidth_ == width && renditionHeight_ == height) {
        DrawBitmap(dc, dest.left, dest.top, rendition_);
        return true;
    }
    Bitmap pixels = Resample(Oriented(), width, height, part);
    if (pixels.Empty()) return false;
    DrawBitmap(dc, visible.left, visible.top, pixels);
    if (whole && uint64_t(width) * uint64_t(height) <= kKeptRenditionPixels) {
        rendition_ = std::move(pixels);
        renditionWidth_ = width;
        renditionHeight_ = height;
        // Repaints use the rendition; the decoded picture is made again from
        // the encoded bytes when another size or turn needs it. Thousands of
        // thumbnails stay small this way.
        decoded_ = Bitmap();
        oriented_ = Bitmap();
        orientedOrientation_ = 0;
    }
    return true;
}

bool PixImage::FullUpright(Bitmap& out) {
    if (!EnsureDecoded(storedWidth_, storedHeight_)) return false;
    out = Oriented();
    return !out.Empty();
}

HGLOBAL PixImage::CreateDib() {
    std::lock_guard<std::mutex> hold(lock_);
    Bitmap upright;
    if (!loaded_ || !FullUpright(upright)) return nullptr;
    size_t bits = upright.pixels.size();
    HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, sizeof(BITMAPINFOHEADER) + bits);
    if (!memory) return nullptr;
    auto* header = static_cast<BITMAPINFOHEADER*>(GlobalLock(memory));
    *header = {};
    header->biSize = sizeof(BITMAPINFOHEADER);
    header->biWidth = upright.width;
    header->biHeight = upright.height;  // bottom-up, as every reader expects
    header->biPlanes = 1;
    header->biBitCount = 24;
    header->biCompression = BI_RGB;
    header->biSizeImage = DWORD(bits);
    uint8_t* target = reinterpret_cast<uint8_t*>(header + 1);
    for (int y = 0; y < upright.height; ++y)
        std::copy(upright.Row(y), upright.Row(y) + upright.Stride(),
                  target + upright.Stride() * size_t(upright.height - 1 - y));
    GlobalUnlock(memory);
    return memory;
}

std::vector<uint8_t> PixImage::ExifForCopy() const {
    std::vector<uint8_t> tiff = exifTiff_;
    if (!tiff.empty()) SetOrientation(tiff.data(), tiff.size(), exif_, kUpright);
    return tiff;
}

// A JPEG copy turned as shown: the original coefficients moved when the size
// allows it, else a fresh encoding; the EXIF block travels with it either way.
bool PixImage::SaveJpeg(const char* path) {
    std::lock_guard<std::mutex> hold(lock_);
    if (!loaded_ || !path) return false;
    std::vector<uint8_t> out;
    if (isJpeg_ && TransformJpegLossless(encoded_.data(), encoded_.size(), Orientation(), out)) {
        ResetOrientationInFile(out);
        return WriteWholeFile(path, out);
    }
    Bitmap upright;
    if (!FullUpright(upright) || !EncodeJpeg(upright, kReencodeQuality, ExifForCopy(), out))
        return false;
    return WriteWholeFile(path, out);
}

HPALETTE PixImage::Palette(HDC dc) {
    std::lock_guard<std::mutex> hold(lock_);
    if (!(GetDeviceCaps(dc, RASTERCAPS) & RC_PALETTE)) return nullptr;
    if (!palette_) palette_ = CreateHalftonePalette(dc);
    return palette_;
}

}  // namespace pix
