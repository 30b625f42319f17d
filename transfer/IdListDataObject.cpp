#include "transfer/IdListDataObject.h"

#include <shlobj.h>

#include <cstring>

namespace {

CLIPFORMAT IdListFormat() { return static_cast<CLIPFORMAT>(RegisterClipboardFormatW(L"Shell IDList Array")); }

void Put32(BYTE* at, size_t value) {
    UINT narrow = UINT(value);
    std::memcpy(at, &narrow, 4);
}

}  // namespace

const InterfaceRow<IdListDataObject> IdListDataObject::kInterfaces[2] = {
    {&IID_IUnknown, FaceOf<IdListDataObject, IDataObject>},
    {&IID_IDataObject, FaceOf<IdListDataObject, IDataObject>},
};

IdListDataObject::IdListDataObject(PCIDLIST_ABSOLUTE parent, std::vector<IdListHolder> items)
    : parent_(parent), items_(std::move(items)) {}

STDMETHODIMP IdListDataObject::QueryGetData(FORMATETC* format) {
    if (!format || format->cfFormat != IdListFormat() || !(format->tymed & TYMED_HGLOBAL)) return DV_E_FORMATETC;
    return S_OK;
}

// A fresh block each time: the reader frees it.
STDMETHODIMP IdListDataObject::GetData(FORMATETC* format, STGMEDIUM* medium) {
    if (!medium) return E_POINTER;
    if (QueryGetData(format) != S_OK) return DV_E_FORMATETC;
    size_t header = 4 * (items_.size() + 2), size = header + size_t(parent_.Size() ? parent_.Size() : 2);
    for (const IdListHolder& item : items_) size += size_t(item.Size());
    HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, size);
    BYTE* at = block ? static_cast<BYTE*>(GlobalLock(block)) : nullptr;
    if (!at) {
        if (block) GlobalFree(block);
        return E_OUTOFMEMORY;
    }
    Put32(at, items_.size());
    size_t offset = header;
    Put32(at + 4, offset);
    int parentSize = parent_.CopyTo(at + offset, int(size - offset));
    offset += size_t(parentSize > 0 ? parentSize : 2);  // none: the desktop's empty list, zeroed already
    for (size_t i = 0; i < items_.size(); ++i) {
        Put32(at + 8 + 4 * i, offset);
        offset += size_t(items_[i].CopyTo(at + offset, int(size - offset)));
    }
    GlobalUnlock(block);
    medium->tymed = TYMED_HGLOBAL;
    medium->hGlobal = block;
    medium->pUnkForRelease = nullptr;
    return S_OK;
}

HRESULT HandOutIdLists(IUnknown* folder, std::vector<IdListHolder> items, REFIID riid, void** ppv) {
    PIDLIST_ABSOLUTE parent = nullptr;
    ComRef<IPersistFolder2> placed;
    if (SUCCEEDED(folder->QueryInterface(IID_IPersistFolder2, placed.PutVoid()))) placed->GetCurFolder(&parent);
    HRESULT hr = HandOut(new (std::nothrow) IdListDataObject(parent, std::move(items)), riid, ppv);
    ILFree(parent);
    return hr;
}
