#pragma once
// The shell view of a camera folder: an empty child dialog covered by an
// image control (thumbnails or a report list), with menus and toolbar buttons
// merged into the browser's, and the folder's images as `items`.
#include <windows.h>
#include <shlobj.h>

#include <map>
#include <string>
#include <vector>

#include "camera/FolderConnection.h"
#include "camera/ViewItem.h"
#include "controls/ImageControl.h"
#include "view/ViewBase.h"

class CameraView;
class DropSource;
// The drop target a view registers for its window (made by the shell objects).
IDropTarget* CreateViewDropTarget(FolderConnection* folder, CameraView* view);

class CameraView final : public ViewBase<CameraView>, public ImageControlSink {
public:
    static const InterfaceRow<CameraView> kInterfaces[2];

    // Commands of the view window.
    static constexpr UINT kSelectionNews = WM_APP + 1;
    static constexpr UINT kCameraNews = WM_APP + 2;  // the driver's thread: pictures came or went
    static constexpr UINT_PTR kFillTimer = 1;

    enum Command : int {
        kCopy = 10001, kRotate = 10002, kDelete = 10003, kSelectAll = 10004, kPrint = 10005,
        kAbout = 10006, kSelectFolder = 10010, kSettings = 10011, kRefresh = 10012, kFill = 10016,
        kPaste = 10017, kThumbnailView = 10018, kListView = 10019, kProperties = 10020, kPreview = 10021,
    };

    // `folderObject` is the folder's COM identity, kept referenced for the view's life.
    CameraView(FolderConnection* folder, IUnknown* folderObject);
    ~CameraView() override;

    // IShellView.
    STDMETHODIMP GetWindow(HWND* window) override;
    STDMETHODIMP ContextSensitiveHelp(BOOL) override { return E_NOTIMPL; }
    STDMETHODIMP TranslateAccelerator(MSG* msg) override;
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
    STDMETHODIMP GetItemObject(UINT which, REFIID riid, void** ppv) override;

    // ImageControlSink.
    void ItemClicked(int, const char*) override {}
    void ContextMenuRequested(int reserved, const char* name) override;
    void ItemOpened(int reserved, const char* name) override;
    void SelectionChanged(const char* name, int selected, int index) override;
    void BeginDrag() override { DragSelection(); }

    // Takes `count` images the folder now holds (its last ones for position -1).
    void AddNewItems(int position, int count);
    // Shows the pictures the camera gained and drops those it lost since the last news.
    void TakeCameraNews();
    // Whether the clipboard holds data the camera would take.
    bool CanPaste();
    void PasteCommand();
    void CopyCommand();
    void OpenItem(const std::string& name);
    void PreviewCommand();
    void DeleteCommand();
    void DeleteAll();
    void DeleteSelected();
    void RotateSelected();
    void PropertiesCommand();
    void SettingsCommand();
    // The shell's folder picker, opening at the folder shown last; 0 when it cannot run.
    int SelectImageFolder(HWND owner);
    void DragSelection();
    // A data object over the selected items; no reference taken yet.
    IDataObject* CreateDataObject(DropSource* dropSource);
    void SelectAll();
    HWND GetParentWindow() const { return window_ ? GetParent(window_) : nullptr; }

    void FillView();
    void AddSlice();
    void FollowTheSelection();
    bool TurnableSelected();
    void Reload(bool reconnect);
    void BuildMenusAndToolbar();
    void UpdateCommandStates();
    std::string GetViewType();
    void SetViewType(const std::string& type);
    void ShowSourceStatus();
    void SetStatusParts(const std::string& a, const std::string& b, const std::string& c);

    // For tests and the commands to come.
    ImageControl* Control() const { return control_; }
    const std::vector<ViewItem>& Items() const { return items_; }
    bool InFileDialog() const { return fileDialog_ != nullptr; }
    int CellWidth();

private:
    static INT_PTR CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    INT_PTR OnCommand(int command);
    INT_PTR OnNotify(NMHDR* header);
    void BuildItems();
    void AppendItem(CameraImage* image, const std::string& name);
    bool Arrived(const std::string& name);
    bool Vanished(const std::string& name);
    void DropControl();
    // Balances the view's own OleInitialize, once.
    void LeaveOle();
    bool DeleteAllOnly();
    LRESULT Toolbar(UINT message, WPARAM wParam, LPARAM lParam);
    std::string CountsText();
    // Copies the video out once (with progress) and opens it in the user's own player.
    void PlayVideo(const std::string& name);

    FolderConnection* folder_;
    IUnknown* folderObject_;
    ICommDlgBrowser* fileDialog_ = nullptr;
    HACCEL accelerators_ = nullptr;
    FOLDERSETTINGS folderSettings_ = {};
    std::string viewType_;
    ImageControl* control_ = nullptr;
    HMENU menu_ = nullptr;
    bool suppressSelectionEvents_ = false;
    size_t filled_ = 0;  // items_ before this one are in the control
    bool selectionNewsPosted_ = false;  // a file dialog hears of changes once they settle
    bool commandsStale_ = false;        // the list's row changes await the commands' update
    std::vector<ViewItem> items_;
    bool menusBuilt_ = false;
    bool oleInitialized_ = false;
    IDropTarget* dropTarget_ = nullptr;
    wchar_t tipText_[80] = {};
    std::string playFolder_;                          // the copies of videos played from this view
    std::map<std::string, std::string> playedCopies_;  // video name -> its copy there
};
