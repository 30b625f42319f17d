#pragma once
// A camera of fake images (its one folder is "FAKE") that the tests control: each picture, its name, how slow it is,
// how often it fails, whether it reports progress or hands over files, and the order of the fetches.
#include <windows.h>

#include <algorithm>
#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "camera/FolderConnection.h"
#include "support/TestPictures.h"

class FetchLog {
public:
    void Add(const std::string& name) { std::lock_guard<std::mutex> hold(lock_); names_.push_back(name); }
    std::vector<std::string> Names() { std::lock_guard<std::mutex> hold(lock_); return names_; }

private:
    std::mutex lock_;
    std::vector<std::string> names_;
};

class FakeImage final : public CameraImage {
public:
    FakeImage(std::string name, std::vector<uint8_t> jpeg, FetchLog* log = nullptr)
        : name_(std::move(name)), jpeg_(std::move(jpeg)), log_(log) {}
    ~FakeImage() { if (!file_.empty()) DeleteFileA(file_.c_str()); }

    std::atomic<int> failuresLeft{0}, delayMs{0}, reads{0};
    uint32_t fileSize = 1536;   // the size GetInfo reports
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
        *out = {};
        out->mask = kInfoName | kInfoSize | kInfoDate | kInfoDimensions;
        lstrcpynA(out->name, name_.c_str(), sizeof out->name);
        out->fileSize = fileSize;
        lstrcpynA(out->captureDate, "2024:01:02 03:04:05", sizeof out->captureDate);
        out->width = 640, out->height = 480;
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
        for (int code = 0; progress && cb && code <= 2; ++code)
            if (!cb(code, code == 1 ? 50 : 0, nullptr, context)) return kReadCancelled;
        if (failuresLeft > 0) return --failuresLeft, -1;
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

class FakeConnection final : public CameraConnection {
public:
    FakeConnection(std::vector<FakeImage*> images, uint16_t caps) : images_(std::move(images)), caps_(caps) {}

    void Destroy(int flags) override { if (flags & 1) delete this; }
    void Reserved2() override {}
    void GetConnectionId(char* buffer, int size) override { lstrcpynA(buffer, "FAKE", size); }
    int GetImageCount() override { return int(images_.size()); }
    CameraImage* OpenImage(const char* name) override {
        auto at = Find(name);
        return at == images_.end() ? nullptr : *at;
    }
    void Reserved6() override {}
    void GetImageName(char* buffer, int size, int index) override {
        bool valid = index >= 0 && size_t(index) < images_.size();
        lstrcpynA(buffer, valid ? images_[size_t(index)]->Name().c_str() : "", size);
    }
    void Reserved8() override {}
    void DeleteImage(const char* name) override {
        auto at = Find(name);
        if (at != images_.end() && (caps_ & kCanDeleteSingle)) images_.erase(at);
    }
    void DeleteAllImages() override { if (caps_ & kCanDeleteAll) images_.clear(); }
    int GetCaptionLineCount() override { return 1; }
    uint16_t GetCapabilities() override { return caps_; }
    int CheckConnection() override { return 0; }
    int CanAcceptData(IDataObject*) override { return 0; }
    int AcceptData(IDataObject*, int) override { return 0; }

private:
    std::vector<FakeImage*>::iterator Find(const char* name) {
        return std::find_if(images_.begin(), images_.end(),
                            [&](FakeImage* image) { return name && image->Name() == name; });
    }

    std::vector<FakeImage*> images_;  // owned by the service
    uint16_t caps_;
};

class FakeService final : public CameraService {
public:
    FakeService(std::vector<std::unique_ptr<FakeImage>> images, uint16_t caps)
        : images_(std::move(images)), caps_(caps) {}
    void Destroy(int flags) override { if (flags & 1) delete this; }
    CameraConnection* OpenConnection(const char* folder) override {
        if (!folder || lstrcmpA(folder, "FAKE") != 0) return nullptr;
        std::vector<FakeImage*> images;
        for (auto& image : images_) images.push_back(image.get());
        return new FakeConnection(images, caps_);
    }
    bool Refresh() override { return true; }
    unsigned GetFolderCount() override { return 1; }
    bool GetFolderName(unsigned index, char* buffer, int size) override {
        return index == 0 && lstrcpynA(buffer, "FAKE", size);
    }
    FakeImage* Image(size_t index) { return images_[index].get(); }

private:
    std::vector<std::unique_ptr<FakeImage>> images_;
    uint16_t caps_;
};

// A camera folder whose connection comes from `service` (connect it with
// Connect(false): a reload would read the registry first).
class TestFolder final : public FolderConnection {
public:
    explicit TestFolder(CameraService* service) : FolderConnection("FAKE", "Local"), service_(service) {}
    ~TestFolder() override { CloseConnection(); }

protected:
    CameraService* ParentService() override { return service_; }

private:
    CameraService* service_;
};
