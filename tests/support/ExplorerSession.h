#pragma once
#include <windows.h>

#include <string>
#include <vector>

// Wine's explorer in a process of its own, driven from outside as a user
// would: the address box, the view's list, Enter on an item.
class ExplorerSession {
public:
    explicit ExplorerSession(const std::string& arguments);
    ~ExplorerSession();
    ExplorerSession(const ExplorerSession&) = delete;
    ExplorerSession& operator=(const ExplorerSession&) = delete;

    HWND Window() const { return window_; }
    // Types `location` into the address box and presses Enter.
    bool GoTo(const std::string& location) const;
    // The texts of the module's view list once it shows `firstItem` first
    // (any first item when empty); empty when it does not within 10 s.
    std::vector<std::string> ViewItems(const std::string& firstItem = "") const;
    // Selects item `index` of the view list and presses Enter on it.
    bool Open(int index) const;
    // The module's view list inside explorer, or null.
    HWND ViewList() const;
    // A visible top-level window of explorer's process of window class `className` (a popup menu, a dialog), or null.
    HWND TopWindow(const char* className) const;
    // Chooses Paste in the background menu of the shell's own folder view shown; false when no menu opened.
    bool PasteFromBackground() const;

private:

    PROCESS_INFORMATION process_ = {};
    HWND window_ = nullptr;
};

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
