#include "server/ItemIcon.h"

const InterfaceRow<ItemIcon> ItemIcon::kInterfaces[3] = {
    {&IID_IUnknown, FaceOf<ItemIcon, IExtractIconA>},
    {&IID_IExtractIconA, FaceOf<ItemIcon, IExtractIconA>},
    {&IID_IExtractIconW, FaceOf<ItemIcon, IExtractIconW>},
};

HRESULT ItemIcon::Create(int iconIndex, REFIID riid, void** ppv) {
    return HandOut(new (std::nothrow) ItemIcon(iconIndex), riid, ppv);
}

STDMETHODIMP ItemIcon::GetIconLocation(UINT, PSTR iconFile, UINT cchMax, int* index,
                                       UINT* outFlags) {
    if (!iconFile || !index || !outFlags || cchMax == 0) return E_INVALIDARG;
    // The A form of the interface answers in the ANSI code page.
    wchar_t path[MAX_PATH] = {};
    GetModuleFileNameW(theModule.instance, path, MAX_PATH);
    if (!WideCharToMultiByte(CP_ACP, 0, path, -1, iconFile, int(cchMax), nullptr, nullptr)) return E_FAIL;
    *index = iconIndex_;
    *outFlags = 0;
    return S_OK;
}

// The shell extracts the icon from the module file itself.
STDMETHODIMP ItemIcon::Extract(PCSTR, UINT, HICON*, HICON*, UINT) { return S_FALSE; }

STDMETHODIMP ItemIcon::GetIconLocation(UINT, PWSTR iconFile, UINT cchMax, int* index, UINT* outFlags) {
    if (!iconFile || !index || !outFlags || cchMax == 0) return E_INVALIDARG;
    GetModuleFileNameW(theModule.instance, iconFile, cchMax);
    *index = iconIndex_;
    *outFlags = 0;
    return S_OK;
}

STDMETHODIMP ItemIcon::Extract(PCWSTR, UINT, HICON*, HICON*, UINT) { return S_FALSE; }
