#include "support/RemoteListView.h"

#include <commctrl.h>

namespace {
constexpr SIZE_T kBufferSize = 4096;
constexpr int kTextOffset = 512;
constexpr DWORD kTimeoutMs = 5000;
}  // namespace

RemoteListView::RemoteListView(HWND list) : list_(list) {
    DWORD pid = 0;
    GetWindowThreadProcessId(list, &pid);
    process_ = OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE, FALSE, pid);
    if (!process_) return;
    buffer_ = static_cast<BYTE*>(
        VirtualAllocEx(process_, nullptr, kBufferSize, MEM_COMMIT, PAGE_READWRITE));
}

RemoteListView::~RemoteListView() {
    if (buffer_) VirtualFreeEx(process_, buffer_, 0, MEM_RELEASE);
    if (process_) CloseHandle(process_);
}

int RemoteListView::Count() const {
    DWORD_PTR count = 0;
    SendMessageTimeoutA(list_, LVM_GETITEMCOUNT, 0, 0, SMTO_ABORTIFHUNG, kTimeoutMs, &count);
    return static_cast<int>(count);
}

std::string RemoteListView::Text(int item, int column) const {
    if (!buffer_) return "";
    LVITEMA query = {};
    query.iSubItem = column;
    query.pszText = reinterpret_cast<char*>(buffer_ + kTextOffset);
    query.cchTextMax = static_cast<int>(kBufferSize - kTextOffset);
    SIZE_T done = 0;
    if (!WriteProcessMemory(process_, buffer_, &query, sizeof query, &done)) return "";
    DWORD_PTR length = 0;
    SendMessageTimeoutA(list_, LVM_GETITEMTEXTA, item, reinterpret_cast<LPARAM>(buffer_),
                        SMTO_ABORTIFHUNG, kTimeoutMs, &length);
    char text[256] = {};
    ReadProcessMemory(process_, buffer_ + kTextOffset, text, sizeof text - 1, &done);
    return text;
}

int RemoteListView::Image(int item) const {
    if (!buffer_) return -1;
    LVITEMA query = {};
    query.mask = LVIF_IMAGE;
    query.iItem = item;
    query.iImage = -1;
    SIZE_T done = 0;
    if (!WriteProcessMemory(process_, buffer_, &query, sizeof query, &done)) return -1;
    DWORD_PTR answered = 0;
    SendMessageTimeoutA(list_, LVM_GETITEMA, 0, reinterpret_cast<LPARAM>(buffer_), SMTO_ABORTIFHUNG, kTimeoutMs,
                        &answered);
    ReadProcessMemory(process_, buffer_, &query, sizeof query, &done);
    return query.iImage;
}

bool RemoteListView::HasIcons() const {
    DWORD_PTR small = 0, large = 0;
    SendMessageTimeoutA(list_, LVM_GETIMAGELIST, LVSIL_SMALL, 0, SMTO_ABORTIFHUNG, kTimeoutMs, &small);
    SendMessageTimeoutA(list_, LVM_GETIMAGELIST, LVSIL_NORMAL, 0, SMTO_ABORTIFHUNG, kTimeoutMs, &large);
    return small || large;
}

std::vector<std::string> RemoteListView::Texts(int column) const {
    std::vector<std::string> texts;
    for (int i = 0, n = Count(); i < n; ++i) texts.push_back(Text(i, column));
    return texts;
}

void RemoteListView::Select(int item) const {
    if (!buffer_) return;
    LVITEMA state = {};
    state.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
    state.state = LVIS_SELECTED | LVIS_FOCUSED;
    SIZE_T done = 0;
    if (!WriteProcessMemory(process_, buffer_, &state, sizeof state, &done)) return;
    DWORD_PTR result = 0;
    SendMessageTimeoutA(list_, LVM_SETITEMSTATE, item, reinterpret_cast<LPARAM>(buffer_),
                        SMTO_ABORTIFHUNG, kTimeoutMs, &result);
}
