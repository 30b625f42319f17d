#include "support/TestPaths.h"

#include <cstdlib>

std::string BinPath(const char* file) {
    char path[MAX_PATH];
    std::string program(path, GetModuleFileNameA(nullptr, path, MAX_PATH));
    return program.substr(0, program.find_last_of("\\/") + 1) + file;
}

std::string MakeTempDir(const char* prefix) {
    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    for (unsigned n = GetTickCount();; ++n) {
        std::wstring dir = temp + Utf16(prefix + std::to_string(n));
        if (CreateDirectoryW(dir.c_str(), nullptr)) return Utf8(dir);
    }
}

std::wstring Utf16(const std::string& utf8) {
    std::wstring wide(utf8.size(), L'\0');
    wide.resize(size_t(MultiByteToWideChar(CP_UTF8, 0, utf8.data(), int(utf8.size()), &wide[0], int(wide.size()))));
    return wide;
}

std::string Utf8(const std::wstring& wide) {
    std::string utf8(wide.size() * 3, '\0');
    utf8.resize(size_t(WideCharToMultiByte(CP_UTF8, 0, wide.data(), int(wide.size()), &utf8[0], int(utf8.size()),
                                           nullptr, nullptr)));
    return utf8;
}

unsigned EnvNumber(const char* name, unsigned fallback) {
    return getenv(name) && *getenv(name) ? unsigned(strtoul(getenv(name), nullptr, 10)) : fallback;
}

std::string CameraFilesFolder() { return std::string("Z:") + ORVEX_SOURCE_DIR + "/tests/data/camera-files"; }
