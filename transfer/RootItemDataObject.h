#pragma once
#include <objidl.h>

#include "base/ComObject.h"
#include "base/ItemId.h"

// The data object of an item of the root or a source view: only the shell's
// ID list array of that item below the root.
class RootItemDataObject : public ComObject<RootItemDataObject, kCountReferences, IDataObject> {
public:
    static const InterfaceRow<RootItemDataObject> kInterfaces[2];

    // `parent`: the root's absolute list (may be null); `item`: the item's list.
    RootItemDataObject(const IdListHolder* parent, const IdListHolder& item);

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
    IdListHolder item_;
};
