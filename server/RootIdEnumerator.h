#pragma once
#include <shlobj.h>

#include "base/ComObject.h"

class RootFolder;

// Lists the root's three children, whatever the flags.
class RootIdEnumerator : public ComObject<RootIdEnumerator, kCountLife, IEnumIDList> {
public:
    static const InterfaceRow<RootIdEnumerator> kInterfaces[2];

    RootIdEnumerator(RootFolder* root, SHCONTF flags);
    ~RootIdEnumerator() override;

    STDMETHODIMP Next(ULONG celt, PITEMID_CHILD* rgelt, ULONG* pceltFetched) override;
    STDMETHODIMP Skip(ULONG celt) override;
    STDMETHODIMP Reset() override;
    STDMETHODIMP Clone(IEnumIDList** ppenum) override;

private:
    RootFolder* root_;
    ULONG position_ = 0;
    SHCONTF flags_;
};
