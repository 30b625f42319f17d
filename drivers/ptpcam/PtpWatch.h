#pragma once
// The watch a view holds on a network camera's folder: new shots and pictures
// deleted on the camera, as the camera's events tell them.
#include "PtpCamera.h"

namespace ptpcam {

class PtpWatch final : public ICameraWatch {
public:
    explicit PtpWatch(PtpConnection* connection) : connection_(connection) {}

    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override;
    STDMETHODIMP_(ULONG) AddRef() override { return ++references_; }
    STDMETHODIMP_(ULONG) Release() override;
    HRESULT STDMETHODCALLTYPE Watch(HWND window, UINT message) override;
    HRESULT STDMETHODCALLTYPE NextChange(char* name, int size, int* added) override;

private:
    PtpConnection* connection_;
    std::atomic<ULONG> references_{1};
};

}  // namespace ptpcam
