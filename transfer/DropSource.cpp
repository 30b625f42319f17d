#include "transfer/DropSource.h"

const InterfaceRow<DropSource> DropSource::kInterfaces[2] = {
    {&IID_IUnknown, FaceOf<DropSource, IDropSource>},
    {&IID_IDropSource, FaceOf<DropSource, IDropSource>},
};

STDMETHODIMP DropSource::QueryContinueDrag(BOOL escapePressed, DWORD keyState) {
    if (escapePressed || (keyState & MK_RBUTTON))
        lastAnswer_ = DRAGDROP_S_CANCEL;
    else
        lastAnswer_ = (keyState & MK_LBUTTON) ? S_OK : DRAGDROP_S_DROP;
    return lastAnswer_;
}
