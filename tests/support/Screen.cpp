#include "support/Screen.h"

#include <wincodec.h>
#include <wrl/client.h>

bool WritePng(const std::string& path, int width, int height, const BYTE* bgra) {
    Microsoft::WRL::ComPtr<IWICImagingFactory> factory;
    Microsoft::WRL::ComPtr<IWICStream> stream;
    Microsoft::WRL::ComPtr<IWICBitmapEncoder> encoder;
    Microsoft::WRL::ComPtr<IWICBitmapFrameEncode> frame;
    std::wstring wide(path.begin(), path.end());
    WICPixelFormatGUID format = GUID_WICPixelFormat32bppBGRA;
    UINT stride = static_cast<UINT>(width) * 4;
    return SUCCEEDED(CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER, IID_IWICImagingFactory,
                                      reinterpret_cast<void**>(factory.GetAddressOf()))) &&
           SUCCEEDED(factory->CreateStream(&stream)) &&
           SUCCEEDED(stream->InitializeFromFilename(wide.c_str(), GENERIC_WRITE)) &&
           SUCCEEDED(factory->CreateEncoder(GUID_ContainerFormatPng, nullptr, &encoder)) &&
           SUCCEEDED(encoder->Initialize(stream.Get(), WICBitmapEncoderNoCache)) &&
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

struct Search { const WindowTest* test; std::vector<HWND> found; };

// A named CALLBACK, not a lambda: on i686 a lambda converts only to a cdecl pointer.
BOOL CALLBACK Collect(HWND window, LPARAM param) {
    auto* s = reinterpret_cast<Search*>(param);
    if ((*s->test)(window)) s->found.push_back(window);
    return TRUE;
}

// The windows EnumWindows (parent null) or EnumChildWindows gives that pass `test`.
std::vector<HWND> WindowsWhere(HWND parent, const WindowTest& test) {
    Search search = {&test, {}};
    parent ? EnumChildWindows(parent, Collect, LPARAM(&search)) : EnumWindows(Collect, LPARAM(&search));
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
    return WindowsWhere(nullptr, [&](HWND window) {
        return ProcessOf(window) == GetCurrentProcessId() && IsWindowVisible(window) && OfClass(window, className);
    });
}

HWND FindProcessWindow(DWORD pid, const char* className) {
    auto found = WindowsWhere(nullptr, [&](HWND window) {
        return ProcessOf(window) == pid && IsWindowVisible(window) && (!className || OfClass(window, className));
    });
    return found.empty() ? nullptr : found.front();
}

HWND FindDescendant(HWND parent, const char* className) {
    auto found = Descendants(parent, className);
    return found.empty() ? nullptr : found.front();
}

std::vector<HWND> Descendants(HWND parent, const char* className) {
    return WindowsWhere(parent, [&](HWND window) { return OfClass(window, className); });
}

int CountChildren(HWND parent, const char* className) { return int(Descendants(parent, className).size()); }
