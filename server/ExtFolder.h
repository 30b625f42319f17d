#pragma once
#include <windows.h>
#include <shlobj.h>

class IdListHolder;

// IShellFolder with the two operations the module's own views ask of the root
// and source folders.
struct IExtFolder : public IShellFolder {
    // The folder's own list holder; the caller must not free it.
    virtual IdListHolder* STDMETHODCALLTYPE GetOwnIdList() = 0;
    virtual BYTE STDMETHODCALLTYPE IsReady() = 0;
};

