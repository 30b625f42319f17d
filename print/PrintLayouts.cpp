#include "print/PrintLayouts.h"

#include "base/RegKey.h"

std::string ReadCurrentLayout(const char* defaultText) {
    RegKey key(HKEY_LOCAL_MACHINE, kLayoutsKey, KEY_QUERY_VALUE);
    return key.QueryString("CurrentLayout", defaultText);
}

void WriteCurrentLayout(const std::string& subkey) {
    RegKey key(HKEY_LOCAL_MACHINE, kLayoutsKey, KEY_SET_VALUE);
    key.SetString("CurrentLayout", subkey);
}

std::string ReadLayoutValue(const std::string& subkey, const char* value, const char* defaultText) {
    RegKey key(HKEY_LOCAL_MACHINE, kLayoutsKey + subkey, KEY_QUERY_VALUE);
    return key.QueryString(value, defaultText);
}

std::string ReadLayoutValueOr(const std::string& subkey, const char* value, const char* defaultText) {
    try {
        return ReadLayoutValue(subkey, value, defaultText);
    } catch (...) {
        return defaultText;
    }
}
