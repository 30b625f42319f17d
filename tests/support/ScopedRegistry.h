#pragma once
#include <windows.h>

#include <string>

// A registry key that a test writes and removes again when it ends.
class ScopedRegKey {
public:
    ScopedRegKey(HKEY root, const std::string& path);
    ~ScopedRegKey();
    ScopedRegKey(const ScopedRegKey&) = delete;
    ScopedRegKey& operator=(const ScopedRegKey&) = delete;

    void SetString(const char* name, const std::string& value);
    void SetValue(const char* name, DWORD type, const void* data, DWORD size);

private:
    HKEY root_;
    std::string path_;
    HKEY key_ = nullptr;
};

// The folder class registered for the module file `dllPath` while it lives.
class ScopedModuleRegistration {
public:
    explicit ScopedModuleRegistration(const std::string& dllPath);

private:
    ScopedRegKey classKey_;
    ScopedRegKey serverKey_;
    ScopedRegKey folderKey_;
    ScopedRegKey junctionKey_;
};

extern const char kFolderClassKey[];
