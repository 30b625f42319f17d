#include "PtpWatch.h"

namespace ptpcam {

STDMETHODIMP PtpWatch::QueryInterface(REFIID riid, void** ppv) {
    if (!ppv) return E_POINTER;
    *ppv = IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_ICameraWatch) ? this : nullptr;
    if (!*ppv) return E_NOINTERFACE;
    AddRef();
    return S_OK;
}

// The last reference stops the posts: a forgotten Watch(nullptr) leaves no message for a window gone.
STDMETHODIMP_(ULONG) PtpWatch::Release() {
    ULONG left = --references_;
    if (left == 0) {
        connection_->Watch(nullptr, 0);
        delete this;
    }
    return left;
}

HRESULT STDMETHODCALLTYPE PtpWatch::Watch(HWND window, UINT message) {
    connection_->Watch(window, message);
    return S_OK;
}

HRESULT STDMETHODCALLTYPE PtpWatch::NextChange(char* name, int size, int* added) {
    if (!name || size <= 0 || !added) return E_POINTER;
    std::string next;
    bool came = false;
    if (!connection_->NextChange(next, came)) return S_FALSE;
    driverfiles::CopyOut(next, name, size);
    *added = came ? 1 : 0;
    return S_OK;
}

}  // namespace ptpcam

// "host" or "host:port" (15740 when none): where the camera listens on the network.
extern "C" CameraService* ExtCreateAccountService(const char* argument) {
    try {
        std::string address = argument ? argument : "";
        address.erase(0, address.find_first_not_of(" \t"));
        address.erase(address.find_last_not_of(" \t") + 1);
        if (address.empty()) return nullptr;
        return new ptpcam::PtpService(ptpcam::Camera::Shared(address));
    } catch (...) {
        return nullptr;
    }
}

extern "C" HRESULT ExtQueryConnectionExtension(CameraConnection* connection, const GUID* iid, void** out) {
    if (!out) return E_POINTER;
    *out = nullptr;
    if (!connection || !iid || !IsEqualGUID(*iid, IID_ICameraWatch)) return E_NOINTERFACE;
    *out = static_cast<ICameraWatch*>(new (std::nothrow) ptpcam::PtpWatch(static_cast<ptpcam::PtpConnection*>(connection)));
    return *out ? S_OK : E_OUTOFMEMORY;
}
