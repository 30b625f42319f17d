#pragma once
#include <windows.h>
#include <shlobj.h>

#include <map>
#include <string>
#include <vector>

// A minimal file browser of our own: a top-level window that hosts one shell
// view and records what the view asks of it (menus, toolbar, status texts,
// navigation).
class BrowserHost : public IShellBrowser {
public:
    BrowserHost();
    ~BrowserHost();

    HWND Window() const { return window_; }
    // Opens `view` in the host's client area.
    HRESULT Open(IShellView* view);
    void Close();

    // What the view did.
    HMENU menu = nullptr;
    std::vector<TBBUTTON> toolbarButtons;
    std::vector<std::string> statusTexts = std::vector<std::string>(3);
    std::vector<int> statusParts;
    std::map<int, bool> buttonEnabled;  // by command, as last set
    std::map<int, bool> buttonChecked;
    int activations = 0;
    std::vector<std::string> browsedTo;
    UINT lastBrowseFlags = 0;

    // IUnknown (the host lives on the stack; counting is not needed).
    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override;
    STDMETHODIMP_(ULONG) AddRef() override { return 2; }
    STDMETHODIMP_(ULONG) Release() override { return 1; }
    // IOleWindow
    STDMETHODIMP GetWindow(HWND* window) override;
    STDMETHODIMP ContextSensitiveHelp(BOOL) override { return E_NOTIMPL; }
    // IShellBrowser
    STDMETHODIMP InsertMenusSB(HMENU shared, LPOLEMENUGROUPWIDTHS widths) override;
    STDMETHODIMP SetMenuSB(HMENU shared, HOLEMENU, HWND) override;
    STDMETHODIMP RemoveMenusSB(HMENU) override { return S_OK; }
    STDMETHODIMP SetStatusTextSB(LPCWSTR) override { return S_OK; }
    STDMETHODIMP EnableModelessSB(BOOL) override { return S_OK; }
    STDMETHODIMP TranslateAcceleratorSB(MSG*, WORD) override { return S_FALSE; }
    STDMETHODIMP BrowseObject(PCUIDLIST_RELATIVE pidl, UINT flags) override;
    STDMETHODIMP GetViewStateStream(DWORD, IStream**) override { return E_NOTIMPL; }
    STDMETHODIMP GetControlWindow(UINT, HWND*) override { return E_NOTIMPL; }
    STDMETHODIMP SendControlMsg(UINT id, UINT message, WPARAM wParam, LPARAM lParam,
                                LRESULT* result) override;
    STDMETHODIMP QueryActiveShellView(IShellView** view) override;
    STDMETHODIMP OnViewWindowActive(IShellView*) override;
    STDMETHODIMP SetToolbarItems(LPTBBUTTONSB buttons, UINT count, UINT flags) override;

private:
    HWND window_ = nullptr;
    IShellView* view_ = nullptr;
    HWND viewWindow_ = nullptr;
};
