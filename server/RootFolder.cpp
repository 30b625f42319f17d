#include "server/RootFolder.h"

#include <cstring>

#include "res/resource.h"
#include "server/CameraFolder.h"
#include "server/ItemIcon.h"
#include "server/RootIdEnumerator.h"
#include "server/RootView.h"
#include "server/SourceFolder.h"

namespace {

RootFolder* theRoot = nullptr;
std::unique_ptr<IdListHolder> rootAbsoluteList;
std::string childNames[RootFolder::kChildCount];

const UINT kChildNameIds[RootFolder::kChildCount] = {IDS_DIGITAL_CAMERA, IDS_REMOVABLE_MEDIA,
                                                     IDS_HARD_DISK};
const int kChildIcons[RootFolder::kChildCount] = {6, 4, 3};
const SFGAOF kSourceAttributes = 0xE1000000;  // has subfolders, file system, folder, validate
const SFGAOF kDiskAttributes = 0x21000000;    // folder, validate

void LoadChildNames() {
    for (int i = 0; i < RootFolder::kChildCount; ++i) {
        char buffer[128];
        int length = LoadStringA(theModule.instance, kChildNameIds[i], buffer, sizeof buffer);
        childNames[i].assign(buffer, length > 0 ? length : 0);
    }
}

}  // namespace

const InterfaceRow<RootFolder> RootFolder::kInterfaces[3] = {
    {&IID_IUnknown, FaceOf<RootFolder, IExtFolder>},
    {&IID_IShellFolder, FaceOf<RootFolder, IExtFolder>},
    {&IID_IPersistFolder, FaceOf<RootFolder, IPersistFolder>},
};

RootFolder* GetRootFolder() {
    if (theRoot) return theRoot;
    try {
        theRoot = new RootFolder;
    } catch (const std::bad_alloc&) {
        theRoot = nullptr;
    }
    return theRoot;
}

RootFolder* LiveRootFolder() { return theRoot; }

const IdListHolder* RootAbsoluteList() { return rootAbsoluteList.get(); }

RootFolder::RootFolder() {
    LoadChildNames();
    remoteFolder_ = ComRef<SourceFolder>::Share(new SourceFolder(SourceFolder::kRemote));
    localFolder_ = ComRef<SourceFolder>::Share(new SourceFolder(SourceFolder::kLocal));
    viewerFolder_ = ComRef<SourceFolder>::Share(new SourceFolder(SourceFolder::kImageViewer));
}

RootFolder::~RootFolder() {
    if (theRoot == this) theRoot = nullptr;
    ownList_.reset();
    rootAbsoluteList.reset();
}

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

STDMETHODIMP RootFolder::GetClassID(CLSID* clsid) {
    if (!clsid) return E_POINTER;
    *clsid = CLSID_CameraExplorer;
    return S_OK;
}

STDMETHODIMP RootFolder::Initialize(PCIDLIST_ABSOLUTE pidl) {
    rootAbsoluteList.reset(new (std::nothrow) IdListHolder(pidl));
    ownList_.reset(new (std::nothrow) IdListHolder());
    if (!ownList_) return E_OUTOFMEMORY;

    IdListHolder remoteList(childNames[kDigitalCamera].c_str());
    remoteFolder_->Initialize(remoteList.List());
    IdListHolder localList(childNames[kRemovableMedia].c_str());
    localFolder_->Initialize(localList.List());
    return S_OK;
}

STDMETHODIMP RootFolder::ParseDisplayName(HWND, IBindCtx*, LPWSTR, ULONG*, PIDLIST_RELATIVE* ppidl,
                                          ULONG*) {
    if (ppidl) *ppidl = nullptr;
    return E_NOTIMPL;
}

STDMETHODIMP RootFolder::EnumObjects(HWND, SHCONTF flags, IEnumIDList** ppenum) {
    if (!ppenum) return E_POINTER;
    *ppenum = nullptr;
    return HandOut(new (std::nothrow) RootIdEnumerator(this, flags), IID_IEnumIDList,
                   reinterpret_cast<void**>(ppenum));
}

// The face asked for on the child's serving folder: a source folder, or for
// "Hard Disk" a new disk folder each time (null when it cannot be made).
IUnknown* RootFolder::ChooseTarget(int child, bool folderFace) {
    if (child == kHardDisk) {
        CameraFolder* disk = new (std::nothrow) CameraFolder(viewerFolder_.Get(), "");
        if (!disk) return nullptr;
        disk->SetKind("Viewer");
        return folderFace ? static_cast<IUnknown*>(static_cast<IShellFolder*>(disk))
                          : static_cast<IUnknown*>(static_cast<IPersistFolder*>(disk));
    }
    SourceFolder* source = child == kDigitalCamera   ? remoteFolder_.Get()
                           : child == kRemovableMedia ? localFolder_.Get()
                                                      : nullptr;
    if (!source) return nullptr;
    return folderFace ? static_cast<IUnknown*>(static_cast<IExtFolder*>(source))
                      : static_cast<IUnknown*>(static_cast<IPersistFolder*>(source));
}

STDMETHODIMP RootFolder::BindToObject(PCUIDLIST_RELATIVE pidl, IBindCtx*, REFIID riid, void** ppv) {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    int child = FindChild(pidl);

    bool persistFace = IsEqualIID(riid, IID_IPersistFolder) || IsEqualIID(riid, IID_IUnknown);
    if (!persistFace && !IsEqualIID(riid, IID_IShellFolder)) return E_NOINTERFACE;

    if (child >= 0) {
        if (PCUIDLIST_RELATIVE rest = ItemId::Next(pidl)) {
            if (child == kHardDisk) return E_NOINTERFACE;
            SourceFolder* source = child == kDigitalCamera ? remoteFolder_.Get() : localFolder_.Get();
            return source->BindChild(rest, nullptr, riid, ppv);
        }
    }
    IUnknown* target = ChooseTarget(child, !persistFace);
    if (!target) return E_OUTOFMEMORY;
    target->AddRef();
    target->QueryInterface(riid, ppv);
    target->Release();
    return S_OK;
}

STDMETHODIMP RootFolder::BindToStorage(PCUIDLIST_RELATIVE, IBindCtx*, REFIID, void** ppv) {
    if (ppv) *ppv = nullptr;
    return E_NOTIMPL;
}

STDMETHODIMP RootFolder::CompareIDs(LPARAM, PCUIDLIST_RELATIVE pidl1, PCUIDLIST_RELATIVE pidl2) {
    return IdListHolder::Compare(pidl1, pidl2);
}

STDMETHODIMP RootFolder::CreateViewObject(HWND, REFIID riid, void** ppv) {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    if (!IsEqualIID(riid, IID_IShellView) || !ownList_) return E_NOINTERFACE;
    return HandOutView(new (std::nothrow) RootView(this), ppv);
}

STDMETHODIMP RootFolder::GetAttributesOf(UINT cidl, PCUITEMID_CHILD_ARRAY apidl,
                                         SFGAOF* rgfInOut) {
    if (!apidl) return S_OK;
    if (!rgfInOut) return E_POINTER;
    int child = cidl > 0 ? FindChild(apidl[0]) : -1;
    *rgfInOut = child == kDigitalCamera || child == kRemovableMedia ? kSourceAttributes
                                                                    : kDiskAttributes;
    return S_OK;
}

STDMETHODIMP RootFolder::GetUIObjectOf(HWND, UINT cidl, PCUITEMID_CHILD_ARRAY apidl, REFIID riid,
                                       UINT*, void** ppv) {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    if (!IsEqualIID(riid, IID_IExtractIconA)) return E_NOINTERFACE;
    int child = apidl && cidl > 0 ? FindChild(apidl[0]) : -1;
    return ItemIcon::Create(child >= 0 ? kChildIcons[child] : 0, ppv);
}

STDMETHODIMP RootFolder::GetDisplayNameOf(PCUITEMID_CHILD pidl, SHGDNF flags, STRRET* name) {
    return ItemId::NameOffset(pidl, !(flags & SHGDN_INFOLDER), name);
}

STDMETHODIMP RootFolder::SetNameOf(HWND, PCUITEMID_CHILD, LPCWSTR, SHGDNF, PITEMID_CHILD* ppidl) {
    if (ppidl) *ppidl = nullptr;
    return E_NOTIMPL;
}

IdListHolder* STDMETHODCALLTYPE RootFolder::GetOwnIdList() { return ownList_.get(); }

BYTE STDMETHODCALLTYPE RootFolder::IsReady() { return TRUE; }
