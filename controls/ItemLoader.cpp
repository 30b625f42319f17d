#include "controls/ItemLoader.h"

#include "res/resource.h"
#include "base/Module.h"

namespace {
constexpr DWORD kWaitSlice = 30000;
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
    thread_ = CreateThread(nullptr, 0, ThreadProc, this, 0, nullptr);
}

void ItemLoader::Stop() {
    if (!thread_) return;
    stop_ = 1;
    while (MsgWaitForMultipleObjects(1, &thread_, FALSE, kWaitSlice, QS_SENDMESSAGE) != WAIT_OBJECT_0) {
        MSG msg;
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
    }
    CloseHandle(thread_);
    thread_ = nullptr;
}

DWORD WINAPI ItemLoader::ThreadProc(LPVOID loader) {
    runningHere = static_cast<ItemLoader*>(loader);
    runningHere->Run();
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
    } while (attempted);
    stop_ = 0;
}

bool ItemLoader::LoadWithHelp(int index) {
    while (!items_->LoaderFetch(index)) {
        if (stop_) return false;  // the control is going: nobody is left to ask
        int answer = MessageBoxA(nullptr, LoadModuleString(IDS_IMAGE_ACQUISITION_ERROR).c_str(),
                                 theModule.productName.c_str(), kErrorBoxFlags);
        if (answer != IDRETRY) {
            stop_ = 1;
            return false;
        }
    }
    return true;
}
