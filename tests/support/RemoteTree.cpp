#include "support/RemoteTree.h"

namespace {
constexpr SIZE_T kBufferSize = 4096;
constexpr int kTextOffset = 512;
constexpr DWORD kTimeoutMs = 5000;
}  // namespace

RemoteTree::RemoteTree(HWND tree) : tree_(tree) {
    DWORD pid = 0;
    GetWindowThreadProcessId(tree, &pid);
    process_ = OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE, FALSE, pid);
    if (!process_) return;
    buffer_ = static_cast<BYTE*>(
        VirtualAllocEx(process_, nullptr, kBufferSize, MEM_COMMIT, PAGE_READWRITE));
}

RemoteTree::~RemoteTree() {
    if (buffer_) VirtualFreeEx(process_, buffer_, 0, MEM_RELEASE);
    if (process_) CloseHandle(process_);
}

HTREEITEM RemoteTree::Root() const {
    return reinterpret_cast<HTREEITEM>(SendMessageA(tree_, TVM_GETNEXTITEM, TVGN_ROOT, 0));
}

std::vector<HTREEITEM> RemoteTree::Children(HTREEITEM parent) const {
    std::vector<HTREEITEM> items;
    auto next = [&](UINT how, HTREEITEM from) {
        DWORD_PTR result = 0;
        SendMessageTimeoutA(tree_, TVM_GETNEXTITEM, how, reinterpret_cast<LPARAM>(from),
                            SMTO_ABORTIFHUNG, kTimeoutMs, &result);
        return reinterpret_cast<HTREEITEM>(result);
    };
    for (HTREEITEM item = next(TVGN_CHILD, parent); item; item = next(TVGN_NEXT, item))
        items.push_back(item);
    return items;
}

std::vector<std::string> RemoteTree::ChildTexts(HTREEITEM parent) const {
    std::vector<std::string> texts;
    for (HTREEITEM item : Children(parent)) texts.push_back(Text(item));
    return texts;
}

std::string RemoteTree::Text(HTREEITEM item) const {
    if (!buffer_) return "";
    TVITEMA query = {};
    query.mask = TVIF_TEXT | TVIF_HANDLE;
    query.hItem = item;
    query.pszText = reinterpret_cast<char*>(buffer_ + kTextOffset);
    query.cchTextMax = static_cast<int>(kBufferSize - kTextOffset);
    SIZE_T done = 0;
    if (!WriteProcessMemory(process_, buffer_, &query, sizeof query, &done)) return "";
    DWORD_PTR result = 0;
    SendMessageTimeoutA(tree_, TVM_GETITEMA, 0, reinterpret_cast<LPARAM>(buffer_),
                        SMTO_ABORTIFHUNG, kTimeoutMs, &result);
    char text[256] = {};
    ReadProcessMemory(process_, buffer_ + kTextOffset, text, sizeof text - 1, &done);
    return text;
}

void RemoteTree::Expand(HTREEITEM item) const {
    DWORD_PTR result = 0;
    SendMessageTimeoutA(tree_, TVM_EXPAND, TVE_EXPAND, reinterpret_cast<LPARAM>(item),
                        SMTO_ABORTIFHUNG, kTimeoutMs, &result);
}

HTREEITEM RemoteTree::FindChild(HTREEITEM parent, const std::string& text) const {
    for (HTREEITEM item : Children(parent))
        if (Text(item) == text) return item;
    return nullptr;
}
