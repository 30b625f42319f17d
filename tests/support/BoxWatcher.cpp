#include "support/BoxWatcher.h"

#include <algorithm>
#include <vector>

#include "support/Screen.h"

void BoxWatcher::Watch() {
    std::vector<HWND> answered;
    for (; !done_; Sleep(20)) {
        // A closed box's handle may come back for the next one.
        answered.erase(std::remove_if(answered.begin(), answered.end(), [](HWND box) { return !IsWindow(box); }),
                       answered.end());
        for (HWND box : OwnWindowsOfClass("#32770")) {
            if (std::find(answered.begin(), answered.end(), box) != answered.end()) continue;
            answered.push_back(box);
            ++count_;
            PostMessageA(box, WM_COMMAND, MAKEWPARAM(answer_, BN_CLICKED), 0);
        }
    }
}
