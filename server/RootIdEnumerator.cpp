#include "server/RootIdEnumerator.h"

#include "server/RootFolder.h"

const InterfaceRow<RootIdEnumerator> RootIdEnumerator::kInterfaces[2] = {
    {&IID_IUnknown, FaceOf<RootIdEnumerator, IEnumIDList>},
    {&IID_IEnumIDList, FaceOf<RootIdEnumerator, IEnumIDList>},
};

RootIdEnumerator::RootIdEnumerator(RootFolder* root, SHCONTF flags) : root_(root), flags_(flags) {
    root_->AddRef();
}

RootIdEnumerator::~RootIdEnumerator() { root_->Release(); }

STDMETHODIMP RootIdEnumerator::Next(ULONG celt, PITEMID_CHILD* rgelt, ULONG* pceltFetched) {
    if (!rgelt) return E_POINTER;
    rgelt[0] = nullptr;
    if (pceltFetched) *pceltFetched = 0;
    if (position_ >= RootFolder::kChildCount) return S_FALSE;

    rgelt[0] = RootFolder::MakeChildList(static_cast<int>(position_++));
    return DeliverOneItem(rgelt[0], celt, pceltFetched);
}

STDMETHODIMP RootIdEnumerator::Skip(ULONG celt) {
    position_ += celt;
    return S_OK;
}

STDMETHODIMP RootIdEnumerator::Reset() {
    position_ = 0;
    return S_OK;
}

STDMETHODIMP RootIdEnumerator::Clone(IEnumIDList** ppenum) {
    if (ppenum) *ppenum = nullptr;
    return E_NOTIMPL;
}
