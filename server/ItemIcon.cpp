#include "server/ItemIcon.h"

const InterfaceRow<ItemIcon> ItemIcon::kInterfaces[2] = {
    {&IID_IUnknown, FaceOf<ItemIcon, IExtractIconA>},
    {&IID_IExtractIconA, FaceOf<ItemIcon, IExtractIconA>},
};

HRESULT ItemIcon::Create(int iconIndex, void** ppv) {
    ItemIcon* icon = new (std::nothrow) ItemIcon(iconIndex);
    if (!icon) return E_OUTOFMEMORY;
    icon->AddRef();
    *ppv = static_cast<IExtractIconA*>(icon);
    return S_OK;
}

STDMETHODIMP ItemIcon::GetIconLocation(UINT, PSTR iconFile, UINT cchMax, int* index,
                                       UINT* outFlags) {
    if (!iconFile || !index || !outFlags || cchMax == 0) return E_INVALIDARG;
    GetModuleFileNameA(theModule.instance, iconFile, cchMax);
    *index = iconIndex_;
    *outFlags = 0;
    return S_OK;
}

// The shell extracts the icon from the module file itself.
STDMETHODIMP ItemIcon::Extract(PCSTR, UINT, HICON*, HICON*, UINT) { return S_FALSE; }
