#include "controls/ItemLoader.h"

#include "res/resource.h"
#include "base/Module.h"

namespace {
constexpr UINT kErrorBoxFlags = MB_RETRYCANCEL | MB_ICONHAND | MB_TASKMODAL | MB_TOPMOST;
thread_local ItemLoader* runningHere = nullptr;
}  // namespace

ItemLoader* ItemLoader::OfThisThread() { return runningHere; }

BOOL ItemLoader::KeepGoing(int, int, const char*, void* loader) {
    return !loader || !static_cast<ItemLoader*>(loader)->StopRequested();
}

void ItemLoader::Start() {
    if (thread_) return;
    stop_ = 0;
    ended_ = false;
    finish_ = nullptr;
    ++run_;
    thread_ = StartModuleThread(Work, this, &threadId_);
}

void ItemLoader::Stop() {
    if (!thread_) return;
    stop_ = 1;
    CloseWorkerBoxes();
    // A message sent meanwhile may stop (and start) the loader again: this
    // call waits on a handle of its own and closes the loader's only if it
    // is still the one it came for.
    unsigned run = run_;
    HANDLE thread = nullptr;
    if (!DuplicateHandle(GetCurrentProcess(), thread_, GetCurrentProcess(), &thread, SYNCHRONIZE, FALSE, 0))
        return;
    while (MsgWaitForMultipleObjectsEx(1, &thread, INFINITE, QS_SENDMESSAGE, MWMO_INPUTAVAILABLE) == WAIT_OBJECT_0 + 1) {
        MSG msg;
        PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
    }
    CloseHandle(thread);
    if (run != run_ || !thread_) return;
    CloseHandle(thread_);
    thread_ = nullptr;
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
        items_->LoaderBeforeSweep();
        attempted = false;
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
        if (answer != IDRETRY) {
            stop_ = 1;
            return false;
        }
    }
    return true;
}
