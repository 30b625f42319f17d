#pragma once
#include <shlobj.h>

#include "server/ComObject.h"

// What both shell views share: counting (at life and at every reference),
// QueryInterface by the view's table, and the window handle GetWindow gives.
template <class View>
class ViewBase : public ComObject<View, kCountBoth, IShellView> {
public:
    STDMETHODIMP GetWindow(HWND* window) override {
        if (!window) return E_POINTER;
        *window = window_;
        return S_OK;
    }

protected:
    HWND window_ = nullptr;
};
