#pragma once
#include <memory>
#include <string>

#include "base/ComObject.h"
#include "base/ItemId.h"
#include "camera/CameraService.h"
#include "camera/FolderConnection.h"
#include "server/ExtFolder.h"
#include "server/PlacedFolder.h"

// One kind of image source; its items are the folders its camera driver names.
class SourceFolder : public PlacedFolder<SourceFolder, kCountLife, IExtFolder> {
public:
    static const InterfaceRow<SourceFolder> kInterfaces[6];
    static constexpr char kRemote[] = "Remote";
    static constexpr char kLocal[] = "Local";
    static constexpr char kImageViewer[] = "ImageViewer";

    explicit SourceFolder(const char* kind);
    ~SourceFolder() override;

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

    // The camera service of this kind, loaded on first use; null when none can be.
    CameraService* GetService();
    std::string GetKind() const { return kind_; }

private:
    void Placed() override;

    std::unique_ptr<IdListHolder> ownList_;
    std::string kind_;
    CameraService* service_ = nullptr;
};
