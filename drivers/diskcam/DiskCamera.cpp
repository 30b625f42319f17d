#include "DiskCamera.h"

#include <shellapi.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstring>

#include "JpegCodec.h"
#include "common/DriverFiles.h"
#include "WicCodec.h"
#include "core/Exif.h"
#include "core/ImageHeader.h"
#include "core/RawPreview.h"
#include "core/JpegHeader.h"
#include "core/MovieInfo.h"

namespace diskcam {
namespace {

using driverfiles::CopyOut;
using driverfiles::Exists;
using driverfiles::Fits;
using driverfiles::Narrow;
using driverfiles::ToGlobal;
using driverfiles::Widen;
using driverfiles::WriteBytes;

constexpr int kThumbnailSize = 160;
constexpr int kThumbnailQuality = 85;
constexpr size_t kHeaderBytes = 64 * 1024;  // EXIF lives in the first segment
constexpr size_t kRawHeaderBytes = 512 * 1024;
constexpr uint64_t kLargestPreview = 64 << 20;
constexpr int kSmallestUsefulPreview = 96;
constexpr size_t kLargestInMemory = 256 << 20;

std::string Lower(std::string text) {
    for (char& c : text) c = char(tolower(static_cast<unsigned char>(c)));
    return text;
}

// ASCII only, whatever the C runtime's locale: the order must stay the same.
unsigned char LowerByte(char c) {
    auto byte = static_cast<unsigned char>(c);
    return byte >= 'A' && byte <= 'Z' ? byte + ('a' - 'A') : byte;
}

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// Names in the order the user sees them, as file browsers sort: letters' case
// ignored and numbers by value (IMG_9 before IMG_10); compared without copies
// (a folder may hold tens of thousands).
struct NameOrder {
    bool operator()(std::string_view a, std::string_view b) const {
        size_t i = 0, j = 0;
        while (i < a.size() && j < b.size()) {
            if (IsDigit(a[i]) && IsDigit(b[j])) {
                size_t endA = i, endB = j;
                while (i < a.size() && a[i] == '0') ++i;
                while (j < b.size() && b[j] == '0') ++j;
                for (endA = i; endA < a.size() && IsDigit(a[endA]);) ++endA;
                for (endB = j; endB < b.size() && IsDigit(b[endB]);) ++endB;
                int byValue = endA - i != endB - j ? (endA - i < endB - j ? -1 : 1)
                                                   : a.substr(i, endA - i).compare(b.substr(j, endB - j));
                if (byValue != 0) return byValue < 0;
                i = endA, j = endB;
            } else if (LowerByte(a[i]) != LowerByte(b[j])) {
                return LowerByte(a[i]) < LowerByte(b[j]);
            } else {
                ++i, ++j;
            }
        }
        if (a.size() - i != b.size() - j) return a.size() - i < b.size() - j;
        return a < b;  // the same but for zeros or case: any fixed order
    }
};

bool EndsWithIgnoringCase(std::string_view text, std::string_view ending) {
    return text.size() >= ending.size() &&
           std::equal(ending.begin(), ending.end(), text.end() - ending.size(),
                      [](char x, char y) { return LowerByte(x) == LowerByte(y); });
}

bool IsDirectory(const std::string& path) {
    DWORD attributes = driverfiles::Attributes(path);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

// The names, in UTF-8 and listing order, of the files or the folders in
// `folder` that `wanted` takes.
std::vector<std::string> ListDirectory(const std::string& folder, bool directories,
                                       bool (*wanted)(const std::string& name)) {
    std::vector<std::string> names;
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW(Widen(folder + "\\*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return names;
    do {
        bool isDirectory = found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY;
        if (found.cFileName[0] == L'.' || isDirectory != directories) continue;
        names.push_back(Narrow(found.cFileName));
        if (!wanted(names.back())) names.pop_back();
    } while (FindNextFileW(search, &found));
    FindClose(search);
    std::sort(names.begin(), names.end(), NameOrder());
    names.shrink_to_fit();  // kept for the connection's life
    return names;
}

// Up to `limit` bytes of the file from `offset`; the file's size in `fileSize`.
std::vector<uint8_t> ReadBytes(const std::string& path, size_t limit, uint64_t offset = 0, uint64_t* fileSize = nullptr) {
    std::vector<uint8_t> bytes;
    HANDLE file = CreateFileW(Widen(path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return bytes;
    LARGE_INTEGER size = {}, at = {};
    at.QuadPart = LONGLONG(offset);
    if (GetFileSizeEx(file, &size) && size.QuadPart > LONGLONG(offset) && SetFilePointerEx(file, at, nullptr, FILE_BEGIN)) {
        bytes.resize(size_t(std::min<LONGLONG>(size.QuadPart - LONGLONG(offset), LONGLONG(limit))));
        DWORD read = 0;
        if (!ReadFile(file, bytes.data(), DWORD(bytes.size()), &read, nullptr)) read = 0;
        bytes.resize(read);
    }
    if (fileSize) *fileSize = uint64_t(size.QuadPart);
    CloseHandle(file);
    return bytes;
}

// The picture fitted into a square of `size`, aspect kept.
pix::Bitmap Fit(const pix::Bitmap& picture, int size) {
    double scale = std::min(1.0, double(size) / std::max(picture.width, picture.height));
    int width = std::max(1, int(picture.width * scale + 0.5));
    int height = std::max(1, int(picture.height * scale + 0.5));
    return pix::Resample(picture, width, height, {0, 0, width, height});
}

bool Report(ProgressCallback cb, void* context, int code, int value) {
    return !cb || cb(code, value, nullptr, context);
}

// A name Windows takes for a device ("con.jpg", "LPT1.png"): reading such a
// "file" may wait forever, writing one keeps nothing.
bool IsDeviceName(const std::string& name) {
    std::string stem = Lower(name.substr(0, name.find('.')));
    while (!stem.empty() && stem.back() == ' ') stem.pop_back();
    static const char* const kDevices[] = {"con", "prn", "aux", "nul", "conin$", "conout$"};
    for (const char* device : kDevices)
        if (stem == device) return true;
    return stem.size() == 4 && (stem.compare(0, 3, "com") == 0 || stem.compare(0, 3, "lpt") == 0) &&
           stem[3] >= '1' && stem[3] <= '9';
}

// A name in `folder` for `name` that no file has yet: "name (2).ext" and on.
std::string FreeName(const std::string& folder, const std::string& name) {
    size_t dot = name.find_last_of('.');
    std::string stem = name.substr(0, dot), extension = dot == std::string::npos ? "" : name.substr(dot);
    std::string candidate = name;
    for (int n = 2; Exists(folder + "\\" + candidate); ++n)
        candidate = stem + " (" + std::to_string(n) + ")" + extension;
    return candidate;
}

}  // namespace

namespace {

// Everything a camera writes under DCIM: what the codec decodes, RAW pictures,
// HEIF pictures and videos. None stays behind when a card is copied.
const char* const kDecodedKinds[] = {".jpg", ".jpeg", ".png", ".bmp", ".gif", ".tif", ".tiff", ".heic", ".heif", ".hif"};
const char* const kRawKinds[] = {".cr2", ".cr3", ".crw", ".nef", ".nrw", ".arw", ".sr2", ".dng",
                                 ".orf", ".rw2", ".pef", ".raf", ".srw", ".3fr", ".iiq", ".x3f"};
const char* const kVideoKinds[] = {".mp4", ".mov", ".avi", ".mts", ".m2ts", ".3gp"};

template <size_t N>
bool EndsWithOneOf(const std::string& name, const char* const (&endings)[N]) {
    for (const char* ending : endings)
        if (name.size() > std::strlen(ending) && EndsWithIgnoringCase(name, ending)) return true;
    return false;
}

}  // namespace

bool IsPictureName(const std::string& name) {
    return EndsWithOneOf(name, kDecodedKinds) || EndsWithOneOf(name, kRawKinds) || EndsWithOneOf(name, kVideoKinds);
}

bool IsVideoName(const std::string& name) { return EndsWithOneOf(name, kVideoKinds); }
bool IsRawName(const std::string& name) { return EndsWithOneOf(name, kRawKinds); }

// ---- DiskImage

// What a picture's first bytes tell, and where in them its EXIF thumbnail lies.
struct PictureHead {
    bool read = false;
    std::string date;
    int orientation = 1;
    int width = 0, height = 0;
    const uint8_t* thumbnail = nullptr;
    size_t thumbnailLength = 0;
    pix::RawPreview preview;  // a RAW file's smallest embedded JPEG, in the file
};

namespace {

// A RAW file's facts come from its container; its preview is read later.
PictureHead ParseRawHead(const std::vector<uint8_t>& head, uint64_t fileSize) {
    PictureHead parsed;
    parsed.read = true;
    pix::RawInfo raw = pix::ParseRaw(head.data(), head.size(), fileSize);
    parsed.date = raw.dateTimeOriginal;
    parsed.orientation = raw.orientation;
    parsed.width = raw.sensorWidth;
    parsed.height = raw.sensorHeight;
    // The smallest preview makes the thumbnail, unless it is too small to show anything.
    bool tiny = raw.smallest.width > 0 && raw.smallest.width < kSmallestUsefulPreview;
    parsed.preview = tiny ? raw.largest : raw.smallest;
    return parsed;
}

PictureHead ParseHead(const std::vector<uint8_t>& head, uint64_t fileSize, bool raw) {
    if (raw && !head.empty()) return ParseRawHead(head, fileSize);
    PictureHead parsed;
    if (head.empty()) return parsed;
    parsed.read = true;
    pix::JpegHeader jpeg = pix::ParseJpegHeader(head.data(), head.size());
    if (jpeg.exifOffset) {
        pix::ExifInfo exif = pix::ParseTiff(head.data() + jpeg.exifOffset, jpeg.exifLength);
        parsed.date = exif.dateTimeOriginal;
        parsed.orientation = exif.orientation;
        if (exif.thumbnailLength) {
            parsed.thumbnail = head.data() + jpeg.exifOffset + exif.thumbnailOffset;
            parsed.thumbnailLength = exif.thumbnailLength;
        }
    }
    pix::PictureSize size = pix::ReadPictureSize(head.data(), head.size());
    parsed.width = size.width;
    parsed.height = size.height;
    return parsed;
}

}  // namespace

DiskImage::DiskImage(DiskConnection* owner, std::string name) : owner_(owner), name_(std::move(name)) {}

std::string DiskImage::Path() const { return owner_->Folder() + "\\" + name_; }

// RAW containers keep their directories further in than a JPEG its EXIF.
// `head` holds the bytes the result points into.
PictureHead DiskImage::ReadHead(std::vector<uint8_t>& head) {
    bool raw = IsRawName(name_);
    uint64_t fileSize = 0;
    std::string path = Path();
    head = ReadBytes(path, raw ? kRawHeaderBytes : kHeaderBytes, 0, &fileSize);
    if (!IsVideoName(name_)) return ParseHead(head, fileSize, raw);
    PictureHead parsed;
    parsed.read = !head.empty();
    pix::MovieInfo movie =
        pix::ParseMovie([&path](uint64_t at, size_t count) { return ReadBytes(path, count, at); }, fileSize);
    parsed.date = movie.dateTimeOriginal;
    parsed.width = movie.width;
    parsed.height = movie.height;
    return parsed;
}

const DiskImage::Facts& DiskImage::ReadFacts() {
    std::vector<uint8_t> head;
    if (!facts_.read) KeepFacts(ReadHead(head));
    return facts_;
}

// A head not read tells nothing: the facts are looked for again next time.
void DiskImage::KeepFacts(const PictureHead& head) {
    if (facts_.read || !head.read) return;
    facts_.read = true;
    CopyOut(head.date, facts_.date, sizeof facts_.date);
    facts_.orientation = head.orientation;
    facts_.width = head.width;
    facts_.height = head.height;
}

bool DiskImage::GetInfo(ImageInfo* out) {
    if (!out) return false;
    WIN32_FILE_ATTRIBUTE_DATA attributes;
    if (!GetFileAttributesExW(Widen(Path()).c_str(), GetFileExInfoStandard, &attributes)) return false;
    std::lock_guard<SlimLock> hold(lock_);
    const Facts& facts = ReadFacts();
    *out = {};
    CopyOut(name_, out->name, sizeof out->name);
    // A file past 4 GB (a long clip on an exFAT card) has no size the table can carry: a copy measures it.
    out->fileSize = attributes.nFileSizeLow;
    out->mask = attributes.nFileSizeHigh ? kInfoName : kInfoName | kInfoSize;
    if (facts.date[0]) {
        CopyOut(facts.date, out->captureDate, sizeof out->captureDate);
        out->mask |= kInfoDate;
    } else if (IsVideoName(name_)) {  // no movie header tells: when the camera wrote the file
        SYSTEMTIME utc, local;
        if (FileTimeToSystemTime(&attributes.ftLastWriteTime, &utc) && SystemTimeToTzSpecificLocalTime(nullptr, &utc, &local)) {
            snprintf(out->captureDate, sizeof out->captureDate, "%04u:%02u:%02u %02u:%02u:%02u", local.wYear, local.wMonth,
                     local.wDay, local.wHour, local.wMinute, local.wSecond);
            out->mask |= kInfoDate;
        }
    }
    if (facts.width > 0) {
        out->width = facts.width;
        out->height = facts.height;
        out->mask |= kInfoDimensions;
    } else {
        out->mask |= kInfoNoDimensions;
    }
    return true;
}

int DiskImage::NeedsProgress() { return IsVideoName(name_) ? 1 : 0; }

// Made anew when asked again, unless still among the ones made last.
bool DiskImage::Thumbnail(std::vector<uint8_t>& out) {
    if (owner_->Thumbnails().Find(this, out)) return true;
    if (!MakeThumbnail(out)) return false;
    owner_->Thumbnails().Keep(this, out);
    return true;
}

// The embedded EXIF thumbnail turned upright (as the camera wrote it when it
// needs no turn), else a small picture made by a scaled decode of the file.
bool DiskImage::MakeThumbnail(std::vector<uint8_t>& out) {
    if (IsVideoName(name_)) return false;  // a placeholder: nothing in a clip is read for it
    std::vector<uint8_t> head;
    PictureHead parsed = ReadHead(head);
    KeepFacts(parsed);
    std::vector<uint8_t> preview;
    if (parsed.preview.length > 0 && parsed.preview.length <= kLargestPreview) {
        preview = ReadBytes(Path(), size_t(parsed.preview.length), parsed.preview.offset);
        parsed.thumbnail = preview.data();
        parsed.thumbnailLength = preview.size();
    }
    if (parsed.thumbnail && parsed.orientation == 1) {
        pix::JpegHeader thumb = pix::ParseJpegHeader(parsed.thumbnail, parsed.thumbnailLength);
        if (thumb.valid && thumb.width <= kThumbnailSize && thumb.height <= kThumbnailSize) {
            out.assign(parsed.thumbnail, parsed.thumbnail + parsed.thumbnailLength);
            return true;
        }
    }
    pix::Bitmap picture;
    int scale = 0;
    bool decoded = parsed.thumbnail && pix::DecodeJpeg(parsed.thumbnail, parsed.thumbnailLength, kThumbnailSize,
                                                       kThumbnailSize, picture, &scale);
    // A video or a RAW file is not read whole for a thumbnail: it stays a placeholder.
    if (!decoded && (IsVideoName(name_) || IsRawName(name_))) return false;
    if (!decoded) {
        std::vector<uint8_t> whole = ReadBytes(Path(), size_t(1) << 30);
        decoded = pix::LooksLikeJpeg(whole.data(), whole.size())
                      ? pix::DecodeJpeg(whole.data(), whole.size(), kThumbnailSize, kThumbnailSize,
                                        picture, &scale)
                      : pix::DecodeWithWic(whole.data(), whole.size(), picture);
        if (!decoded) return false;
    }
    pix::Bitmap upright = pix::Orient(Fit(picture, kThumbnailSize), parsed.orientation);
    return pix::EncodeJpeg(upright, kThumbnailQuality, {}, out);
}

int DiskImage::ReadData(HGLOBAL* data, int fullImage, int* freeWhenDone, ProgressCallback cb,
                        void* cbContext) {
    if (!data) return -1;
    *data = nullptr;
    if (!Report(cb, cbContext, 0, 0)) return kReadCancelled;
    std::vector<uint8_t> bytes;
    if (fullImage) {
        // A video or a big file is not taken into memory: callers read it as a file (ReadToFile).
        WIN32_FILE_ATTRIBUTE_DATA attributes;
        if (IsVideoName(name_) || !GetFileAttributesExW(Widen(Path()).c_str(), GetFileExInfoStandard, &attributes) ||
            attributes.nFileSizeHigh || attributes.nFileSizeLow > kLargestInMemory)
            return -1;
        bytes = ReadBytes(Path(), kLargestInMemory + 1);
        if (bytes.empty() || bytes.size() > kLargestInMemory) return -1;
    } else {
        std::lock_guard<SlimLock> hold(lock_);
        if (!Thumbnail(bytes)) return -1;
    }
    if (!Report(cb, cbContext, 2, 100)) return kReadCancelled;
    *data = ToGlobal(bytes);
    if (!*data) return -1;
    if (freeWhenDone) *freeWhenDone = 1;
    return kReadOk;
}

namespace {

// {7A3E91D1-5B2C-4E8F-9D61-2F0C8A4B7E13}: what the module asks a picture for.
const GUID kPropertiesExtension = {0x7A3E91D1, 0x5B2C, 0x4E8F, {0x9D, 0x61, 0x2F, 0x0C, 0x8A, 0x4B, 0x7E, 0x13}};

class DiskProperties final : public ICameraProperties {
public:
    DiskProperties(std::string title, std::string text) : title_(std::move(title)), text_(std::move(text)) {}
    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override {
        if (!ppv) return E_POINTER;
        *ppv = IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, kPropertiesExtension) ? this : nullptr;
        if (!*ppv) return E_NOINTERFACE;
        AddRef();
        return S_OK;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return ++references_; }
    STDMETHODIMP_(ULONG) Release() override {
        ULONG left = --references_;
        if (left == 0) delete this;
        return left;
    }
    HRESULT STDMETHODCALLTYPE ShowProperties(HWND owner) override {
        MessageBoxW(owner, Widen(text_).c_str(), Widen(title_).c_str(), MB_OK | MB_ICONINFORMATION);
        return S_OK;
    }

private:
    std::atomic<ULONG> references_{1};
    std::string title_, text_;
};

}  // namespace

void DiskImage::QueryExtension(const GUID* iid, void** out) {
    if (!out) return;
    *out = nullptr;
    if (!iid || !IsEqualGUID(*iid, kPropertiesExtension)) return;
    ImageInfo info = {};
    if (!GetInfo(&info)) return;
    std::string text = "File:\t" + Path() + "\nSize:\t" + std::to_string(info.fileSize) + " bytes";
    if (info.mask & kInfoDate) text += "\nTaken:\t" + std::string(info.captureDate);
    if (info.mask & kInfoDimensions)
        text += "\nPicture:\t" + std::to_string(info.width) + " x " + std::to_string(info.height) + " pixels";
    std::lock_guard<SlimLock> hold(lock_);
    text += "\nOrientation:\t" + std::to_string(ReadFacts().orientation);
    *out = static_cast<ICameraProperties*>(new (std::nothrow) DiskProperties(name_ + " Properties", text));
}

DiskImage::~DiskImage() {
    if (!thumbnailFile_.empty()) driverfiles::Delete(thumbnailFile_);
}

// The thumbnail as a file of its own, written once and removed with the image,
// so that callers who never delete what they fetch leave nothing behind.
std::string DiskImage::ThumbnailFile() {
    std::lock_guard<SlimLock> hold(lock_);
    if (!thumbnailFile_.empty()) return thumbnailFile_;
    std::vector<uint8_t> bytes;
    if (!Thumbnail(bytes)) return {};
    std::string path = owner_->NewScratchPath();
    thumbnailFile_ = !path.empty() && WriteBytes(path, bytes) ? path : std::string();
    return thumbnailFile_;
}

// The picture's own file when its path fits `size` bytes, else a copy in the
// scratch folder; "" when neither can be had.
std::string DiskImage::FullFile(int size) {
    std::string path = Path();
    if (Fits(path, size)) return Exists(path) ? path : std::string();
    std::string copy = owner_->NewScratchPath();
    return !copy.empty() && CopyFileW(Widen(path).c_str(), Widen(copy).c_str(), FALSE) ? copy : std::string();
}

// Full reads hand over the picture file itself (a copy for the caller to
// delete when its path is too long for the caller), thumbnails their own file.
int DiskImage::ReadToFile(char* path, int size, int fullImage, int* deleteWhenDone, ProgressCallback cb,
                          void* cbContext) {
    if (!path || size <= 0) return -1;
    if (!Report(cb, cbContext, 0, 0)) return kReadCancelled;
    std::string file = fullImage ? FullFile(size) : ThumbnailFile();
    bool copied = fullImage && !file.empty() && file != Path();
    int result = file.empty() || !Fits(file, size) ? -1 : Report(cb, cbContext, 2, 100) ? kReadOk : kReadCancelled;
    if (result != kReadOk) {
        if (copied) driverfiles::Delete(file);
        return result;
    }
    CopyOut(file, path, size);
    if (deleteWhenDone) *deleteWhenDone = copied;
    return kReadOk;
}

// ---- DiskConnection

namespace {

std::string WithoutClosingSlashes(std::string folder) {
    while (folder.size() > 3 && (folder.back() == '\\' || folder.back() == '/')) folder.pop_back();
    return folder;
}

// A name longer than the table's name field is no picture this driver can hand out.
bool IsListedName(const std::string& name) { return IsPictureName(name) && Fits(name, sizeof ImageInfo::name); }

}  // namespace

DiskConnection::DiskConnection(std::string folder) : folder_(WithoutClosingSlashes(std::move(folder))) { Scan(); }

DiskConnection::~DiskConnection() {
    images_.clear();  // their scratch files first, then the folder
}

std::string DiskConnection::NewScratchPath() {
    std::lock_guard<std::mutex> hold(lock_);
    return scratch_.NewPath();
}

void DiskConnection::Destroy(int flags) {
    if (flags & 1) delete this;
}

void DiskConnection::Scan() {
    Names names = ListDirectory(folder_, false, IsListedName);
    std::lock_guard<std::mutex> hold(lock_);
    names_ = std::move(names);
    scanned_ = names_.size();
}

// Found by halves among the scanned names, one by one among the few dropped in since.
DiskConnection::Names::iterator DiskConnection::Listed(std::string_view name) {
    auto dropped = names_.begin() + std::ptrdiff_t(scanned_);
    auto same = std::equal_range(names_.begin(), dropped, name, NameOrder());
    auto at = std::find(same.first, same.second, name);
    return at != same.second ? at : std::find(dropped, names_.end(), name);
}

void DiskConnection::GetConnectionId(char* buffer, int size) { CopyOut(folder_, buffer, size); }

int DiskConnection::GetImageCount() {
    std::lock_guard<std::mutex> hold(lock_);
    return int(names_.size());
}

void DiskConnection::GetImageName(char* buffer, int size, int index) {
    std::lock_guard<std::mutex> hold(lock_);
    CopyOut(index >= 0 && size_t(index) < names_.size() ? names_[size_t(index)] : "", buffer, size);
}

CameraImage* DiskConnection::OpenImage(const char* name) {
    if (!name) return nullptr;
    std::lock_guard<std::mutex> hold(lock_);
    auto listed = Listed(name);
    if (listed == names_.end()) return nullptr;
    auto at = images_.find(*listed);
    if (at != images_.end()) return at->second.get();
    auto image = std::make_unique<DiskImage>(this, *listed);
    std::string_view key = image->Name();
    return images_.emplace(key, std::move(image)).first->second.get();
}

void DiskConnection::DeleteImage(const char* name) {
    if (!name) return;
    std::lock_guard<std::mutex> hold(lock_);
    auto at = Listed(name);
    if (at == names_.end() || !driverfiles::Delete(folder_ + "\\" + name)) return;
    if (size_t(at - names_.begin()) < scanned_) --scanned_;
    names_.erase(at);
}

void DiskConnection::DeleteAllImages() {
    std::lock_guard<std::mutex> hold(lock_);
    Names kept;
    size_t scannedKept = 0;
    for (size_t i = 0; i < names_.size(); ++i) {
        if (driverfiles::Delete(folder_ + "\\" + names_[i])) continue;
        kept.push_back(std::move(names_[i]));
        scannedKept += i < scanned_;
    }
    names_ = std::move(kept);
    scanned_ = scannedKept;
}

int DiskConnection::CheckConnection() { return IsDirectory(folder_) ? 0 : -1; }

std::vector<std::string> DiskConnection::DroppedPictures(IDataObject* data) {
    std::vector<std::string> files;
    if (!data) return files;
    FORMATETC format = {CF_HDROP, nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
    STGMEDIUM medium = {};
    if (FAILED(data->GetData(&format, &medium))) return files;
    if (auto drop = static_cast<HDROP>(GlobalLock(medium.hGlobal))) {
        UINT count = DragQueryFileW(drop, 0xFFFFFFFF, nullptr, 0);
        for (UINT i = 0; i < count; ++i) {
            std::wstring path(DragQueryFileW(drop, i, nullptr, 0), L'\0');
            bool read = !path.empty() && DragQueryFileW(drop, i, &path[0], UINT(path.size() + 1));
            std::string file = read ? Narrow(path) : "";
            if (IsPictureName(file) && !IsDeviceName(file.substr(file.find_last_of("\\/") + 1)))
                files.push_back(file);
        }
        GlobalUnlock(medium.hGlobal);
    }
    ReleaseStgMedium(&medium);
    return files;
}

int DiskConnection::CanAcceptData(IDataObject* data) {
    if (!data || CheckConnection() < 0) return 0;
    FORMATETC format = {CF_HDROP, nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
    return data->QueryGetData(&format) == S_OK ? 1 : 0;
}

// Copies dropped picture files in under names no file has, appending them to
// the list so that the last indexes are the new pictures.
int DiskConnection::AcceptData(IDataObject* data, int) {
    int taken = 0;
    for (const std::string& source : DroppedPictures(data)) {
        std::string name = source.substr(source.find_last_of("\\/") + 1);
        std::lock_guard<std::mutex> hold(lock_);
        std::string free = FreeName(folder_, name);
        if (!Fits(free, sizeof ImageInfo::name) ||
            !CopyFileW(Widen(source).c_str(), Widen(folder_ + "\\" + free).c_str(), TRUE))
            continue;
        names_.push_back(free);
        ++taken;
    }
    return taken;
}

// ---- DiskService

DiskService::DiskService(std::string root) : root_(std::move(root)) {}

void DiskService::Destroy(int flags) {
    if (flags & 1) delete this;
}

// The text is a folder name this service listed, or a folder's path.
CameraConnection* DiskService::OpenConnection(const char* connectionText) {
    if (!connectionText) return nullptr;
    std::string path = connectionText;
    {
        std::lock_guard<std::mutex> hold(lock_);
        for (const Folder& folder : folders_)
            if (folder.name == path) path = folder.path;
    }
    if (!IsDirectory(path)) return nullptr;
    return new (std::nothrow) DiskConnection(path);
}

// The picture folders below DCIM of the root given, or of every removable drive.
bool DiskService::Refresh() {
    std::vector<std::string> roots;
    if (!root_.empty()) {
        roots.push_back(root_);
    } else {
        DWORD drives = GetLogicalDrives();
        for (wchar_t letter = L'A'; letter <= L'Z'; ++letter) {
            const wchar_t drive[] = {letter, L':', L'\\', L'\0'};
            if ((drives >> (letter - L'A') & 1) && GetDriveTypeW(drive) == DRIVE_REMOVABLE)
                roots.push_back({char(letter), ':'});
        }
    }
    std::vector<Folder> folders;
    for (const std::string& root : roots) {
        std::string dcim = root + "\\DCIM";
        for (const std::string& sub : ListDirectory(dcim, true, [](const std::string&) { return true; })) {
            std::string name = root_.empty() ? sub + " (" + root + ")" : sub;
            if (Fits(name, 256)) folders.push_back({name, dcim + "\\" + sub});
        }
    }
    std::lock_guard<std::mutex> hold(lock_);
    folders_ = std::move(folders);
    return true;
}

unsigned DiskService::GetFolderCount() {
    std::lock_guard<std::mutex> hold(lock_);
    return unsigned(folders_.size());
}

bool DiskService::GetFolderName(unsigned index, char* buffer, int size) {
    std::lock_guard<std::mutex> hold(lock_);
    if (index >= folders_.size()) return false;
    CopyOut(folders_[index].name, buffer, size);
    return true;
}

}  // namespace diskcam

extern "C" CameraService* ExtCreateAccountService(const char* argument) {
    try {
        std::string root = argument ? argument : "";
        while (!root.empty() && (root.back() == '\\' || root.back() == '/')) root.pop_back();
        return new diskcam::DiskService(root);
    } catch (...) {
        return nullptr;
    }
}
