#pragma once
// A camera of fake images (its one folder is "FAKE") that the tests control: each picture, its name, how slow it is,
// how often it fails, whether it reports progress or hands over files, the order of the fetches, and pictures that
// come and go by themselves, announced through a watch.
#include <windows.h>

#include <algorithm>
#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "camera/FolderConnection.h"
#include "support/TestPaths.h"
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
    const std::vector<uint8_t>& Jpeg() const { return jpeg_; }

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

// What the watches of one library's fake connections went through.
struct FakeWatchCounts {
    LONG given, released, overReleased, changesForDeadWindows, destroyedWatched;
};

inline FakeWatchCounts& WatchCounts() {
    static FakeWatchCounts counts = {};
    return counts;
}

// One connection's news. It lives in its connection: a Release on the window's thread never frees what the
// announcing thread is using, and the lock keeps a post from racing Watch(nullptr).
class FakeWatch final : public ICameraWatch {
public:
    bool Referenced() const { return references_ > 0; }
    ICameraWatch* Give() { AddRef(), InterlockedIncrement(&WatchCounts().given); return this; }
    void Announce(const std::string& name, int added) {
        std::lock_guard<std::mutex> hold(lock_);
        changes_.push_back({name, added});
        if (window_ && !IsWindow(window_)) InterlockedIncrement(&WatchCounts().changesForDeadWindows);
        if (changes_.size() == 1) Post();  // the window takes every change waiting at once
    }

    STDMETHODIMP QueryInterface(REFIID iid, void** out) override {
        bool known = IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_ICameraWatch);
        *out = known ? this : nullptr;
        if (known) AddRef();
        return known ? S_OK : E_NOINTERFACE;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return ULONG(InterlockedIncrement(&references_)); }
    STDMETHODIMP_(ULONG) Release() override {
        LONG left = InterlockedDecrement(&references_);
        if (left <= 0) InterlockedIncrement(left == 0 ? &WatchCounts().released : &WatchCounts().overReleased);
        return ULONG(left);
    }
    STDMETHODIMP Watch(HWND window, UINT message) override {
        std::lock_guard<std::mutex> hold(lock_);
        window_ = window, message_ = message;
        if (!changes_.empty()) Post();
        return S_OK;
    }
    STDMETHODIMP NextChange(char* name, int size, int* added) override {
        std::lock_guard<std::mutex> hold(lock_);
        if (changes_.empty()) return S_FALSE;
        lstrcpynA(name, changes_.front().first.c_str(), size);
        *added = changes_.front().second;
        changes_.erase(changes_.begin());
        return S_OK;
    }

private:
    void Post() {
        if (window_) PostMessageA(window_, message_, 0, 0);
    }

    volatile LONG references_ = 0;
    std::mutex lock_;
    HWND window_ = nullptr;
    UINT message_ = 0;
    std::vector<std::pair<std::string, int>> changes_;
};

class FakeConnection final : public CameraConnection {
public:
    FakeConnection(std::vector<FakeImage*> images, uint16_t caps) : images_(std::move(images)), caps_(caps) {
        std::lock_guard<std::mutex> hold(LiveLock());
        Live().push_back(this);
    }
    ~FakeConnection() {
        std::lock_guard<std::mutex> hold(LiveLock());
        Live().erase(std::find(Live().begin(), Live().end(), this));
    }

    // The watch of `connection` when it is one of the open ones here.
    static HRESULT GiveWatch(CameraConnection* connection, void** out) {
        std::lock_guard<std::mutex> hold(LiveLock());
        auto at = std::find(Live().begin(), Live().end(), connection);
        *out = at == Live().end() ? nullptr : (*at)->watch_.Give();
        return *out ? S_OK : E_NOINTERFACE;
    }
    // On every open connection, from any thread: a picture comes (unless it is there) or goes, and is announced.
    static void ChangeEverywhere(const std::string& name, int added) {
        std::lock_guard<std::mutex> hold(LiveLock());
        for (FakeConnection* connection : Live()) connection->Change(name, added);
    }

    void Destroy(int flags) override {
        if (watch_.Referenced()) InterlockedIncrement(&WatchCounts().destroyedWatched);
        if (flags & 1) delete this;
    }
    void Reserved2() override {}
    void GetConnectionId(char* buffer, int size) override { lstrcpynA(buffer, "FAKE", size); }
    int GetImageCount() override { std::lock_guard<std::mutex> hold(lock_); return int(images_.size()); }
    CameraImage* OpenImage(const char* name) override {
        std::lock_guard<std::mutex> hold(lock_);
        auto at = Find(name);
        return at == images_.end() ? nullptr : *at;
    }
    void Reserved6() override {}
    void GetImageName(char* buffer, int size, int index) override {
        std::lock_guard<std::mutex> hold(lock_);
        bool valid = index >= 0 && size_t(index) < images_.size();
        lstrcpynA(buffer, valid ? images_[size_t(index)]->Name().c_str() : "", size);
    }
    void Reserved8() override {}
    void DeleteImage(const char* name) override {
        std::lock_guard<std::mutex> hold(lock_);
        auto at = Find(name);
        if (at != images_.end() && (caps_ & kCanDeleteSingle)) images_.erase(at);
    }
    void DeleteAllImages() override { std::lock_guard<std::mutex> hold(lock_); if (caps_ & kCanDeleteAll) images_.clear(); }
    int GetCaptionLineCount() override { return 1; }
    uint16_t GetCapabilities() override { return caps_; }
    int CheckConnection() override { return 0; }
    int CanAcceptData(IDataObject*) override { return 0; }
    int AcceptData(IDataObject*, int) override { return 0; }

private:
    static std::mutex& LiveLock() { static std::mutex lock; return lock; }
    static std::vector<FakeConnection*>& Live() { static std::vector<FakeConnection*> live; return live; }

    void Change(const std::string& name, int added) {
        {
            std::lock_guard<std::mutex> hold(lock_);
            auto at = Find(name.c_str());
            if (!added && at != images_.end()) images_.erase(at);
            if (added && at == images_.end()) {
                came_.push_back(std::make_unique<FakeImage>(name, images_.empty() ? std::vector<uint8_t>{} : images_[0]->Jpeg()));
                images_.push_back(came_.back().get());
            }
        }
        watch_.Announce(name, added);
    }
    std::vector<FakeImage*>::iterator Find(const char* name) {
        return std::find_if(images_.begin(), images_.end(),
                            [&](FakeImage* image) { return name && image->Name() == name; });
    }

    std::mutex lock_;  // a change comes on the test's thread
    std::vector<FakeImage*> images_;  // owned by the service, or by came_
    std::vector<std::unique_ptr<FakeImage>> came_;
    uint16_t caps_;
    FakeWatch watch_;
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

// The controls of fakecam.dll's own connections (the views load that library as their driver).
class FakeCameraLibrary {
public:
    FakeCameraLibrary() : library_(LoadLibraryA(BinPath("fakecam.dll").c_str())) {}
    ~FakeCameraLibrary() { FreeLibrary(library_); }
    FakeCameraLibrary(const FakeCameraLibrary&) = delete;
    FakeCameraLibrary& operator=(const FakeCameraLibrary&) = delete;

    // From any thread: `name` comes (added) or goes on every open connection, announced to its watch.
    void Change(const std::string& name, bool added) { Export<void (*)(const char*, int)>("FakeCameraChange")(name.c_str(), added); }
    // The argument the library's last service was made with.
    std::string Argument() {
        char text[260] = {};
        Export<void (*)(char*, int)>("FakeCameraArgument")(text, sizeof text);
        return text;
    }
    FakeWatchCounts Counts() {
        FakeWatchCounts counts = {};
        Export<void (*)(FakeWatchCounts*)>("FakeCameraWatchCounts")(&counts);
        return counts;
    }

private:
    template <class Function>
    Function Export(const char* name) { return reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(library_, name))); }
    HMODULE library_;
};
