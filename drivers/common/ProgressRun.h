#pragma once
// A camera exchange for a caller whose progress callback pumps messages: the
// exchange runs on a thread of its own, so the callback never runs inside it
// (holding the camera) and its "stop" ends even a wait for the camera.
#include <windows.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <future>
#include <thread>

#include "camera/CameraService.h"

namespace driverfiles {

inline bool Report(ProgressCallback cb, void* context, int code, int value) {
    return !cb || cb(code, value, nullptr, context);
}

// Talks to the camera for thread `caller`; `percent` follows the data, `cancel` ends it.
using Exchange = std::function<int(DWORD caller, std::atomic<int>& percent, const std::atomic<bool>& cancel)>;

// Codes 0, 1 (percent) and 2 go to the callback; its "stop" ends the read with kReadCancelled.
inline int RunWithProgress(const Exchange& exchange, ProgressCallback cb, void* cbContext) {
    if (!Report(cb, cbContext, 0, 0)) return kReadCancelled;
    std::atomic<int> percent{0};
    std::atomic<bool> cancel{false};
    DWORD caller = GetCurrentThreadId();
    if (!cb) return exchange(caller, percent, cancel);
    std::packaged_task<int()> task([&] { return exchange(caller, percent, cancel); });
    std::future<int> result = task.get_future();
    std::thread worker(std::move(task));
    {
        // Whatever the callback's messages do (even throw), the exchange ends before this frame does.
        struct Joined {
            std::thread& thread;
            std::atomic<bool>& cancel;
            ~Joined() {
                if (!thread.joinable()) return;
                cancel = true;
                thread.join();
            }
        } joined{worker, cancel};
        // The caller keeps pumping until the exchange has wound down, also after its cancel.
        while (result.wait_for(std::chrono::milliseconds(50)) != std::future_status::ready)
            if (!Report(cb, cbContext, 1, percent)) cancel = true;
        worker.join();
    }
    int read = result.get();
    if (read == kReadOk && !(Report(cb, cbContext, 1, percent) && Report(cb, cbContext, 2, 100))) return kReadCancelled;
    return read;
}

}  // namespace driverfiles
