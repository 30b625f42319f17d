#include "controls/ItemLoader.h"

#include "res/resource.h"
#include "base/Module.h"

namespace {
constexpr UINT kErrorBoxFlags = MB_RETRYCANCEL | MB_ICONHAND | MB_TASKMODAL | MB_TOPMOST;
constexpr DWORD kStopSlice = 100;
thread_local ItemLoader* runningHere = nullptr;
}  // namespace

ItemLoader* ItemLoader::OfThisThread() { return runningHere; }

BOOL ItemLoader::KeepGoing(int, int, const char*, void* loader) {
    return !loader || !static_cast<ItemLoader*>(loader)->StopRequested();
}

void ItemLoader::Start() {
    if (thread_) return;
    stop_ = 0;
    {
        std::lock_guard<std::mutex> hold(endLock_);
        ended_ = false;
        finish_ = nullptr;
    }
    ++run_;
    thread_ = StartModuleThread(Work, this, &threadId_);
}

// A message sent meanwhile may stop (and start) the loader again: each round
// waits on a handle of its own and closes the loader's only if it is still
// the one it came for, until no worker runs. The error box the worker may be
// about to open is closed on every slice of the wait.
void ItemLoader::Stop() {
    while (thread_) {
        stop_ = 1;
        unsigned run = run_;
        HANDLE thread = nullptr;
        if (!DuplicateHandle(GetCurrentProcess(), thread_, GetCurrentProcess(), &thread, SYNCHRONIZE, FALSE, 0))
            thread = nullptr;
        for (;;) {
            CloseWorkerBoxes();
            DWORD woke = MsgWaitForMultipleObjectsEx(1, thread ? &thread : &thread_, kStopSlice, QS_SENDMESSAGE,
                                                     MWMO_INPUTAVAILABLE);
            if (woke == WAIT_OBJECT_0 + 1) {
                MSG msg;
                PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
            } else if (woke != WAIT_TIMEOUT) {
                break;
            }
        }
        if (thread) CloseHandle(thread);
        if (run != run_ || !thread_) continue;
        CloseHandle(thread_);
        thread_ = nullptr;
    }
}

bool ItemLoader::Abandon(std::function<void()> finish) {
    if (!thread_) return false;
    stop_ = 1;
    CloseWorkerBoxes();
    HANDLE thread = thread_;
    bool running;
    {
        // Once `finish` is published the worker may free this object: nothing here is touched after.
        std::lock_guard<std::mutex> hold(endLock_);
        running = !ended_;
        if (running) {
            thread_ = nullptr;
            finish_ = std::move(finish);
        }
    }
    if (!running) {
        Stop();  // the worker is past its last use of this object: only its thread's end is left
        return false;
    }
    CloseHandle(thread);
    return true;
}

void ItemLoader::CloseWorkerBoxes() const {
    EnumThreadWindows(
        threadId_,
        [](HWND window, LPARAM) -> BOOL {
            PostMessageW(window, WM_COMMAND, IDCANCEL, 0);
            return TRUE;
        },
        0);
}

DWORD ItemLoader::Work(void* context) {
    auto* loader = static_cast<ItemLoader*>(context);
    runningHere = loader;
    loader->Run();
    runningHere = nullptr;
    std::function<void()> finish;
    {
        std::lock_guard<std::mutex> hold(loader->endLock_);
        loader->ended_ = true;
        finish = std::move(loader->finish_);
    }
    if (finish) finish();  // the loader may be gone after this
    return 0;
}

// After every success the sweep starts again from the first item, so what the
// user selected meanwhile comes next.
void ItemLoader::Run() {
    int count = items_->LoaderItemCount();
    bool attempted;
    do {
        attempted = items_->LoaderBeforeSweep();
        bool succeeded = false;
        for (int i = 0; i < count && !stop_ && !succeeded; ++i) {
            if (!items_->LoaderIsSelected(i) || items_->LoaderHasData(i)) continue;
            attempted = true;
            succeeded = LoadWithHelp(i);
        }
        for (int i = 0; i < count && !stop_ && !succeeded; ++i) {
            if (items_->LoaderHasData(i)) continue;
            attempted = true;
            succeeded = LoadWithHelp(i);
        }
    } while (attempted && !stop_);
}

bool ItemLoader::LoadWithHelp(int index) {
    while (!items_->LoaderFetch(index)) {
        if (stop_) return false;  // the control is going: nobody is left to ask
        int answer = MessageBoxA(nullptr, LoadModuleString(IDS_IMAGE_ACQUISITION_ERROR).c_str(),
                                 ProductName().c_str(), kErrorBoxFlags);
        if (answer != IDRETRY || stop_) {  // a box that came up as the control went counts as Cancel
            stop_ = 1;
            return false;
        }
    }
    return true;
}
