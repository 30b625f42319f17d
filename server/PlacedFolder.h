#pragma once
// A folder's place in the shell namespace: the absolute ID list it was given,
// answered through both persist faces so the shell can build items under it.
#include <shlobj.h>

#include <cstring>

#include "base/ComObject.h"

template <class Object, unsigned Policy, class... Faces>
class PlacedFolder : public ComObject<Object, Policy, IPersistFolder2, IPersistIDList, Faces...> {
public:
    STDMETHODIMP GetClassID(CLSID* clsid) override {
        if (!clsid) return E_POINTER;
        *clsid = CLSID_CameraExplorer;
        return S_OK;
    }
    STDMETHODIMP Initialize(PCIDLIST_ABSOLUTE pidl) override {
        // The shell places a folder again on every bind: the list it holds may be in use.
        UINT size = pidl ? ILGetSize(pidl) : 0;
        if (absolute_ && size && size == ILGetSize(absolute_) && std::memcmp(pidl, absolute_, size) == 0) return S_OK;
        PIDLIST_ABSOLUTE copy = pidl ? ILCloneFull(pidl) : nullptr;
        if (pidl && !copy) return E_OUTOFMEMORY;
        ILFree(absolute_);
        absolute_ = copy;
        Placed();
        return S_OK;
    }
    STDMETHODIMP GetCurFolder(PIDLIST_ABSOLUTE* pidl) override {
        if (!pidl) return E_POINTER;
        *pidl = absolute_ ? ILCloneFull(absolute_) : nullptr;
        if (!absolute_) return S_FALSE;
        return *pidl ? S_OK : E_OUTOFMEMORY;
    }
    STDMETHODIMP SetIDList(PCIDLIST_ABSOLUTE pidl) override { return Initialize(pidl); }
    STDMETHODIMP GetIDList(PIDLIST_ABSOLUTE* pidl) override {
        HRESULT hr = GetCurFolder(pidl);
        return hr == S_FALSE ? E_FAIL : hr;
    }

    PCIDLIST_ABSOLUTE Absolute() const { return absolute_; }

protected:
    PlacedFolder() = default;
    ~PlacedFolder() override { ILFree(absolute_); }
    // Called once the folder knows its place; children learn theirs from it.
    virtual void Placed() {}
    // Places `child` at this folder's list plus `item`.
    void PlaceChild(IPersistFolder* child, PCUIDLIST_RELATIVE item) const {
        if (!absolute_ || !child) return;
        if (PIDLIST_ABSOLUTE list = ILCombine(absolute_, item)) {
            child->Initialize(list);
            ILFree(list);
        }
    }

private:
    PIDLIST_ABSOLUTE absolute_ = nullptr;
};

// The interface rows every placed folder answers besides its folder face.
#define PLACED_FOLDER_ROWS(Object)                                          \
    {&IID_IPersist, FaceOf<Object, IPersistFolder2>},                       \
    {&IID_IPersistFolder, FaceOf<Object, IPersistFolder>},                  \
    {&IID_IPersistFolder2, FaceOf<Object, IPersistFolder2>},                \
    {&IID_IPersistIDList, FaceOf<Object, IPersistIDList>}
