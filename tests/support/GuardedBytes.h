#pragma once
// Bytes placed so that their last byte is the last readable byte before a
// guard page: reading one byte past them crashes the test.
#include <windows.h>
#include <shlobj.h>

#include <cstring>
#include <vector>

class GuardedBytes {
public:
    explicit GuardedBytes(const std::vector<BYTE>& bytes) {
        SYSTEM_INFO info;
        GetSystemInfo(&info);
        size_t page = info.dwPageSize;
        size_t pages = (bytes.size() + page - 1) / page + 1;
        base_ = static_cast<BYTE*>(VirtualAlloc(nullptr, pages * page, MEM_COMMIT, PAGE_READWRITE));
        DWORD old;
        VirtualProtect(base_ + (pages - 1) * page, page, PAGE_NOACCESS, &old);
        data_ = base_ + (pages - 1) * page - bytes.size();
        memcpy(data_, bytes.data(), bytes.size());
    }
    ~GuardedBytes() { VirtualFree(base_, 0, MEM_RELEASE); }
    GuardedBytes(const GuardedBytes&) = delete;
    GuardedBytes& operator=(const GuardedBytes&) = delete;
    LPCITEMIDLIST List() const { return reinterpret_cast<LPCITEMIDLIST>(data_); }

private:
    BYTE* base_ = nullptr;
    BYTE* data_ = nullptr;
};
