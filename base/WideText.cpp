#include "base/WideText.h"

#include <objbase.h>

#include <cstring>

std::wstring Widen(const std::string& utf8) {
    if (utf8.empty()) return {};
    int length = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), int(utf8.size()), nullptr, 0);
    std::wstring wide(size_t(length > 0 ? length : 0), L'\0');
    if (length > 0) MultiByteToWideChar(CP_UTF8, 0, utf8.data(), int(utf8.size()), &wide[0], length);
    return wide;
}

std::string Narrow(const wchar_t* wide) {
    if (!wide || !*wide) return {};
    int length = WideCharToMultiByte(CP_UTF8, 0, wide, -1, nullptr, 0, nullptr, nullptr);
    if (length <= 1) return {};
    std::string utf8(size_t(length), '\0');
    WideCharToMultiByte(CP_UTF8, 0, wide, -1, &utf8[0], length, nullptr, nullptr);
    utf8.resize(size_t(length - 1));
    return utf8;
}

HRESULT PutWideName(const std::string& utf8, STRRET* name) { return PutWideName(Widen(utf8), name); }

HRESULT PutWideName(const std::wstring& wide, STRRET* name) {
    if (!name) return E_POINTER;
    size_t bytes = (wide.size() + 1) * sizeof(wchar_t);
    auto* copy = static_cast<wchar_t*>(CoTaskMemAlloc(bytes));
    if (!copy) return E_OUTOFMEMORY;
    std::memcpy(copy, wide.c_str(), bytes);
    name->uType = STRRET_WSTR;
    name->pOleStr = copy;
    return S_OK;
}
