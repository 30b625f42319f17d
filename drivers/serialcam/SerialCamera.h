#pragma once
// serialcam.dll: a camera on a serial line. The service learns the camera's
// folders, a connection lists one folder's pictures, and each picture reads
// its thumbnail and full bytes over the line. One line serves all of them,
// so every exchange holds the line's lock: loader threads and the
// user-interface thread take turns. A read with a progress callback talks to
// the camera from a thread of its own, so that the callback (which may pump
// messages) never runs with the lock held and can end a wait for the line.
#include <windows.h>

#include <atomic>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "SierraLink.h"
#include "camera/CameraService.h"
#include "common/DriverFiles.h"
#include "common/FileReads.h"

namespace serialcam {

// The line to one camera, shared by every service and connection of the
// process that names the same port: one camera has one session, ended when
// the last user lets go (a second session would talk over the first).
class CameraLine {
public:
    // `port` "COM1" .. "COM9", or "AUTO" to try COM1 to COM4.
    CameraLine(std::string port, int speed) : port_(std::move(port)), speed_(speed) {}
    ~CameraLine();
    CameraLine(const CameraLine&) = delete;
    CameraLine& operator=(const CameraLine&) = delete;

    // The process's line for `port`; a different `speed` applies from the next exchange.
    static std::shared_ptr<CameraLine> Shared(const std::string& port, int speed);

    // With the line held: the link, started (or restarted) as needed.
    SierraLink* Link();
    // With the line held: makes `folder` the camera's current folder.
    bool SelectFolder(const std::string& folder);
    // With the line held: after a failed exchange.
    bool Recover();
    // With the line held: after a cancel. Whoever cancelled does not wait for
    // a camera that may be silent; the next exchange wakes it again.
    void LetGo() {
        folder_.clear();
        link_.Abandon();
    }
    // With the line held: the camera's current folder changed behind our back.
    void ForgetFolder() { folder_.clear(); }
    // The names of a camera folder (its subfolders for the root) as last read:
    // what is opened while a download holds the line starts from them.
    std::vector<std::string> KnownNames(const std::string& folder);
    void SetKnownNames(const std::string& folder, const std::vector<std::string>& names);

private:
    friend class LineUse;
    void Retune(int speed);

    std::string port_;
    int speed_;
    std::timed_mutex lock_;
    std::atomic<DWORD> owner_{0};  // the thread the exchange holding lock_ runs for
    SierraLink link_;
    std::string folder_;  // the camera's current folder as we last set it
    std::mutex knownLock_;
    std::map<std::string, std::vector<std::string>> known_;
};

// Holds the line for one exchange run for thread `caller`. A caller whose
// exchange holds it already (its progress callback pumped messages into
// another call) is refused instead of deadlocked: the line is mid-packet.
class LineUse {
public:
    // kWait: until the line is free or `*cancel` is set; kBrief: a moment;
    // kSecond: a second at most; kIfFree: not at all.
    enum Mode { kWait, kBrief, kSecond, kIfFree };
    explicit LineUse(CameraLine& line, Mode mode = kWait, DWORD caller = GetCurrentThreadId(),
                     const std::atomic<bool>* cancel = nullptr);
    ~LineUse();
    LineUse(const LineUse&) = delete;
    LineUse& operator=(const LineUse&) = delete;
    explicit operator bool() const { return held_; }

private:
    CameraLine& line_;
    bool held_ = false;
};

class SerialConnection;

class SerialImage final : public CameraImage {
public:
    SerialImage(SerialConnection* owner, std::string name) : owner_(owner), name_(std::move(name)) {}

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

    const std::string& Name() const { return name_; }

private:
    int Fetch(bool fullImage, std::vector<uint8_t>& bytes, ProgressCallback cb, void* cbContext);
    // The exchange itself, for thread `caller`; `percent` follows the data, `cancel` ends it.
    int Exchange(bool fullImage, std::vector<uint8_t>& bytes, DWORD caller, std::atomic<int>& percent,
                 const std::atomic<bool>& cancel);

    SerialConnection* owner_;
    std::string name_;
    std::atomic<uint32_t> size_{0};  // learnt once
    driverfiles::FileReads files_{L"scm"};
};

class SerialConnection final : public CameraConnection {
public:
    SerialConnection(std::shared_ptr<CameraLine> line, std::string folder);

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

    // With the line's lock held: the camera's folder current and `name` its
    // current picture; false when the camera does not have it.
    bool Select(const std::string& name);
    CameraLine* Line() const { return line_.get(); }
    std::string NewScratchPath();

private:
    bool Scan();  // with the lock held
    void SetNames(std::vector<std::string> names);
    std::vector<std::string> Names();

    std::shared_ptr<CameraLine> line_;
    std::string folder_;
    std::mutex namesLock_;  // the names need no line: readers never wait behind a download
    std::vector<std::string> names_;  // in the camera's order
    std::vector<std::string> shown_;  // those the table's fields can carry
    std::vector<std::unique_ptr<SerialImage>> images_;  // handed out; live as long as the connection
    driverfiles::ScratchFolder scratch_{"serialcam"};
};

class SerialService final : public CameraService {
public:
    SerialService(const std::string& port, int speed) : line_(CameraLine::Shared(port, speed)) {}

    void Destroy(int flags) override;
    CameraConnection* OpenConnection(const char* folderName) override;
    bool Refresh() override;
    unsigned GetFolderCount() override;
    bool GetFolderName(unsigned index, char* buffer, int size) override;

private:
    std::shared_ptr<CameraLine> line_;
    std::mutex foldersLock_;
    std::vector<std::string> folders_;
};

}  // namespace serialcam
