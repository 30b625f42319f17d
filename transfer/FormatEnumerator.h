#pragma once
#include <objidl.h>

#include <utility>
#include <vector>

#include "base/ComObject.h"

// The formats a data object offers, listed in the order given.
class FormatEnumerator : public ComObject<FormatEnumerator, kCountBoth, IEnumFORMATETC> {
public:
    static const InterfaceRow<FormatEnumerator> kInterfaces[2];

    explicit FormatEnumerator(std::vector<FORMATETC> formats) : formats_(std::move(formats)) {}

    STDMETHODIMP Next(ULONG celt, FORMATETC* rgelt, ULONG* pceltFetched) override;
    STDMETHODIMP Skip(ULONG celt) override;
    STDMETHODIMP Reset() override;
    STDMETHODIMP Clone(IEnumFORMATETC** ppenum) override;

private:
    std::vector<FORMATETC> formats_;  // none with a target device
    size_t position_ = 0;
};
