#pragma once
#include <string>

// The folder of the running test program (where the built DLLs are too).
std::string BinDir();
std::string BinPath(const char* file);
// A fresh empty folder under the Windows temporary folder; `prefix` and the path are UTF-8.
std::string MakeTempDir(const char* prefix);
// UTF-8 as the wide calls take it.
std::wstring Utf16(const std::string& utf8);
