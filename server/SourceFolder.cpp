#include "server/SourceFolder.h"

#include "server/CameraFolder.h"
#include "server/ItemIcon.h"
#include "server/RootView.h"
#include "server/SourceIdEnumerator.h"

namespace {
const SFGAOF kItemAttributes = 0x61000000;  // file system, folder, validate
const SFGAOF kOwnAttributes = 0xA0000000;   // has subfolders, folder
}  // namespace

const InterfaceRow<SourceFolder> SourceFolder::kInterfaces[3] = {
    {&IID_IUnknown, FaceOf<SourceFolder, IExtFolder>},
    {&IID_IShellFolder, FaceOf<SourceFolder, IExtFolder>},
    {&IID_IPersistFolder, FaceOf<SourceFolder, IPersistFolder>},
};

SourceFolder::SourceFolder(const char* kind) : kind_(kind) {}

SourceFolder::~SourceFolder() {
    if (service_) service_->Destroy(1);
    if (driverModule_) FreeLibrary(driverModule_);
}

CameraService* SourceFolder::GetService() {
    if (!service_) {
        service_ = LoadDriver(kind_, &driverModule_);
        if (service_) service_->Refresh();
    }
    return service_;
}

STDMETHODIMP SourceFolder::GetClassID(CLSID* clsid) {
    if (!clsid) return E_POINTER;
    *clsid = CLSID_CameraExplorer;
    return S_OK;
}

STDMETHODIMP SourceFolder::Initialize(PCIDLIST_ABSOLUTE pidl) {
    ownList_.reset(new (std::nothrow) IdListHolder(pidl));
    return S_OK;
}

STDMETHODIMP SourceFolder::ParseDisplayName(HWND, IBindCtx*, LPWSTR, ULONG*,
                                            PIDLIST_RELATIVE* ppidl, ULONG*) {
    if (ppidl) *ppidl = nullptr;
    return E_NOTIMPL;
}

STDMETHODIMP SourceFolder::EnumObjects(HWND, SHCONTF flags, IEnumIDList** ppenum) {
    if (!ppenum) return E_POINTER;
    *ppenum = nullptr;
    return HandOut(new (std::nothrow) SourceIdEnumerator(this, flags), IID_IEnumIDList,
                   reinterpret_cast<void**>(ppenum));
}

STDMETHODIMP SourceFolder::BindToObject(PCUIDLIST_RELATIVE pidl, IBindCtx*, REFIID riid,
                                        void** ppv) {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    bool persistFace = IsEqualIID(riid, IID_IPersistFolder) || IsEqualIID(riid, IID_IUnknown);
    if (!persistFace && !IsEqualIID(riid, IID_IShellFolder)) return E_NOINTERFACE;
    const char* name = ItemId::NameOf(pidl);
    if (!name) return E_INVALIDARG;  // not an item this folder listed
    CameraFolder* folder = new (std::nothrow) CameraFolder(this, name);
    if (!folder) return E_OUTOFMEMORY;
    IUnknown* face = persistFace ? static_cast<IUnknown*>(static_cast<IPersistFolder*>(folder))
                                 : static_cast<IUnknown*>(static_cast<IShellFolder*>(folder));
    face->AddRef();
    face->QueryInterface(riid, ppv);
    face->Release();
    return S_OK;
}

HRESULT SourceFolder::BindChild(PCUIDLIST_RELATIVE pidl, IBindCtx* pbc, REFIID riid, void** ppv) {
    return BindToObject(pidl, pbc, riid, ppv);
}

STDMETHODIMP SourceFolder::BindToStorage(PCUIDLIST_RELATIVE, IBindCtx*, REFIID, void** ppv) {
    if (ppv) *ppv = nullptr;
    return E_NOTIMPL;
}

STDMETHODIMP SourceFolder::CompareIDs(LPARAM, PCUIDLIST_RELATIVE pidl1, PCUIDLIST_RELATIVE pidl2) {
    return IdListHolder::Compare(pidl1, pidl2);
}

STDMETHODIMP SourceFolder::CreateViewObject(HWND, REFIID riid, void** ppv) {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    if (!IsEqualIID(riid, IID_IShellView)) return E_NOINTERFACE;
    return HandOutView(new (std::nothrow) RootView(this), ppv);
}

STDMETHODIMP SourceFolder::GetAttributesOf(UINT, PCUITEMID_CHILD_ARRAY apidl, SFGAOF* rgfInOut) {
    if (!rgfInOut) return E_POINTER;
    *rgfInOut = apidl ? kItemAttributes : kOwnAttributes;
    return S_OK;
}

STDMETHODIMP SourceFolder::GetUIObjectOf(HWND, UINT, PCUITEMID_CHILD_ARRAY, REFIID riid, UINT*,
                                         void** ppv) {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    if (!IsEqualIID(riid, IID_IExtractIconA)) return E_NOINTERFACE;
    return ItemIcon::Create(0, ppv);
}

STDMETHODIMP SourceFolder::GetDisplayNameOf(PCUITEMID_CHILD pidl, SHGDNF, STRRET* name) {
    return ItemId::NameOffset(pidl, true, name);
}

STDMETHODIMP SourceFolder::SetNameOf(HWND, PCUITEMID_CHILD, LPCWSTR, SHGDNF,
                                     PITEMID_CHILD* ppidl) {
    if (ppidl) *ppidl = nullptr;
    return E_NOTIMPL;
}

IdListHolder* STDMETHODCALLTYPE SourceFolder::GetOwnIdList() { return ownList_.get(); }

BYTE STDMETHODCALLTYPE SourceFolder::IsReady() {
    if (!service_) service_ = LoadDriver(kind_, &driverModule_);
    return service_ && service_->Refresh();
}
