#pragma once
#include <windows.h>

#include "camera/ConfigStore.h"

// The modal "Digital Camera Settings" dialog over `data`: 1 for OK (data
// updated), 0 for Cancel, -1 when the dialog cannot be made. Writes nothing.
INT_PTR RunSettingsDialog(HWND parent, SettingsData& data);
