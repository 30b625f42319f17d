#include "support/ScopedRegistry.h"

#include <gtest/gtest.h>

#include "support/TestPaths.h"

const char kFolderClassKey[] = "CLSID\\{7A3E91D0-5B2C-4E8F-9D61-2F0C8A4B7E13}";

ScopedRegKey::ScopedRegKey(HKEY root, const std::string& path) : root_(root), path_(path) {
    LONG status = RegCreateKeyExA(root, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key_, nullptr);
    EXPECT_EQ(status, ERROR_SUCCESS) << path;
}

ScopedRegKey::~ScopedRegKey() {
    if (key_) RegCloseKey(key_);
    RegDeleteTreeA(root_, path_.c_str());
}

void ScopedRegKey::SetString(const char* name, const std::string& value) {  // UTF-8, stored as Windows keeps text
    std::wstring wide = Utf16(value);
    EXPECT_EQ(RegSetValueExW(key_, name ? Utf16(name).c_str() : nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(wide.c_str()),
                             DWORD((wide.size() + 1) * sizeof(wchar_t))), ERROR_SUCCESS);
}

void ScopedRegKey::SetValue(const char* name, DWORD type, const void* data, DWORD size) {
    EXPECT_EQ(RegSetValueExA(key_, name, 0, type, static_cast<const BYTE*>(data), size), ERROR_SUCCESS);
}

ScopedModuleRegistration::ScopedModuleRegistration(const std::string& dllPath)
    : classKey_(HKEY_CLASSES_ROOT, kFolderClassKey),
      serverKey_(HKEY_CLASSES_ROOT, std::string(kFolderClassKey) + "\\InprocServer32"),
      folderKey_(HKEY_CLASSES_ROOT, std::string(kFolderClassKey) + "\\ShellFolder"),
      junctionKey_(HKEY_LOCAL_MACHINE, std::string("Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\MyComputer"
                                                   "\\NameSpace\\") + (kFolderClassKey + 6)) {
    serverKey_.SetString(nullptr, dllPath);
    serverKey_.SetString("ThreadingModel", "Apartment");
    classKey_.SetString(nullptr, "OrvexView");
    const DWORD attributes = 0xB8000000;  // folder, has subfolders, below it files, browsable
    folderKey_.SetValue("Attributes", REG_DWORD, &attributes, sizeof attributes);
}
