#pragma once
// Sizes are designed at 96 dots per inch and drawn at the DPI of the window
// they are in, so that a 90-pixel cell is 180 pixels wide at 192 DPI.
#include <windows.h>

// The window's DPI where Windows keeps one per window (10 and later), else the screen's.
inline int WindowDpi(HWND window) {
    using ForWindow = UINT(WINAPI*)(HWND);
    static const auto forWindow = reinterpret_cast<ForWindow>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"user32.dll"), "GetDpiForWindow")));
    if (UINT dpi = forWindow && window ? forWindow(window) : 0) return int(dpi);
    HDC screen = GetDC(nullptr);
    int dpi = screen ? GetDeviceCaps(screen, LOGPIXELSY) : 0;
    if (screen) ReleaseDC(nullptr, screen);
    return dpi > 0 ? dpi : USER_DEFAULT_SCREEN_DPI;
}

inline int Scaled(int pixels, int dpi) { return MulDiv(pixels, dpi, USER_DEFAULT_SCREEN_DPI); }
