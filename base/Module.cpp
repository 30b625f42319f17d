#include "base/Module.h"

#include <mutex>
#include <new>
#include <vector>

#include "base/RegKey.h"
#include "base/WideText.h"

ModuleState theModule;

const CLSID CLSID_CameraExplorer = {
    0x7A3E91D0, 0x5B2C, 0x4E8F, {0x9D, 0x61, 0x2F, 0x0C, 0x8A, 0x4B, 0x7E, 0x13}};
const CLSID CLSID_CameraExtension = {
    0x7A3E91D1, 0x5B2C, 0x4E8F, {0x9D, 0x61, 0x2F, 0x0C, 0x8A, 0x4B, 0x7E, 0x13}};

namespace {

const char kDefaultProductName[] = "Pictavia Explorer";
const char kDefaultProductVersion[] = "1.0";
const char kServerKey[] = "CLSID\\{7A3E91D0-5B2C-4E8F-9D61-2F0C8A4B7E13}\\InprocServer32";

std::string RegisteredModulePath() {
    try {
        RegKey key(HKEY_CLASSES_ROOT, kServerKey, KEY_QUERY_VALUE);
        return key.QueryString(nullptr, "");
    } catch (int) {
        // Loaded without its registration: keep the defaults.
        return "";
    }
}

bool QueryVersionString(void* block, const wchar_t* name, std::string& out) {
    wchar_t* text = nullptr;
    UINT length = 0;
    std::wstring query = std::wstring(L"\\StringFileInfo\\040904B0\\") + name;
    if (!VerQueryValueW(block, query.c_str(), reinterpret_cast<void**>(&text), &length) || !text || length == 0)
        return false;
    out = Narrow(std::wstring(text, wcsnlen(text, length)).c_str());
    return true;
}

}  // namespace

void ReadProductInfo() {
    theModule.productName = kDefaultProductName;
    theModule.productVersion = kDefaultProductVersion;

    std::wstring path = Widen(RegisteredModulePath());
    DWORD ignored = 0;
    DWORD size = GetFileVersionInfoSizeW(path.c_str(), &ignored);
    if (size == 0) return;

    HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, size);
    if (!memory) return;
    if (void* block = GlobalLock(memory)) {
        if (GetFileVersionInfoW(path.c_str(), 0, size, block)) {
            QueryVersionString(block, L"ProductName", theModule.productName);
            QueryVersionString(block, L"ProductVersion", theModule.productVersion);
        }
        GlobalUnlock(memory);
    }
    GlobalFree(memory);
}

void ModuleStartup(HINSTANCE instance) { theModule.instance = instance; }

namespace {
std::once_flag productInfoRead;

struct ThreadStart {
    DWORD (*work)(void*);
    void* context;
    HMODULE pin;
};

// The module is released only after the last instruction of ours has run.
DWORD WINAPI ModuleThread(LPVOID start) {
    ThreadStart own = *static_cast<ThreadStart*>(start);
    delete static_cast<ThreadStart*>(start);
    DWORD result = own.work(own.context);
    ModuleObjectDown();
    if (own.pin) FreeLibraryAndExitThread(own.pin, result);
    return result;
}
}  // namespace

const std::string& ProductName() {
    std::call_once(productInfoRead, ReadProductInfo);
    return theModule.productName;
}

const std::string& ProductVersion() {
    std::call_once(productInfoRead, ReadProductInfo);
    return theModule.productVersion;
}

HANDLE StartModuleThread(DWORD (*work)(void*), void* context, DWORD* threadId) {
    auto* start = new (std::nothrow) ThreadStart{work, context, nullptr};
    if (!start) return nullptr;
    GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS, reinterpret_cast<LPCWSTR>(&ModuleThread),
                       &start->pin);
    ModuleObjectUp();
    HANDLE thread = CreateThread(nullptr, 0, ModuleThread, start, 0, threadId);
    if (!thread) {
        ModuleObjectDown();
        if (start->pin) FreeLibrary(start->pin);
        delete start;
    }
    return thread;
}

void RegisterModuleClass(const wchar_t* name, WNDPROC procedure, UINT style, int extraBytes, int stockBrush) {
    WNDCLASSW cls = {};
    cls.style = style;
    cls.lpfnWndProc = procedure;
    cls.cbWndExtra = extraBytes;
    cls.hInstance = theModule.instance;
    cls.hIcon = LoadIcon(nullptr, IDI_APPLICATION);
    cls.hCursor = LoadCursor(nullptr, IDC_ARROW);
    cls.hbrBackground = static_cast<HBRUSH>(GetStockObject(stockBrush));
    cls.lpszClassName = name;
    RegisterClassW(&cls);
}

std::string LoadModuleString(UINT id) { return Narrow(LoadModuleText(id).c_str()); }

std::wstring LoadModuleText(UINT id) {
    const wchar_t* text = nullptr;  // the resource itself, not zero-terminated
    int length = LoadStringW(theModule.instance, id, reinterpret_cast<wchar_t*>(&text), 0);
    return length > 0 && text ? std::wstring(text, size_t(length)) : std::wstring();
}
