#include "transfer/FormatEnumerator.h"

const InterfaceRow<FormatEnumerator> FormatEnumerator::kInterfaces[2] = {
    {&IID_IUnknown, FaceOf<FormatEnumerator, IEnumFORMATETC>},
    {&IID_IEnumFORMATETC, FaceOf<FormatEnumerator, IEnumFORMATETC>},
};

STDMETHODIMP FormatEnumerator::Next(ULONG celt, FORMATETC* rgelt, ULONG* pceltFetched) {
    if (position_ >= formats_.size()) {
        if (pceltFetched) *pceltFetched = 0;
        return S_FALSE;
    }
    if (!rgelt) return E_POINTER;
    ULONG filled = 0;
    for (; filled < celt && position_ < formats_.size(); ++filled, ++position_) rgelt[filled] = formats_[position_];
    if (pceltFetched) *pceltFetched = filled;
    return filled == celt ? S_OK : S_FALSE;  // fewer than asked: the end was reached
}

STDMETHODIMP FormatEnumerator::Skip(ULONG celt) {
    if (celt > formats_.size() - position_) return S_FALSE;
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
