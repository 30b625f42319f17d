#pragma once
// Small file and memory helpers both camera drivers use.
#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <mutex>
#include <string>
#include <vector>

namespace driverfiles {

// `text` into a caller's buffer of `size` bytes, cut and zero-terminated.
inline void CopyOut(const std::string& text, char* buffer, int size) {
    if (!buffer || size <= 0) return;
    size_t length = std::min(text.size(), size_t(size - 1));
    std::memcpy(buffer, text.data(), length);
    buffer[length] = '\0';
}

inline HGLOBAL ToGlobal(const std::vector<uint8_t>& bytes) {
    HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, std::max<size_t>(bytes.size(), 1));
    if (!memory) return nullptr;
    if (void* at = GlobalLock(memory)) {
        if (!bytes.empty()) std::memcpy(at, bytes.data(), bytes.size());
        GlobalUnlock(memory);
    }
    return memory;
}

// Writes a new file; a half-written one is removed again.
inline bool WriteBytes(const std::string& path, const std::vector<uint8_t>& bytes) {
    HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    DWORD written = 0;
    bool ok = WriteFile(file, bytes.data(), DWORD(bytes.size()), &written, nullptr) && written == bytes.size();
    CloseHandle(file);
    if (!ok) DeleteFileA(path.c_str());
    return ok;
}

// Numbered files in a folder of our own under the temporary directory, made
// on first use and removed (empty) with the object: the temporary directory
// may hold thousands of files, and probing it for a free name would cost more
// than the file itself. Owners delete the files they made before this goes.
class ScratchFolder {
public:
    explicit ScratchFolder(std::string prefix) : prefix_(std::move(prefix)) {}
    ~ScratchFolder() {
        if (!folder_.empty()) RemoveDirectoryA(folder_.c_str());
    }
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;

    // A new file name, or "" when no folder can be made. Loader threads of
    // two views of one folder may ask at once.
    std::string NewPath() {
        std::lock_guard<std::mutex> hold(lock_);
        if (folder_.empty()) {
            char temp[MAX_PATH];
            DWORD length = GetTempPathA(MAX_PATH, temp);
            if (length == 0 || length >= MAX_PATH) return {};
            for (int attempt = 0; attempt < 100 && folder_.empty(); ++attempt) {
                std::string folder = std::string(temp) + prefix_ + "-" + std::to_string(GetCurrentProcessId()) +
                                     "-" + std::to_string(GetTickCount() + DWORD(attempt));
                if (CreateDirectoryA(folder.c_str(), nullptr)) folder_ = folder;
            }
            if (folder_.empty()) return {};
        }
        return folder_ + "\\" + std::to_string(++count_) + ".jpg";
    }

private:
    std::string prefix_;
    std::string folder_;
    int count_ = 0;
    std::mutex lock_;
};

}  // namespace driverfiles
