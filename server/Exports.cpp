// The module's entry points; nothing else is exported.
#include "server/ClassFactory.h"

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
    if (reason != DLL_PROCESS_ATTACH) return TRUE;
    try {
        ModuleStartup(instance);
    } catch (...) {
        // Out of memory while reading the product strings: the module stays loadable.
    }
    return TRUE;
}

extern "C" HRESULT WINAPI DllGetClassObject(REFCLSID rclsid, REFIID riid, void** ppv) {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    if (memcmp(&rclsid, &CLSID_CameraExplorer, sizeof(CLSID)) != 0) return E_FAIL;
    return HandOut(new (std::nothrow) ClassFactory, riid, ppv);
}

extern "C" HRESULT WINAPI DllCanUnloadNow() {
    return theModule.objectCount != 0 || theModule.lockCount != 0 ? S_FALSE : S_OK;
}
