#pragma once
#include <memory>
#include <string>

#include "base/ComObject.h"
#include "base/ItemId.h"
#include "server/ExtFolder.h"
#include "server/PlacedFolder.h"
#include "server/SourceFolder.h"

// The junction point of the extension: its three children are the image
// sources. Each CreateInstance makes its own, so browser windows on their own
// threads share no folder object.
class RootFolder : public PlacedFolder<RootFolder, kCountLife, IExtFolder> {
public:
    static const InterfaceRow<RootFolder> kInterfaces[6];
    static constexpr int kChildCount = 3;
    enum Child { kDigitalCamera = 0, kRemovableMedia = 1, kHardDisk = 2 };

    RootFolder();
    ~RootFolder() override;

    // Folder face.
    STDMETHODIMP ParseDisplayName(HWND, IBindCtx*, LPWSTR, ULONG*, PIDLIST_RELATIVE*,
                                  ULONG*) override;
    STDMETHODIMP EnumObjects(HWND hwnd, SHCONTF flags, IEnumIDList** ppenum) override;
    STDMETHODIMP BindToObject(PCUIDLIST_RELATIVE pidl, IBindCtx* pbc, REFIID riid,
                              void** ppv) override;
    STDMETHODIMP BindToStorage(PCUIDLIST_RELATIVE, IBindCtx*, REFIID, void** ppv) override;
    STDMETHODIMP CompareIDs(LPARAM lParam, PCUIDLIST_RELATIVE pidl1,
                            PCUIDLIST_RELATIVE pidl2) override;
    STDMETHODIMP CreateViewObject(HWND hwnd, REFIID riid, void** ppv) override;
    STDMETHODIMP GetAttributesOf(UINT cidl, PCUITEMID_CHILD_ARRAY apidl,
                                 SFGAOF* rgfInOut) override;
    STDMETHODIMP GetUIObjectOf(HWND hwnd, UINT cidl, PCUITEMID_CHILD_ARRAY apidl, REFIID riid,
                               UINT* prgfInOut, void** ppv) override;
    STDMETHODIMP GetDisplayNameOf(PCUITEMID_CHILD pidl, SHGDNF flags, STRRET* name) override;
    STDMETHODIMP SetNameOf(HWND, PCUITEMID_CHILD, LPCWSTR, SHGDNF, PITEMID_CHILD*) override;
    IdListHolder* STDMETHODCALLTYPE GetOwnIdList() override;
    BYTE STDMETHODCALLTYPE IsReady() override;

    // The child index named by the first item of `pidl`, or -1.
    static int FindChild(PCUIDLIST_RELATIVE pidl);
    static LPITEMIDLIST MakeChildList(int index);
    static const std::string& ChildName(int index);

private:
    void Placed() override;
    // The folder serving `child`: a source folder, or for "Hard Disk" a new
    // disk folder each time; null when it cannot be made.
    ComRef<IShellFolder> ChildFolder(int child);

    std::unique_ptr<IdListHolder> ownList_;
    ComRef<SourceFolder> remoteFolder_;
    ComRef<SourceFolder> localFolder_;
    ComRef<SourceFolder> viewerFolder_;
};
