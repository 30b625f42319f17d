#pragma once
#include <windows.h>
#include <commctrl.h>
#include <shlobj.h>

#include <string>
#include <vector>

// A file browser of our own: a top-level window with a real menu bar, toolbar and status bar that hosts one shell
// view. It forwards menu and toolbar commands and tooltip requests to the view the way a browser does, and lets tests
// read back what the view merged, enabled, checked and wrote. File dialogs are the real ones of Wine (ModuleTests).
class BrowserHost : public IShellBrowser {
public:
    BrowserHost();
    ~BrowserHost();

    HWND Window() const { return window_; }
    // Opens `view` between the toolbar and the status bar.
    HRESULT Open(IShellView* view);
    void Close();

    bool ButtonEnabled(int command) const { return SendMessageA(toolbar_, TB_ISBUTTONENABLED, command, 0) != 0; }
    bool ButtonChecked(int command) const { return SendMessageA(toolbar_, TB_ISBUTTONCHECKED, command, 0) != 0; }
    std::string StatusText(int part) const;
    // Runs this thread's messages for `ms`, offering key presses to the view's accelerators first, as browsers do.
    void Pump(DWORD ms);
    // Presses `key` (with Ctrl when `control`) through real keyboard input into the focused window, then pumps.
    void PressKey(WORD key, bool control = false);

    HMENU menu = nullptr;  // the menu the view merged

    // IUnknown (the host lives on the stack; counting is not needed).
    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override;
    STDMETHODIMP_(ULONG) AddRef() override { return 2; }
    STDMETHODIMP_(ULONG) Release() override { return 1; }
    STDMETHODIMP GetWindow(HWND* window) override;
    STDMETHODIMP ContextSensitiveHelp(BOOL) override { return E_NOTIMPL; }
    STDMETHODIMP InsertMenusSB(HMENU shared, LPOLEMENUGROUPWIDTHS widths) override;
    STDMETHODIMP SetMenuSB(HMENU shared, HOLEMENU, HWND) override;
    STDMETHODIMP RemoveMenusSB(HMENU) override { return S_OK; }
    STDMETHODIMP SetStatusTextSB(LPCWSTR) override { return S_OK; }
    STDMETHODIMP EnableModelessSB(BOOL) override { return S_OK; }
    STDMETHODIMP TranslateAcceleratorSB(MSG*, WORD) override { return S_FALSE; }
    STDMETHODIMP BrowseObject(PCUIDLIST_RELATIVE, UINT) override { return S_OK; }
    STDMETHODIMP GetViewStateStream(DWORD, IStream**) override { return E_NOTIMPL; }
    STDMETHODIMP GetControlWindow(UINT id, HWND* window) override;
    STDMETHODIMP SendControlMsg(UINT id, UINT message, WPARAM wParam, LPARAM lParam,
                                LRESULT* result) override;
    STDMETHODIMP QueryActiveShellView(IShellView** view) override;
    STDMETHODIMP OnViewWindowActive(IShellView*) override { return S_OK; }
    STDMETHODIMP SetToolbarItems(LPTBBUTTONSB buttons, UINT count, UINT flags) override;

private:
    static LRESULT CALLBACK HostProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    void Layout();

    HWND window_ = nullptr, toolbar_ = nullptr, status_ = nullptr, viewWindow_ = nullptr;
    IShellView* view_ = nullptr;
};
