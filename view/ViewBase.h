#pragma once
#include <windows.h>
#include <commctrl.h>
#include <shlobj.h>

#include <cstring>
#include <string>

#include "base/ComObject.h"
#include "base/Module.h"
#include "base/WideText.h"

// What both shell views share: counting (at life and at every reference),
// QueryInterface by the view's table, and the window handle GetWindow gives.
template <class View>
class ViewBase : public ComObject<View, kCountBoth, IShellView> {
public:
    // Activation re-merges menus and toolbar when it really changes.
    STDMETHODIMP UIActivate(UINT state) override {
        if (!ActivationChanges(state)) return S_OK;
        if (state != SVUIA_DEACTIVATE) {
            if (browser_) browser_->OnViewWindowActive(this);
            static_cast<View*>(this)->BuildMenusAndToolbar();
        }
        uiState_ = state;
        return S_OK;
    }

    STDMETHODIMP GetWindow(HWND* window) override {
        if (!window) return E_POINTER;
        *window = window_;
        return S_OK;
    }

protected:
    // A browser that releases a view without DestroyViewWindow must not leave
    // a window pointing at a freed view.
    void ForgetWindow() {
        if (window_ && !windowDestroyed_ && IsWindow(window_)) {
            SetWindowLongPtrW(window_, DWLP_USER, 0);
            DestroyWindow(window_);
        }
        window_ = nullptr;
    }

    // Whether UIActivate(state) acts: not for the state it has, nor for a
    // swap between the two active states. The first call always acts.
    bool ActivationChanges(UINT state) const {
        bool focusSwap = (state == SVUIA_ACTIVATE_NOFOCUS && uiState_ == SVUIA_ACTIVATE_FOCUS) ||
                         (state == SVUIA_ACTIVATE_FOCUS && uiState_ == SVUIA_ACTIVATE_NOFOCUS);
        return state != uiState_ && !focusSwap;
    }

    ComRef<IShellBrowser> browser_;  // from CreateViewWindow until DestroyViewWindow
    HWND window_ = nullptr;
    bool windowDestroyed_ = false;  // the handle is kept after DestroyViewWindow; it may be reused
    UINT uiState_ = 0xFACE0FF1;  // no SVUIA_ state
};

// Answers a tooltip request with string `id` kept in `buffer`, which stays valid after the
// notification: wide as it is, in the ANSI code page for a tooltip that asks so.
inline void AnswerTooltip(NMHDR* header, UINT id, wchar_t (&buffer)[80]) {
    lstrcpynW(buffer, id ? LoadModuleText(id).c_str() : L"", 80);
    if (header->code == TTN_NEEDTEXTW) {
        reinterpret_cast<NMTTDISPINFOW*>(header)->lpszText = buffer;
        return;
    }
    char single[sizeof buffer] = {};
    WideCharToMultiByte(CP_ACP, 0, buffer, -1, single, sizeof single - 1, nullptr, nullptr);
    std::memcpy(buffer, single, sizeof buffer);
    reinterpret_cast<NMTTDISPINFOA*>(header)->lpszText = reinterpret_cast<char*>(buffer);
}
