#pragma once
#include <windows.h>

#include <string>

// `file` in the folder of the running test program (where the built DLLs are too).
std::string BinPath(const char* file);
// A fresh empty folder under the Windows temporary folder; `prefix` and the path are UTF-8.
std::string MakeTempDir(const char* prefix);
// The folder of real camera files in the sources (tests/data/camera-files), as a Windows path.
std::string CameraFilesFolder();
// UTF-8 as the wide calls take it, and back.
std::wstring Utf16(const std::string& utf8);
std::string Utf8(const std::wstring& wide);
// A count or seed from the environment: make soak passes bigger ones.
unsigned EnvNumber(const char* name, unsigned fallback);

// Export `name` of `module`, or of the built DLL `dll` beside the program (loaded for good); null when missing.
template <typename Function> Function Export(HMODULE module, const char* name) {
    return reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}
template <typename Function> Function Export(const char* dll, const char* name) {
    return Export<Function>(LoadLibraryA(BinPath(dll).c_str()), name);
}
