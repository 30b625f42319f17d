#include "support/MenuWatcher.h"

#include "support/Screen.h"

namespace {

std::vector<std::string> ReadMenu(HMENU menu) {
    std::vector<std::string> entries;
    for (int i = 0; i < GetMenuItemCount(menu); ++i) {
        UINT state = GetMenuState(menu, UINT(i), MF_BYPOSITION);
        char text[128] = {};
        GetMenuStringA(menu, UINT(i), text, sizeof text, MF_BYPOSITION);
        std::string entry = text;
        if (state & MF_GRAYED) entry += " [grayed]";
        if (state & MF_CHECKED) entry += " [checked]";
        entries.push_back(state & MF_SEPARATOR ? "-" : entry);
    }
    return entries;
}

INPUT KeyInput(WORD key, DWORD flags) {
    INPUT input = {};
    input.type = INPUT_KEYBOARD;
    input.ki.wVk = key;
    input.ki.dwFlags = flags;
    return input;
}

}  // namespace

MenuWatcher::MenuWatcher() : thread_([this] { Watch(); }) {}

MenuWatcher::~MenuWatcher() {
    done_ = true;
    thread_.join();
}

std::vector<std::vector<std::string>> MenuWatcher::Menus() {
    std::lock_guard<std::mutex> hold(lock_);
    return menus_;
}

void MenuWatcher::Forget() {
    std::lock_guard<std::mutex> hold(lock_);
    menus_.clear();
}

void MenuWatcher::Watch() {
    HWND last = nullptr;
    while (!done_) {
        std::vector<HWND> menus = OwnWindowsOfClass("#32768");
        HWND window = menus.empty() ? nullptr : menus.front();
        HMENU menu = window && window != last ? reinterpret_cast<HMENU>(SendMessageA(window, MN_GETHMENU, 0, 0))
                                              : nullptr;
        if (menu) {
            last = window;
            std::vector<std::string> entries = ReadMenu(menu);
            std::lock_guard<std::mutex> hold(lock_);
            menus_.push_back(entries);
            // The menu's own loop reads this as if typed and closes the menu.
            PostMessageA(window, WM_KEYDOWN, VK_ESCAPE, 0);
        }
        if (!window) last = nullptr;
        Sleep(20);
    }
}

void SendKey(WORD key, bool control) {
    std::vector<INPUT> inputs;
    if (control) inputs.push_back(KeyInput(VK_CONTROL, 0));
    inputs.push_back(KeyInput(key, 0));
    inputs.push_back(KeyInput(key, KEYEVENTF_KEYUP));
    if (control) inputs.push_back(KeyInput(VK_CONTROL, KEYEVENTF_KEYUP));
    SendInput(UINT(inputs.size()), inputs.data(), sizeof(INPUT));
}

void SendClick(POINT screen, bool right, WORD heldKey) {
    SetCursorPos(screen.x, screen.y);
    std::vector<INPUT> inputs;
    if (heldKey) inputs.push_back(KeyInput(heldKey, 0));
    for (DWORD flags : {right ? MOUSEEVENTF_RIGHTDOWN : MOUSEEVENTF_LEFTDOWN, right ? MOUSEEVENTF_RIGHTUP : MOUSEEVENTF_LEFTUP}) {
        INPUT click = {};
        click.type = INPUT_MOUSE;
        click.mi.dwFlags = flags;
        inputs.push_back(click);
    }
    if (heldKey) inputs.push_back(KeyInput(heldKey, KEYEVENTF_KEYUP));
    SendInput(UINT(inputs.size()), inputs.data(), sizeof(INPUT));
}
