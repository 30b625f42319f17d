#pragma once
#include "base/ComObject.h"

// Makes a root folder of the folder class for each caller.
class ClassFactory : public ComObject<ClassFactory, kCountBoth, IClassFactory> {
public:
    static const InterfaceRow<ClassFactory> kInterfaces[2];

    STDMETHODIMP CreateInstance(IUnknown* outer, REFIID riid, void** ppv) override;
    STDMETHODIMP LockServer(BOOL lock) override;
};
