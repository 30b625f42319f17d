#include "view/ViewKeys.h"

#include <algorithm>
#include <vector>

namespace {

struct Listener {
    HWND window;
    HACCEL accelerators;
};

thread_local std::vector<Listener> listeners;
thread_local HHOOK hook = nullptr;

bool Inside(HWND window, HWND target) { return target == window || IsChild(window, target); }

LRESULT CALLBACK KeyHook(int code, WPARAM wParam, LPARAM lParam) {
    auto* msg = reinterpret_cast<MSG*>(lParam);
    if (code == HC_ACTION && wParam == PM_REMOVE && msg &&
        (msg->message == WM_KEYDOWN || msg->message == WM_SYSKEYDOWN)) {
        for (const Listener& listener : listeners) {
            if (!Inside(listener.window, msg->hwnd)) continue;
            if (TranslateAcceleratorW(listener.window, listener.accelerators, msg)) msg->message = WM_NULL;
            break;
        }
    }
    return CallNextHookEx(hook, code, wParam, lParam);
}

}  // namespace

void ListenForKeys(HWND viewWindow, HACCEL accelerators) {
    if (!viewWindow || !accelerators) return;
    if (!hook) hook = SetWindowsHookExW(WH_GETMESSAGE, KeyHook, nullptr, GetCurrentThreadId());
    if (hook) listeners.push_back({viewWindow, accelerators});
}

void StopListeningForKeys(HWND viewWindow) {
    listeners.erase(std::remove_if(listeners.begin(), listeners.end(),
                                   [&](const Listener& l) { return l.window == viewWindow; }),
                    listeners.end());
    if (listeners.empty() && hook) {
        UnhookWindowsHookEx(hook);
        hook = nullptr;
    }
}
