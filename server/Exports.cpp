// The module's entry points; nothing else is exported.
#include "server/ClassFactory.h"

// Under the loader lock nothing but the instance handle is kept.
extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
    if (reason != DLL_PROCESS_ATTACH) return TRUE;
    ModuleStartup(instance);
    return TRUE;
}

extern "C" HRESULT WINAPI DllGetClassObject(REFCLSID rclsid, REFIID riid, void** ppv) {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    if (memcmp(&rclsid, &CLSID_CameraExplorer, sizeof(CLSID)) != 0) return CLASS_E_CLASSNOTAVAILABLE;
    return HandOut(new (std::nothrow) ClassFactory, riid, ppv);
}

extern "C" HRESULT WINAPI DllCanUnloadNow() {
    return theModule.objectCount != 0 || theModule.lockCount != 0 ? S_FALSE : S_OK;
}
