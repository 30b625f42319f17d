#pragma once
#include <windows.h>

#include <algorithm>
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
