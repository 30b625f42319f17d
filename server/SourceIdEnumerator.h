#pragma once
#include <shlobj.h>

#include "base/ComObject.h"

class SourceFolder;

// Lists the folders that a source folder's camera service names.
class SourceIdEnumerator : public ComObject<SourceIdEnumerator, kCountLife, IEnumIDList> {
public:
    static const InterfaceRow<SourceIdEnumerator> kInterfaces[2];

    SourceIdEnumerator(SourceFolder* folder, SHCONTF flags);
    ~SourceIdEnumerator() override;

    STDMETHODIMP Next(ULONG celt, PITEMID_CHILD* rgelt, ULONG* pceltFetched) override;
    STDMETHODIMP Skip(ULONG celt) override;
    STDMETHODIMP Reset() override;
    STDMETHODIMP Clone(IEnumIDList** ppenum) override;

private:
    SourceFolder* folder_;
    unsigned position_ = 0;
    SHCONTF flags_;
};
