#include "support/RemoteListView.h"

#include <commctrl.h>

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
