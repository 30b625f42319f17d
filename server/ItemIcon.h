#pragma once
#include <shlobj.h>

#include "base/ComObject.h"

// Points the shell at one of the module's own group icons.
class ItemIcon : public ComObject<ItemIcon, kCountLife, IExtractIconA> {
public:
    static const InterfaceRow<ItemIcon> kInterfaces[2];

    explicit ItemIcon(int iconIndex) : iconIndex_(iconIndex) {}
    // Makes an icon object and returns it with one reference.
    static HRESULT Create(int iconIndex, void** ppv);

    STDMETHODIMP GetIconLocation(UINT flags, PSTR iconFile, UINT cchMax, int* index,
                                 UINT* outFlags) override;
    STDMETHODIMP Extract(PCSTR file, UINT index, HICON* large, HICON* small,
                         UINT iconSize) override;

private:
    int iconIndex_;
};
