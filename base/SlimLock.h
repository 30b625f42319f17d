#pragma once
// Holders of a slim reader/writer lock: readers share it, a writer has it alone.
#include <windows.h>

template <void(WINAPI* Acquire)(PSRWLOCK), void(WINAPI* Release)(PSRWLOCK)>
class SlimHold {
public:
    explicit SlimHold(SRWLOCK& lock) : lock_(lock) { Acquire(&lock_); }
    ~SlimHold() { Release(&lock_); }
    SlimHold(const SlimHold&) = delete;
    SlimHold& operator=(const SlimHold&) = delete;

private:
    SRWLOCK& lock_;
};

using SharedHold = SlimHold<AcquireSRWLockShared, ReleaseSRWLockShared>;
using ExclusiveHold = SlimHold<AcquireSRWLockExclusive, ReleaseSRWLockExclusive>;
