#pragma once
#include <shlobj.h>

#include <map>
#include <string>

#include "base/ComObject.h"
#include "camera/FolderConnection.h"
#include "server/PlacedFolder.h"

class SourceFolder;

// One image collection: a folder a source lists, or the disk folder of
// "Hard Disk". It owns the connection to its camera or medium.
class CameraFolder : public PlacedFolder<CameraFolder, kCountReferences, IShellFolder>,
                     public FolderConnection {
public:
    static const InterfaceRow<CameraFolder> kInterfaces[6];

    CameraFolder(SourceFolder* parent, const std::string& connectionText);
    ~CameraFolder() override;

    // Folder face.
    STDMETHODIMP ParseDisplayName(HWND, IBindCtx*, LPWSTR, ULONG*, PIDLIST_RELATIVE*,
                                  ULONG*) override;
    STDMETHODIMP EnumObjects(HWND, SHCONTF, IEnumIDList** ppenum) override;
    STDMETHODIMP BindToObject(PCUIDLIST_RELATIVE, IBindCtx*, REFIID, void** ppv) override;
    STDMETHODIMP BindToStorage(PCUIDLIST_RELATIVE, IBindCtx*, REFIID, void** ppv) override;
    STDMETHODIMP CompareIDs(LPARAM, PCUIDLIST_RELATIVE first, PCUIDLIST_RELATIVE second) override;
    STDMETHODIMP CreateViewObject(HWND hwnd, REFIID riid, void** ppv) override;
    STDMETHODIMP GetAttributesOf(UINT, PCUITEMID_CHILD_ARRAY, SFGAOF* rgfInOut) override;
    STDMETHODIMP GetUIObjectOf(HWND, UINT, PCUITEMID_CHILD_ARRAY, REFIID, UINT*, void** ppv) override;
    STDMETHODIMP GetDisplayNameOf(PCUITEMID_CHILD pidl, SHGDNF flags, STRRET* name) override;
    STDMETHODIMP SetNameOf(HWND, PCUITEMID_CHILD, LPCWSTR, SHGDNF, PITEMID_CHILD*) override;

protected:
    CameraService* ParentService() override;

private:
    // The file a program gets for picture `name` through a file dialog; ""
    // when it cannot be had. Rendered once per folder object and left for the
    // program after the dialog has gone (a later start clears it).
    std::string PictureFile(const std::string& name);

    ComRef<SourceFolder> parent_;
    std::string renderFolder_;
    std::map<std::string, std::string> pictureFiles_;
};
