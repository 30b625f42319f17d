#pragma once
#include <shlobj.h>

#include "base/ComObject.h"

// Points the shell at one of the module's own group icons.
class ItemIcon : public ComObject<ItemIcon, kCountLife, IExtractIconA, IExtractIconW> {
public:
    static const InterfaceRow<ItemIcon> kInterfaces[3];

    explicit ItemIcon(int iconIndex) : iconIndex_(iconIndex) {}
    // Makes an icon object and returns its `riid` face (either width of text).
    static HRESULT Create(int iconIndex, REFIID riid, void** ppv);

    STDMETHODIMP GetIconLocation(UINT flags, PSTR iconFile, UINT cchMax, int* index,
                                 UINT* outFlags) override;
    STDMETHODIMP Extract(PCSTR file, UINT index, HICON* large, HICON* small,
                         UINT iconSize) override;
    STDMETHODIMP GetIconLocation(UINT flags, PWSTR iconFile, UINT cchMax, int* index,
                                 UINT* outFlags) override;
    STDMETHODIMP Extract(PCWSTR file, UINT index, HICON* large, HICON* small,
                         UINT iconSize) override;

private:
    int iconIndex_;
};
