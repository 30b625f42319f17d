#include "transfer/RootItemDataObject.h"

#include <cstring>

namespace {

constexpr int kListsCapacity = 256;  // the two lists together
constexpr int kHeaderSize = 12;      // cidl and two offsets

CLIPFORMAT IdListFormat() {
    return static_cast<CLIPFORMAT>(RegisterClipboardFormatA("Shell IDList Array"));
}

void Put32(BYTE* at, UINT value) { std::memcpy(at, &value, 4); }

}  // namespace

const InterfaceRow<RootItemDataObject> RootItemDataObject::kInterfaces[2] = {
    {&IID_IUnknown, FaceOf<RootItemDataObject, IDataObject>},
    {&IID_IDataObject, FaceOf<RootItemDataObject, IDataObject>},
};

RootItemDataObject::RootItemDataObject(const IdListHolder* parent, const IdListHolder& item)
    : parent_(parent ? *parent : IdListHolder(static_cast<LPCITEMIDLIST>(nullptr))), item_(item) {}

STDMETHODIMP RootItemDataObject::QueryGetData(FORMATETC* format) {
    if (!format || format->cfFormat != IdListFormat() || !(format->tymed & TYMED_HGLOBAL))
        return DV_E_FORMATETC;
    return S_OK;
}

STDMETHODIMP RootItemDataObject::GetData(FORMATETC* format, STGMEDIUM* medium) {
    if (!medium) return E_POINTER;
    if (QueryGetData(format) != S_OK) return E_UNEXPECTED;
    int parentSize = parent_.Size() ? parent_.Size() : 2;  // no root list: an empty one
    int itemSize = item_.Size();
    if (parentSize + itemSize > kListsCapacity) return E_OUTOFMEMORY;

    HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, kHeaderSize + parentSize + itemSize);
    if (!block) return E_OUTOFMEMORY;
    BYTE* at = static_cast<BYTE*>(GlobalLock(block));
    Put32(at, 1);
    Put32(at + 4, kHeaderSize);
    Put32(at + 8, UINT(kHeaderSize + parentSize));
    if (parent_.Size()) parent_.CopyTo(at + kHeaderSize, parentSize);
    item_.CopyTo(at + kHeaderSize + parentSize, itemSize);
    GlobalUnlock(block);
    medium->tymed = TYMED_HGLOBAL;
    medium->hGlobal = block;
    medium->pUnkForRelease = nullptr;
    return S_OK;
}
