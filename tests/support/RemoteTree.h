#pragma once
#include <windows.h>
#include <commctrl.h>

#include <string>
#include <vector>

// Reads and expands a tree view control that belongs to another process,
// through a buffer allocated in that process.
class RemoteTree {
public:
    explicit RemoteTree(HWND tree);
    ~RemoteTree();
    RemoteTree(const RemoteTree&) = delete;
    RemoteTree& operator=(const RemoteTree&) = delete;

    bool Ok() const { return buffer_ != nullptr; }
    HTREEITEM Root() const;
    std::vector<HTREEITEM> Children(HTREEITEM parent) const;
    std::vector<std::string> ChildTexts(HTREEITEM parent) const;
    std::string Text(HTREEITEM item) const;
    void Expand(HTREEITEM item) const;
    // The child of `parent` whose text is `text`, or null.
    HTREEITEM FindChild(HTREEITEM parent, const std::string& text) const;

private:
    HWND tree_;
    HANDLE process_ = nullptr;
    BYTE* buffer_ = nullptr;
};
