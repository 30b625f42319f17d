#pragma once
#include <windows.h>
#include <shlobj.h>

#include <string>

// The module's item identifier: a 16-bit size, a kind byte, then a UTF-8 name
// and its zero byte. Lists the module makes hold one item and the 16-bit terminator.
namespace ItemId {

// Wine's shell compares and checks lists by their kind byte: folders carry one
// it reads the name after (a drive's), pictures one it never reads.
enum Kind : BYTE { kPicture = 0x00, kFolder = 0x29 };

constexpr int kMaxNameLength = 255;
constexpr USHORT kMaxSize = 2 + 1 + kMaxNameLength + 1;

// The name of `item`, or null when the item is not one the module could have
// made (size outside 4..kMaxSize, an unknown kind, or no zero byte inside it).
// Reads nothing past the item's size.
const char* NameOf(LPCITEMIDLIST item);
// Whether `item` is one of the module's pictures.
bool IsPicture(LPCITEMIDLIST item);
// The item after `item`, or null when `item` is the last one. `item` must be well formed.
LPCITEMIDLIST Next(LPCITEMIDLIST item);

// Points `name` (STRRET_OFFSET) at the first item's name, or at the second
// item's when `second` is set and the list has one. E_INVALIDARG for a list
// whose first two items are not ones the module makes.
HRESULT NameOffset(LPCITEMIDLIST list, bool second, STRRET* name);

}  // namespace ItemId

// How both ID list enumerators end a Next that built `item`: E_OUTOFMEMORY
// without it, else one item fetched and S_OK, or E_NOTIMPL when `celt` asked
// for more than one.
HRESULT DeliverOneItem(LPITEMIDLIST item, ULONG celt, ULONG* pceltFetched);

// A one-item list for `name` from the shell's task allocator; null on failure.
LPITEMIDLIST MakeItemIdList(const char* name, ItemId::Kind kind = ItemId::kFolder);

// Owns a private copy of one ID list and gives the module's CompareIDs order.
class IdListHolder {
public:
    // Which items a copy keeps: anything up to the terminator, or only the
    // leading items the module could have made (the rest is treated as absent).
    enum class Items { Any, OwnOnly };

    explicit IdListHolder(LPCITEMIDLIST list, Items items = Items::Any);
    IdListHolder(const IdListHolder& other);
    explicit IdListHolder(const char* name, ItemId::Kind kind = ItemId::kFolder);
    IdListHolder();
    virtual ~IdListHolder();
    IdListHolder& operator=(const IdListHolder&) = delete;

    // 0 for null; else the sum of the items' sizes plus 2 for the terminator.
    static int Size(LPCITEMIDLIST list);
    int Size() const { return Size(list_); }
    // Copies the whole list when it fits: its size, else -1 and nothing copied.
    int CopyTo(void* buffer, int capacity) const;
    // -1, 0 or +1 by the bytes of the two lists (sizes and terminators included).
    int Compare(const IdListHolder& other) const;
    static int Compare(LPCITEMIDLIST first, LPCITEMIDLIST second);

    LPCITEMIDLIST List() const { return list_; }
    int FlatLength() const { return flatLength_; }

private:
    static constexpr int kFlatCapacity = 300;

    void Adopt(LPCITEMIDLIST source, int size);
    void FillFlat();
    BYTE ByteAt(int index) const;

    LPITEMIDLIST list_ = nullptr;
    IMalloc* allocator_ = nullptr;
    BYTE flat_[kFlatCapacity] = {};
    int flatLength_ = 0;
};
