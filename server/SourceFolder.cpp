#include "server/SourceFolder.h"

#include "base/WideText.h"
#include "server/CameraFolder.h"
#include "server/FolderNames.h"
#include "server/ItemIcon.h"
#include "server/RootView.h"
#include "server/SourceIdEnumerator.h"

namespace {
const SFGAOF kItemAttributes = SFGAO_FOLDER | SFGAO_BROWSABLE;
const SFGAOF kOwnAttributes = SFGAO_FOLDER | SFGAO_HASSUBFOLDER;
}  // namespace

const InterfaceRow<SourceFolder> SourceFolder::kInterfaces[6] = {
    {&IID_IUnknown, FaceOf<SourceFolder, IExtFolder>},
    {&IID_IShellFolder, FaceOf<SourceFolder, IExtFolder>},
    PLACED_FOLDER_ROWS(SourceFolder),
};

SourceFolder::SourceFolder(const char* kind) : kind_(kind) {}

SourceFolder::~SourceFolder() {
    if (service_) service_->Destroy(1);
}

CameraService* SourceFolder::GetService() {
    if (!service_) {
        service_ = LoadDriver(kind_);
        if (service_) service_->Refresh();
    }
    return service_;
}

// The root's list of this folder is its last item: the folder's own name.
void SourceFolder::Placed() {
    LPCITEMIDLIST last = ILFindLastID(Absolute());
    ownList_.reset(last ? new (std::nothrow) IdListHolder(last) : nullptr);
}

STDMETHODIMP SourceFolder::ParseDisplayName(HWND, IBindCtx*, LPWSTR name, ULONG* eaten, PIDLIST_RELATIVE* ppidl,
                                            ULONG* attributes) {
    auto findChild = [this](const std::wstring& wanted) -> LPITEMIDLIST {
        CameraService* service = GetService();
        for (int i = 0, n = service ? service->GetFolderCount() : 0; i < n; ++i) {
            char folder[256] = {};
            if (!service->GetFolderName(i, folder, sizeof folder)) break;
            folder[sizeof folder - 1] = '\0';
            if (SameName(wanted, Widen(folder))) return MakeItemIdList(folder);
        }
        return nullptr;
    };
    return ParseChildPath(this, name, findChild, eaten, ppidl, attributes);
}

STDMETHODIMP SourceFolder::EnumObjects(HWND, SHCONTF flags, IEnumIDList** ppenum) {
    if (!ppenum) return E_POINTER;
    *ppenum = nullptr;
    return HandOut(new (std::nothrow) SourceIdEnumerator(this, flags), IID_IEnumIDList,
                   reinterpret_cast<void**>(ppenum));
}

STDMETHODIMP SourceFolder::BindToObject(PCUIDLIST_RELATIVE pidl, IBindCtx* pbc, REFIID riid, void** ppv) {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    const char* name = ItemId::NameOf(pidl);
    if (!name) return E_INVALIDARG;  // not an item this folder listed
    CameraFolder* camera = new (std::nothrow) CameraFolder(this, name);
    if (!camera) return E_OUTOFMEMORY;
    ComRef<IShellFolder> folder = ComRef<IShellFolder>::Share(camera);
    IdListHolder item(name);
    PlaceChild(camera, item.List());
    if (PCUIDLIST_RELATIVE rest = ItemId::Next(pidl)) return folder->BindToObject(rest, pbc, riid, ppv);
    return folder->QueryInterface(riid, ppv);
}

STDMETHODIMP SourceFolder::BindToStorage(PCUIDLIST_RELATIVE, IBindCtx*, REFIID, void** ppv) {
    if (ppv) *ppv = nullptr;
    return E_NOTIMPL;
}

STDMETHODIMP SourceFolder::CompareIDs(LPARAM, PCUIDLIST_RELATIVE pidl1, PCUIDLIST_RELATIVE pidl2) {
    return CompareItemLists(pidl1, pidl2);
}

STDMETHODIMP SourceFolder::CreateViewObject(HWND, REFIID riid, void** ppv) {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    if (!IsEqualIID(riid, IID_IShellView)) return E_NOINTERFACE;
    return HandOutView(new (std::nothrow) RootView(this, false), ppv);
}

STDMETHODIMP SourceFolder::GetAttributesOf(UINT, PCUITEMID_CHILD_ARRAY apidl, SFGAOF* rgfInOut) {
    if (!rgfInOut) return E_POINTER;
    if (apidl)
        *rgfInOut &= kItemAttributes;
    else
        *rgfInOut = kOwnAttributes;
    return S_OK;
}

STDMETHODIMP SourceFolder::GetUIObjectOf(HWND, UINT, PCUITEMID_CHILD_ARRAY, REFIID riid, UINT*,
                                         void** ppv) {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    if (!IsEqualIID(riid, IID_IExtractIconA) && !IsEqualIID(riid, IID_IExtractIconW)) return E_NOINTERFACE;
    return ItemIcon::Create(0, riid, ppv);
}

STDMETHODIMP SourceFolder::GetDisplayNameOf(PCUITEMID_CHILD pidl, SHGDNF flags, STRRET* name) {
    return ItemDisplayName(pidl, flags, Absolute(), name);
}

STDMETHODIMP SourceFolder::SetNameOf(HWND, PCUITEMID_CHILD, LPCWSTR, SHGDNF,
                                     PITEMID_CHILD* ppidl) {
    if (ppidl) *ppidl = nullptr;
    return E_NOTIMPL;
}

IdListHolder* STDMETHODCALLTYPE SourceFolder::GetOwnIdList() { return ownList_.get(); }

BYTE STDMETHODCALLTYPE SourceFolder::IsReady() {
    if (!service_) service_ = LoadDriver(kind_);
    return service_ && service_->Refresh();
}
