#include "transfer/ImageDataObject.h"

#include <shlobj.h>
#include <shlwapi.h>

#include <algorithm>
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <memory>
#include <utility>

#include "base/FileKinds.h"
#include "base/WideText.h"
#include "transfer/FormatEnumerator.h"

namespace {

constexpr size_t kPathField = 260;
const wchar_t kPrivateName[] = L"Vistrel";

CLIPFORMAT Registered(const wchar_t* name) { return static_cast<CLIPFORMAT>(RegisterClipboardFormatW(name)); }
CLIPFORMAT PrivateFormat() { return Registered(kPrivateName); }
CLIPFORMAT IdListFormat() { return Registered(L"Shell IDList Array"); }
CLIPFORMAT DropEffectFormat() { return Registered(L"Preferred DropEffect"); }
CLIPFORMAT DescriptorFormat() { return Registered(L"FileGroupDescriptorW"); }
CLIPFORMAT ContentsFormat() { return Registered(L"FileContents"); }

// What the object offers, in the order it lists them.
struct Offer {
    const wchar_t* name;  // a registered format, or null for `standard`
    CLIPFORMAT standard;
    DWORD tymed;
    bool oneImageOnly;
};
const Offer kOffers[] = {
    {kPrivateName, 0, TYMED_HGLOBAL, false},
    {nullptr, CF_HDROP, TYMED_HGLOBAL, false},
    {L"Shell IDList Array", 0, TYMED_HGLOBAL, false},
    {L"Preferred DropEffect", 0, TYMED_HGLOBAL, false},
    {L"FileGroupDescriptorW", 0, TYMED_HGLOBAL, false},
    {L"FileContents", 0, TYMED_ISTREAM, false},
    {nullptr, CF_DIB, TYMED_HGLOBAL, true},
};

void Put32(BYTE* at, uint32_t value) { std::memcpy(at, &value, 4); }

// A zero-filled fixed block, as every clipboard format here is.
class Block {
public:
    explicit Block(size_t size) : memory_(GlobalAlloc(GPTR, size)) {}
    ~Block() {
        if (memory_) GlobalFree(memory_);
    }
    Block(const Block&) = delete;
    Block& operator=(const Block&) = delete;
    BYTE* Bytes() const { return static_cast<BYTE*>(memory_); }
    explicit operator bool() const { return memory_ != nullptr; }
    HGLOBAL Release() { return std::exchange(memory_, nullptr); }

private:
    HGLOBAL memory_;
};

struct IdListFree {
    void operator()(ITEMIDLIST* list) const { ILFree(list); }
};
using AbsoluteIdList = std::unique_ptr<ITEMIDLIST, IdListFree>;

HRESULT HandOver(HGLOBAL block, STGMEDIUM* medium) {
    if (!block) return E_UNEXPECTED;
    medium->tymed = TYMED_HGLOBAL;
    medium->hGlobal = block;
    medium->pUnkForRelease = nullptr;
    return S_OK;
}

// CF_HDROP: a DROPFILES header, then the wide paths, each ended by a zero and
// the list by one more.
HGLOBAL FileList(const std::vector<std::string>& paths) {
    std::wstring names;
    for (const std::string& path : paths) {
        std::wstring wide = Widen(path);
        if (wide.empty() || wide.size() >= MAX_PATH) return nullptr;  // readers take paths into MAX_PATH buffers
        names += wide + L'\0';
    }
    names += L'\0';
    Block block(sizeof(DROPFILES) + names.size() * sizeof(wchar_t));
    if (!block) return nullptr;
    auto* header = reinterpret_cast<DROPFILES*>(block.Bytes());
    header->pFiles = sizeof(DROPFILES);
    header->fWide = TRUE;
    std::memcpy(block.Bytes() + sizeof(DROPFILES), names.data(), names.size() * sizeof(wchar_t));
    return block.Release();
}

HGLOBAL PreferredEffect() {
    Block block(sizeof(DWORD));
    if (!block) return nullptr;
    Put32(block.Bytes(), DROPEFFECT_COPY);
    return block.Release();
}

bool Rendered(const TransferItem& item) {
    return !item.filePath.empty() && GetFileAttributesW(Widen(item.filePath).c_str()) != INVALID_FILE_ATTRIBUTES;
}

// The camera's capture time, a local "YYYY:MM:DD HH:MM:SS", as a file time.
bool CaptureTime(const ImageInfo& info, FILETIME* time) {
    if (!(info.mask & kInfoDate)) return false;
    std::string text(info.captureDate, strnlen(info.captureDate, sizeof info.captureDate));
    unsigned year, month, day, hour, minute, second;
    if (std::sscanf(text.c_str(), "%4u:%2u:%2u %2u:%2u:%2u", &year, &month, &day, &hour, &minute, &second) != 6)
        return false;
    // The offset of the day it was taken on, not of today.
    SYSTEMTIME local = {WORD(year), WORD(month), 0, WORD(day), WORD(hour), WORD(minute), WORD(second), 0}, universal;
    return TzSpecificLocalTimeToSystemTime(nullptr, &local, &universal) && SystemTimeToFileTime(&universal, time);
}

}  // namespace

const InterfaceRow<ImageDataObject> ImageDataObject::kInterfaces[2] = {
    {&IID_IUnknown, FaceOf<ImageDataObject, IDataObject>},
    {&IID_IDataObject, FaceOf<ImageDataObject, IDataObject>},
};

ImageDataObject::ImageDataObject(DropSource* dropSource, FolderConnection* folder, IUnknown* folderObject,
                                 HWND browserWindow, std::vector<TransferItem> items)
    : dropSource_(dropSource), folder_(folder), folderObject_(folderObject), browserWindow_(browserWindow) {
    // The drop source's last answer is read after the drag: keep it alive.
    if (dropSource_) dropSource_->AddRef();
    if (folderObject_) folderObject_->AddRef();
    batch_.items = std::move(items);
}

ImageDataObject::~ImageDataObject() {
    RemoveRenderFolder(batch_.folder);
    if (dropSource_) dropSource_->Release();
    if (folderObject_) folderObject_->Release();
}

std::string ImageDataObject::PlaceholderPath() const {
    return batch_.folder.empty() ? std::string() : batch_.folder + "~tmpdrag.jpg";
}

bool ImageDataObject::DragInProgress() const {
    return dropSource_ && dropSource_->LastAnswer() != DRAGDROP_S_DROP;
}

// The browser window owns the progress dialog while it is shown on this
// thread; once the view is gone (the clipboard outlives it) no window does.
HWND ImageDataObject::ProgressOwner() const {
    bool usable = IsWindow(browserWindow_) && IsWindowVisible(browserWindow_) &&
                  GetWindowThreadProcessId(browserWindow_, nullptr) == GetCurrentThreadId();
    return usable ? browserWindow_ : nullptr;
}

std::vector<FORMATETC> ImageDataObject::Offered() const {
    std::vector<FORMATETC> formats;
    for (const Offer& offer : kOffers) {
        // A bitmap is one picture's: a video (or several items) has none.
        if (offer.oneImageOnly && (batch_.items.size() != 1 || KindOfFile(batch_.items[0].name) == FileKind::kVideo))
            continue;
        CLIPFORMAT format = offer.name ? Registered(offer.name) : offer.standard;
        formats.push_back({format, nullptr, DVASPECT_CONTENT, -1, offer.tymed});
    }
    return formats;
}

STDMETHODIMP ImageDataObject::QueryGetData(FORMATETC* format) {
    if (!format) return E_INVALIDARG;
    for (const FORMATETC& offered : Offered()) {
        if (offered.cfFormat != format->cfFormat) continue;
        if (format->dwAspect != DVASPECT_CONTENT) return DV_E_DVASPECT;
        if (!(format->tymed & offered.tymed)) return DV_E_TYMED;
        // A picture's contents are asked for by its index in the descriptor.
        bool perPicture = offered.tymed == TYMED_ISTREAM;
        bool index = format->lindex == -1 ||
                     (perPicture && format->lindex >= 0 && size_t(format->lindex) < batch_.items.size());
        return index ? S_OK : DV_E_LINDEX;
    }
    return DV_E_FORMATETC;
}

STDMETHODIMP ImageDataObject::EnumFormatEtc(DWORD direction, IEnumFORMATETC** ppenum) {
    if (!ppenum) return E_POINTER;
    *ppenum = nullptr;
    if (direction != DATADIR_GET) return E_NOTIMPL;
    HRESULT hr = HandOut(new (std::nothrow) FormatEnumerator(Offered()), IID_IEnumFORMATETC,
                         reinterpret_cast<void**>(ppenum));
    return FAILED(hr) ? E_OUTOFMEMORY : S_OK;
}

STDMETHODIMP ImageDataObject::GetData(FORMATETC* format, STGMEDIUM* medium) {
    if (!format || !medium) return E_INVALIDARG;
    HRESULT offered = QueryGetData(format);
    if (offered != S_OK) return offered;
    CLIPFORMAT cf = format->cfFormat;
    if (cf == PrivateFormat()) return HandOver(RenderPrivate(), medium);
    if (cf == DropEffectFormat()) return HandOver(PreferredEffect(), medium);
    if (DragInProgress()) {
        // A target probing the data during the drag must not start a transfer.
        if (cf != CF_HDROP) return DV_E_FORMATETC;
        return HandOver(RenderPlaceholder(), medium);
    }
    if (cf == ContentsFormat() && format->lindex < 0) return DV_E_LINDEX;
    // Progress dialogs pump messages: a second rendering must not start meanwhile.
    if (folder_->Idle() == 0 || !stillValid_) return E_UNEXPECTED;
    batch_.owner = ProgressOwner();
    folder_->SetIdle(0);
    HRESULT hr = Render(*format, medium);
    folder_->SetIdle(1);
    stillValid_ = SUCCEEDED(hr);
    return hr;
}

HRESULT ImageDataObject::Render(const FORMATETC& format, STGMEDIUM* medium) {
    CLIPFORMAT cf = format.cfFormat;
    if (cf == ContentsFormat()) {
        IStream* stream = nullptr;
        HRESULT hr = RenderContents(size_t(format.lindex), &stream);
        if (FAILED(hr)) return hr;
        medium->tymed = TYMED_ISTREAM;
        medium->pstm = stream;
        medium->pUnkForRelease = nullptr;
        return S_OK;
    }
    if (cf == CF_DIB) return HandOver(RenderBitmap(), medium);
    if (cf == DescriptorFormat()) return HandOver(RenderDescriptor(), medium);
    if (!FetchAll()) return E_UNEXPECTED;
    if (cf == IdListFormat()) return HandOver(RenderIdListArray(), medium);
    std::vector<std::string> paths;
    for (const TransferItem& item : batch_.items) paths.push_back(item.filePath);
    return HandOver(FileList(paths), medium);
}

bool ImageDataObject::FetchAll() {
    if (batch_.items.empty() || !folder_->IsConnected()) return false;
    for (TransferItem& item : batch_.items) {
        CameraImage* image = folder_->OpenImage(item.name);
        if (!image || !FetchOne(item, image)) return false;
    }
    return true;
}

// The item as a local file; a file from an earlier rendering is reused while it exists.
bool ImageDataObject::FetchOne(TransferItem& item, CameraImage* image) {
    return Rendered(item) || TransferImage(batch_, image, item.filePath, item.rotation, nullptr);
}

HGLOBAL ImageDataObject::RenderPrivate() {
    Block block(batch_.items.size() * kPathField + 268);
    if (!block) return nullptr;
    Put32(block.Bytes(), static_cast<uint32_t>(reinterpret_cast<UINT_PTR>(browserWindow_)));
    std::string id = folder_->IsConnected() ? folder_->GetConnectionId() : std::string();
    std::memcpy(block.Bytes() + 4, id.data(), std::min(id.size(), kPathField - 1));
    BYTE* at = block.Bytes() + 265;
    for (const TransferItem& item : batch_.items) {
        size_t length = std::min(item.name.size(), kPathField - 1);
        std::memcpy(at, item.name.data(), length);
        at += length + 1;
    }
    return block.Release();
}

HGLOBAL ImageDataObject::RenderPlaceholder() {
    if (batch_.folder.empty()) batch_.folder = MakeRenderFolder();
    std::string path = PlaceholderPath();
    if (path.empty()) return nullptr;
    HANDLE file = CreateFileW(Widen(path).c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_ALWAYS,
                              FILE_ATTRIBUTE_ARCHIVE, nullptr);
    if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
    return FileList({path});
}

// The parent is the desktop, an empty list, so each child is its file's whole
// absolute list: readers that combine the two and readers that take each
// child alone (Wine's paste binds the child's own parent folder) find the
// same files.
HGLOBAL ImageDataObject::RenderIdListArray() {
    size_t header = sizeof(UINT) * (batch_.items.size() + 2), size = header + sizeof(USHORT);
    std::vector<AbsoluteIdList> children;
    for (const TransferItem& item : batch_.items) {
        children.emplace_back(ILCreateFromPathW(Widen(item.filePath).c_str()));
        if (!children.back()) return nullptr;
        size += ILGetSize(children.back().get());
    }
    Block block(size);
    if (!block) return nullptr;
    BYTE* bytes = block.Bytes();
    Put32(bytes, uint32_t(children.size()));
    Put32(bytes + sizeof(UINT), uint32_t(header));  // the parent: zeros left by the block
    size_t at = header + sizeof(USHORT);
    for (size_t i = 0; i < children.size(); ++i) {
        UINT length = ILGetSize(children[i].get());
        Put32(bytes + sizeof(UINT) * (i + 2), uint32_t(at));
        std::memcpy(bytes + at, children[i].get(), length);
        at += length;
    }
    return block.Release();
}

HGLOBAL ImageDataObject::RenderBitmap() {
    if (batch_.items.size() != 1 || !folder_->IsConnected()) return nullptr;
    TransferItem& item = batch_.items[0];
    CameraImage* image = folder_->OpenImage(item.name);
    if (!image) return nullptr;
    std::string unused;
    HGLOBAL dib = nullptr;
    return TransferImage(batch_, image, unused, item.rotation, &dib) ? dib : nullptr;
}

// One FILEDESCRIPTORW a picture: its name, size and, when the camera knows
// it, its capture time. A picture the camera gives no name or size for, and
// one shown turned, is written to its file first, which has both.
HGLOBAL ImageDataObject::RenderDescriptor() {
    if (batch_.items.empty() || !folder_->IsConnected()) return nullptr;
    size_t first = offsetof(FILEGROUPDESCRIPTORW, fgd);
    Block block(first + batch_.items.size() * sizeof(FILEDESCRIPTORW));
    if (!block) return nullptr;
    Put32(block.Bytes(), uint32_t(batch_.items.size()));
    auto* descriptors = reinterpret_cast<FILEDESCRIPTORW*>(block.Bytes() + first);
    for (size_t i = 0; i < batch_.items.size(); ++i) {
        TransferItem& item = batch_.items[i];
        CameraImage* image = folder_->OpenImage(item.name);
        if (!image) return nullptr;
        ImageInfo info = {};
        bool described = image->GetInfo(&info);
        ULONGLONG size = described && (info.mask & kInfoSize) ? info.fileSize : 0;
        std::string name = PictureFileName(image);
        if (item.rotation != 0 || size == 0 || name.empty() || Rendered(item)) {
            WIN32_FILE_ATTRIBUTE_DATA file;
            if (!FetchOne(item, image) ||
                !GetFileAttributesExW(Widen(item.filePath).c_str(), GetFileExInfoStandard, &file))
                return nullptr;
            size = (ULONGLONG(file.nFileSizeHigh) << 32) | file.nFileSizeLow;
            name = item.filePath.substr(item.filePath.find_last_of('\\') + 1);
        }
        std::wstring wide = Widen(name);
        if (wide.empty() || wide.size() >= MAX_PATH) return nullptr;
        FILEDESCRIPTORW& descriptor = descriptors[i];
        descriptor.dwFlags = FD_FILESIZE | FD_PROGRESSUI;
        descriptor.nFileSizeHigh = DWORD(size >> 32);
        descriptor.nFileSizeLow = DWORD(size);
        std::memcpy(descriptor.cFileName, wide.c_str(), (wide.size() + 1) * sizeof(wchar_t));
        if (CaptureTime(info, &descriptor.ftLastWriteTime)) descriptor.dwFlags |= FD_WRITESTIME;
    }
    return block.Release();
}

// A picture's bytes: straight from the driver's memory read when it has one
// and the picture is shown as the camera took it; else from its file.
HRESULT ImageDataObject::RenderContents(size_t index, IStream** stream) {
    *stream = nullptr;
    TransferItem& item = batch_.items[index];
    CameraImage* image = folder_->IsConnected() ? folder_->OpenImage(item.name) : nullptr;
    if (!image) return E_UNEXPECTED;
    if (item.rotation == 0 && !Rendered(item)) {
        HGLOBAL bytes = nullptr;
        int result = ReadImageData(batch_, image, &bytes);
        if (result == kReadCancelled) return E_UNEXPECTED;
        if (result == kReadOk) {
            HRESULT hr = CreateStreamOnHGlobal(bytes, TRUE, stream);
            if (FAILED(hr)) GlobalFree(bytes);
            return hr;
        }
        // This driver reads pictures into files only.
    }
    if (!FetchOne(item, image)) return E_UNEXPECTED;
    return SHCreateStreamOnFileEx(Widen(item.filePath).c_str(), STGM_READ | STGM_SHARE_DENY_NONE,
                                  FILE_ATTRIBUTE_NORMAL, FALSE, nullptr, stream);
}
