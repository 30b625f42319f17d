#include "base/ItemId.h"

#include <algorithm>
#include <cstring>

#include "base/ComObject.h"

namespace {

USHORT ReadSize(const void* at) {
    USHORT size;
    std::memcpy(&size, at, sizeof size);
    return size;
}

// Bytes of `list` up to the first item that ends it: the terminator, an item
// too small to hold its own size, or (for OwnOnly) an item the module could
// not have made. The copy ends with a terminator there.
int PrefixSize(LPCITEMIDLIST list, IdListHolder::Items items) {
    if (!list) return 0;
    const BYTE* at = reinterpret_cast<const BYTE*>(list);
    int size = 0;
    for (;;) {
        USHORT cb = ReadSize(at + size);
        if (cb < 3) break;
        if (items == IdListHolder::Items::OwnOnly &&
            !ItemId::NameOf(reinterpret_cast<LPCITEMIDLIST>(at + size)))
            break;
        if (size + cb > 0xFFFF) break;
        size += cb;
    }
    return size;
}

ComRef<IMalloc> TaskAllocator() {
    ComRef<IMalloc> allocator;
    if (FAILED(SHGetMalloc(allocator.Put()))) allocator.Reset();
    return allocator;
}

}  // namespace

namespace ItemId {

const char* NameOf(LPCITEMIDLIST item) {
    if (!item) return nullptr;
    USHORT cb = ReadSize(item);
    if (cb < 4 || cb > kMaxSize) return nullptr;
    const BYTE kind = reinterpret_cast<const BYTE*>(item)[2];
    if (kind != kFolder && kind != kPicture) return nullptr;
    const char* name = reinterpret_cast<const char*>(item) + 3;
    if (!std::memchr(name, 0, cb - 3)) return nullptr;
    return name;
}

bool IsPicture(LPCITEMIDLIST item) { return NameOf(item) && reinterpret_cast<const BYTE*>(item)[2] == kPicture; }

LPCITEMIDLIST Next(LPCITEMIDLIST item) {
    const BYTE* next = reinterpret_cast<const BYTE*>(item) + ReadSize(item);
    return ReadSize(next) == 0 ? nullptr : reinterpret_cast<LPCITEMIDLIST>(next);
}

HRESULT NameOffset(LPCITEMIDLIST list, bool second, STRRET* name) {
    if (!name) return E_POINTER;
    if (!NameOf(list)) return E_INVALIDARG;
    UINT offset = 3;
    if (second) {
        if (LPCITEMIDLIST next = Next(list)) {
            if (!NameOf(next)) return E_INVALIDARG;
            offset = ReadSize(list) + 3;
        }
    }
    name->uType = STRRET_OFFSET;
    name->uOffset = offset;
    return S_OK;
}

}  // namespace ItemId

HRESULT DeliverOneItem(LPITEMIDLIST item, ULONG celt, ULONG* pceltFetched) {
    if (!item) return E_OUTOFMEMORY;
    if (pceltFetched) *pceltFetched = 1;
    return celt <= 1 ? S_OK : E_NOTIMPL;
}

LPITEMIDLIST MakeItemIdList(const char* name, ItemId::Kind kind) {
    ComRef<IMalloc> allocator = TaskAllocator();
    if (!allocator || !name) return nullptr;
    size_t length = strnlen(name, ItemId::kMaxNameLength + 1);
    if (length > static_cast<size_t>(ItemId::kMaxNameLength)) return nullptr;

    BYTE* block = static_cast<BYTE*>(allocator->Alloc(length + 6));
    if (!block) return nullptr;
    USHORT cb = static_cast<USHORT>(length + 4);
    std::memcpy(block, &cb, 2);
    block[2] = kind;
    std::memcpy(block + 3, name, length + 1);
    std::memset(block + 3 + length + 1, 0, 2);
    return reinterpret_cast<LPITEMIDLIST>(block);
}

IdListHolder::IdListHolder(LPCITEMIDLIST list, Items items) {
    int prefix = PrefixSize(list, items);
    if (list) Adopt(list, prefix);
    FillFlat();
}

IdListHolder::IdListHolder(const IdListHolder& other) {
    if (other.list_) Adopt(other.list_, Size(other.list_) - 2);
    FillFlat();
}

IdListHolder::IdListHolder(const char* name, ItemId::Kind kind) {
    list_ = MakeItemIdList(name, kind);
    allocator_ = TaskAllocator().Detach();
    FillFlat();
}

IdListHolder::IdListHolder() {
    Adopt(nullptr, 0);
    FillFlat();
}

IdListHolder::~IdListHolder() {
    if (allocator_) {
        if (list_) allocator_->Free(list_);
        allocator_->Release();
    }
}

// Copies `size` bytes of items from `source` and adds the terminator.
void IdListHolder::Adopt(LPCITEMIDLIST source, int size) {
    allocator_ = TaskAllocator().Detach();
    if (!allocator_) return;
    BYTE* block = static_cast<BYTE*>(allocator_->Alloc(size + 2));
    if (!block) return;
    if (size > 0) std::memcpy(block, source, size);
    std::memset(block + size, 0, 2);
    list_ = reinterpret_cast<LPITEMIDLIST>(block);
}

void IdListHolder::FillFlat() {
    int size = Size(list_);
    if (size > kFlatCapacity) {
        flatLength_ = -1;
        return;
    }
    if (size > 0) std::memcpy(flat_, list_, size);
    flatLength_ = size;
}

int IdListHolder::Size(LPCITEMIDLIST list) {
    if (!list) return 0;
    return PrefixSize(list, Items::Any) + 2;
}

int IdListHolder::CopyTo(void* buffer, int capacity) const {
    int size = Size(list_);
    if (size > capacity) return -1;
    if (size > 0) std::memcpy(buffer, list_, size);
    return size;
}

// Bytes past a list's end read as zero, as in the zero-filled flat copy; lists
// too large for the flat copy are compared on the owned copies the same way.
BYTE IdListHolder::ByteAt(int index) const {
    if (flatLength_ >= 0) return index < flatLength_ ? flat_[index] : 0;
    return index < Size(list_) ? reinterpret_cast<const BYTE*>(list_)[index] : 0;
}

int IdListHolder::Compare(const IdListHolder& other) const {
    int length = std::max(Size(list_), Size(other.list_));
    for (int i = 0; i < length; ++i) {
        BYTE mine = ByteAt(i), theirs = other.ByteAt(i);
        if (mine != theirs) return mine < theirs ? -1 : 1;
    }
    return 0;
}

int IdListHolder::Compare(LPCITEMIDLIST first, LPCITEMIDLIST second) {
    IdListHolder a(first, Items::OwnOnly), b(second, Items::OwnOnly);
    return a.Compare(b);
}
