#include "base/RegKey.h"

RegKey::RegKey(HKEY root, const char* path, REGSAM access) {
    if (RegOpenKeyExA(root, path, 0, access, &key_) != ERROR_SUCCESS) {
        key_ = nullptr;
        throw 0;
    }
}

RegKey::~RegKey() {
    if (key_) RegCloseKey(key_);
}

std::string RegKey::QueryString(const char* valueName, const char* defaultText) const {
    char buffer[256];
    DWORD type = 0;
    DWORD size = sizeof buffer;
    LONG status = RegQueryValueExA(key_, valueName, nullptr, &type,
                                   reinterpret_cast<BYTE*>(buffer), &size);
    if (status != ERROR_SUCCESS || type != REG_SZ) return defaultText ? defaultText : "";
    // The stored text need not carry its terminating zero.
    return std::string(buffer, strnlen(buffer, size));
}

bool RegKey::SetString(const char* valueName, const std::string& text) {
    return RegSetValueExA(key_, valueName, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                          static_cast<DWORD>(text.size() + 1)) == ERROR_SUCCESS;
}

bool RegKey::EnumSubkey(DWORD index, std::string& name) const {
    char buffer[256];
    DWORD length = sizeof buffer;
    LONG status = RegEnumKeyExA(key_, index, buffer, &length, nullptr, nullptr, nullptr, nullptr);
    if (status == ERROR_NO_MORE_ITEMS) return false;
    name.assign(buffer, status == ERROR_SUCCESS ? length : 0);
    return true;
}
