#include "base/RegKey.h"

#include <algorithm>

#include "base/WideText.h"

namespace {

// The wide path without the trailing separator some key constants carry.
std::wstring WidePath(const std::string& path) {
    std::wstring wide = Widen(path);
    while (!wide.empty() && wide.back() == L'\\') wide.pop_back();
    return wide;
}

// A value's wide name; a null name (the key's default value) stays null at the call.
std::wstring WideName(const char* name) { return name ? Widen(name) : std::wstring(); }

// Registry names compare as the registry does: ordinal, ignoring case.
int CompareNames(const std::string& a, const std::string& b) {
    return CompareStringOrdinal(Widen(a).c_str(), -1, Widen(b).c_str(), -1, TRUE) - CSTR_EQUAL;
}

}  // namespace

RegKey::RegKey(HKEY root, const std::string& path, REGSAM access) {
    if (RegOpenKeyExW(root, WidePath(path).c_str(), 0, access, &key_) != ERROR_SUCCESS) {
        key_ = nullptr;
        throw 0;
    }
}

RegKey::~RegKey() {
    if (key_) RegCloseKey(key_);
}

RegKey RegKey::OpenIfPresent(HKEY root, const std::string& path, REGSAM access) {
    RegKey key;
    if (RegOpenKeyExW(root, WidePath(path).c_str(), 0, access, &key.key_) != ERROR_SUCCESS) key.key_ = nullptr;
    return key;
}

RegKey RegKey::Create(HKEY root, const std::string& path, REGSAM access) {
    RegKey key;
    if (RegCreateKeyExW(root, WidePath(path).c_str(), 0, nullptr, 0, access, nullptr, &key.key_, nullptr) !=
        ERROR_SUCCESS)
        key.key_ = nullptr;
    return key;
}

std::optional<std::string> RegKey::Query(const char* valueName) const {
    if (!key_) return std::nullopt;
    wchar_t buffer[kMaxTextUnits + 1];
    DWORD type = 0;
    DWORD size = kMaxTextUnits * sizeof(wchar_t);
    std::wstring name = WideName(valueName);
    LONG status = RegQueryValueExW(key_, valueName ? name.c_str() : nullptr, nullptr, &type,
                                   reinterpret_cast<BYTE*>(buffer), &size);
    if (status != ERROR_SUCCESS || type != REG_SZ) return std::nullopt;
    // The stored text need not carry its terminating zero.
    buffer[size / sizeof(wchar_t)] = L'\0';
    return Narrow(buffer);
}

std::string RegKey::QueryString(const char* valueName, const char* defaultText) const {
    return Query(valueName).value_or(defaultText ? defaultText : "");
}

bool RegKey::SetString(const char* valueName, const std::string& text) {
    std::wstring name = WideName(valueName), wide = Widen(text);
    return key_ && RegSetValueExW(key_, valueName ? name.c_str() : nullptr, 0, REG_SZ,
                                  reinterpret_cast<const BYTE*>(wide.c_str()),
                                  DWORD((wide.size() + 1) * sizeof(wchar_t))) == ERROR_SUCCESS;
}

bool RegKey::EnumSubkey(DWORD index, std::string& name) const {
    wchar_t buffer[256];  // the longest key name and its zero
    DWORD length = ARRAYSIZE(buffer);
    LONG status = key_ ? RegEnumKeyExW(key_, index, buffer, &length, nullptr, nullptr, nullptr, nullptr)
                       : ERROR_NO_MORE_ITEMS;
    // A name too long is skipped; any other failure (the key deleted meanwhile) ends the listing.
    if (status != ERROR_SUCCESS && status != ERROR_MORE_DATA) return false;
    name = status == ERROR_SUCCESS ? Narrow(std::wstring(buffer, length).c_str()) : std::string();
    return true;
}

namespace UserSettings {

std::string Read(const std::string& path, const char* value, const char* defaultText) {
    RegKey user = RegKey::OpenIfPresent(HKEY_CURRENT_USER, path, KEY_QUERY_VALUE);
    if (std::optional<std::string> text = user.Query(value)) return *text;
    RegKey machine = RegKey::OpenIfPresent(HKEY_LOCAL_MACHINE, path, KEY_QUERY_VALUE);
    if (!user.IsOpen() && !machine.IsOpen()) throw 0;
    return machine.QueryString(value, defaultText);
}

bool Write(const std::string& path, const char* value, const std::string& text) {
    return RegKey::Create(HKEY_CURRENT_USER, path, KEY_SET_VALUE).SetString(value, text);
}

std::vector<std::string> Subkeys(const std::string& path) {
    std::vector<std::string> names;
    bool found = false;
    for (HKEY root : {HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE}) {
        RegKey key = RegKey::OpenIfPresent(root, path, KEY_ENUMERATE_SUB_KEYS);
        found = found || key.IsOpen();
        std::string name;
        for (DWORD i = 0; key.EnumSubkey(i, name); ++i)
            if (!name.empty()) names.push_back(name);
    }
    if (!found) throw 0;
    auto less = [](const std::string& a, const std::string& b) { return CompareNames(a, b) < 0; };
    auto same = [](const std::string& a, const std::string& b) { return CompareNames(a, b) == 0; };
    std::stable_sort(names.begin(), names.end(), less);
    names.erase(std::unique(names.begin(), names.end(), same), names.end());
    return names;
}

}  // namespace UserSettings
