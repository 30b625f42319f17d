#pragma once
// ptpcam.dll: a camera on the network speaking PTP/IP. A service lists the
// camera's folders, a connection one folder's pictures, each picture reads
// its thumbnail (turned upright) and its bytes. One session serves the whole
// process per camera; every transaction holds the camera, so loader threads
// and the interface thread take turns. A thread of the camera's own listens
// for its events and tells the connections of pictures that came or went.
#include <winsock2.h>
#include <windows.h>

#include <atomic>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "PtpSession.h"
#include "camera/CameraService.h"
#include "common/DriverFiles.h"
#include "common/FileReads.h"

namespace ptpcam {

class PtpConnection;

// One camera at one address.
class Camera {
public:
    Camera(std::string host, uint16_t port);
    ~Camera();
    Camera(const Camera&) = delete;
    Camera& operator=(const Camera&) = delete;

    // The process's camera at "host[:port]" (port 15740 when none).
    static std::shared_ptr<Camera> Shared(const std::string& address);

    // With the camera held: `call` on the open session (connecting as needed),
    // once more on a new session when the link broke meanwhile and `again`.
    ptp::Status Run(const std::function<ptp::Status(ptp::Session&)>& call, bool again = true);
    // Counts the sessions opened: object handles hold within one.
    unsigned Generation() const { return generation_; }
    // With the camera held: whether a session is open or can be opened now.
    bool Reachable();
    // With the camera held: ends the session after a cancel that left it unusable.
    void Drop();

    void Listen(PtpConnection* connection);
    void Forget(PtpConnection* connection);

private:
    friend class CameraUse;
    ptp::Session* Session();
    void ListenForEvents();
    void Dispatch(const ptp::Message& event);
    bool Listened();
    void CatchUp();

    std::string host_;
    uint16_t port_;
    std::timed_mutex lock_;
    std::atomic<DWORD> owner_{0};  // the thread the transaction holding lock_ runs for
    std::mutex sessionLock_;       // guards the pointer: the event thread reads it without the camera
    std::shared_ptr<ptp::Session> session_;
    DWORD failedAt_ = 0;  // a camera just found unreachable is not dialled again at once
    std::atomic<unsigned> generation_{0};
    std::mutex listenersLock_;
    std::vector<PtpConnection*> listeners_;
    std::atomic<bool> stopping_{false};
    std::thread events_;
};

// Holds the camera for one transaction run for thread `caller`; see serialcam's LineUse.
class CameraUse {
public:
    enum Mode { kWait, kSecond, kIfFree };
    explicit CameraUse(Camera& camera, Mode mode = kWait, DWORD caller = GetCurrentThreadId(),
                       const std::atomic<bool>* cancel = nullptr);
    ~CameraUse();
    CameraUse(const CameraUse&) = delete;
    CameraUse& operator=(const CameraUse&) = delete;
    explicit operator bool() const { return held_; }

private:
    Camera& camera_;
    bool held_ = false;
};

class PtpImage final : public CameraImage {
public:
    PtpImage(PtpConnection* owner, ptp::ObjectInfo info) : owner_(owner), info_(std::move(info)) {}

    void Reserved1() override {}
    ThumbnailCell* GetCustomCell(int) override { return nullptr; }
    int ReadData(HGLOBAL* data, int fullImage, int* freeWhenDone, ProgressCallback cb, void* cbContext) override;
    bool GetInfo(ImageInfo* out) override;
    void Reserved5() override {}
    int ReadToFile(char* path, int size, int fullImage, int* deleteWhenDone, ProgressCallback cb,
                   void* cbContext) override;
    void Reserved7() override {}
    int NeedsProgress() override { return 1; }
    void QueryExtension(const GUID*, void** out) override {
        if (out) *out = nullptr;
    }

    const std::string& Name() const { return info_.name; }

private:
    int Fetch(bool fullImage, std::vector<uint8_t>& bytes, ProgressCallback cb, void* cbContext);
    int Exchange(bool fullImage, std::vector<uint8_t>& bytes, DWORD caller, std::atomic<int>& percent,
                 const std::atomic<bool>& cancel);
    // The camera's thumbnail turned upright by the picture's own orientation.
    ptp::Status Thumbnail(ptp::Session& session, uint32_t handle, std::vector<uint8_t>& bytes,
                          const ptp::DataProgress& progress);

    PtpConnection* owner_;
    ptp::ObjectInfo info_;
    std::atomic<int> orientation_{0};  // 0 until the picture's first bytes were read
    driverfiles::FileReads files_{L"ptp"};
};

class PtpConnection final : public CameraConnection {
public:
    struct Folder {
        std::string name;
        uint32_t storage = 0, handle = 0;
    };
    PtpConnection(std::shared_ptr<Camera> camera, Folder folder);

    void Destroy(int flags) override;
    void Reserved2() override {}
    void GetConnectionId(char* buffer, int size) override;
    int GetImageCount() override;
    CameraImage* OpenImage(const char* name) override;
    void Reserved6() override {}
    void GetImageName(char* buffer, int size, int index) override;
    void Reserved8() override {}
    void DeleteImage(const char* name) override;
    void DeleteAllImages() override;
    int GetCaptionLineCount() override { return 1; }
    uint16_t GetCapabilities() override { return kCanDeleteSingle | kCanDeleteAll; }
    int CheckConnection() override;
    int CanAcceptData(IDataObject*) override { return 0; }
    int AcceptData(IDataObject*, int) override { return 0; }

    bool Listed() const { return listedIn_ != 0; }
    // With the camera held: the pictures as the current session numbers them (listed again after a new one).
    bool MakeCurrent();
    uint32_t HandleOf(const std::string& name);
    Camera& Cam() { return *camera_; }
    std::string NewScratchPath() { return scratch_.NewPath(); }

    // From the camera's event thread: a picture came into this folder, or one went.
    void Arrived(uint32_t handle, const ptp::ObjectInfo& info);
    void Vanished(uint32_t handle);
    uint32_t FolderHandle() const { return folder_.handle; }

    // The watch: posts `message` to `window` when changes wait; NextChange takes the oldest.
    void Watch(HWND window, UINT message);
    bool NextChange(std::string& name, bool& added);

private:
    struct Entry {
        uint32_t handle;
        ptp::ObjectInfo info;
    };
    void ListIfNeeded();
    void Changed(const std::string& name, bool added);  // with lock_ held

    std::shared_ptr<Camera> camera_;
    Folder folder_;
    std::atomic<unsigned> listedIn_{0};  // the session generation of entries_; 0: never listed
    std::mutex lock_;  // entries, images and changes; never held while talking to the camera
    std::vector<Entry> entries_;
    std::vector<std::unique_ptr<PtpImage>> images_;  // handed out; live as long as the connection
    std::deque<std::pair<std::string, bool>> changes_;
    HWND watchWindow_ = nullptr;
    UINT watchMessage_ = 0;
    bool posted_ = false;  // a message is on its way: later changes ride with it
    driverfiles::ScratchFolder scratch_{"ptpcam"};
};

class PtpService final : public CameraService {
public:
    explicit PtpService(std::shared_ptr<Camera> camera) : camera_(std::move(camera)) {}

    void Destroy(int flags) override;
    CameraConnection* OpenConnection(const char* folderName) override;
    bool Refresh() override;
    unsigned GetFolderCount() override;
    bool GetFolderName(unsigned index, char* buffer, int size) override;

private:
    std::shared_ptr<Camera> camera_;
    std::mutex foldersLock_;
    std::vector<PtpConnection::Folder> folders_;
};

}  // namespace ptpcam
