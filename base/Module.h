#pragma once
#include <windows.h>
#include <string>

// Module-wide state shared by every COM object of the module. Every thread
// of the process may move the counts: they change by interlocked calls only.
struct ModuleState {
    HINSTANCE instance = nullptr;
    volatile LONG objectCount = 0;  // objects, windows and threads that need the code
    volatile LONG lockCount = 0;
    std::string productName;  // read once, at first use (ProductName)
    std::string productVersion;
};

extern ModuleState theModule;

// {7A3E91D0-5B2C-4E8F-9D61-2F0C8A4B7E13}: the folder class the factory serves.
extern const CLSID CLSID_CameraExplorer;
// {7A3E91D1-5B2C-4E8F-9D61-2F0C8A4B7E13}: asked of drivers for their properties extension.
extern const CLSID CLSID_CameraExtension;

inline void ModuleObjectUp() { InterlockedIncrement(&theModule.objectCount); }
inline void ModuleObjectDown() { InterlockedDecrement(&theModule.objectCount); }

// Saves the instance handle; nothing else may run under the loader lock.
void ModuleStartup(HINSTANCE instance);
// Reads the version block of the file the class key names; defaults when unreadable.
void ReadProductInfo();
// The product's name and version, read at the first call.
const std::string& ProductName();
const std::string& ProductVersion();

// Runs `work(context)` on a new thread that keeps the module loaded and counted
// until `work` has returned. Null when no thread could start (nothing ran).
HANDLE StartModuleThread(DWORD (*work)(void*), void* context, DWORD* threadId = nullptr);

// Registers a window class of the module (a stock brush as background, white
// unless told, arrow cursor); registering it again fails harmlessly.
void RegisterModuleClass(const wchar_t* name, WNDPROC procedure, UINT style, int extraBytes = 0,
                         int stockBrush = WHITE_BRUSH);

// String `id` of the module's string table ("" when missing), as UTF-8 or as Windows takes it.
std::string LoadModuleString(UINT id);
std::wstring LoadModuleText(UINT id);
