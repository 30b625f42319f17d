#pragma once
#include <windows.h>

#include <functional>
#include <string>
#include <vector>

// Writes a top-down 32-bit BGRA picture as a PNG file (through WIC).
bool WritePng(const std::string& path, int width, int height, const BYTE* bgra);
// Pumps this thread's messages until `done` answers true or `timeoutMs` passes.
bool WaitUntil(const std::function<bool()>& done, DWORD timeoutMs);
// The visible top-level windows of this process with window class `className`.
std::vector<HWND> OwnWindowsOfClass(const char* className);
// A visible top-level window of process `pid` (of window class `className` if given), or null.
HWND FindProcessWindow(DWORD pid, const char* className = nullptr);
// The descendants of `parent` with window class `className`, the first of them (or null), their number.
std::vector<HWND> Descendants(HWND parent, const char* className);
HWND FindDescendant(HWND parent, const char* className);
int CountChildren(HWND parent, const char* className);
