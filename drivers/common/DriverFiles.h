#pragma once
// Small file, text and memory helpers both camera drivers use. Text crosses
// the driver table as UTF-8 and reaches Windows as UTF-16.
#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <mutex>
#include <string>
#include <vector>

namespace driverfiles {

inline std::wstring Widen(const std::string& utf8) {
    int length = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), int(utf8.size()), nullptr, 0);
    std::wstring wide(size_t(std::max(length, 0)), L'\0');
    if (length > 0) MultiByteToWideChar(CP_UTF8, 0, utf8.data(), int(utf8.size()), &wide[0], length);
    return wide;
}

inline std::string Narrow(const std::wstring& wide) {
    int length = WideCharToMultiByte(CP_UTF8, 0, wide.data(), int(wide.size()), nullptr, 0, nullptr, nullptr);
    std::string utf8(size_t(std::max(length, 0)), '\0');
    if (length > 0) WideCharToMultiByte(CP_UTF8, 0, wide.data(), int(wide.size()), &utf8[0], length, nullptr, nullptr);
    return utf8;
}

// Whether `text` and its terminating zero fit a field of `size` bytes.
inline bool Fits(const std::string& text, int size) { return size > 0 && text.size() < size_t(size); }

// `text` into a caller's buffer of `size` bytes, zero-terminated; a cut falls
// between characters, never inside one.
inline void CopyOut(const std::string& text, char* buffer, int size) {
    if (!buffer || size <= 0) return;
    size_t length = std::min(text.size(), size_t(size - 1));
    while (length < text.size() && length > 0 && (static_cast<unsigned char>(text[length]) & 0xC0) == 0x80) --length;
    std::memcpy(buffer, text.data(), length);
    buffer[length] = '\0';
}

inline DWORD Attributes(const std::string& path) { return GetFileAttributesW(Widen(path).c_str()); }
inline bool Exists(const std::string& path) { return Attributes(path) != INVALID_FILE_ATTRIBUTES; }
inline bool Delete(const std::string& path) { return DeleteFileW(Widen(path).c_str()); }

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
    HANDLE file = CreateFileW(Widen(path).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    DWORD written = 0;
    bool ok = WriteFile(file, bytes.data(), DWORD(bytes.size()), &written, nullptr) && written == bytes.size();
    CloseHandle(file);
    if (!ok) Delete(path);
    return ok;
}

// The temporary folder, with its closing backslash; "" when Windows names none.
inline std::string TempFolder() {
    wchar_t temp[MAX_PATH + 1];
    DWORD length = GetTempPathW(MAX_PATH + 1, temp);
    return length == 0 || length > MAX_PATH ? std::string() : Narrow(std::wstring(temp, length));
}

// Numbered files in a folder of our own under the temporary directory, made
// on first use and removed (empty) with the object: the temporary directory
// may hold thousands of files, and probing it for a free name would cost more
// than the file itself. Owners delete the files they made before this goes.
class ScratchFolder {
public:
    explicit ScratchFolder(std::string prefix) : prefix_(std::move(prefix)) {}
    ~ScratchFolder() {
        if (!folder_.empty()) RemoveDirectoryW(Widen(folder_).c_str());
    }
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;

    // A new file name, or "" when no folder can be made. Loader threads of
    // two views of one folder may ask at once.
    std::string NewPath() {
        std::lock_guard<std::mutex> hold(lock_);
        if (folder_.empty()) {
            std::string temp = TempFolder();
            for (int attempt = 0; attempt < 100 && !temp.empty() && folder_.empty(); ++attempt) {
                std::string folder = temp + prefix_ + "-" + std::to_string(GetCurrentProcessId()) + "-" +
                                     std::to_string(GetTickCount() + DWORD(attempt));
                if (CreateDirectoryW(Widen(folder).c_str(), nullptr)) folder_ = folder;
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
