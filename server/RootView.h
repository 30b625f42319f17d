#pragma once
#include <windows.h>
#include <commctrl.h>

#include <string>
#include <vector>

#include "server/ExtFolder.h"
#include "view/ViewBase.h"

// The plain icon list that shows the root and each source folder.
class RootView : public ViewBase<RootView> {
public:
    static const InterfaceRow<RootView> kInterfaces[2];

    // `isRoot`: the view of the root folder rather than of a source.
    RootView(IExtFolder* folder, bool isRoot);
    ~RootView() override;

    STDMETHODIMP ContextSensitiveHelp(BOOL) override { return E_NOTIMPL; }
    STDMETHODIMP TranslateAccelerator(MSG*) override { return E_NOTIMPL; }
    STDMETHODIMP EnableModeless(BOOL) override { return E_NOTIMPL; }
    STDMETHODIMP Refresh() override;
    STDMETHODIMP CreateViewWindow(IShellView* previous, const FOLDERSETTINGS* settings,
                                  IShellBrowser* browser, RECT* rect, HWND* phwnd) override;
    STDMETHODIMP DestroyViewWindow() override;
    STDMETHODIMP GetCurrentInfo(FOLDERSETTINGS* settings) override;
    STDMETHODIMP AddPropertySheetPages(DWORD, LPFNSVADDPROPSHEETPAGE, LPARAM) override {
        return E_NOTIMPL;
    }
    STDMETHODIMP SaveViewState() override { return E_NOTIMPL; }
    STDMETHODIMP SelectItem(PCUITEMID_CHILD, SVSIF) override { return E_NOTIMPL; }
    STDMETHODIMP GetItemObject(UINT item, REFIID riid, void** ppv) override;

    // Commands of the view window.
    static constexpr int kCreateList = 10016;
    static constexpr int kSettings = 10011;
    static constexpr int kAbout = 10006;
    static constexpr int kRefresh = 10012;

    void BuildMenusAndToolbar();

private:
    static INT_PTR CALLBACK DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    bool OnCommand(int command);
    void EditSettings();
    BOOL OnNotify(NMHDR* header);
    void CreateListView();
    void RefreshList();
    void FillImageLists();
    void UpdateStatus();
    BOOL OpenItem(int index);
    // The browser's file-dialog face; any browser that answers it hears of the selection.
    ComRef<ICommDlgBrowser> DialogBrowser() const;
    int FirstSelected() const;

    std::vector<std::string> names_;
    ComRef<IExtFolder> folder_;
    bool isRoot_;
    HWND listView_ = nullptr;
    HMENU menu_ = nullptr;
    FOLDERSETTINGS folderSettings_ = {};
    int itemCount_ = 0;
    wchar_t tipText_[80] = {};
};

// Hands a new view out as IShellView: the QueryInterface result when it
// fails, else S_OK when the view was given and E_OUTOFMEMORY when not.
HRESULT HandOutView(RootView* view, void** ppv);
