#pragma once
#include <windows.h>
#include <shtypes.h>

#include <string>

// Text crosses into Windows as UTF-16 and lives inside the module as UTF-8.
std::wstring Widen(const std::string& utf8);
std::string Narrow(const wchar_t* wide);
// A task-allocated wide copy of the text in `name` (STRRET_WSTR).
HRESULT PutWideName(const std::wstring& wide, STRRET* name);
HRESULT PutWideName(const std::string& utf8, STRRET* name);
