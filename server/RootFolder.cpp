#include "server/RootFolder.h"

#include <cstring>
#include <mutex>

#include "base/WideText.h"
#include "res/resource.h"
#include "server/CameraFolder.h"
#include "server/FolderNames.h"
#include "server/ItemIcon.h"
#include "server/RootIdEnumerator.h"
#include "server/RootView.h"
#include "server/SourceFolder.h"

namespace {

std::string childNames[RootFolder::kChildCount];  // written once, before any root exists
std::once_flag childNamesLoaded;

const UINT kChildNameIds[RootFolder::kChildCount] = {IDS_DIGITAL_CAMERA, IDS_REMOVABLE_MEDIA,
                                                     IDS_HARD_DISK};
const int kChildIcons[RootFolder::kChildCount] = {6, 4, 3};
const SFGAOF kSourceAttributes = SFGAO_FOLDER | SFGAO_HASSUBFOLDER | SFGAO_BROWSABLE;
const SFGAOF kDiskAttributes = SFGAO_FOLDER | SFGAO_BROWSABLE;

void LoadChildNames() {
    for (int i = 0; i < RootFolder::kChildCount; ++i) childNames[i] = LoadModuleString(kChildNameIds[i]);
}

}  // namespace

const InterfaceRow<RootFolder> RootFolder::kInterfaces[6] = {
    {&IID_IUnknown, FaceOf<RootFolder, IExtFolder>},
    {&IID_IShellFolder, FaceOf<RootFolder, IExtFolder>},
    PLACED_FOLDER_ROWS(RootFolder),
};

RootFolder::RootFolder() {
    std::call_once(childNamesLoaded, LoadChildNames);
    remoteFolder_ = ComRef<SourceFolder>::Share(new SourceFolder(SourceFolder::kRemote));
    localFolder_ = ComRef<SourceFolder>::Share(new SourceFolder(SourceFolder::kLocal));
    viewerFolder_ = ComRef<SourceFolder>::Share(new SourceFolder(SourceFolder::kImageViewer));
}

RootFolder::~RootFolder() = default;

const std::string& RootFolder::ChildName(int index) { return childNames[index]; }

int RootFolder::FindChild(PCUIDLIST_RELATIVE pidl) {
    const char* name = ItemId::NameOf(pidl);
    if (!name) return -1;
    for (int i = 0; i < kChildCount; ++i)
        if (childNames[i] == name) return i;
    return -1;
}

LPITEMIDLIST RootFolder::MakeChildList(int index) {
    return MakeItemIdList(childNames[index].c_str());
}

void RootFolder::Placed() {
    ownList_.reset(new (std::nothrow) IdListHolder());
    const int sources[2] = {kDigitalCamera, kRemovableMedia};
    for (int child : sources) {
        IdListHolder item(childNames[child].c_str());
        PlaceChild(child == kDigitalCamera ? remoteFolder_.Get() : localFolder_.Get(), item.List());
    }
}

STDMETHODIMP RootFolder::ParseDisplayName(HWND, IBindCtx*, LPWSTR name, ULONG* eaten, PIDLIST_RELATIVE* ppidl,
                                          ULONG* attributes) {
    auto findChild = [](const std::wstring& wanted) -> LPITEMIDLIST {
        for (int i = 0; i < kChildCount; ++i)
            if (SameName(wanted, Widen(childNames[i]))) return MakeChildList(i);
        return nullptr;
    };
    return ParseChildPath(this, name, findChild, eaten, ppidl, attributes);
}

STDMETHODIMP RootFolder::EnumObjects(HWND, SHCONTF flags, IEnumIDList** ppenum) {
    if (!ppenum) return E_POINTER;
    *ppenum = nullptr;
    return HandOut(new (std::nothrow) RootIdEnumerator(this, flags), IID_IEnumIDList,
                   reinterpret_cast<void**>(ppenum));
}

ComRef<IShellFolder> RootFolder::ChildFolder(int child) {
    if (child == kHardDisk) {
        CameraFolder* disk = new (std::nothrow) CameraFolder(viewerFolder_.Get(), "");
        if (!disk) return {};
        ComRef<IShellFolder> folder = ComRef<IShellFolder>::Share(disk);
        disk->SetKind("Viewer");
        IdListHolder item(childNames[kHardDisk].c_str());
        PlaceChild(disk, item.List());
        return folder;
    }
    SourceFolder* source = child == kDigitalCamera ? remoteFolder_.Get() : localFolder_.Get();
    return ComRef<IShellFolder>::Share(source);
}

STDMETHODIMP RootFolder::BindToObject(PCUIDLIST_RELATIVE pidl, IBindCtx* pbc, REFIID riid, void** ppv) {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    int child = FindChild(pidl);
    if (child < 0) return E_INVALIDARG;
    ComRef<IShellFolder> folder = ChildFolder(child);
    if (!folder) return E_OUTOFMEMORY;
    if (PCUIDLIST_RELATIVE rest = ItemId::Next(pidl)) return folder->BindToObject(rest, pbc, riid, ppv);
    return folder->QueryInterface(riid, ppv);
}

STDMETHODIMP RootFolder::BindToStorage(PCUIDLIST_RELATIVE, IBindCtx*, REFIID, void** ppv) {
    if (ppv) *ppv = nullptr;
    return E_NOTIMPL;
}

STDMETHODIMP RootFolder::CompareIDs(LPARAM, PCUIDLIST_RELATIVE pidl1, PCUIDLIST_RELATIVE pidl2) {
    return CompareItemLists(pidl1, pidl2);
}

STDMETHODIMP RootFolder::CreateViewObject(HWND, REFIID riid, void** ppv) {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    if (!IsEqualIID(riid, IID_IShellView) || !ownList_) return E_NOINTERFACE;
    return HandOutView(new (std::nothrow) RootView(this, true), ppv);
}

STDMETHODIMP RootFolder::GetAttributesOf(UINT cidl, PCUITEMID_CHILD_ARRAY apidl,
                                         SFGAOF* rgfInOut) {
    if (!rgfInOut) return E_POINTER;
    if (!apidl || !cidl) {
        *rgfInOut &= kSourceAttributes;
        return S_OK;
    }
    SFGAOF common = kSourceAttributes;
    for (UINT i = 0; i < cidl; ++i) {
        int child = FindChild(apidl[i]);
        if (child < 0) return E_INVALIDARG;
        common &= child == kHardDisk ? kDiskAttributes : kSourceAttributes;
    }
    *rgfInOut &= common;
    return S_OK;
}

STDMETHODIMP RootFolder::GetUIObjectOf(HWND, UINT cidl, PCUITEMID_CHILD_ARRAY apidl, REFIID riid,
                                       UINT*, void** ppv) {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    if (!IsEqualIID(riid, IID_IExtractIconA) && !IsEqualIID(riid, IID_IExtractIconW)) return E_NOINTERFACE;
    int child = apidl && cidl > 0 ? FindChild(apidl[0]) : -1;
    return ItemIcon::Create(child >= 0 ? kChildIcons[child] : 0, riid, ppv);
}

STDMETHODIMP RootFolder::GetDisplayNameOf(PCUITEMID_CHILD pidl, SHGDNF flags, STRRET* name) {
    return ItemDisplayName(pidl, flags, Absolute(), name);
}

STDMETHODIMP RootFolder::SetNameOf(HWND, PCUITEMID_CHILD, LPCWSTR, SHGDNF, PITEMID_CHILD* ppidl) {
    if (ppidl) *ppidl = nullptr;
    return E_NOTIMPL;
}

IdListHolder* STDMETHODCALLTYPE RootFolder::GetOwnIdList() { return ownList_.get(); }

BYTE STDMETHODCALLTYPE RootFolder::IsReady() { return TRUE; }
