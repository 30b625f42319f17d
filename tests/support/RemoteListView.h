#pragma once
#include <windows.h>

#include <string>
#include <vector>

// Reads a list view control of another process through a buffer allocated in
// that process (the control writes its answers there).
class RemoteListView {
public:
    explicit RemoteListView(HWND list);
    ~RemoteListView();
    RemoteListView(const RemoteListView&) = delete;
    RemoteListView& operator=(const RemoteListView&) = delete;

    bool Ok() const { return buffer_ != nullptr; }
    int Count() const;
    std::string Text(int item, int column) const;
    std::vector<std::string> Texts(int column) const;
    // The item's image index, -1 when it cannot be read.
    int Image(int item) const;
    // Whether the list has an image list for its icons.
    bool HasIcons() const;
    // Selects and focuses `item` alone.
    void Select(int item) const;

private:
    LRESULT Send(UINT message, WPARAM wParam, LPARAM lParam) const;
    bool Ask(UINT message, WPARAM wParam, struct tagLVITEMA& item) const;

    HWND list_;
    HANDLE process_ = nullptr;
    BYTE* buffer_ = nullptr;
};
