#include "server/FolderNames.h"

#include <cstring>

#include "base/ComObject.h"
#include "base/ItemId.h"
#include "base/WideText.h"

bool SameName(const std::wstring& a, const std::wstring& b) {
    return CompareStringOrdinal(a.c_str(), int(a.size()), b.c_str(), int(b.size()), TRUE) == CSTR_EQUAL;
}

HRESULT ParseChildPath(IShellFolder* folder, LPCWSTR path, const ChildFinder& findChild, ULONG* eaten,
                       PIDLIST_RELATIVE* ppidl, ULONG* attributes) {
    if (!ppidl) return E_POINTER;
    *ppidl = nullptr;
    if (!path) return E_INVALIDARG;
    std::wstring text(path);
    size_t start = text.find_first_not_of(L'\\');
    if (start == std::wstring::npos) return E_INVALIDARG;
    size_t end = text.find(L'\\', start);
    std::wstring first = text.substr(start, end == std::wstring::npos ? std::wstring::npos : end - start);
    std::wstring rest = end == std::wstring::npos ? L"" : text.substr(end + 1);

    LPITEMIDLIST item = findChild(first);
    if (!item) return HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND);
    HRESULT hr = S_OK;
    if (rest.find_first_not_of(L'\\') == std::wstring::npos) {
        *ppidl = item;
        if (attributes && *attributes) {
            PCUITEMID_CHILD child = item;
            if (FAILED(folder->GetAttributesOf(1, &child, attributes))) *attributes = 0;
        }
    } else {
        ComRef<IShellFolder> childFolder;
        PIDLIST_RELATIVE below = nullptr;
        hr = folder->BindToObject(item, nullptr, IID_IShellFolder, childFolder.PutVoid());
        if (SUCCEEDED(hr)) hr = childFolder->ParseDisplayName(nullptr, nullptr, &rest[0], nullptr, &below, attributes);
        if (SUCCEEDED(hr)) {
            *ppidl = ILCombine(item, below);
            if (!*ppidl) hr = E_OUTOFMEMORY;
        }
        ILFree(below);
        ILFree(item);
    }
    if (SUCCEEDED(hr) && eaten) *eaten = ULONG(text.size());
    return hr;
}

bool ItemNames(PCUIDLIST_RELATIVE list, std::vector<std::string>& names) {
    names.clear();
    for (LPCITEMIDLIST item = list; item; item = ItemId::Next(item)) {
        const char* name = ItemId::NameOf(item);
        if (!name) return false;
        names.emplace_back(name);
    }
    return !names.empty();
}

HRESULT CompareItemLists(PCUIDLIST_RELATIVE first, PCUIDLIST_RELATIVE second) {
    return MAKE_HRESULT(SEVERITY_SUCCESS, 0, USHORT(short(IdListHolder::Compare(first, second))));
}

HRESULT ItemDisplayName(PCUIDLIST_RELATIVE list, SHGDNF flags, PCIDLIST_ABSOLUTE place, STRRET* name) {
    if (!name) return E_POINTER;
    std::vector<std::string> names;
    if (!ItemNames(list, names)) return E_INVALIDARG;
    if (!(flags & SHGDN_FORPARSING) || (flags & SHGDN_INFOLDER)) return PutWideName(names.back(), name);
    std::wstring path = ParsingPathOf(place);
    for (const std::string& item : names) path += L"\\" + Widen(item);
    return PutWideName(path, name);
}

// Made from the list itself: the shell's own GUID items ("::{...}") and the
// module's names. Asking the shell back would hand it a list it may not check.
std::wstring ParsingPathOf(PCIDLIST_ABSOLUTE absolute) {
    constexpr USHORT kGuidItemSize = 20;  // size, kind 0x1F, sort order, GUID
    std::wstring path;
    for (LPCITEMIDLIST item = absolute; item && item->mkid.cb; item = ILGetNext(item)) {
        const BYTE* bytes = reinterpret_cast<const BYTE*>(item);
        std::wstring part;
        if (item->mkid.cb == kGuidItemSize && bytes[2] == 0x1F) {
            GUID guid;
            wchar_t text[40] = {};
            std::memcpy(&guid, bytes + 4, sizeof guid);
            StringFromGUID2(guid, text, 40);
            part = std::wstring(L"::") + text;
        } else if (const char* name = ItemId::NameOf(item)) {
            part = Widen(name);
        } else {
            return {};
        }
        path += (path.empty() ? L"" : L"\\") + part;
    }
    return path;
}
