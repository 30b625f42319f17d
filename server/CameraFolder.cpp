#include "server/CameraFolder.h"

#include <shlwapi.h>

#include "base/ItemId.h"
#include "base/WideText.h"
#include "server/FolderDropTarget.h"
#include "server/FolderNames.h"
#include "server/SourceFolder.h"
#include "transfer/CopyToDisk.h"
#include "view/CameraView.h"

const InterfaceRow<CameraFolder> CameraFolder::kInterfaces[6] = {
    {&IID_IUnknown, FaceOf<CameraFolder, IShellFolder>},
    {&IID_IShellFolder, FaceOf<CameraFolder, IShellFolder>},
    PLACED_FOLDER_ROWS(CameraFolder),
};

CameraFolder::CameraFolder(SourceFolder* parent, const std::string& connectionText)
    : FolderConnection(connectionText, parent->GetKind()),
      parent_(ComRef<SourceFolder>::Share(parent)) {}

// The connection belongs to the parent's driver library: close it while the
// parent (and so the library) is still held.
CameraFolder::~CameraFolder() { CloseConnection(); }

CameraService* CameraFolder::ParentService() { return parent_->GetService(); }

STDMETHODIMP CameraFolder::ParseDisplayName(HWND, IBindCtx*, LPWSTR name, ULONG* eaten, PIDLIST_RELATIVE* ppidl,
                                            ULONG* attributes) {
    auto findPicture = [this](const std::wstring& wanted) -> LPITEMIDLIST {
        if (!IsConnected()) Connect(true);
        for (int i = 0, n = IsConnected() ? GetImageCount() : 0; i < n; ++i) {
            std::string picture = GetImageName(i);
            if (SameName(wanted, Widen(picture))) return MakeItemIdList(picture.c_str(), ItemId::kPicture);
        }
        return nullptr;
    };
    return ParseChildPath(this, name, findPicture, eaten, ppidl, attributes);
}

STDMETHODIMP CameraFolder::EnumObjects(HWND, SHCONTF, IEnumIDList** ppenum) {
    if (ppenum) *ppenum = nullptr;
    return E_NOTIMPL;
}

// Pictures are the only children, none a folder: a picture binds to a stream
// of its bytes (a file dialog that needs a file copies it from there).
STDMETHODIMP CameraFolder::BindToObject(PCUIDLIST_RELATIVE pidl, IBindCtx*, REFIID riid, void** ppv) {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    if (!ItemId::IsPicture(pidl) || ItemId::Next(pidl)) return E_INVALIDARG;
    if (!IsEqualIID(riid, IID_IStream)) return E_NOINTERFACE;
    std::string path = PictureFile(ItemId::NameOf(pidl));
    if (path.empty()) return E_FAIL;
    return SHCreateStreamOnFileEx(Widen(path).c_str(), STGM_READ | STGM_SHARE_DENY_NONE, FILE_ATTRIBUTE_NORMAL, FALSE,
                                  nullptr, reinterpret_cast<IStream**>(ppv));
}

STDMETHODIMP CameraFolder::BindToStorage(PCUIDLIST_RELATIVE pidl, IBindCtx* pbc, REFIID riid, void** ppv) {
    return BindToObject(pidl, pbc, riid, ppv);
}

STDMETHODIMP CameraFolder::CompareIDs(LPARAM, PCUIDLIST_RELATIVE first, PCUIDLIST_RELATIVE second) {
    return CompareItemLists(first, second);
}

STDMETHODIMP CameraFolder::CreateViewObject(HWND, REFIID riid, void** ppv) {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    if (IsEqualIID(riid, IID_IDropTarget)) {
        FolderDropTarget* target = new (std::nothrow) FolderDropTarget(this);
        if (!target) return E_OUTOFMEMORY;
        target->QueryInterface(IID_IDropTarget, ppv);
        return S_OK;
    }
    if (!IsEqualIID(riid, IID_IShellView)) return E_NOINTERFACE;
    Connect(true);
    CameraView* view = new (std::nothrow) CameraView(this, static_cast<IShellFolder*>(this));
    if (!view) return E_OUTOFMEMORY;
    ComRef<IShellView> shellView;
    HRESULT hr = HandOut(view, IID_IShellView, shellView.PutVoid());
    if (FAILED(hr)) return hr;
    if (!shellView) return E_OUTOFMEMORY;
    return shellView->QueryInterface(riid, ppv) == S_OK ? S_OK : E_NOINTERFACE;
}

// Pictures are not files until a copy renders them; each binds to a stream.
STDMETHODIMP CameraFolder::GetAttributesOf(UINT, PCUITEMID_CHILD_ARRAY apidl, SFGAOF* rgfInOut) {
    if (!rgfInOut) return E_POINTER;
    if (apidl)
        *rgfInOut &= SFGAO_CANCOPY | SFGAO_STREAM;
    else
        *rgfInOut = SFGAO_FOLDER | SFGAO_BROWSABLE;
    return S_OK;
}

STDMETHODIMP CameraFolder::GetUIObjectOf(HWND, UINT, PCUITEMID_CHILD_ARRAY, REFIID, UINT*,
                                         void** ppv) {
    if (ppv) *ppv = nullptr;
    return E_NOTIMPL;
}

std::string CameraFolder::PictureFile(const std::string& name) {
    auto known = pictureFiles_.find(name);
    if (known != pictureFiles_.end() && GetFileAttributesW(Widen(known->second).c_str()) != INVALID_FILE_ATTRIBUTES)
        return known->second;
    if (!IsConnected()) Connect(true);
    CameraImage* image = IsConnected() && Idle() ? OpenImage(name) : nullptr;
    if (!image) return "";  // none, or a fetch of this folder is running (its progress box pumps messages)
    TransferBatch batch;
    batch.folder = renderFolder_;
    batch.owner = GetAncestor(GetActiveWindow(), GA_ROOT);
    std::string path;
    SetIdle(0);
    bool fetched = TransferImage(batch, image, path, 0, nullptr);
    SetIdle(1);
    if (!fetched) return "";
    renderFolder_ = batch.folder;
    return pictureFiles_[name] = path;
}

// A file dialog asks for a picture's in-folder parsing name to hand its
// program a path: that is the path of a file holding the picture.
STDMETHODIMP CameraFolder::GetDisplayNameOf(PCUITEMID_CHILD pidl, SHGDNF flags, STRRET* name) {
    if (ItemId::IsPicture(pidl) && !ItemId::Next(pidl) && (flags & SHGDN_INFOLDER) && (flags & SHGDN_FORPARSING)) {
        std::string path = PictureFile(ItemId::NameOf(pidl));
        return path.empty() ? E_FAIL : PutWideName(Widen(path), name);
    }
    return ItemDisplayName(pidl, flags, Absolute(), name);
}

STDMETHODIMP CameraFolder::SetNameOf(HWND, PCUITEMID_CHILD, LPCWSTR, SHGDNF, PITEMID_CHILD* ppidl) {
    if (ppidl) *ppidl = nullptr;
    return E_NOTIMPL;
}
