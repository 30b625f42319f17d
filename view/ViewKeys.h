#pragma once
// Keys for views whose browser never offers them (Wine's explorer never calls
// TranslateAccelerator): a message hook on the view's thread translates the
// view's accelerators for keys typed anywhere inside the view's window.
#include <windows.h>

void ListenForKeys(HWND viewWindow, HACCEL accelerators);
void StopListeningForKeys(HWND viewWindow);
