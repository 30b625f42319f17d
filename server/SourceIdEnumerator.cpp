#include "server/SourceIdEnumerator.h"

#include "server/SourceFolder.h"

const InterfaceRow<SourceIdEnumerator> SourceIdEnumerator::kInterfaces[2] = {
    {&IID_IUnknown, FaceOf<SourceIdEnumerator, IEnumIDList>},
    {&IID_IEnumIDList, FaceOf<SourceIdEnumerator, IEnumIDList>},
};

SourceIdEnumerator::SourceIdEnumerator(SourceFolder* folder, SHCONTF flags)
    : folder_(folder), flags_(flags) {
    folder_->AddRef();
}

SourceIdEnumerator::~SourceIdEnumerator() { folder_->Release(); }

STDMETHODIMP SourceIdEnumerator::Next(ULONG celt, PITEMID_CHILD* rgelt, ULONG* pceltFetched) {
    if (!(flags_ & SHCONTF_FOLDERS)) return S_FALSE;
    if (!rgelt) return E_POINTER;
    rgelt[0] = nullptr;
    if (pceltFetched) *pceltFetched = 0;

    CameraService* service = folder_->GetService();
    if (!service || position_ >= service->GetFolderCount()) return S_FALSE;
    char name[256] = {};
    if (!service->GetFolderName(position_, name, sizeof name)) return S_FALSE;
    name[sizeof name - 1] = '\0';  // A driver may fill the whole buffer.

    rgelt[0] = MakeItemIdList(name);
    ++position_;
    return DeliverOneItem(rgelt[0], celt, pceltFetched);
}

STDMETHODIMP SourceIdEnumerator::Skip(ULONG celt) {
    position_ += celt;
    return S_OK;
}

STDMETHODIMP SourceIdEnumerator::Reset() {
    position_ = 0;
    CameraService* service = folder_->GetService();
    if (!service) return S_FALSE;
    service->Refresh();
    return S_OK;
}

STDMETHODIMP SourceIdEnumerator::Clone(IEnumIDList** ppenum) {
    if (ppenum) *ppenum = nullptr;
    return E_NOTIMPL;
}
