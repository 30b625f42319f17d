#include "controls/ItemLoader.h"

#include <vector>

#include "base/Module.h"

namespace {
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
    thread_ = StartModuleThread(Work, this);
}

// A message sent meanwhile may stop (and start) the loader again: each round
// waits on a handle of its own and closes the loader's only if it is still
// the one it came for, until no worker runs.
void ItemLoader::Stop() {
    while (thread_) {
        stop_ = 1;
        unsigned run = run_;
        HANDLE thread = nullptr;
        if (!DuplicateHandle(GetCurrentProcess(), thread_, GetCurrentProcess(), &thread, SYNCHRONIZE, FALSE, 0))
            thread = nullptr;
        for (;;) {
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
// user selected meanwhile comes next. A picture that cannot be read stays a
// placeholder until the next start; the others go on without asking anyone.
void ItemLoader::Run() {
    int count = items_->LoaderItemCount();
    std::vector<bool> failed(size_t(count > 0 ? count : 0));
    auto fetch = [&](int i) {
        bool fetched = items_->LoaderFetch(i);
        if (!fetched && !stop_) failed[size_t(i)] = true;
        return fetched;
    };
    bool attempted;
    do {
        attempted = items_->LoaderBeforeSweep();
        bool succeeded = false;
        for (int i = 0; i < count && !stop_ && !succeeded; ++i) {
            if (failed[size_t(i)] || !items_->LoaderIsSelected(i) || items_->LoaderHasData(i)) continue;
            attempted = true;
            succeeded = fetch(i);
        }
        for (int i = 0; i < count && !stop_ && !succeeded; ++i) {
            if (failed[size_t(i)] || items_->LoaderHasData(i)) continue;
            attempted = true;
            succeeded = fetch(i);
        }
    } while (attempted && !stop_);
}
