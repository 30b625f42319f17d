#pragma once
// The background worker of an image control: fetches what is missing,
// selected items first, and stops on request while the interface thread
// keeps handling its messages.
#include <windows.h>

#include <atomic>

#include "camera/CameraService.h"

// The items a loader walks; the control implements it.
class LoaderItems {
public:
    virtual int LoaderItemCount() = 0;
    virtual bool LoaderHasData(int index) = 0;
    virtual bool LoaderIsSelected(int index) = 0;
    // Fetches one item; true on success. Runs on the worker thread.
    virtual bool LoaderFetch(int index) = 0;
    // Runs before each sweep (the list's details pass); nothing by default.
    virtual void LoaderBeforeSweep() {}

protected:
    ~LoaderItems() = default;
};

class ItemLoader {
public:
    explicit ItemLoader(LoaderItems* items) : items_(items) {}
    ~ItemLoader() { Stop(); }
    ItemLoader(const ItemLoader&) = delete;
    ItemLoader& operator=(const ItemLoader&) = delete;

    void Start();
    // Asks the worker to stop and waits, handling this thread's messages.
    void Stop();
    bool Running() const { return thread_ != nullptr; }
    bool StopRequested() const { return stop_ != 0; }

    // The loader whose worker is the calling thread, or null; with KeepGoing
    // as a driver's progress callback, a read ends soon after Stop.
    static ItemLoader* OfThisThread();
    static BOOL KeepGoing(int code, int value, const char* text, void* loader);

private:
    static DWORD WINAPI ThreadProc(LPVOID loader);
    void Run();
    bool LoadWithHelp(int index);

    LoaderItems* items_;
    HANDLE thread_ = nullptr;
    std::atomic<int> stop_{0};
};
