#include "support/BoxWatcher.h"

#include "support/Screen.h"

#include <algorithm>

BoxWatcher::BoxWatcher(int answer, DWORD delayMs)
    : answer_(answer), delayMs_(delayMs), thread_([this] { Watch(); }) {}

BoxWatcher::~BoxWatcher() { done_ = true, thread_.join(); }

std::vector<std::string> BoxWatcher::Texts() { std::lock_guard<std::mutex> hold(lock_); return texts_; }

int BoxWatcher::Count() { std::lock_guard<std::mutex> hold(lock_); return int(texts_.size()); }

void BoxWatcher::Watch() {
    while (!done_) {
        {
            // A closed box's handle may come back for the next one.
            std::lock_guard<std::mutex> hold(lock_);
            answered_.erase(std::remove_if(answered_.begin(), answered_.end(), [](HWND h) { return !IsWindow(h); }),
                            answered_.end());
        }
        std::vector<HWND> found = OwnWindowsOfClass("#32770");
        for (HWND box : found) {
            {
                std::lock_guard<std::mutex> hold(lock_);
                if (std::find(answered_.begin(), answered_.end(), box) != answered_.end()) continue;
                answered_.push_back(box);
                char text[512] = {};
                GetDlgItemTextA(box, 0xFFFF, text, sizeof text);
                texts_.push_back(text);
            }
            if (delayMs_) Sleep(delayMs_);
            PostMessageA(box, WM_COMMAND, MAKEWPARAM(answer_.load(), BN_CLICKED), 0);
        }
        Sleep(20);
    }
}
