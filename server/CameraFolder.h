#pragma once
#include <shlobj.h>

#include "base/ComObject.h"
#include "camera/FolderConnection.h"

class SourceFolder;

// One image collection: a folder a source lists, or the disk folder of
// "Hard Disk". It owns the connection to its camera or medium.
class CameraFolder : public ComObject<CameraFolder, kCountReferences, IPersistFolder, IShellFolder>,
                     public FolderConnection {
public:
    static const InterfaceRow<CameraFolder> kInterfaces[3];

    CameraFolder(SourceFolder* parent, const std::string& connectionText);
    ~CameraFolder() override;

    // Persist face.
    STDMETHODIMP GetClassID(CLSID* clsid) override;
    STDMETHODIMP Initialize(PCIDLIST_ABSOLUTE) override { return S_OK; }

    // Folder face.
    STDMETHODIMP ParseDisplayName(HWND, IBindCtx*, LPWSTR, ULONG*, PIDLIST_RELATIVE*,
                                  ULONG*) override;
    STDMETHODIMP EnumObjects(HWND, SHCONTF, IEnumIDList** ppenum) override;
    STDMETHODIMP BindToObject(PCUIDLIST_RELATIVE, IBindCtx*, REFIID, void** ppv) override;
    STDMETHODIMP BindToStorage(PCUIDLIST_RELATIVE, IBindCtx*, REFIID, void** ppv) override;
    STDMETHODIMP CompareIDs(LPARAM, PCUIDLIST_RELATIVE, PCUIDLIST_RELATIVE) override { return 1; }
    STDMETHODIMP CreateViewObject(HWND hwnd, REFIID riid, void** ppv) override;
    STDMETHODIMP GetAttributesOf(UINT, PCUITEMID_CHILD_ARRAY, SFGAOF* rgfInOut) override;
    STDMETHODIMP GetUIObjectOf(HWND, UINT, PCUITEMID_CHILD_ARRAY, REFIID, UINT*, void** ppv) override;
    STDMETHODIMP GetDisplayNameOf(PCUITEMID_CHILD pidl, SHGDNF flags, STRRET* name) override;
    STDMETHODIMP SetNameOf(HWND, PCUITEMID_CHILD, LPCWSTR, SHGDNF, PITEMID_CHILD*) override;

protected:
    CameraService* ParentService() override;

private:
    ComRef<SourceFolder> parent_;
};
