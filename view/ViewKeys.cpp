#include "view/ViewKeys.h"

#include <mutex>
#include <vector>

namespace {

struct Listener {
    DWORD thread;
    HWND window;
    HACCEL accelerators;
};

struct ThreadHook {
    DWORD thread;
    HHOOK hook;
};

// Plain globals, not thread-locals: those would pin the module to every thread
// that ever showed a view.
std::mutex lock;
std::vector<Listener> listeners;
std::vector<ThreadHook> hooks;

bool Inside(HWND window, HWND target) { return target == window || IsChild(window, target); }

// Keys typed while a drag, a menu or a modal box runs belong to that loop.
bool Busy(HWND window) { return GetCapture() || !IsWindowEnabled(GetAncestor(window, GA_ROOT)); }

HHOOK HookOf(DWORD thread) {
    for (const ThreadHook& entry : hooks)
        if (entry.thread == thread) return entry.hook;
    return nullptr;
}

LRESULT CALLBACK KeyHook(int code, WPARAM wParam, LPARAM lParam) {
    auto* msg = reinterpret_cast<MSG*>(lParam);
    DWORD thread = GetCurrentThreadId();
    Listener target = {};
    HHOOK hook = nullptr;
    {
        std::lock_guard<std::mutex> hold(lock);
        hook = HookOf(thread);
        if (code == HC_ACTION && wParam == PM_REMOVE && msg &&
            (msg->message == WM_KEYDOWN || msg->message == WM_SYSKEYDOWN))
            for (const Listener& listener : listeners)
                if (listener.thread == thread && Inside(listener.window, msg->hwnd)) target = listener;
    }
    if (target.window && !Busy(target.window) && TranslateAcceleratorW(target.window, target.accelerators, msg))
        msg->message = WM_NULL;
    return CallNextHookEx(hook, code, wParam, lParam);
}

}  // namespace

void ListenForKeys(HWND viewWindow, HACCEL accelerators) {
    if (!viewWindow || !accelerators) return;
    DWORD thread = GetCurrentThreadId();
    std::lock_guard<std::mutex> hold(lock);
    if (!HookOf(thread)) {
        HHOOK hook = SetWindowsHookExW(WH_GETMESSAGE, KeyHook, nullptr, thread);
        if (!hook) return;
        hooks.push_back({thread, hook});
    }
    listeners.push_back({thread, viewWindow, accelerators});
}

void StopListeningForKeys(HWND viewWindow) {
    DWORD thread = GetCurrentThreadId();
    std::lock_guard<std::mutex> hold(lock);
    bool others = false;
    for (size_t i = listeners.size(); i-- > 0;) {
        if (listeners[i].window == viewWindow)
            listeners.erase(listeners.begin() + long(i));
        else
            others = others || listeners[i].thread == thread;
    }
    for (size_t i = hooks.size(); i-- > 0;) {
        if (hooks[i].thread != thread || others) continue;
        UnhookWindowsHookEx(hooks[i].hook);
        hooks.erase(hooks.begin() + long(i));
    }
}
