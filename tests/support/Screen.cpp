#include "support/Screen.h"

#include <wincodec.h>

namespace {

template <class T>
struct Released {
    T* ptr = nullptr;
    ~Released() { if (ptr) ptr->Release(); }
    T** operator&() { return &ptr; }
    T* operator->() { return ptr; }
};

}  // namespace

bool WritePng(const std::string& path, int width, int height, const BYTE* bgra) {
    Released<IWICImagingFactory> factory;
    if (FAILED(CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER, IID_IWICImagingFactory,
                                reinterpret_cast<void**>(&factory))))
        return false;
    Released<IWICStream> stream;
    Released<IWICBitmapEncoder> encoder;
    Released<IWICBitmapFrameEncode> frame;
    std::wstring wide(path.begin(), path.end());
    WICPixelFormatGUID format = GUID_WICPixelFormat32bppBGRA;
    UINT stride = static_cast<UINT>(width) * 4;
    return SUCCEEDED(factory->CreateStream(&stream)) &&
           SUCCEEDED(stream->InitializeFromFilename(wide.c_str(), GENERIC_WRITE)) &&
           SUCCEEDED(factory->CreateEncoder(GUID_ContainerFormatPng, nullptr, &encoder)) &&
           SUCCEEDED(encoder->Initialize(stream.ptr, WICBitmapEncoderNoCache)) &&
           SUCCEEDED(encoder->CreateNewFrame(&frame, nullptr)) && SUCCEEDED(frame->Initialize(nullptr)) &&
           SUCCEEDED(frame->SetSize(width, height)) && SUCCEEDED(frame->SetPixelFormat(&format)) &&
           SUCCEEDED(frame->WritePixels(height, stride, stride * height, const_cast<BYTE*>(bgra))) &&
           SUCCEEDED(frame->Commit()) && SUCCEEDED(encoder->Commit());
}

bool WaitUntil(const std::function<bool()>& done, DWORD timeoutMs) {
    DWORD start = GetTickCount();
    while (!done()) {
        if (GetTickCount() - start > timeoutMs) return false;
        MSG msg;
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) TranslateMessage(&msg), DispatchMessageA(&msg);
        Sleep(20);
    }
    return true;
}

namespace {

using WindowTest = std::function<bool(HWND)>;

// The windows EnumWindows (parent null) or EnumChildWindows gives that pass `test`.
std::vector<HWND> Windows(HWND parent, const WindowTest& test) {
    struct Search { const WindowTest* test; std::vector<HWND> found; } search = {&test, {}};
    WNDENUMPROC collect = [](HWND window, LPARAM param) -> BOOL {
        auto* s = reinterpret_cast<Search*>(param);
        if ((*s->test)(window)) s->found.push_back(window);
        return TRUE;
    };
    parent ? EnumChildWindows(parent, collect, LPARAM(&search)) : EnumWindows(collect, LPARAM(&search));
    return search.found;
}

bool OfClass(HWND window, const char* className) {
    char name[64] = {};
    GetClassNameA(window, name, sizeof name);
    return lstrcmpiA(name, className) == 0;
}

DWORD ProcessOf(HWND window) {
    DWORD pid = 0;
    GetWindowThreadProcessId(window, &pid);
    return pid;
}

}  // namespace

std::vector<HWND> OwnWindowsOfClass(const char* className) {
    return Windows(nullptr, [&](HWND window) {
        return ProcessOf(window) == GetCurrentProcessId() && IsWindowVisible(window) && OfClass(window, className);
    });
}

HWND FindProcessWindow(DWORD pid, const char* className) {
    auto found = Windows(nullptr, [&](HWND window) {
        return ProcessOf(window) == pid && IsWindowVisible(window) && (!className || OfClass(window, className));
    });
    return found.empty() ? nullptr : found.front();
}

HWND FindDescendant(HWND parent, const char* className) {
    auto found = Windows(parent, [&](HWND window) { return OfClass(window, className); });
    return found.empty() ? nullptr : found.front();
}

int CountChildren(HWND parent, const char* className) {
    return int(Windows(parent, [&](HWND window) { return OfClass(window, className); }).size());
}
