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
    char temp[MAX_PATH];
    GetTempPathA(MAX_PATH, temp);
    for (unsigned n = GetTickCount();; ++n) {
        std::string dir = std::string(temp) + prefix + std::to_string(n);
        if (CreateDirectoryA(dir.c_str(), nullptr)) return dir;
    }
}
