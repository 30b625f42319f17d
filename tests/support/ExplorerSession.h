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

private:

    PROCESS_INFORMATION process_ = {};
    HWND window_ = nullptr;
};
