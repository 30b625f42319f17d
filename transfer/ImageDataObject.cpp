#include "transfer/ImageDataObject.h"

#include <shlobj.h>

#include <cstring>

#include "transfer/FormatEnumerator.h"

namespace {

constexpr size_t kPathField = 260;
constexpr size_t kDropHeader = 20;
constexpr size_t kPlaceholderBlock = 280;
constexpr size_t kParentItem = 18;
constexpr size_t kFileItem = 262;

CLIPFORMAT PrivateFormat() { return static_cast<CLIPFORMAT>(RegisterClipboardFormatA("Vistrel")); }
CLIPFORMAT IdListFormat() { return static_cast<CLIPFORMAT>(RegisterClipboardFormatA("Shell IDList Array")); }

void Put16(BYTE* at, uint16_t value) { std::memcpy(at, &value, 2); }
void Put32(BYTE* at, uint32_t value) { std::memcpy(at, &value, 4); }

// A zero-filled fixed block, as every clipboard format here is.
class Block {
public:
    explicit Block(size_t size) : memory_(GlobalAlloc(GPTR, size)), size_(size) {}
    ~Block() {
        if (memory_) GlobalFree(memory_);
    }
    BYTE* Bytes() const { return static_cast<BYTE*>(memory_); }
    size_t Size() const { return size_; }
    explicit operator bool() const { return memory_ != nullptr; }
    HGLOBAL Release() { return std::exchange(memory_, nullptr); }

private:
    HGLOBAL memory_;
    size_t size_;
};

// A DROPFILES header for single-byte names.
void PutDropHeader(BYTE* at) { Put32(at, kDropHeader); }

bool PathFits(const std::string& path) { return !path.empty() && path.size() < kPathField; }

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
    batch_.owner = browserWindow;
}

ImageDataObject::~ImageDataObject() {
    DeleteFileA(PlaceholderPath().c_str());
    if (dropSource_) dropSource_->Release();
    if (folderObject_) folderObject_->Release();
}

std::string ImageDataObject::PlaceholderPath() { return WorkDirectory() + "~tmpdrag.jpg"; }

bool ImageDataObject::DragInProgress() const {
    return dropSource_ && dropSource_->LastAnswer() != DRAGDROP_S_DROP;
}

STDMETHODIMP ImageDataObject::QueryGetData(FORMATETC* format) {
    if (!format) return E_INVALIDARG;
    CLIPFORMAT cf = format->cfFormat;
    if (cf != CF_HDROP && cf != CF_DIB && cf != PrivateFormat() && cf != IdListFormat()) return DV_E_FORMATETC;
    if (cf == CF_DIB && batch_.items.size() > 1) return DV_E_FORMATETC;
    if (!(format->tymed & TYMED_HGLOBAL)) return DV_E_TYMED;
    if (format->dwAspect != DVASPECT_CONTENT) return DV_E_DVASPECT;
    if (format->lindex != -1) return DV_E_LINDEX;
    return S_OK;
}

STDMETHODIMP ImageDataObject::EnumFormatEtc(DWORD, IEnumFORMATETC** ppenum) {
    if (!ppenum) return E_POINTER;
    *ppenum = nullptr;
    HRESULT hr = HandOut(new (std::nothrow) FormatEnumerator(batch_.items.size() > 1), IID_IEnumFORMATETC,
                         reinterpret_cast<void**>(ppenum));
    return FAILED(hr) ? E_OUTOFMEMORY : S_OK;
}

STDMETHODIMP ImageDataObject::GetData(FORMATETC* format, STGMEDIUM* medium) {
    if (!format || !medium) return E_INVALIDARG;
    if (!IsWindow(browserWindow_) || !IsWindowVisible(browserWindow_)) return E_UNEXPECTED;
    CLIPFORMAT cf = format->cfFormat;
    HGLOBAL block = nullptr;
    if (cf == PrivateFormat()) {
        block = RenderPrivate();
    } else if (DragInProgress()) {
        // A target probing the data during the drag must not start a transfer.
        if (cf != CF_HDROP) return DV_E_FORMATETC;
        block = RenderPlaceholder();
    } else if (cf == CF_HDROP || cf == CF_DIB || cf == IdListFormat()) {
        // Progress dialogs pump messages: a second rendering must not start meanwhile.
        if (folder_->Idle() == 0) return E_UNEXPECTED;
        folder_->SetIdle(0);
        if (stillValid_) {
            block = RenderNeedingFiles(cf);
            stillValid_ = block != nullptr;
        }
        folder_->SetIdle(1);
    }
    if (!block) return E_UNEXPECTED;
    medium->tymed = TYMED_HGLOBAL;
    medium->hGlobal = block;
    medium->pUnkForRelease = nullptr;
    return S_OK;
}

HGLOBAL ImageDataObject::RenderNeedingFiles(CLIPFORMAT format) {
    if (format == CF_DIB) return RenderBitmap();
    if (!FetchAll()) return nullptr;
    return format == CF_HDROP ? RenderFileList() : RenderIdListArray();
}

// Every item as a local file; files from an earlier rendering are reused while they exist.
bool ImageDataObject::FetchAll() {
    if (batch_.items.empty() || !folder_->IsConnected()) return false;
    for (TransferItem& item : batch_.items) {
        CameraImage* image = folder_->OpenImage(item.name);
        if (!image) return false;
        if (!item.filePath.empty() && GetFileAttributesA(item.filePath.c_str()) != INVALID_FILE_ATTRIBUTES)
            continue;
        if (!TransferImage(batch_, image, item.filePath, item.rotation, nullptr)) return false;
    }
    return true;
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
    std::string path = PlaceholderPath();
    if (path.size() + 2 > kPlaceholderBlock - kDropHeader) return nullptr;
    if (GetFileAttributesA(path.c_str()) == INVALID_FILE_ATTRIBUTES) {
        HANDLE file = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_NEW,
                                  FILE_ATTRIBUTE_ARCHIVE, nullptr);
        if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
    }
    Block block(kPlaceholderBlock);
    if (!block) return nullptr;
    PutDropHeader(block.Bytes());
    std::memcpy(block.Bytes() + kDropHeader, path.data(), path.size());
    return block.Release();
}

HGLOBAL ImageDataObject::RenderFileList() {
    Block block(batch_.items.size() * kPathField + 24);
    if (!block) return nullptr;
    PutDropHeader(block.Bytes());
    BYTE* at = block.Bytes() + kDropHeader;
    for (const TransferItem& item : batch_.items) {
        if (!PathFits(item.filePath)) return nullptr;
        std::memcpy(at, item.filePath.data(), item.filePath.size());
        at += item.filePath.size() + 1;
    }
    return block.Release();
}

HGLOBAL ImageDataObject::RenderIdListArray() {
    size_t n = batch_.items.size();
    Block block(kFileItem * n + 4 * n + 58);  // 266 n + 58
    if (!block) return nullptr;
    BYTE* bytes = block.Bytes();
    size_t parent = 4 * n + 8;
    Put32(bytes, uint32_t(n));
    Put32(bytes + 4, uint32_t(parent));
    Put16(bytes + parent, kParentItem);
    std::memcpy(bytes + parent + 2, "xxx", 4);
    for (size_t i = 0; i < n; ++i) {
        const std::string& path = batch_.items[i].filePath;
        if (!PathFits(path)) return nullptr;
        size_t offset = parent + kParentItem + kFileItem * i;
        Put32(bytes + 8 + 4 * i, uint32_t(offset));
        Put16(bytes + offset, kFileItem);
        std::memcpy(bytes + offset + 2, path.data(), path.size());
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
