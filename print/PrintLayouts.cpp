#include "print/PrintLayouts.h"

#include "base/RegKey.h"

std::string ReadCurrentLayout(const char* defaultText) {
    return UserSettings::Read(kLayoutsKey, "CurrentLayout", defaultText);
}

void WriteCurrentLayout(const std::string& subkey) { UserSettings::Write(kLayoutsKey, "CurrentLayout", subkey); }

std::string ReadLayoutValue(const std::string& subkey, const char* value, const char* defaultText) {
    return UserSettings::Read(kLayoutsKey + subkey, value, defaultText);
}

std::string ReadLayoutValueOr(const std::string& subkey, const char* value, const char* defaultText) {
    try {
        return ReadLayoutValue(subkey, value, defaultText);
    } catch (...) {
        return defaultText;
    }
}
