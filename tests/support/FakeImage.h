#pragma once
// A camera image the tests control: its picture, its name, how slow it is,
// how often it fails, and the order in which images were fetched.
#include <windows.h>

#include <atomic>
#include <mutex>
#include <string>
#include <vector>

#include "camera/CameraService.h"

class FetchLog {
public:
    void Add(const std::string& name) {
        std::lock_guard<std::mutex> hold(lock_);
        names_.push_back(name);
    }
    std::vector<std::string> Names() {
        std::lock_guard<std::mutex> hold(lock_);
        return names_;
    }

private:
    std::mutex lock_;
    std::vector<std::string> names_;
};

class FakeImage final : public CameraImage {
public:
    FakeImage(std::string name, std::vector<uint8_t> jpeg, FetchLog* log = nullptr)
        : name_(std::move(name)), jpeg_(std::move(jpeg)), log_(log) {}

    std::atomic<int> failuresLeft{0};
    std::atomic<int> delayMs{0};
    std::atomic<int> reads{0};
    bool named = true;
    bool fileReads = false;  // ReadToFile hands over a file (the list's fetch)
    HWND sendTo = nullptr;  // a window the read sends a message to first

    const std::string& Name() const { return name_; }

    void Reserved1() override {}
    ThumbnailCell* GetCustomCell(int) override { return nullptr; }
    int ReadData(HGLOBAL* data, int, int* freeWhenDone, ProgressCallback, void*) override {
        ++reads;
        if (sendTo) SendMessageA(sendTo, WM_NULL, 0, 0);
        if (delayMs) Sleep(DWORD(delayMs.load()));
        if (failuresLeft > 0) {
            --failuresLeft;
            return -1;
        }
        if (log_) log_->Add(name_);
        *data = GlobalAlloc(GMEM_MOVEABLE, jpeg_.size());
        memcpy(GlobalLock(*data), jpeg_.data(), jpeg_.size());
        GlobalUnlock(*data);
        *freeWhenDone = 1;
        return 0;
    }
    bool GetInfo(ImageInfo* out) override {
        if (!named) return false;
        *out = {};
        out->mask = kInfoName | kInfoSize | kInfoDate | kInfoDimensions;
        lstrcpynA(out->name, name_.c_str(), sizeof out->name);
        out->fileSize = 1536;
        lstrcpynA(out->captureDate, "2024:01:02 03:04:05", sizeof out->captureDate);
        out->width = 640;
        out->height = 480;
        return true;
    }
    void Reserved5() override {}
    int ReadToFile(char* path, int size, int, int* deleteWhenDone, ProgressCallback, void*) override {
        if (!fileReads) return -1;
        if (failuresLeft > 0) {
            --failuresLeft;
            return -1;
        }
        lstrcpynA(path, "C:\\fetched.jpg", size);
        *deleteWhenDone = 0;
        return 0;
    }
    void Reserved7() override {}
    int NeedsProgress() override { return 0; }
    void QueryExtension(const GUID*, void** out) override { *out = nullptr; }

private:
    std::string name_;
    std::vector<uint8_t> jpeg_;
    FetchLog* log_;
};
