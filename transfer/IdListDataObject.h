#pragma once
#include <objidl.h>
#include <shtypes.h>

#include <vector>

#include "base/ComObject.h"
#include "base/ItemId.h"

// The data object of items the shell names by ID list: only the shell's ID
// list array of `items` below the folder whose absolute list is `parent`.
// File dialogs read a selection this way, and the root and source views
// hand out theirs in it.
class IdListDataObject : public ComObject<IdListDataObject, kCountReferences, IDataObject> {
public:
    static const InterfaceRow<IdListDataObject> kInterfaces[2];

    // `parent` null: the desktop.
    IdListDataObject(PCIDLIST_ABSOLUTE parent, std::vector<IdListHolder> items);

    STDMETHODIMP GetData(FORMATETC* format, STGMEDIUM* medium) override;
    STDMETHODIMP GetDataHere(FORMATETC*, STGMEDIUM*) override { return E_NOTIMPL; }
    STDMETHODIMP QueryGetData(FORMATETC* format) override;
    STDMETHODIMP GetCanonicalFormatEtc(FORMATETC*, FORMATETC*) override { return E_NOTIMPL; }
    STDMETHODIMP SetData(FORMATETC*, STGMEDIUM*, BOOL) override { return E_NOTIMPL; }
    STDMETHODIMP EnumFormatEtc(DWORD, IEnumFORMATETC**) override { return E_NOTIMPL; }
    STDMETHODIMP DAdvise(FORMATETC*, DWORD, IAdviseSink*, DWORD*) override { return E_NOTIMPL; }
    STDMETHODIMP DUnadvise(DWORD) override { return E_NOTIMPL; }
    STDMETHODIMP EnumDAdvise(IEnumSTATDATA**) override { return E_NOTIMPL; }

private:
    IdListHolder parent_;
    std::vector<IdListHolder> items_;
};

// Hands out the ID list array of `items` below `folder` (its place asked of
// it through IPersistFolder2).
HRESULT HandOutIdLists(IUnknown* folder, std::vector<IdListHolder> items, REFIID riid, void** ppv);
