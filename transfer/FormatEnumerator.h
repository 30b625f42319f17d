#pragma once
#include <objidl.h>

#include "base/ComObject.h"

// The formats a camera view's data object offers: the private block, the file
// list, the ID list array and, for a single image, the bitmap.
class FormatEnumerator : public ComObject<FormatEnumerator, kCountBoth, IEnumFORMATETC> {
public:
    static const InterfaceRow<FormatEnumerator> kInterfaces[2];

    explicit FormatEnumerator(bool severalItems) : count_(severalItems ? 3 : 4) {}

    STDMETHODIMP Next(ULONG celt, FORMATETC* rgelt, ULONG* pceltFetched) override;
    STDMETHODIMP Skip(ULONG celt) override;
    STDMETHODIMP Reset() override;
    STDMETHODIMP Clone(IEnumFORMATETC** ppenum) override;

    // The clipboard format at `index` of the full list (registering names as needed).
    static CLIPFORMAT FormatAt(unsigned index);

private:
    unsigned position_ = 0;
    unsigned count_;
};
