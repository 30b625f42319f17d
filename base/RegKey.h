#pragma once
#include <windows.h>

#include <optional>
#include <string>
#include <vector>

// The one registry key class. Names and text cross it as UTF-8 and reach the
// registry as UTF-16. Opening a key that cannot be opened raises int 0.
class RegKey {
public:
    // Text whose data (its zero included) is longer than this many UTF-16
    // units reads as missing: room for a long folder path, not for anything.
    static constexpr DWORD kMaxTextUnits = 1024;

    RegKey(HKEY root, const std::string& path, REGSAM access);
    RegKey(RegKey&& other) noexcept : key_(other.key_) { other.key_ = nullptr; }
    ~RegKey();
    RegKey(const RegKey&) = delete;
    RegKey& operator=(const RegKey&) = delete;
    RegKey& operator=(RegKey&&) = delete;

    // The key, or a closed one that reads nothing when it cannot be opened.
    static RegKey OpenIfPresent(HKEY root, const std::string& path, REGSAM access);
    // The key, made with its parents when missing; closed when it cannot be made.
    static RegKey Create(HKEY root, const std::string& path, REGSAM access);
    bool IsOpen() const { return key_ != nullptr; }

    // The value's text when it is a REG_SZ of at most kMaxTextUnits.
    std::optional<std::string> Query(const char* valueName) const;
    std::string QueryString(const char* valueName, const char* defaultText) const;
    bool SetString(const char* valueName, const std::string& text);
    // False only once the subkeys are exhausted.
    bool EnumSubkey(DWORD index, std::string& name) const;

    HKEY Handle() const { return key_; }

private:
    RegKey() = default;
    HKEY key_ = nullptr;
};

// The user's settings. Every key path exists under two roots: the user's
// choices under HKEY_CURRENT_USER, the installation's defaults under
// HKEY_LOCAL_MACHINE, which a standard user cannot write and which is only
// ever read here.
namespace UserSettings {

// The value from the user's key when it holds it as text, else from the
// machine's, else `defaultText`; raises int 0 when neither root has the key.
std::string Read(const std::string& path, const char* value, const char* defaultText = "");
// Writes the user's value, making the user's key as needed.
bool Write(const std::string& path, const char* value, const std::string& text);
// The subkey names under both roots, each once, in the registry's order
// (case-insensitive); raises int 0 when neither root has the key.
std::vector<std::string> Subkeys(const std::string& path);

}  // namespace UserSettings
