#include "support/BrowserHost.h"

#include <commctrl.h>

#include <utility>

#include "support/MenuWatcher.h"

BrowserHost::BrowserHost() {
    INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_BAR_CLASSES | ICC_LISTVIEW_CLASSES};
    InitCommonControlsEx(&controls);
    HINSTANCE instance = GetModuleHandleA(nullptr);
    const char kHostClass[] = "OrvexTestBrowser";
    WNDCLASSA cls = {0, HostProc, 0, 0, instance, nullptr, LoadCursor(nullptr, IDC_ARROW), HBRUSH(COLOR_WINDOW + 1),
                     nullptr, kHostClass};
    RegisterClassA(&cls);
    window_ = CreateWindowExA(0, kHostClass, "Test browser", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 640, 480, nullptr,
                              nullptr, instance, nullptr);
    SetWindowLongPtrA(window_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    toolbar_ = CreateWindowExA(0, TOOLBARCLASSNAMEA, "", WS_CHILD | WS_VISIBLE | TBSTYLE_TOOLTIPS | TBSTYLE_FLAT,
                               0, 0, 0, 0, window_, nullptr, instance, nullptr);
    SendMessageA(toolbar_, TB_BUTTONSTRUCTSIZE, sizeof(TBBUTTON), 0);
    status_ = CreateWindowExA(0, STATUSCLASSNAMEA, "", WS_CHILD | WS_VISIBLE, 0, 0, 0, 0, window_, nullptr,
                              instance, nullptr);
    SetForegroundWindow(window_);
}

BrowserHost::~BrowserHost() {
    Close();
    SetWindowLongPtrA(window_, GWLP_USERDATA, 0);
    DestroyWindow(window_);
}

HRESULT BrowserHost::Open(IShellView* view) {
    (view_ = view)->AddRef();
    FOLDERSETTINGS settings = {FVM_ICON, 0};
    RECT area = {};
    HRESULT result = view_->CreateViewWindow(nullptr, &settings, this, &area, &viewWindow_);
    Layout();
    return result;
}

void BrowserHost::Close() {
    if (!view_) return;
    SetMenu(window_, nullptr);  // the view destroys the menu it merged
    view_->DestroyViewWindow();
    std::exchange(view_, nullptr)->Release(), viewWindow_ = nullptr;
}

// The view fills the client area between the toolbar and the status bar.
void BrowserHost::Layout() {
    SendMessageA(toolbar_, TB_AUTOSIZE, 0, 0);
    SendMessageA(status_, WM_SIZE, 0, 0);
    RECT client, bar, line;
    GetClientRect(window_, &client);
    GetWindowRect(toolbar_, &bar);
    GetWindowRect(status_, &line);
    int top = bar.bottom - bar.top, bottom = client.bottom - (line.bottom - line.top);
    if (viewWindow_) MoveWindow(viewWindow_, 0, top, client.right, bottom - top, TRUE);
}

LRESULT CALLBACK BrowserHost::HostProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* host = reinterpret_cast<BrowserHost*>(GetWindowLongPtrA(window, GWLP_USERDATA));
    if (host && host->viewWindow_) {
        if (message == WM_SIZE) host->Layout();
        // Menu and toolbar commands in the view's range (FCIDM_SHVIEWFIRST is 0), and tool tips, belong to the view.
        UINT notice = message == WM_NOTIFY ? reinterpret_cast<NMHDR*>(lParam)->code : 0;
        if ((message == WM_COMMAND && LOWORD(wParam) <= FCIDM_SHVIEWLAST) || notice == TTN_NEEDTEXTA ||
            notice == TTN_NEEDTEXTW)
            return SendMessageA(host->viewWindow_, message, wParam, lParam);
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

std::string BrowserHost::StatusText(int part) const {
    char text[512] = {};
    if (LOWORD(SendMessageA(status_, SB_GETTEXTLENGTHA, WPARAM(part), 0)) < sizeof text)
        SendMessageA(status_, SB_GETTEXTA, WPARAM(part), reinterpret_cast<LPARAM>(text));
    return text;
}

void BrowserHost::Pump(DWORD ms) {
    DWORD start = GetTickCount();
    do {
        MSG msg;
        // A queue that never runs dry (a camera announcing all the while) still lets the caller go on.
        while (GetTickCount() - start < ms + 500 && PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            bool key = msg.message >= WM_KEYFIRST && msg.message <= WM_KEYLAST;
            if (key && view_ && view_->TranslateAccelerator(&msg) == S_OK) continue;
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
        Sleep(10);
    } while (GetTickCount() - start < ms);
}

void BrowserHost::PressKey(WORD key, bool control) {
    SetForegroundWindow(window_);
    SendKey(key, control);
    Pump(200);
}

STDMETHODIMP BrowserHost::QueryInterface(REFIID riid, void** ppv) {
    bool ours =
        IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IOleWindow) || IsEqualIID(riid, IID_IShellBrowser);
    *ppv = ours ? static_cast<IShellBrowser*>(this) : nullptr;
    return ours ? S_OK : E_NOINTERFACE;
}

STDMETHODIMP BrowserHost::GetWindow(HWND* window) {
    *window = window_;
    return S_OK;
}

STDMETHODIMP BrowserHost::InsertMenusSB(HMENU shared, LPOLEMENUGROUPWIDTHS widths) {
    for (const char* name : {"&File", "&Edit", "&View", "&Help"}) {
        HMENU popup = CreatePopupMenu();
        AppendMenuA(popup, MF_STRING, 40000, "Browser item");
        AppendMenuA(popup, MF_STRING, 40001, "Second browser item");
        AppendMenuA(shared, MF_POPUP, reinterpret_cast<UINT_PTR>(popup), name);
    }
    if (widths) widths->width[0] = widths->width[2] = widths->width[4] = 1;
    return S_OK;
}

STDMETHODIMP BrowserHost::SetMenuSB(HMENU shared, HOLEMENU, HWND) {
    menu = shared;
    SetMenu(window_, shared);
    return S_OK;
}

STDMETHODIMP BrowserHost::GetControlWindow(UINT id, HWND* window) {
    *window = id == FCW_TOOLBAR ? toolbar_ : id == FCW_STATUS ? status_ : nullptr;
    return *window ? S_OK : E_NOTIMPL;
}

STDMETHODIMP BrowserHost::SendControlMsg(UINT id, UINT message, WPARAM wParam, LPARAM lParam,
                                         LRESULT* result) {
    HWND control = nullptr;
    if (FAILED(GetControlWindow(id, &control))) return E_NOTIMPL;
    LRESULT answer = SendMessageA(control, message, wParam, lParam);
    if (result) *result = answer;
    return S_OK;
}

STDMETHODIMP BrowserHost::QueryActiveShellView(IShellView** view) {
    *view = view_;
    if (view_) view_->AddRef();
    return view_ ? S_OK : E_FAIL;
}

STDMETHODIMP BrowserHost::SetToolbarItems(LPTBBUTTONSB buttons, UINT count, UINT) {
    while (SendMessageA(toolbar_, TB_DELETEBUTTON, 0, 0)) continue;
    SendMessageA(toolbar_, TB_ADDBUTTONSA, count, reinterpret_cast<LPARAM>(buttons));
    Layout();
    return S_OK;
}
