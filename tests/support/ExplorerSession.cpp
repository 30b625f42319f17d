#include "support/ExplorerSession.h"

#include "support/RemoteListView.h"
#include "support/Screen.h"

ExplorerSession::ExplorerSession(const std::string& arguments) {
    std::string command = "explorer.exe " + arguments;
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    if (!CreateProcessA(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                        &process_))
        return;
    CloseHandle(process_.hThread);
    WaitUntil([&] { return (window_ = FindProcessWindow(process_.dwProcessId)) != nullptr; }, 20000);
}

ExplorerSession::~ExplorerSession() {
    if (!process_.hProcess) return;
    TerminateProcess(process_.hProcess, 0);
    WaitForSingleObject(process_.hProcess, 5000);
    CloseHandle(process_.hProcess);
}

bool ExplorerSession::GoTo(const std::string& location) const {
    HWND address = FindDescendant(window_, "ComboBoxEx32");
    HWND edit = address ? FindDescendant(address, "Edit") : nullptr;
    if (!edit) return false;
    SendMessageA(edit, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(location.c_str()));
    PostMessageA(edit, WM_KEYDOWN, VK_RETURN, 1);
    PostMessageA(edit, WM_KEYUP, VK_RETURN, 0xC0000001);
    return true;
}

HWND ExplorerSession::ViewList() const {
    HWND dialog = FindDescendant(window_, "#32770");
    return dialog ? FindDescendant(dialog, "SysListView32") : nullptr;
}

std::vector<std::string> ExplorerSession::ViewItems(const std::string& firstItem) const {
    std::vector<std::string> items;
    WaitUntil(
        [&] {
            HWND list = ViewList();
            items = list ? RemoteListView(list).Texts(0) : std::vector<std::string>();
            return !items.empty() && (firstItem.empty() || items[0] == firstItem);
        },
        10000);
    if (!firstItem.empty() && (items.empty() || items[0] != firstItem)) items.clear();
    return items;
}

bool ExplorerSession::Open(int index) const {
    HWND list = ViewList();
    if (!list) return false;
    RemoteListView(list).Select(index);
    PostMessageA(list, WM_KEYDOWN, VK_RETURN, 1);
    PostMessageA(list, WM_KEYUP, VK_RETURN, 0xC0000001);
    return true;
}
