#pragma once
#include "base/ComObject.h"

// Makes the single root folder for the folder class.
class ClassFactory : public ComObject<ClassFactory, kCountBoth, IClassFactory> {
public:
    static const InterfaceRow<ClassFactory> kInterfaces[2];

    STDMETHODIMP CreateInstance(IUnknown* outer, REFIID riid, void** ppv) override;
    STDMETHODIMP LockServer(BOOL lock) override;
};
