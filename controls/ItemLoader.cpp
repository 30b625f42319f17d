#include "controls/ItemLoader.h"

#include <algorithm>
#include <vector>

#include "base/Module.h"

namespace {
constexpr DWORD kStopSlice = 100;
constexpr DWORD kAbandonWait = 200;
thread_local ItemLoader* runningHere = nullptr;
}  // namespace

ItemLoader::ItemLoader(LoaderItems* items) : items_(items), wake_(CreateEventW(nullptr, FALSE, FALSE, nullptr)) {}

ItemLoader::~ItemLoader() {
    Stop();
    if (wake_) CloseHandle(wake_);
}

ItemLoader* ItemLoader::OfThisThread() { return runningHere; }

// One event for a burst of wakes: selecting thousands of items wakes once.
void ItemLoader::Wake() {
    if (wake_ && !woken_.exchange(true)) SetEvent(wake_);
}

int LoaderItems::LoaderNext(const std::vector<bool>& failed) {
    int count = LoaderItemCount();
    auto wanted = [&](int i) { return !(size_t(i) < failed.size() && failed[size_t(i)]) && !LoaderHasData(i); };
    for (int i = 0; i < count; ++i)
        if (LoaderIsSelected(i) && wanted(i)) return i;
    for (int i = 0; i < count; ++i)
        if (wanted(i)) return i;
    return -1;
}

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

// Waits up to `limit` ms for the worker to end, handling only what other
// threads send meanwhile; true once it has (or none runs any more).
bool ItemLoader::WaitForEnd(DWORD limit) {
    if (!thread_) return true;
    HANDLE own = nullptr;
    if (!DuplicateHandle(GetCurrentProcess(), thread_, GetCurrentProcess(), &own, SYNCHRONIZE, FALSE, 0)) own = nullptr;
    HANDLE thread = own ? own : thread_;
    DWORD start = GetTickCount();
    bool ended = false;
    for (;;) {
        DWORD waited = GetTickCount() - start;
        if (limit != INFINITE && waited >= limit) break;
        DWORD slice = limit == INFINITE ? kStopSlice : std::min<DWORD>(kStopSlice, limit - waited);
        DWORD woke = MsgWaitForMultipleObjectsEx(1, &thread, slice, QS_SENDMESSAGE, MWMO_INPUTAVAILABLE);
        if (woke == WAIT_OBJECT_0 + 1) {
            MSG msg;
            PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
        } else if (woke != WAIT_TIMEOUT) {
            ended = true;
            break;
        }
    }
    if (own) CloseHandle(own);
    return ended;
}

// A message sent meanwhile may stop (and start) the loader again: each round
// waits on a handle of its own and closes the loader's only if it is still
// the one it came for, until no worker runs.
void ItemLoader::Stop() {
    while (thread_) {
        stop_ = 1;
        if (wake_) SetEvent(wake_);
        unsigned run = run_;
        WaitForEnd(INFINITE);
        if (run != run_ || !thread_) continue;
        CloseHandle(thread_);
        thread_ = nullptr;
    }
}

bool ItemLoader::Abandon(std::function<void()> finish) {
    if (!thread_) return false;
    stop_ = 1;
    if (wake_) SetEvent(wake_);
    // Most workers end within moments of a stop (an idle one at once): then
    // the items go on this thread, with what keeps them (a folder, a driver).
    if (WaitForEnd(kAbandonWait)) {
        Stop();
        return false;
    }
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

// The items say what to fetch next after every fetch, so what the user
// selected or scrolled to meanwhile comes next. A picture that cannot be read
// stays a placeholder until the next start; the others go on without asking
// anyone. With nothing wanted the worker waits to be woken.
void ItemLoader::Run() {
    std::vector<bool> failed;
    while (!stop_) {
        woken_ = false;  // a wake from here on is heard
        bool detailsMissing = items_->LoaderBeforeSweep();
        for (int next; !stop_ && (next = items_->LoaderNext(failed)) >= 0;) {
            if (items_->LoaderFetch(next) || stop_) continue;
            if (failed.size() <= size_t(next)) failed.resize(size_t(next) + 1);
            failed[size_t(next)] = true;
        }
        if (!wake_) return;
        if (stop_ || detailsMissing) continue;
        WaitForSingleObject(wake_, INFINITE);
    }
}
