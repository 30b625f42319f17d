#pragma once
#include <windows.h>
#include <shlobj.h>
#include <shlwapi.h>

#include <string>
#include <vector>

#include "support/TestPaths.h"

// ID list bytes of our items: size, kind 0x29, the name and its zero; then the terminator.
inline std::vector<BYTE> ListBytes(const std::vector<std::string>& names) {
    std::vector<BYTE> bytes;
    for (const auto& name : names) {
        size_t cb = name.size() + 4;
        bytes.insert(bytes.end(), {BYTE(cb & 0xFF), BYTE(cb >> 8), 0x29});
        bytes.insert(bytes.end(), name.c_str(), name.c_str() + name.size() + 1);
    }
    bytes.insert(bytes.end(), {0, 0});
    return bytes;
}

inline LPCITEMIDLIST AsList(const std::vector<BYTE>& bytes) {
    return reinterpret_cast<LPCITEMIDLIST>(bytes.data());
}

// The text of a folder's answer about `list`, as UTF-8; the answer is freed.
inline std::string StrRetText(LPCITEMIDLIST list, STRRET& name) {
    wchar_t wide[1024] = {};
    return SUCCEEDED(StrRetToBufW(&name, list, wide, 1024)) ? Utf8(wide) : "<none>";
}
