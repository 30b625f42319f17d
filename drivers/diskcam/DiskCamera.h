#pragma once
// A camera driver that serves the pictures of disk folders: the DCIM folders
// of memory cards (or of a root given as the argument), or any chosen folder.
#include <windows.h>

#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "camera/CameraService.h"
#include "common/DriverFiles.h"

namespace diskcam {

class DiskConnection;

class DiskImage final : public CameraImage {
public:
    DiskImage(DiskConnection* owner, std::string path, std::string name);
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
    int NeedsProgress() override { return 0; }
    // Asked for the properties extension, a small object showing the
    // picture's file and EXIF details.
    void QueryExtension(const GUID* iid, void** out) override;

    const std::string& Path() const { return path_; }

private:
    // What the first 64 KB of the file tell; read once and kept.
    struct Header {
        bool read = false;
        std::string date;
        int width = 0, height = 0;
        int orientation = 1;
        std::vector<uint8_t> embedded;  // the EXIF thumbnail, if any
    };
    const Header& ReadHeader();  // called with lock_ held
    bool Thumbnail(std::vector<uint8_t>& out);
    std::string ThumbnailFile();
    std::string FullFile(int size);

    DiskConnection* owner_;
    std::string path_;
    std::string name_;
    std::mutex lock_;
    Header header_;
    std::vector<uint8_t> thumbnail_;  // made once, on first request
    std::string thumbnailFile_;       // written on first file request
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

private:
    std::vector<std::string> DroppedPictures(IDataObject* data);

    std::string folder_;
    std::mutex lock_;
    driverfiles::ScratchFolder scratch_{"diskcam"};
    std::vector<std::string> names_;
    // Handed-out images live as long as the connection: callers keep pointers.
    std::map<std::string, std::unique_ptr<DiskImage>> images_;
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

// True for the file names this driver serves as pictures.
bool IsPictureName(const std::string& name);

}  // namespace diskcam
