#pragma once
#include <windows.h>
#include <objbase.h>

#include <string>

#include "support/TestPaths.h"

// The built orvexview.dll, loaded for the test, with its two entry points.
struct ModuleLibrary {
    typedef HRESULT(WINAPI* GetClassObjectFn)(REFCLSID, REFIID, void**);
    typedef HRESULT(WINAPI* CanUnloadFn)();

    HMODULE module = LoadLibraryA(BinPath("orvexview.dll").c_str());
    GetClassObjectFn getClassObject = reinterpret_cast<GetClassObjectFn>(
        reinterpret_cast<void*>(GetProcAddress(module, "DllGetClassObject")));
    CanUnloadFn canUnloadNow = reinterpret_cast<CanUnloadFn>(
        reinterpret_cast<void*>(GetProcAddress(module, "DllCanUnloadNow")));

    ~ModuleLibrary() { FreeLibrary(module); }
};

// {7A3E91D0-5B2C-4E8F-9D61-2F0C8A4B7E13}
constexpr CLSID kFolderClass = {
    0x7A3E91D0, 0x5B2C, 0x4E8F, {0x9D, 0x61, 0x2F, 0x0C, 0x8A, 0x4B, 0x7E, 0x13}};
// {7A3E91D1-5B2C-4E8F-9D61-2F0C8A4B7E13}
constexpr CLSID kSecondClass = {
    0x7A3E91D1, 0x5B2C, 0x4E8F, {0x9D, 0x61, 0x2F, 0x0C, 0x8A, 0x4B, 0x7E, 0x13}};
