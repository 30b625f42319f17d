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

    bool persistFace = IsEqualIID(riid, IID_IPersistFolder) || IsEqualIID(riid, IID_IUnknown);
    if (!persistFace && !IsEqualIID(riid, IID_IShellFolder)) return E_NOINTERFACE;

    RootFolder* root = GetRootFolder();
    if (!root) return E_OUTOFMEMORY;
    IUnknown* face = persistFace ? static_cast<IUnknown*>(static_cast<IPersistFolder*>(root))
                                 : static_cast<IUnknown*>(static_cast<IExtFolder*>(root));
    return HandOut(face, riid, ppv);
}

STDMETHODIMP ClassFactory::LockServer(BOOL lock) {
    if (lock)
        ++theModule.lockCount;
    else
        --theModule.lockCount;
    return S_OK;
}
