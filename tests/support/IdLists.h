#pragma once
#include <windows.h>
#include <shlobj.h>

#include <string>
#include <vector>

// Builds raw ID list bytes for tests.
inline void AppendItem(std::vector<BYTE>& bytes, const std::string& name) {
    USHORT cb = static_cast<USHORT>(name.size() + 3);
    bytes.push_back(static_cast<BYTE>(cb & 0xFF));
    bytes.push_back(static_cast<BYTE>(cb >> 8));
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

// The bytes a STRRET_OFFSET points at in `list`.
inline std::string NameAtOffset(LPCITEMIDLIST list, const STRRET& name) {
    return reinterpret_cast<const char*>(list) + name.uOffset;
}
