#pragma once
#include <windows.h>
#include <string>

// Module-wide state shared by every COM object of the module.
struct ModuleState {
    HINSTANCE instance = nullptr;
    LONG objectCount = 0;
    LONG lockCount = 0;
    std::string productName;
    std::string productVersion;
};

extern ModuleState theModule;

// {7A3E91D0-5B2C-4E8F-9D61-2F0C8A4B7E13}: the folder class the factory serves.
extern const CLSID CLSID_CameraExplorer;
// {7A3E91D1-5B2C-4E8F-9D61-2F0C8A4B7E13}: asked of drivers for their properties extension.
extern const CLSID CLSID_CameraExtension;

inline void ModuleObjectUp() { ++theModule.objectCount; }
inline void ModuleObjectDown() { --theModule.objectCount; }

// Saves the instance handle and reads the product name and version.
void ModuleStartup(HINSTANCE instance);
// Reads the version block of the file the class key names; defaults when unreadable.
void ReadProductInfo();

// Registers a window class of the module (a stock brush as background, white
// unless told, arrow cursor); registering it again fails harmlessly.
void RegisterModuleClass(const char* name, WNDPROC procedure, UINT style, int extraBytes = 0,
                         int stockBrush = WHITE_BRUSH);

// Loads string `id` from the module's string table ("" when missing).
std::string LoadModuleString(UINT id);
