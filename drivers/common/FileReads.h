#pragma once
// A picture read to a file, as the drivers of remote cameras answer ReadToFile:
// a full picture becomes a temporary file the caller deletes; a thumbnail a
// file of the connection that goes with it (callers may never delete it),
// written on the first request and handed out again while it exists.
#include <windows.h>

#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "camera/CameraService.h"
#include "common/DriverFiles.h"

namespace driverfiles {

// A new temporary file named with `prefix`; "" when none can be made.
inline std::string TempFile(const wchar_t* prefix) {
    wchar_t path[MAX_PATH];
    std::string folder = TempFolder();
    if (folder.empty() || !GetTempFileNameW(Widen(folder).c_str(), prefix, 0, path)) return {};
    return Narrow(path);
}

// A picture read into memory the caller frees, as ReadData hands it out.
inline int ReadIntoMemory(HGLOBAL* data, int* freeWhenDone, const std::function<int(std::vector<uint8_t>&)>& fetch) {
    if (!data) return -1;
    *data = nullptr;
    std::vector<uint8_t> bytes;
    int result = fetch(bytes);
    if (result != kReadOk) return result;
    *data = ToGlobal(bytes);
    if (!*data) return -1;
    if (freeWhenDone) *freeWhenDone = 1;
    return kReadOk;
}

class FileReads {
public:
    explicit FileReads(const wchar_t* tempPrefix) : tempPrefix_(tempPrefix) {}
    ~FileReads() {
        if (!thumbnailFile_.empty()) Delete(thumbnailFile_);
    }
    FileReads(const FileReads&) = delete;
    FileReads& operator=(const FileReads&) = delete;

    // `fetch` reads the bytes (a driver result code); `scratchPath` names a new file of the connection.
    int Read(char* path, int size, int fullImage, int* deleteWhenDone, const std::function<int(std::vector<uint8_t>&)>& fetch,
             const std::function<std::string()>& scratchPath) {
        if (!path || size <= 0) return -1;
        if (!fullImage) {
            std::lock_guard<std::mutex> hold(lock_);
            if (!thumbnailFile_.empty() && Exists(thumbnailFile_)) {
                CopyOut(thumbnailFile_, path, size);
                if (deleteWhenDone) *deleteWhenDone = 0;
                return kReadOk;
            }
        }
        std::vector<uint8_t> bytes;
        int result = fetch(bytes);
        if (result != kReadOk) return result;
        std::string file = fullImage ? TempFile(tempPrefix_) : scratchPath();
        if (file.empty() || !Fits(file, size) || !WriteBytes(file, bytes)) {
            if (!file.empty()) Delete(file);
            return -1;
        }
        if (!fullImage) {
            std::lock_guard<std::mutex> hold(lock_);  // loader threads may ask for the thumbnail at once
            if (thumbnailFile_.empty()) {
                thumbnailFile_ = file;
            } else {  // another thread's arrived meanwhile and may be read now: keep that one
                Delete(file);
                file = thumbnailFile_;
            }
        }
        CopyOut(file, path, size);
        if (deleteWhenDone) *deleteWhenDone = fullImage ? 1 : 0;
        return kReadOk;
    }

private:
    const wchar_t* tempPrefix_;
    std::mutex lock_;
    std::string thumbnailFile_;
};

}  // namespace driverfiles
