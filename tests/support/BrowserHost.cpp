#include "support/BrowserHost.h"

#include <commctrl.h>

namespace {

const char kHostClass[] = "OrvexTestBrowser";

void RegisterHostClass() {
    WNDCLASSA cls = {};
    cls.lpfnWndProc = DefWindowProcA;
    cls.hInstance = GetModuleHandleA(nullptr);
    cls.lpszClassName = kHostClass;
    cls.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    RegisterClassA(&cls);
}

}  // namespace

BrowserHost::BrowserHost() {
    RegisterHostClass();
    window_ = CreateWindowExA(0, kHostClass, "Test browser", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0,
                              0, 640, 480, nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
}

BrowserHost::~BrowserHost() {
    Close();
    if (menu) DestroyMenu(menu);
    DestroyWindow(window_);
}

HRESULT BrowserHost::Open(IShellView* view) {
    view_ = view;
    view_->AddRef();
    FOLDERSETTINGS settings = {FVM_ICON, 0};
    RECT area;
    GetClientRect(window_, &area);
    return view_->CreateViewWindow(nullptr, &settings, this, &area, &viewWindow_);
}

void BrowserHost::Close() {
    if (!view_) return;
    view_->DestroyViewWindow();
    view_->Release();
    view_ = nullptr;
}

STDMETHODIMP BrowserHost::QueryInterface(REFIID riid, void** ppv) {
    if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IOleWindow) ||
        IsEqualIID(riid, IID_IShellBrowser)) {
        *ppv = static_cast<IShellBrowser*>(this);
        return S_OK;
    }
    *ppv = nullptr;
    return E_NOINTERFACE;
}

STDMETHODIMP BrowserHost::GetWindow(HWND* window) {
    *window = window_;
    return S_OK;
}

STDMETHODIMP BrowserHost::InsertMenusSB(HMENU shared, LPOLEMENUGROUPWIDTHS widths) {
    for (const char* name : {"&File", "&Edit", "&View", "&Help"}) {
        HMENU popup = CreatePopupMenu();
        AppendMenuA(popup, MF_STRING, 40000, "Browser item");
        AppendMenuA(shared, MF_POPUP, reinterpret_cast<UINT_PTR>(popup), name);
    }
    if (widths) widths->width[0] = widths->width[2] = widths->width[4] = 1;
    return S_OK;
}

STDMETHODIMP BrowserHost::SetMenuSB(HMENU shared, HOLEMENU, HWND) {
    menu = shared;
    return S_OK;
}

STDMETHODIMP BrowserHost::BrowseObject(PCUIDLIST_RELATIVE pidl, UINT flags) {
    const char* name = pidl ? reinterpret_cast<const char*>(pidl) + 2 : "";
    browsedTo.push_back(name);
    lastBrowseFlags = flags;
    return S_OK;
}

STDMETHODIMP BrowserHost::SendControlMsg(UINT id, UINT message, WPARAM wParam, LPARAM lParam,
                                         LRESULT* result) {
    if (result) *result = 0;
    if (id == FCW_STATUS && message == SB_SETTEXTA && wParam < 3)
        statusTexts[wParam] = reinterpret_cast<const char*>(lParam);
    if (id == FCW_STATUS && message == SB_SETPARTS)
        statusParts.assign(reinterpret_cast<int*>(lParam),
                           reinterpret_cast<int*>(lParam) + wParam);
    if (id == FCW_TOOLBAR && message == TB_ENABLEBUTTON) buttonEnabled[int(wParam)] = LOWORD(lParam);
    if (id == FCW_TOOLBAR && message == TB_CHECKBUTTON) buttonChecked[int(wParam)] = LOWORD(lParam);
    if (id == FCW_TOOLBAR && message == TB_ADDBITMAP && result) *result = 0;
    return S_OK;
}

STDMETHODIMP BrowserHost::QueryActiveShellView(IShellView** view) {
    *view = view_;
    if (view_) view_->AddRef();
    return view_ ? S_OK : E_FAIL;
}

STDMETHODIMP BrowserHost::OnViewWindowActive(IShellView*) {
    ++activations;
    return S_OK;
}

STDMETHODIMP BrowserHost::SetToolbarItems(LPTBBUTTONSB buttons, UINT count, UINT) {
    toolbarButtons.assign(buttons, buttons + count);
    return S_OK;
}
