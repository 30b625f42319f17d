#pragma once
#include <string>

// The folder of the running test program (where the built DLLs are too).
std::string BinDir();
std::string BinPath(const char* file);
// A fresh empty folder under the Windows temporary folder.
std::string MakeTempDir(const char* prefix);
