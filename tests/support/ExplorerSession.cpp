#include "support/ExplorerSession.h"

#include <commctrl.h>
#include <dlgs.h>

#include <algorithm>

#include "support/MenuWatcher.h"
#include "support/Screen.h"
#include "support/TestPaths.h"

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

HWND ExplorerSession::AddressEdit() const {
    HWND address = FindDescendant(window_, "ComboBoxEx32");
    return address ? FindDescendant(address, "Edit") : nullptr;
}

bool ExplorerSession::GoTo(const std::string& location) const {
    HWND edit = AddressEdit();
    if (!edit) return false;
    SendMessageA(edit, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(location.c_str()));
    PostMessageA(edit, WM_KEYDOWN, VK_RETURN, 1);
    PostMessageA(edit, WM_KEYUP, VK_RETURN, 0xC0000001);
    return true;
}

std::string ExplorerSession::Location() const {
    wchar_t text[512] = {};
    if (HWND edit = AddressEdit()) SendMessageW(edit, WM_GETTEXT, 512, reinterpret_cast<LPARAM>(text));
    return Utf8(text);
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

bool ExplorerSession::ChooseInMenu(char key) const {
    HWND menu = nullptr;
    if (!WaitUntil([&] { return (menu = TopWindow("#32768")) != nullptr; }, 5000)) return false;
    PostMessageA(menu, WM_CHAR, WPARAM(key), 1);
    return true;
}

std::vector<std::string> ExplorerSession::ViewItems(const std::string& firstItem) const {
    std::vector<std::string> items;
    bool shown = WaitUntil([&] {
        HWND list = ViewList();
        items = list ? RemoteListView(list).Texts(0) : std::vector<std::string>();
        return !items.empty() && (firstItem.empty() || items[0] == firstItem);
    }, 10000);
    return shown ? items : std::vector<std::string>();
}

bool ExplorerSession::Open(int index) const {
    HWND list = ViewList();
    if (!list) return false;
    RemoteListView(list).Select(index);
    PostMessageA(list, WM_KEYDOWN, VK_RETURN, 1);
    PostMessageA(list, WM_KEYUP, VK_RETURN, 0xC0000001);
    return true;
}

RemoteControl::RemoteControl(HWND control) : control_(control) {
    DWORD pid = 0;
    GetWindowThreadProcessId(control, &pid);
    process_ = OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE, FALSE, pid);
    if (process_) buffer_ = static_cast<BYTE*>(VirtualAllocEx(process_, nullptr, kBufferSize, MEM_COMMIT, PAGE_READWRITE));
}

RemoteControl::~RemoteControl() {
    if (buffer_) VirtualFreeEx(process_, buffer_, 0, MEM_RELEASE);
    if (process_) CloseHandle(process_);
}

LRESULT RemoteControl::Send(UINT message, WPARAM wParam, LPARAM lParam) const {
    DWORD_PTR result = 0;
    SendMessageTimeoutA(control_, message, wParam, lParam, SMTO_ABORTIFHUNG, 5000, &result);
    return LRESULT(result);
}

bool RemoteControl::Ask(UINT message, WPARAM wParam, void* data, size_t size) const {
    SIZE_T done = 0;
    if (!buffer_ || !WriteProcessMemory(process_, buffer_, data, size, &done)) return false;
    Send(message, wParam, reinterpret_cast<LPARAM>(buffer_));
    return ReadProcessMemory(process_, buffer_, data, size, &done);
}

std::string RemoteControl::ReadText(bool wide) const {
    BYTE text[1024] = {};
    SIZE_T done = 0;
    ReadProcessMemory(process_, RemoteText(), text, sizeof text - 2, &done);
    return wide ? Utf8(reinterpret_cast<wchar_t*>(text)) : reinterpret_cast<char*>(text);
}

int RemoteListView::Count() const { return int(Send(LVM_GETITEMCOUNT, 0, 0)); }

int RemoteListView::Image(int item) const {
    LVITEMA query = {};
    query.mask = LVIF_IMAGE;
    query.iItem = item;
    query.iImage = -1;
    Ask(LVM_GETITEMA, 0, &query, sizeof query);
    return query.iImage;
}

bool RemoteListView::HasIcons() const {
    return Send(LVM_GETIMAGELIST, LVSIL_SMALL, 0) || Send(LVM_GETIMAGELIST, LVSIL_NORMAL, 0);
}

std::vector<std::string> RemoteListView::Texts(int column) const {
    std::vector<std::string> texts;
    for (int i = 0, n = Count(); i < n; ++i) {
        LVITEMA query = {};
        query.iSubItem = column;
        query.pszText = static_cast<char*>(RemoteText());
        query.cchTextMax = RemoteTextCapacity();
        texts.push_back(Ask(LVM_GETITEMTEXTA, WPARAM(i), &query, sizeof query) ? ReadText(false) : std::string());
    }
    return texts;
}

void RemoteListView::Select(int item) const {
    LVITEMA state = {};
    state.stateMask = state.state = LVIS_SELECTED | LVIS_FOCUSED;
    Ask(LVM_SETITEMSTATE, WPARAM(item), &state, sizeof state);
}

std::string RemoteTreeView::Text(HTREEITEM item) const {
    TVITEMW query = {};
    query.mask = TVIF_TEXT;
    query.hItem = item;
    query.pszText = static_cast<wchar_t*>(RemoteText());
    query.cchTextMax = RemoteTextCapacity();
    return Ask(TVM_GETITEMW, 0, &query, sizeof query) ? ReadText(true) : std::string();
}

std::vector<std::string> RemoteTreeView::Children(HTREEITEM parent) const {
    std::vector<std::string> texts;
    for (auto item = HTREEITEM(Send(TVM_GETNEXTITEM, parent ? TVGN_CHILD : TVGN_ROOT, LPARAM(parent))); item;
         item = HTREEITEM(Send(TVM_GETNEXTITEM, TVGN_NEXT, LPARAM(item))))
        texts.push_back(Text(item));
    return texts;
}

HTREEITEM RemoteTreeView::Expand(const std::vector<std::string>& path) const {
    HTREEITEM parent = nullptr;
    for (const std::string& wanted : path) {
        HTREEITEM found = nullptr;
        for (auto item = HTREEITEM(Send(TVM_GETNEXTITEM, parent ? TVGN_CHILD : TVGN_ROOT, LPARAM(parent)));
             item && !found; item = HTREEITEM(Send(TVM_GETNEXTITEM, TVGN_NEXT, LPARAM(item))))
            if (Text(item) == wanted) found = item;
        if (!found) return nullptr;
        Send(TVM_EXPAND, TVE_EXPAND, LPARAM(found));
        parent = found;
    }
    return parent;
}

void RemoteTreeView::Select(HTREEITEM item) const { Send(TVM_SELECTITEM, TVGN_CARET, LPARAM(item)); }

namespace {

// A list view below `parent` with an item reading `text`, and its index; null when none.
HWND ListWithItem(HWND parent, const std::string& text, int& index) {
    for (HWND list : Descendants(parent, "SysListView32")) {
        std::vector<std::string> items = RemoteListView(list).Texts(0);
        index = int(std::find(items.begin(), items.end(), text) - items.begin());
        if (size_t(index) < items.size()) return list;
    }
    return nullptr;
}

}  // namespace

std::string PickPictureInOpenDialog(const std::vector<std::string>& folders, int picture,
                                    const std::function<void(HWND)>& beforeOpen) {
    HWND dialog = nullptr, box = nullptr;
    WaitUntil([&] {
        auto dialogs = OwnWindowsOfClass("#32770");
        dialog = dialogs.empty() ? nullptr : dialogs.front();
        box = dialog ? GetDlgItem(dialog, edt1) : nullptr;
        if (dialog && !box && GetDlgItem(dialog, cmb13)) box = FindDescendant(GetDlgItem(dialog, cmb13), "Edit");
        return box != nullptr;
    }, 10000);
    if (!box) return "no dialog";
    auto stuck = [&](const std::string& where) {
        PostMessageA(dialog, WM_COMMAND, IDCANCEL, 0);
        return where;
    };
    std::vector<std::string> steps = folders;
    if (HWND tree = FindDescendant(dialog, "SysTreeView32")) {
        RemoteTreeView(tree).Select(RemoteTreeView(tree).Expand({"Desktop", "My Computer", "OrvexView"}));
    } else {
        PostMessageA(dialog, WM_COMMAND, 0xA001, 0);  // the Up button (FCIDM_TB_UPFOLDER)
        steps.insert(steps.begin(), "OrvexView");
    }
    // A double click that the view missed (it was still filling) is made again.
    auto shown = [&](size_t step) {
        int ignored = -1;
        return step < steps.size() ? ListWithItem(dialog, steps[step], ignored) != nullptr
                                   : FindDescendant(dialog, "LayoutImpWin") != nullptr;
    };
    for (size_t step = 0; step < steps.size(); ++step) {
        HWND list = nullptr;
        int index = -1;
        if (!WaitUntil([&] { return (list = ListWithItem(dialog, steps[step], index)) != nullptr; }, 10000))
            return stuck("no list with " + steps[step]);
        for (int attempt = 0; attempt < 3; ++attempt) {
            RECT item = {LVIR_ICON, 0, 0, 0};
            SendMessageA(list, LVM_GETITEMRECT, WPARAM(index), LPARAM(&item));
            POINT at = {(item.left + item.right) / 2, (item.top + item.bottom) / 2};
            for (UINT message : {WM_LBUTTONDOWN, WM_LBUTTONUP, WM_LBUTTONDBLCLK, WM_LBUTTONUP})
                PostMessageA(list, message, message == WM_LBUTTONUP ? 0 : MK_LBUTTON, MAKELPARAM(at.x, at.y));
            if (WaitUntil([&] { return shown(step + 1); }, 4000)) break;
        }
    }
    HWND cell = nullptr;
    size_t count = 0;
    DWORD changed = GetTickCount();
    WaitUntil([&] {  // cells come one at a time, each on top of the others: their order holds once they stop coming
        HWND grid = FindDescendant(dialog, "LayoutImpWin");
        std::vector<HWND> cells = grid ? Descendants(grid, "SimpleControlWin") : std::vector<HWND>();
        if (cells.size() != count) count = cells.size(), changed = GetTickCount();
        cell = count > size_t(picture) ? cells[size_t(picture)] : nullptr;
        return cell && GetTickCount() - changed > 500;
    }, 10000);
    if (!cell) return stuck("no pictures");
    RECT area;
    GetWindowRect(cell, &area);
    WaitUntil([&] { return SetForegroundWindow(dialog), GetForegroundWindow() == dialog; }, 3000);
    SendClick({(area.left + area.right) / 2, (area.top + area.bottom) / 2}, false);
    wchar_t chosen[MAX_PATH] = {};
    if (!WaitUntil([&] { return GetWindowTextW(box, chosen, MAX_PATH) && wcschr(chosen, L':'); }, 10000))
        return stuck("no file name");
    if (beforeOpen) beforeOpen(dialog);
    PostMessageA(GetDlgItem(dialog, IDOK), BM_CLICK, 0, 0);
    return "";
}
