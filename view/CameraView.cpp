#include "view/CameraView.h"

#include "transfer/CopyToDisk.h"

#include <commctrl.h>

#include <algorithm>
#include <chrono>
#include <utility>

#include "base/Dpi.h"
#include "base/FileKinds.h"
#include "base/Module.h"
#include "camera/ConfigStore.h"
#include "imaging/ImageLibrary.h"
#include "res/resource.h"
#include "transfer/IdListDataObject.h"
#include "transfer/ImageDataObject.h"
#include "view/ViewKeys.h"

namespace {

constexpr int kDefaultCellWidth = 90;
constexpr int kMinCellWidth = 32;
constexpr int kMaxCellWidth = 200;
constexpr int kCaptionLineHeight = 12;
constexpr std::chrono::milliseconds kFillSlice(30);

struct ToolbarButton {
    int command;
    int image;  // index into the images added below; -1: separator
    BYTE style;
};

// Image order as added: bitmaps 234, 231, 233, 235, 236, 232, then the standard set.
enum { kImgRotate, kImgFolder, kImgRefresh, kImgSettings, kImgThumbs, kImgList, kImgStandard };

const ToolbarButton kButtons[14] = {
    {CameraView::kRotate, kImgRotate, BTNS_BUTTON},
    {CameraView::kDelete, kImgStandard + STD_DELETE, BTNS_BUTTON},
    {CameraView::kPrint, kImgStandard + STD_PRINT, BTNS_BUTTON},
    {0, -1, BTNS_SEP},
    {CameraView::kRefresh, kImgRefresh, BTNS_BUTTON},
    {0, -1, BTNS_SEP},
    {CameraView::kSelectFolder, kImgFolder, BTNS_BUTTON},
    {0, -1, BTNS_SEP},
    {CameraView::kSettings, kImgSettings, BTNS_BUTTON},
    {0, -1, BTNS_SEP},
    {CameraView::kProperties, kImgStandard + STD_PROPERTIES, BTNS_BUTTON},
    {0, -1, BTNS_SEP},
    {CameraView::kThumbnailView, kImgThumbs, BTNS_CHECKGROUP},
    {CameraView::kListView, kImgList, BTNS_CHECKGROUP},
};

const UINT kToolbarBitmaps[6] = {IDB_TOOL_ROTATE, IDB_TOOL_FOLDER, IDB_TOOL_REFRESH,
                                 IDB_ROOT_TOOLBAR, IDB_TOOL_THUMBS, IDB_TOOL_LIST};

UINT Grayed(bool enabled) { return MF_BYCOMMAND | (enabled ? MF_ENABLED : MF_GRAYED); }

// The browser's file-dialog face when it is a file dialog, else null. Wine's
// explorer answers ICommDlgBrowser too (its browser is the same one file
// dialogs use): only a frame that offers IFileDialog, or a dialog window, is one.
ICommDlgBrowser* FileDialogOf(IShellBrowser* browser) {
    ComRef<ICommDlgBrowser> dialog;
    if (FAILED(browser->QueryInterface(IID_ICommDlgBrowser, dialog.PutVoid())) || !dialog) return nullptr;
    ComRef<IServiceProvider> services;
    ComRef<IFileDialog> fileDialog;
    if (SUCCEEDED(browser->QueryInterface(IID_IServiceProvider, services.PutVoid())) && services &&
        SUCCEEDED(services->QueryService(SID_SExplorerBrowserFrame, IID_IFileDialog, fileDialog.PutVoid())) &&
        fileDialog)
        return dialog.Detach();
    HWND window = nullptr;
    wchar_t name[16] = {};
    if (SUCCEEDED(browser->GetWindow(&window)) && window && GetClassNameW(GetAncestor(window, GA_ROOT), name, 16) &&
        lstrcmpW(name, L"#32770") == 0)
        return dialog.Detach();
    return nullptr;
}

}  // namespace

const InterfaceRow<CameraView> CameraView::kInterfaces[2] = {
    {&IID_IUnknown, FaceOf<CameraView, IShellView>},
    {&IID_IShellView, FaceOf<CameraView, IShellView>},
};

CameraView::CameraView(FolderConnection* folder, IUnknown* folderObject)
    : folder_(folder), folderObject_(folderObject) {
    folderObject_->AddRef();
}

CameraView::~CameraView() {
    DropControl();
    RemoveRenderFolder(playFolder_);  // a copy a player still has open stays until a later start clears it
    if (dropTarget_) {
        if (window_) RevokeDragDrop(window_);
        dropTarget_->Release();
    }
    if (window_) StopListeningForKeys(window_);
    if (window_ && !windowDestroyed_) folder_->StopWatching(window_);
    ForgetWindow();
    LeaveOle();
    if (menu_) DestroyMenu(menu_);
    if (fileDialog_) fileDialog_->Release();
    folderObject_->Release();
}

STDMETHODIMP CameraView::GetWindow(HWND* window) {
    if (!window) return E_POINTER;
    *window = window_;
    return window_ ? S_OK : E_FAIL;
}

STDMETHODIMP CameraView::TranslateAccelerator(MSG* msg) {
    return window_ && accelerators_ && msg && ::TranslateAcceleratorW(window_, accelerators_, msg) ? S_OK
                                                                                               : S_FALSE;
}

STDMETHODIMP CameraView::Refresh() {
    Reload(false);
    return S_OK;
}

STDMETHODIMP CameraView::GetCurrentInfo(FOLDERSETTINGS* settings) {
    if (!settings) return E_POINTER;
    *settings = folderSettings_;
    return S_OK;
}

// A file dialog reads the selection as ID lists of the folder's pictures, to
// ask the folder for their files; any other browser gets the pictures themselves.
STDMETHODIMP CameraView::GetItemObject(UINT, REFIID riid, void** ppv) {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    if (!IsEqualIID(riid, IID_IDataObject)) return E_NOINTERFACE;
    if (!control_ || control_->GetSelectedCount() == 0) return E_FAIL;
    if (!fileDialog_) return HandOut(CreateDataObject(nullptr), riid, ppv);
    std::vector<IdListHolder> pictures;
    for (const ViewItem& item : items_)
        if (item.selected) pictures.emplace_back(item.name.c_str(), ItemId::kPicture);
    return HandOutIdLists(folderObject_, std::move(pictures), riid, ppv);
}

// A name longer than an item's ID list holds is left out: the shell could not name that picture.
void CameraView::BuildItems() {
    items_.clear();
    for (int i = 0, n = folder_->GetImageCount(); i < n; ++i)
        if (std::string name = folder_->GetImageName(i); name.size() <= size_t(ItemId::kMaxNameLength))
            items_.push_back({0, 0, name});
}

STDMETHODIMP CameraView::CreateViewWindow(IShellView*, const FOLDERSETTINGS* settings,
                                          IShellBrowser* browser, RECT* rect, HWND* phwnd) {
    if (!phwnd) return E_POINTER;
    *phwnd = nullptr;
    if (window_) return E_UNEXPECTED;
    if (settings) folderSettings_ = *settings;
    browser_ = ComRef<IShellBrowser>::Share(browser);
    if (!browser_) return E_INVALIDARG;
    fileDialog_ = FileDialogOf(browser_.Get());
    HWND parent = nullptr;
    browser_->GetWindow(&parent);
    oleInitialized_ = SUCCEEDED(OleInitialize(nullptr));
    BuildMenusAndToolbar();

    window_ = CreateDialogParamW(theModule.instance, MAKEINTRESOURCEW(IDD_VIEW), parent, WindowProc, 0);
    if (!window_) {
        LeaveOle();
        browser_.Reset();
        return E_OUTOFMEMORY;
    }
    SetWindowLongPtrW(window_, DWLP_USER, reinterpret_cast<LONG_PTR>(this));
    folder_->WatchFrom(window_, kCameraNews);
    dropTarget_ = CreateViewDropTarget(folder_, this);
    if (dropTarget_) RegisterDragDrop(window_, dropTarget_);
    // A listener, not a link of the old viewer chain: no message to pass on to other windows and threads.
    AddClipboardFormatListener(window_);
    PostMessageW(window_, WM_COMMAND, kFill, 0);
    *phwnd = window_;
    if (rect)
        SetWindowPos(window_, nullptr, rect->left, rect->top, rect->right - rect->left,
                     rect->bottom - rect->top, SWP_NOZORDER | SWP_SHOWWINDOW);
    accelerators_ = LoadAcceleratorsW(theModule.instance, MAKEINTRESOURCEW(IDA_VIEW));
    ListenForKeys(window_, accelerators_);
    BuildItems();
    SetFocus(window_);
    return S_OK;
}

// Forgotten first: stopping its loader handles sent messages, which must not reach a control half gone.
void CameraView::DropControl() {
    ImageControl* control = std::exchange(control_, nullptr);
    if (!control) return;
    control->DestroyControl();
    control->Destroy(1);
}

STDMETHODIMP CameraView::DestroyViewWindow() {
    DropControl();
    if (!window_) return E_UNEXPECTED;
    folder_->StopWatching(window_);  // no news may be posted to a window gone
    StopListeningForKeys(window_);
    RevokeDragDrop(window_);
    if (dropTarget_) dropTarget_->Release();
    dropTarget_ = nullptr;
    // What the view copied stays on the clipboard: its data object keeps the folder.
    RemoveClipboardFormatListener(window_);
    if (fileDialog_) {
        fileDialog_->Release();
        fileDialog_ = nullptr;
        PostMessageW(window_, WM_CLOSE, 0, 0);
    } else {
        DestroyWindow(window_);
        windowDestroyed_ = true;
    }
    LeaveOle();
    if (menu_) DestroyMenu(menu_);
    menu_ = nullptr;
    items_.clear();
    browser_.Reset();
    return S_OK;
}

void CameraView::LeaveOle() {
    if (oleInitialized_) OleUninitialize();
    oleInitialized_ = false;
}

std::string CameraView::GetViewType() {
    if (viewType_.empty()) {
        try {
            viewType_ = ConfigStore::Read(ConfigStore::kSettingsKey, "ViewType", "Thumbs");
        } catch (int) {
            viewType_ = "Thumbs";
        }
    }
    return viewType_;
}

void CameraView::SetViewType(const std::string& type) {
    if (type == GetViewType()) return;
    viewType_ = type;
    ConfigStore::Write(ConfigStore::kSettingsKey, "ViewType", type);
    DropControl();
    FillView();
}

// The cell width from the camera's key: 32 to 200, else 90.
int CameraView::CellWidth() {
    std::string key = folder_->GetKind() == "Viewer" ? ConfigStore::kImageViewer : folder_->GetCameraModel();
    const char* value = InFileDialog() ? "SmallThumbFrameSize" : "ThumbFrameSize";
    try {
        int width = std::atoi(ConfigStore::Read(ConfigStore::ModelKey(key), value, "90").c_str());
        return width >= kMinCellWidth && width <= kMaxCellWidth ? width : kDefaultCellWidth;
    } catch (int) {
        return kDefaultCellWidth;
    }
}

void CameraView::FillView() {
    bool pickerShown = false;
    if (!folder_->IsConnected() && folder_->GetKind() == "Viewer") {
        SelectImageFolder(window_);
        pickerShown = true;
    }
    if (!folder_->IsConnected()) {
        DropControl();
        ShowSourceStatus();
        InvalidateRect(window_, nullptr, FALSE);
        if (pickerShown) {
            UpdateCommandStates();
            return;
        }
        std::string caption = ProductName() + " - " + LoadModuleString(IDS_CONNECTION_ERROR_CAPTION);
        MessageBoxW(window_, LoadModuleText(IDS_CONNECTION_ERROR).c_str(), Widen(caption).c_str(), MB_ICONHAND);
        return;
    }
    int dpi = WindowDpi(window_), width = Scaled(CellWidth(), dpi);
    RECT client;
    GetClientRect(window_, &client);
    if (!control_) {
        control_ = CreateImageControl(GetViewType() == "List" ? 0 : 1);
        if (!control_) return;  // the report list comes with the list helper
        control_->SetSink(this);
        if (!control_->CreateControl(0, "", WS_VISIBLE, &client, window_, 0)) return;
    } else {
        control_->RemoveAllItems();
    }
    control_->KeepAlive(folder_->Keeper(folderObject_));
    int height = width + Scaled(8 + kCaptionLineHeight * folder_->GetCapabilities().captionLines, dpi);
    control_->SetLayout(short(Scaled(10, dpi)), short(Scaled(2, dpi)), short(width), short(height), 1,
                        RGB(255, 255, 255), InFileDialog() ? 0 : 1);
    ShowSourceStatus();
    filled_ = 0;
    AddSlice();
    GetImageLibrary();
    control_->RestartLoader();
    UpdateCommandStates();
}

// Adds pictures for a slice of time; a timer brings the rest, so that the
// window paints, scrolls and answers keys while a big folder fills.
void CameraView::AddSlice() {
    auto start = std::chrono::steady_clock::now();
    suppressSelectionEvents_ = true;
    while (control_ && filled_ < items_.size() && std::chrono::steady_clock::now() - start < kFillSlice) {
        const ViewItem& item = items_[filled_++];
        CameraImage* image = folder_->OpenImage(item.name);
        if (!image) continue;
        control_->AddItem(image, item.name.c_str(), -1);
        if (item.selected) control_->SelectItem(item.name.c_str(), 1);
        if (item.rotation) control_->RotateItem(item.name.c_str(), item.rotation);
    }
    suppressSelectionEvents_ = false;
    if (control_ && filled_ < items_.size()) {
        SetTimer(window_, kFillTimer, 0, nullptr);
    } else {
        KillTimer(window_, kFillTimer);
    }
    UpdateCommandStates();
}

void CameraView::AddNewItems(int position, int count) {
    int total = folder_->GetImageCount();
    for (int k = 0; k < count; ++k) {
        int index = position == -1 ? total - count + k : position + k;
        std::string name = folder_->GetImageName(index);
        CameraImage* image = folder_->OpenImage(name);
        if (!image) continue;
        if (position == -1) {
            AppendItem(image, name);
        } else {
            size_t at = std::min(items_.size(), size_t(position + k));
            if (control_ && at <= filled_) control_->AddItem(image, name.c_str(), index), ++filled_;
            items_.insert(items_.begin() + long(at), {0, 0, name});
        }
    }
    if (control_) control_->RestartLoader();
}

// While a fill runs, a picture past its point is added by the fill.
void CameraView::AppendItem(CameraImage* image, const std::string& name) {
    if (control_ && filled_ == items_.size()) control_->AddItem(image, name.c_str(), -1), ++filled_;
    items_.push_back({0, 0, name});
}

namespace {

constexpr int kChangesPerMessage = 1000;  // a driver that never runs dry must not hold the window

bool Listed(const std::vector<ViewItem>& items, const std::string& name) {
    return std::any_of(items.begin(), items.end(), [&](const ViewItem& item) { return item.name == name; });
}

}  // namespace

// A name already shown was listed when the view was filled after the change; an unknown name is not the camera's.
bool CameraView::Arrived(const std::string& name) {
    if (name.size() > size_t(ItemId::kMaxNameLength) || Listed(items_, name)) return false;
    CameraImage* image = folder_->OpenImage(name);
    if (!image) return false;
    AppendItem(image, name);
    return true;
}

bool CameraView::Vanished(const std::string& name) {
    auto at = std::find_if(items_.begin(), items_.end(), [&](const ViewItem& item) { return item.name == name; });
    if (at == items_.end()) return false;
    size_t index = size_t(at - items_.begin());
    suppressSelectionEvents_ = true;
    if (control_ && index < filled_) control_->RemoveItem(name.c_str()), --filled_;
    suppressSelectionEvents_ = false;
    items_.erase(at);
    return true;
}

void CameraView::TakeCameraNews() {
    std::string name;
    bool added = false, changed = false;
    int taken = 0;
    while (folder_->IsConnected() && taken++ < kChangesPerMessage && folder_->NextChange(name, added))
        changed |= added ? Arrived(name) : Vanished(name);
    if (taken > kChangesPerMessage) PostMessageW(window_, kCameraNews, 0, 0);
    if (!changed) return;
    if (control_) control_->RestartLoader();
    UpdateCommandStates();
}

bool CameraView::CanPaste() {
    IDataObject* clip = nullptr;
    bool can = SUCCEEDED(OleGetClipboard(&clip)) && clip && folder_->CanAcceptData(clip);
    if (clip) clip->Release();
    return can;
}

void CameraView::PasteCommand() {
    IDataObject* clip = nullptr;
    if (FAILED(OleGetClipboard(&clip)) || !clip) return;
    int taken = folder_->AcceptData(clip, -1);
    if (taken > 0) AddNewItems(-1, taken);
    clip->Release();
}

void CameraView::SelectAll() {
    if (!control_) return;
    suppressSelectionEvents_ = true;
    for (size_t i = 0; i < items_.size(); ++i) {
        if (i < filled_) control_->SelectItem(items_[i].name.c_str(), 1);
        items_[i].selected = 1;
    }
    suppressSelectionEvents_ = false;
    UpdateCommandStates();
}

void CameraView::Reload(bool reconnect) {
    HCURSOR previous = SetCursor(LoadCursor(nullptr, IDC_WAIT));
    if (control_) control_->RemoveAllItems();
    folder_->Connect(reconnect);
    BuildItems();
    FillView();
    if (!menusBuilt_) BuildMenusAndToolbar();
    UpdateCommandStates();
    SetCursor(previous);
}

// RAW pictures and videos are never turned: Rotate waits for a picture among the chosen.
bool CameraView::TurnableSelected() {
    if (!control_ || control_->GetSelectedCount() == 0) return false;
    for (const ViewItem& item : items_)
        if (item.selected && CanTurn(item.name)) return true;
    return false;
}

bool CameraView::DeleteAllOnly() {
    if (!folder_->IsConnected()) return false;
    uint16_t flags = folder_->GetCapabilities().flags;
    return (flags & kCanDeleteAll) && !(flags & kCanDeleteSingle);
}

LRESULT CameraView::Toolbar(UINT message, WPARAM wParam, LPARAM lParam) {
    LRESULT result = 0;
    if (browser_) browser_->SendControlMsg(FCW_TOOLBAR, message, wParam, lParam, &result);
    return result;
}

void CameraView::BuildMenusAndToolbar() {
    if (!browser_) return;
    if (menu_) DestroyMenu(menu_);
    menu_ = CreateMenu();
    OLEMENUGROUPWIDTHS widths = {};
    browser_->InsertMenusSB(menu_, &widths);

    bool connected = folder_->IsConnected();
    int count = folder_->GetImageCount();
    int selected = control_ ? control_->GetSelectedCount() : 0;
    int submenus = GetMenuItemCount(menu_);
    HMENU file = GetSubMenu(menu_, 0), edit = GetSubMenu(menu_, 1), view = GetSubMenu(menu_, 2);
    HMENU help = submenus > 0 ? GetSubMenu(menu_, submenus - 1) : nullptr;
    if (file) {
        InsertMenuW(file, 0, MF_BYPOSITION | MF_STRING | (connected && count ? MF_ENABLED : MF_GRAYED), kPrint,
                    LoadModuleText(IDS_MENU_PRINT).c_str());
        InsertMenuW(file, 1, MF_BYPOSITION | MF_STRING | MF_GRAYED, kProperties,
                    LoadModuleText(IDS_MENU_PROPERTIES).c_str());
        InsertMenuW(file, 2, MF_BYPOSITION | MF_SEPARATOR, 0, nullptr);
    }
    if (edit) {
        DeleteMenu(edit, 0, MF_BYPOSITION);
        DeleteMenu(edit, 0, MF_BYPOSITION);
        AppendMenuW(edit, MF_STRING | MF_GRAYED, kCopy, LoadModuleText(IDS_MENU_COPY).c_str());
        AppendMenuW(edit, MF_STRING | (CanPaste() ? MF_ENABLED : MF_GRAYED), kPaste,
                    LoadModuleText(IDS_MENU_PASTE).c_str());
        AppendMenuW(edit, MF_SEPARATOR, 0, nullptr);
        AppendMenuW(edit, MF_STRING | (TurnableSelected() ? MF_ENABLED : MF_GRAYED), kRotate,
                    LoadModuleText(IDS_MENU_ROTATE_SELECTED).c_str());
        if (DeleteAllOnly())
            AppendMenuW(edit, MF_STRING | (count ? MF_ENABLED : MF_GRAYED), kDelete,
                        LoadModuleText(IDS_MENU_DELETE_ALL).c_str());
        else
            AppendMenuW(edit, MF_STRING | (connected && selected ? MF_ENABLED : MF_GRAYED), kDelete,
                        LoadModuleText(IDS_MENU_DELETE_SELECTED).c_str());
        AppendMenuW(edit, MF_SEPARATOR, 0, nullptr);
        AppendMenuW(edit, MF_STRING | (connected && count ? MF_ENABLED : MF_GRAYED), kSelectAll,
                    LoadModuleText(IDS_MENU_SELECT_ALL).c_str());
    }
    if (view) {
        int items = GetMenuItemCount(view);
        if (items > 0) DeleteMenu(view, items - 1, MF_BYPOSITION);
        bool thumbs = GetViewType() == "Thumbs";
        AppendMenuW(view, MF_SEPARATOR, 0, nullptr);
        AppendMenuW(view, MF_STRING, kSelectFolder, LoadModuleText(IDS_MENU_SELECT_FOLDER).c_str());
        AppendMenuW(view, MF_SEPARATOR, 0, nullptr);
        AppendMenuW(view, MF_STRING, kSettings, LoadModuleText(IDS_MENU_SETTINGS).c_str());
        AppendMenuW(view, MF_SEPARATOR, 0, nullptr);
        AppendMenuW(view, MF_STRING | (thumbs ? MF_CHECKED : 0), kThumbnailView,
                    LoadModuleText(IDS_MENU_THUMBNAIL_VIEW).c_str());
        AppendMenuW(view, MF_STRING | (thumbs ? 0 : MF_CHECKED), kListView,
                    LoadModuleText(IDS_MENU_LIST_VIEW).c_str());
    }
    if (help) {
        AppendMenuW(help, MF_SEPARATOR, 0, nullptr);
        AppendMenuW(help, MF_STRING, kAbout, (LoadModuleText(IDS_MENU_ABOUT) + Widen(ProductName())).c_str());
    }
    browser_->SetMenuSB(menu_, nullptr, window_);

    int firstImage[7];
    for (int i = 0; i < 6; ++i) {
        TBADDBITMAP bitmap = {theModule.instance, kToolbarBitmaps[i]};
        firstImage[i] = int(Toolbar(TB_ADDBITMAP, 1, reinterpret_cast<LPARAM>(&bitmap)));
    }
    TBADDBITMAP standard = {HINST_COMMCTRL, IDB_STD_SMALL_COLOR};
    firstImage[kImgStandard] = int(Toolbar(TB_ADDBITMAP, 0, reinterpret_cast<LPARAM>(&standard)));
    TBBUTTON buttons[14] = {};
    for (int i = 0; i < 14; ++i) {
        const ToolbarButton& b = kButtons[i];
        buttons[i].idCommand = b.command;
        buttons[i].fsStyle = b.style;
        buttons[i].fsState = TBSTATE_ENABLED;
        if (b.image >= kImgStandard)
            buttons[i].iBitmap = firstImage[kImgStandard] + (b.image - kImgStandard);
        else if (b.image >= 0)
            buttons[i].iBitmap = firstImage[b.image];
    }
    browser_->SetToolbarItems(buttons, 14, FCT_MERGE);

    Toolbar(TB_ENABLEBUTTON, kPrint, MAKELONG(connected && count, 0));
    Toolbar(TB_ENABLEBUTTON, kRotate, MAKELONG(TurnableSelected(), 0));
    Toolbar(TB_ENABLEBUTTON, kDelete, MAKELONG(connected && ((DeleteAllOnly() && count) || selected), 0));
    Toolbar(TB_ENABLEBUTTON, kSelectFolder, MAKELONG(folder_->GetKind() == "Viewer", 0));
    Toolbar(TB_CHECKBUTTON, kProperties, MAKELONG(FALSE, 0));
    Toolbar(TB_ENABLEBUTTON, kProperties, MAKELONG(FALSE, 0));
    Toolbar(TB_CHECKBUTTON, GetViewType() == "Thumbs" ? kThumbnailView : kListView, MAKELONG(TRUE, 0));
    menusBuilt_ = true;
}

// Settings stays grayed here and enabled by the menu build (kept as it is
// built: the command itself works whenever it arrives).
void CameraView::UpdateCommandStates() {
    int total = control_ ? control_->GetItemCount() : 0;
    int selected = control_ ? control_->GetSelectedCount() : 0;
    LRESULT ignored = 0;
    if (browser_)
        browser_->SendControlMsg(FCW_STATUS, SB_SETTEXTW, 0, reinterpret_cast<LPARAM>(Widen(CountsText()).c_str()),
                                 &ignored);
    HMENU file = menu_ ? GetSubMenu(menu_, 0) : nullptr;
    HMENU edit = menu_ ? GetSubMenu(menu_, 1) : nullptr;
    HMENU view = menu_ ? GetSubMenu(menu_, 2) : nullptr;
    bool viewer = folder_->GetKind() == "Viewer";
    bool deleteAllOnly = DeleteAllOnly();

    Toolbar(TB_ENABLEBUTTON, kSettings, MAKELONG(FALSE, 0));
    if (view) EnableMenuItem(view, kSettings, Grayed(false));
    Toolbar(TB_ENABLEBUTTON, kSelectFolder, MAKELONG(viewer, 0));
    if (view) EnableMenuItem(view, kSelectFolder, Grayed(viewer));

    bool turnable = TurnableSelected();
    Toolbar(TB_ENABLEBUTTON, kRotate, MAKELONG(turnable, 0));
    Toolbar(TB_ENABLEBUTTON, kProperties, MAKELONG(selected == 1, 0));
    if (selected > 0 || !deleteAllOnly) Toolbar(TB_ENABLEBUTTON, kDelete, MAKELONG(selected > 0, 0));
    if (edit) {
        EnableMenuItem(edit, kRotate, Grayed(turnable));
        EnableMenuItem(edit, kCopy, Grayed(selected > 0));
        if (selected > 0 || !deleteAllOnly) EnableMenuItem(edit, kDelete, Grayed(selected > 0));
    }
    if (file) EnableMenuItem(file, kProperties, Grayed(selected == 1));

    if (edit) {
        EnableMenuItem(edit, kPaste, Grayed(CanPaste()));
        EnableMenuItem(edit, kSelectAll, Grayed(total > 0));
    }
    if (file) EnableMenuItem(file, kPrint, Grayed(total > 0));
    Toolbar(TB_ENABLEBUTTON, kPrint, MAKELONG(total > 0, 0));

    bool thumbs = GetViewType() == "Thumbs";
    Toolbar(TB_CHECKBUTTON, thumbs ? kThumbnailView : kListView, MAKELONG(TRUE, 0));
    if (view) {
        CheckMenuItem(view, kThumbnailView, MF_BYCOMMAND | (thumbs ? MF_CHECKED : MF_UNCHECKED));
        CheckMenuItem(view, kListView, MF_BYCOMMAND | (thumbs ? MF_UNCHECKED : MF_CHECKED));
    }
}
