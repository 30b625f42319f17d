#pragma once
// Reads the popup menus this process opens, from a thread of its own, and closes each one with Escape. Entries read as
// their text, "-" for a separator, with " [grayed]" and " [checked]" marks.
#include <windows.h>

#include <atomic>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

class MenuWatcher {
public:
    MenuWatcher();
    ~MenuWatcher();
    MenuWatcher(const MenuWatcher&) = delete;
    MenuWatcher& operator=(const MenuWatcher&) = delete;

    std::vector<std::vector<std::string>> Menus();
    void Forget();  // as DialogAnswerer::Forget

private:
    void Watch();

    std::atomic<bool> done_{false};
    std::mutex lock_;
    std::vector<std::vector<std::string>> menus_;
    std::thread thread_;
};

// Real input through SendInput: a key (with Ctrl), a mouse click at a point
// of the screen (with `heldKey`, such as VK_CONTROL, held down).
void SendKey(WORD key, bool control = false);
void SendClick(POINT screen, bool right, WORD heldKey = 0);
