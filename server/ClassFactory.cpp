#include "server/ClassFactory.h"

#include "server/RootFolder.h"

const InterfaceRow<ClassFactory> ClassFactory::kInterfaces[2] = {
    {&IID_IUnknown, FaceOf<ClassFactory, IClassFactory>},
    {&IID_IClassFactory, FaceOf<ClassFactory, IClassFactory>},
};

STDMETHODIMP ClassFactory::CreateInstance(IUnknown* outer, REFIID riid, void** ppv) {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    if (outer) return CLASS_E_NOAGGREGATION;

    RootFolder* root = new (std::nothrow) RootFolder;
    if (!root) return E_OUTOFMEMORY;
    return HandOut(root, riid, ppv);
}

STDMETHODIMP ClassFactory::LockServer(BOOL lock) {
    if (lock)
        InterlockedIncrement(&theModule.lockCount);
    else
        InterlockedDecrement(&theModule.lockCount);
    return S_OK;
}
