#pragma once
#include <oleidl.h>

#include "base/ComObject.h"

// The drop source of a drag out of the camera view. Its last answer tells the
// data object whether the drop has happened yet.
class DropSource : public ComObject<DropSource, 0, IDropSource> {
public:
    static const InterfaceRow<DropSource> kInterfaces[2];

    STDMETHODIMP QueryContinueDrag(BOOL escapePressed, DWORD keyState) override;
    STDMETHODIMP GiveFeedback(DWORD) override { return DRAGDROP_S_USEDEFAULTCURSORS; }

    HRESULT LastAnswer() const { return lastAnswer_; }

private:
    HRESULT lastAnswer_ = S_OK;
};
