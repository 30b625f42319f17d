#pragma once
// A camera image the tests control: its picture, its name, how slow it is,
// how often it fails, whether it reports progress or hands over files, and
// the order in which images were fetched.
#include <windows.h>

#include <atomic>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "camera/CameraService.h"
#include "support/TestPictures.h"

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
    ~FakeImage() {
        if (!file_.empty()) DeleteFileA(file_.c_str());
    }

    std::atomic<int> failuresLeft{0};
    std::atomic<int> delayMs{0};
    std::atomic<int> reads{0};
    bool named = true;
    bool fileReads = false;     // ReadToFile hands over a file of the picture
    bool progress = false;      // NeedsProgress, and progress reports 0, 50, 100
    HWND sendTo = nullptr;      // a window the read sends a message to first
    std::function<void()> duringRead;  // runs inside every read

    const std::string& Name() const { return name_; }

    void Reserved1() override {}
    ThumbnailCell* GetCustomCell(int) override { return nullptr; }
    int ReadData(HGLOBAL* data, int, int* freeWhenDone, ProgressCallback cb, void* context) override {
        int result = Read(cb, context);
        if (result != kReadOk) return result;
        *data = GlobalAlloc(GMEM_MOVEABLE, jpeg_.size());
        memcpy(GlobalLock(*data), jpeg_.data(), jpeg_.size());
        GlobalUnlock(*data);
        *freeWhenDone = 1;
        return kReadOk;
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
    int ReadToFile(char* path, int size, int, int* deleteWhenDone, ProgressCallback cb, void* context) override {
        if (!fileReads) return -1;
        int result = Read(cb, context);
        if (result != kReadOk) return result;
        if (file_.empty()) file_ = WriteFile();
        lstrcpynA(path, file_.c_str(), size);
        *deleteWhenDone = 0;
        return kReadOk;
    }
    void Reserved7() override {}
    int NeedsProgress() override { return progress; }
    void QueryExtension(const GUID*, void** out) override { *out = nullptr; }

private:
    int Read(ProgressCallback cb, void* context) {
        ++reads;
        if (sendTo) SendMessageA(sendTo, WM_NULL, 0, 0);
        if (duringRead) duringRead();
        if (delayMs) Sleep(DWORD(delayMs.load()));
        if (progress && cb) {
            for (int code = 0; code <= 2; ++code)
                if (!cb(code, code == 1 ? 50 : 0, nullptr, context)) return kReadCancelled;
        }
        if (failuresLeft > 0) {
            --failuresLeft;
            return -1;
        }
        if (log_) log_->Add(name_);
        return kReadOk;
    }
    // The picture as the camera's own file, kept while the image lives.
    std::string WriteFile() { return WriteTempFile(std::to_string(uintptr_t(this)) + "-" + name_, jpeg_); }

    std::string name_;
    std::vector<uint8_t> jpeg_;
    FetchLog* log_;
    std::string file_;
};
