#pragma once
#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "camera/CameraService.h"

// Milliseconds from the performance counter.
inline double Now() {
    LARGE_INTEGER counter, frequency;
    QueryPerformanceCounter(&counter);
    QueryPerformanceFrequency(&frequency);
    return double(counter.QuadPart) * 1000.0 / double(frequency.QuadPart);
}

// Up to `limit` bytes from the start of file `path`; none if it cannot be read.
inline std::vector<uint8_t> ReadBytes(const std::string& path, size_t limit = SIZE_MAX) {
    std::vector<uint8_t> bytes;
    HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return bytes;
    bytes.resize(std::min(size_t(GetFileSize(file, nullptr)), limit));
    DWORD read = 0;
    ReadFile(file, bytes.data(), DWORD(bytes.size()), &read, nullptr);
    CloseHandle(file);
    return bytes.resize(read), bytes;
}

// The JPEG file names of `folder`, sorted.
inline std::vector<std::string> Pictures(const std::string& folder) {
    std::vector<std::string> names;
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((folder + "\\*.JPG").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return names;
    do names.push_back(found.cFileName);
    while (FindNextFileA(search, &found));
    FindClose(search);
    std::sort(names.begin(), names.end());
    return names;
}

// The camera service of driver library `dll` (beside the program) for `argument`, or null.
inline CameraService* LoadService(const char* dll, const char* argument) {
    HMODULE library = LoadLibraryA(dll);
    auto create = library ? reinterpret_cast<CreateServiceFunction>(
                                reinterpret_cast<void*>(GetProcAddress(library, kCreateServiceExport)))
                          : nullptr;
    return create ? create(argument) : nullptr;
}
