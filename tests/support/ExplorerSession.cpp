#include "support/ExplorerSession.h"

#include <commctrl.h>

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

HWND ExplorerSession::TopWindow(const char* className) const {
    return FindProcessWindow(process_.dwProcessId, className);
}

bool ExplorerSession::PasteFromBackground() const {
    HWND view = FindDescendant(window_, "SHELLDLL_DefView");
    if (!view) return false;
    RECT area;
    GetWindowRect(view, &area);
    PostMessageA(view, WM_CONTEXTMENU, WPARAM(view), MAKELPARAM(area.right - 10, area.bottom - 10));
    HWND menu = nullptr;
    if (!WaitUntil([&] { return (menu = TopWindow("#32768")) != nullptr; }, 5000)) return false;
    // Wine 8's background menu gives Paste no mnemonic; it shows Line up Icons, Refresh, Paste, Paste as Link and
    // Properties (separators are skipped): Paste is the third item down.
    for (int down = 0; down < 3; ++down) PostMessageA(menu, WM_KEYDOWN, VK_DOWN, 1);
    PostMessageA(menu, WM_KEYDOWN, VK_RETURN, 1);
    return true;
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

namespace {
constexpr SIZE_T kBufferSize = 4096;
constexpr int kTextOffset = 512;
}  // namespace

RemoteListView::RemoteListView(HWND list) : list_(list) {
    DWORD pid = 0;
    GetWindowThreadProcessId(list, &pid);
    process_ = OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE, FALSE, pid);
    if (process_) buffer_ = static_cast<BYTE*>(VirtualAllocEx(process_, nullptr, kBufferSize, MEM_COMMIT, PAGE_READWRITE));
}

RemoteListView::~RemoteListView() {
    if (buffer_) VirtualFreeEx(process_, buffer_, 0, MEM_RELEASE);
    if (process_) CloseHandle(process_);
}

LRESULT RemoteListView::Send(UINT message, WPARAM wParam, LPARAM lParam) const {
    DWORD_PTR result = 0;
    SendMessageTimeoutA(list_, message, wParam, lParam, SMTO_ABORTIFHUNG, 5000, &result);
    return LRESULT(result);
}

// Sends `message` with `item` copied into the list's process, and reads it back.
bool RemoteListView::Ask(UINT message, WPARAM wParam, LVITEMA& item) const {
    SIZE_T done = 0;
    if (!buffer_ || !WriteProcessMemory(process_, buffer_, &item, sizeof item, &done)) return false;
    Send(message, wParam, reinterpret_cast<LPARAM>(buffer_));
    return ReadProcessMemory(process_, buffer_, &item, sizeof item, &done);
}

int RemoteListView::Count() const { return int(Send(LVM_GETITEMCOUNT, 0, 0)); }

std::string RemoteListView::Text(int item, int column) const {
    LVITEMA query = {};
    query.iSubItem = column;
    query.pszText = reinterpret_cast<char*>(buffer_ + kTextOffset);
    query.cchTextMax = int(kBufferSize - kTextOffset);
    char text[256] = {};
    SIZE_T done = 0;
    if (Ask(LVM_GETITEMTEXTA, WPARAM(item), query))
        ReadProcessMemory(process_, buffer_ + kTextOffset, text, sizeof text - 1, &done);
    return text;
}

int RemoteListView::Image(int item) const {
    LVITEMA query = {};
    query.mask = LVIF_IMAGE;
    query.iItem = item;
    query.iImage = -1;
    Ask(LVM_GETITEMA, 0, query);
    return query.iImage;
}

bool RemoteListView::HasIcons() const {
    return Send(LVM_GETIMAGELIST, LVSIL_SMALL, 0) || Send(LVM_GETIMAGELIST, LVSIL_NORMAL, 0);
}

std::vector<std::string> RemoteListView::Texts(int column) const {
    std::vector<std::string> texts;
    for (int i = 0, n = Count(); i < n; ++i) texts.push_back(Text(i, column));
    return texts;
}

void RemoteListView::Select(int item) const {
    LVITEMA state = {};
    state.stateMask = state.state = LVIS_SELECTED | LVIS_FOCUSED;
    Ask(LVM_SETITEMSTATE, WPARAM(item), state);
}
