#pragma once
// A camera driver that serves the pictures of disk folders: the DCIM folders
// of memory cards (or of a root given as the argument), or any chosen folder.
#include <windows.h>

#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "ThumbnailCache.h"
#include "camera/CameraService.h"
#include "common/DriverFiles.h"

namespace diskcam {

class DiskConnection;
struct PictureHead;

// A lock of one pointer's size that allocates nothing: every picture of a
// folder of tens of thousands has one.
class SlimLock {
public:
    void lock() { AcquireSRWLockExclusive(&lock_); }
    void unlock() { ReleaseSRWLockExclusive(&lock_); }

private:
    SRWLOCK lock_ = SRWLOCK_INIT;
};

class DiskImage final : public CameraImage {
public:
    DiskImage(DiskConnection* owner, std::string name);
    ~DiskImage();

    void Reserved1() override {}
    ThumbnailCell* GetCustomCell(int) override { return nullptr; }
    int ReadData(HGLOBAL* data, int fullImage, int* freeWhenDone, ProgressCallback cb,
                 void* cbContext) override;
    bool GetInfo(ImageInfo* out) override;
    void Reserved5() override {}
    int ReadToFile(char* path, int size, int fullImage, int* deleteWhenDone, ProgressCallback cb,
                   void* cbContext) override;
    void Reserved7() override {}
    // A video copied out takes long enough to be watched and cancelled.
    int NeedsProgress() override;
    // Asked for the properties extension, a small object showing the
    // picture's file and EXIF details.
    void QueryExtension(const GUID* iid, void** out) override;

    const std::string& Name() const { return name_; }

private:
    // The few facts the first 64 KB of the file tell, kept for the
    // connection's life; thumbnail and EXIF bytes are not: a folder may hold
    // tens of thousands of pictures.
    struct Facts {
        bool read = false;
        char date[sizeof ImageInfo::captureDate] = {};
        int width = 0, height = 0;
        int orientation = 1;
    };
    std::string Path() const;
    const Facts& ReadFacts();  // called with lock_ held, as are the three below
    void KeepFacts(const PictureHead& head);
    PictureHead ReadHead(std::vector<uint8_t>& head);
    bool Thumbnail(std::vector<uint8_t>& out);
    bool MakeThumbnail(std::vector<uint8_t>& out);
    std::string ThumbnailFile();
    std::string FullFile(int size);

    DiskConnection* owner_;
    std::string name_;
    SlimLock lock_;
    Facts facts_;
    std::string thumbnailFile_;  // written on first file request
};

class DiskConnection final : public CameraConnection {
public:
    explicit DiskConnection(std::string folder);
    ~DiskConnection();

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
    int CanAcceptData(IDataObject* data) override;
    int AcceptData(IDataObject* data, int reserved) override;

    // Lists the folder's pictures in name order (again).
    void Scan();
    // A new file name in this connection's own scratch folder.
    std::string NewScratchPath();
    const std::string& Folder() const { return folder_; }
    ThumbnailCache& Thumbnails() { return thumbnails_; }

private:
    using Names = std::vector<std::string>;
    Names::iterator Listed(std::string_view name);  // called with lock_ held
    std::vector<std::string> DroppedPictures(IDataObject* data);

    const std::string folder_;
    std::mutex lock_;
    driverfiles::ScratchFolder scratch_{"diskcam"};
    // The scanned names in listing order, then those dropped in since.
    Names names_;
    size_t scanned_ = 0;
    // Handed-out images live as long as the connection: callers keep pointers.
    // Keyed by a view of the image's own name.
    std::map<std::string_view, std::unique_ptr<DiskImage>, std::less<>> images_;
    ThumbnailCache thumbnails_{2 << 20};  // a few screens of the grid
};

class DiskService final : public CameraService {
public:
    explicit DiskService(std::string root);

    void Destroy(int flags) override;
    CameraConnection* OpenConnection(const char* connectionText) override;
    bool Refresh() override;
    unsigned GetFolderCount() override;
    bool GetFolderName(unsigned index, char* buffer, int size) override;

private:
    struct Folder {
        std::string name;  // what the user sees: "100ORVEX", or "100ORVEX (E:)" on a drive
        std::string path;
    };
    std::string root_;  // "": the removable drives
    std::mutex lock_;
    std::vector<Folder> folders_;
};

// True for the file names this driver serves: every kind a camera writes.
bool IsPictureName(const std::string& name);
// Videos and RAW pictures among them.
bool IsVideoName(const std::string& name);
bool IsRawName(const std::string& name);

}  // namespace diskcam
