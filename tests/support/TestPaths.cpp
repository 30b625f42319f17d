#include "support/TestPaths.h"

#include <windows.h>

std::string BinDir() {
    char path[MAX_PATH];
    DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string dir(path, length);
    return dir.substr(0, dir.find_last_of("\\/"));
}

std::string BinPath(const char* file) { return BinDir() + "\\" + file; }

std::string MakeTempDir(const char* prefix) {
    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    for (unsigned n = GetTickCount();; ++n) {
        std::wstring dir = temp + Utf16(prefix + std::to_string(n));
        if (CreateDirectoryW(dir.c_str(), nullptr)) {
            std::string utf8(dir.size() * 3, '\0');
            utf8.resize(size_t(WideCharToMultiByte(CP_UTF8, 0, dir.data(), int(dir.size()), &utf8[0], int(utf8.size()), nullptr, nullptr)));
            return utf8;
        }
    }
}

std::wstring Utf16(const std::string& utf8) {
    std::wstring wide(utf8.size(), L'\0');
    wide.resize(size_t(MultiByteToWideChar(CP_UTF8, 0, utf8.data(), int(utf8.size()), &wide[0], int(wide.size()))));
    return wide;
}
