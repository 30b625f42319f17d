#pragma once
// The background worker of an image control: fetches what is missing,
// selected items first. The interface thread never waits for it without end:
// a stop is a request every driver read answers within a moment, and a
// control that goes away leaves the worker to finish on its own.
#include <windows.h>

#include <atomic>
#include <functional>
#include <mutex>
#include <vector>

#include "camera/CameraService.h"

// The items a loader walks; the control implements it.
class LoaderItems {
public:
    virtual int LoaderItemCount() = 0;
    virtual bool LoaderHasData(int index) = 0;
    virtual bool LoaderIsSelected(int index) = 0;
    // Fetches one item; true on success. Runs on the worker thread.
    virtual bool LoaderFetch(int index) = 0;
    // Runs before each sweep (the list's details pass); true while some
    // item's details could not be had yet (another sweep comes then).
    virtual bool LoaderBeforeSweep() { return false; }
    // The item to fetch next, -1 when nothing is wanted now; `failed` marks
    // what this run could not read. By default: selected first, then in order.
    virtual int LoaderNext(const std::vector<bool>& failed);

protected:
    ~LoaderItems() = default;
};

class ItemLoader {
public:
    explicit ItemLoader(LoaderItems* items);
    ~ItemLoader();
    ItemLoader(const ItemLoader&) = delete;
    ItemLoader& operator=(const ItemLoader&) = delete;

    void Start();
    // Asks the worker to stop and waits until it has, before the items change.
    // Only messages other threads send are handled meanwhile (the worker's own
    // requests among them): no user action can run, or re-enter, here.
    void Stop();
    // Asks the worker to stop and returns at once. True when a worker still
    // runs: it calls `finish` on its own thread once it is done (the control
    // then frees itself there). False: no worker runs and `finish` is dropped.
    bool Abandon(std::function<void()> finish);
    // Tells an idle worker that something is wanted again (a scroll, new items).
    void Wake();
    bool Running() const { return thread_ != nullptr; }
    bool StopRequested() const { return stop_ != 0; }

    // The loader whose worker is the calling thread, or null; with KeepGoing
    // as a driver's progress callback, a read ends soon after a stop request.
    static ItemLoader* OfThisThread();
    static BOOL KeepGoing(int code, int value, const char* text, void* loader);

private:
    static DWORD Work(void* loader);
    bool WaitForEnd(DWORD limit);
    void Run();

    LoaderItems* items_;
    HANDLE thread_ = nullptr;
    std::atomic<int> stop_{0};
    HANDLE wake_;  // auto-reset: set by Wake and Stop
    std::atomic<bool> woken_{false};
    unsigned run_ = 0;  // counts starts
    std::mutex endLock_;  // the worker's end against Abandon
    bool ended_ = false;
    std::function<void()> finish_;
};
