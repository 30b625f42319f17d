#pragma once
#include <windows.h>
#include <commctrl.h>

#include <functional>
#include <string>
#include <vector>

#include "support/Screen.h"

// Wine's explorer in a process of its own, driven from outside as a user would: the address box, the view's list,
// Enter on an item.
class ExplorerSession {
public:
    explicit ExplorerSession(const std::string& arguments);
    ~ExplorerSession();
    ExplorerSession(const ExplorerSession&) = delete;
    ExplorerSession& operator=(const ExplorerSession&) = delete;

    HWND Window() const { return window_; }
    // Types `location` into the address box and presses Enter.
    bool GoTo(const std::string& location) const;
    // The texts of the module's view list once it shows `firstItem` first (any when empty); none after 10 s without.
    std::vector<std::string> ViewItems(const std::string& firstItem = "") const;
    // Selects item `index` of the view list and presses Enter on it.
    bool Open(int index) const;
    HWND ViewList() const;  // the module's view list inside explorer, or null
    HWND Tree() const { return FindDescendant(window_, "SysTreeView32"); }
    std::string Location() const;  // what the address box shows
    void Back() const { Press(0); }  // the toolbar's Back and Up buttons
    void Up() const { Press(2); }
    // A visible top-level window of explorer's process of window class `className` (a popup menu, a dialog), or null.
    HWND TopWindow(const char* className) const;
    // Chooses Paste in the background menu of the shell's own folder view shown; false when no menu opened.
    bool PasteFromBackground() const;
    // Chooses the item with mnemonic `key` in the popup menu explorer shows; false when none shows.
    bool ChooseInMenu(char key) const;

private:
    HWND AddressEdit() const;
    void Press(int button) const { PostMessageA(window_, WM_COMMAND, MAKEWPARAM(button, BN_CLICKED), 0); }

    PROCESS_INFORMATION process_ = {};
    HWND window_ = nullptr;
};

// A control of another process, asked through a buffer allocated in that process (where the control writes answers).
class RemoteControl {
public:
    explicit RemoteControl(HWND control);
    ~RemoteControl();
    RemoteControl(const RemoteControl&) = delete;
    RemoteControl& operator=(const RemoteControl&) = delete;

protected:
    static constexpr int kBufferSize = 4096, kTextOffset = 512;
    LRESULT Send(UINT message, WPARAM wParam, LPARAM lParam) const;
    // Sends `message` with `size` bytes of `data` copied into the control's process (pointers in them may point at the
    // text area), then reads them back.
    bool Ask(UINT message, WPARAM wParam, void* data, size_t size) const;
    void* RemoteText() const { return buffer_ + kTextOffset; }
    int RemoteTextCapacity() const { return (kBufferSize - kTextOffset) / 2; }
    // The text the control wrote at RemoteText(), in UTF-8 (`wide`: UTF-16).
    std::string ReadText(bool wide) const;

    HWND control_;
    HANDLE process_ = nullptr;
    BYTE* buffer_ = nullptr;
};

class RemoteListView : public RemoteControl {
public:
    using RemoteControl::RemoteControl;

    int Count() const;
    std::vector<std::string> Texts(int column) const;
    int Image(int item) const;  // the item's image index, -1 when it cannot be read
    bool HasIcons() const;      // whether the list has an image list for its icons
    void Select(int item) const;  // selects and focuses `item` alone
};

// The tree pane of another process's explorer.
class RemoteTreeView : public RemoteControl {
public:
    using RemoteControl::RemoteControl;

    // Expands the items named by `path` from the top, each below the one before; the last of them, or null if missing.
    HTREEITEM Expand(const std::vector<std::string>& path) const;
    std::vector<std::string> Children(HTREEITEM parent) const;
    void Select(HTREEITEM item) const;  // as a click would

private:
    std::string Text(HTREEITEM item) const;
};

// What a user does in a program's Open dialog (on this process's interface thread, called from another): goes to My
// Computer (Up from C:\ in the classic dialog, the tree pane in the other), double-clicks OrvexView and `folders` in
// turn, clicks picture number `picture` and, after `beforeOpen`, presses Open. Where it got stuck ("" when it got
// through); a stuck dialog is cancelled.
std::string PickPictureInOpenDialog(const std::vector<std::string>& folders, int picture,
                                    const std::function<void(HWND)>& beforeOpen = nullptr);
