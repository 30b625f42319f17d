#pragma once
#include <windows.h>
#include <string>

// The one registry key class. Opening a key that cannot be opened raises int 0.
class RegKey {
public:
    RegKey(HKEY root, const char* path, REGSAM access);
    RegKey(HKEY root, const std::string& path, REGSAM access) : RegKey(root, path.c_str(), access) {}
    ~RegKey();
    RegKey(const RegKey&) = delete;
    RegKey& operator=(const RegKey&) = delete;

    // The value's text when it is a REG_SZ of at most 256 bytes, else `defaultText`.
    std::string QueryString(const char* valueName, const char* defaultText) const;
    bool SetString(const char* valueName, const std::string& text);
    // False only once the subkeys are exhausted.
    bool EnumSubkey(DWORD index, std::string& name) const;

    HKEY Handle() const { return key_; }

private:
    HKEY key_ = nullptr;
};
