#pragma once
#include <windows.h>
#include <shlobj.h>
#include <shlwapi.h>

#include <string>
#include <vector>

// Builds raw ID list bytes for tests.
inline void AppendItem(std::vector<BYTE>& bytes, const std::string& name, BYTE kind = 0x29) {
    USHORT cb = static_cast<USHORT>(name.size() + 4);
    bytes.push_back(static_cast<BYTE>(cb & 0xFF));
    bytes.push_back(static_cast<BYTE>(cb >> 8));
    bytes.push_back(kind);
    bytes.insert(bytes.end(), name.begin(), name.end());
    bytes.push_back(0);
}

inline std::vector<BYTE> ListBytes(const std::vector<std::string>& names) {
    std::vector<BYTE> bytes;
    for (const auto& name : names) AppendItem(bytes, name);
    bytes.push_back(0);
    bytes.push_back(0);
    return bytes;
}

inline LPCITEMIDLIST AsList(const std::vector<BYTE>& bytes) {
    return reinterpret_cast<LPCITEMIDLIST>(bytes.data());
}

// The text of a folder's answer about `list`, as UTF-8; the answer is freed.
inline std::string StrRetText(LPCITEMIDLIST list, STRRET& name) {
    wchar_t wide[1024] = {};
    if (FAILED(StrRetToBufW(&name, list, wide, 1024))) return "<none>";
    char text[4096] = {};
    WideCharToMultiByte(CP_UTF8, 0, wide, -1, text, sizeof text, nullptr, nullptr);
    return text;
}
