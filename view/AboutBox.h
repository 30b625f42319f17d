#pragma once
#include <windows.h>

// The About box both views show: the product picture, titled with the
// product name and version; a click anywhere closes it.
INT_PTR ShowAboutBox(HWND owner);
