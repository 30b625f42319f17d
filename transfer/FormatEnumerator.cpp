#include "transfer/FormatEnumerator.h"

#include <shlobj.h>

const InterfaceRow<FormatEnumerator> FormatEnumerator::kInterfaces[2] = {
    {&IID_IUnknown, FaceOf<FormatEnumerator, IEnumFORMATETC>},
    {&IID_IEnumFORMATETC, FaceOf<FormatEnumerator, IEnumFORMATETC>},
};

CLIPFORMAT FormatEnumerator::FormatAt(unsigned index) {
    switch (index) {
        case 0: return static_cast<CLIPFORMAT>(RegisterClipboardFormatA("Vistrel"));
        case 1: return CF_HDROP;
        case 2: return static_cast<CLIPFORMAT>(RegisterClipboardFormatA("Shell IDList Array"));
        default: return CF_DIB;
    }
}

STDMETHODIMP FormatEnumerator::Next(ULONG celt, FORMATETC* rgelt, ULONG* pceltFetched) {
    if (position_ >= count_) {
        if (pceltFetched) *pceltFetched = 0;
        return S_FALSE;
    }
    if (!rgelt) return E_POINTER;
    ULONG filled = 0;
    for (; filled < celt && position_ < count_; ++filled, ++position_)
        rgelt[filled] = {FormatAt(position_), nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
    if (pceltFetched) *pceltFetched = filled;
    return filled == celt ? S_OK : S_FALSE;  // fewer than asked: the end was reached
}

STDMETHODIMP FormatEnumerator::Skip(ULONG celt) {
    if (celt > count_ - position_) return S_FALSE;
    position_ += celt;
    return S_OK;
}

STDMETHODIMP FormatEnumerator::Reset() {
    position_ = 0;
    return S_OK;
}

STDMETHODIMP FormatEnumerator::Clone(IEnumFORMATETC** ppenum) {
    if (ppenum) *ppenum = nullptr;
    return E_NOTIMPL;
}
