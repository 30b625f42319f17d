#include "server/RootView.h"

#include "base/Dpi.h"
#include "base/WideText.h"
#include "res/resource.h"
#include "server/RootFolder.h"
#include "camera/ConfigStore.h"
#include "camera/SettingsDialog.h"
#include "transfer/IdListDataObject.h"
#include "view/AboutBox.h"

namespace {

const UINT kListIcons[] = {IDI_GENERIC, IDI_CAMERA, IDI_REMOVABLE, IDI_HARD_DISK};

struct WaitCursor {
    HCURSOR previous = SetCursor(LoadCursor(nullptr, IDC_WAIT));
    ~WaitCursor() { SetCursor(previous); }
};

HIMAGELIST MakeImageList(int size) {
    HIMAGELIST list = ImageList_Create(size, size, ILC_COLOR16 | ILC_MASK, 1, 1);
    for (UINT id : kListIcons) {
        HICON icon = static_cast<HICON>(
            LoadImageW(theModule.instance, MAKEINTRESOURCEW(id), IMAGE_ICON, size, size, 0));
        ImageList_AddIcon(list, icon);
        DestroyIcon(icon);
    }
    return list;
}

void AddColumn(HWND list, int index, UINT textId, int format, int width) {
    std::wstring text = LoadModuleText(textId);
    LVCOLUMNW column = {};
    column.mask = LVCF_FMT | LVCF_WIDTH | LVCF_TEXT | LVCF_SUBITEM;
    column.fmt = format;
    column.cx = Scaled(width, WindowDpi(list));
    column.pszText = &text[0];
    column.iSubItem = index;
    SendMessageW(list, LVM_INSERTCOLUMNW, index, reinterpret_cast<LPARAM>(&column));
}

void SetItemText(HWND list, int item, int column, const std::string& text) {
    std::wstring wide = Widen(text);
    LVITEMW entry = {};
    entry.iSubItem = column;
    entry.pszText = &wide[0];
    SendMessageW(list, LVM_SETITEMTEXTW, item, reinterpret_cast<LPARAM>(&entry));
}

LRESULT SendToBrowser(IShellBrowser* browser, UINT control, UINT message, WPARAM wParam,
                      LPARAM lParam) {
    LRESULT result = 0;
    if (browser) browser->SendControlMsg(control, message, wParam, lParam, &result);
    return result;
}

}  // namespace

const InterfaceRow<RootView> RootView::kInterfaces[2] = {
    {&IID_IUnknown, FaceOf<RootView, IShellView>},
    {&IID_IShellView, FaceOf<RootView, IShellView>},
};

HRESULT HandOutView(RootView* view, void** ppv) {
    if (!view) return E_OUTOFMEMORY;
    HRESULT hr = HandOut(view, IID_IShellView, ppv);
    if (FAILED(hr)) return hr;
    return *ppv ? S_OK : E_OUTOFMEMORY;
}

RootView::RootView(IExtFolder* folder, bool isRoot) : folder_(ComRef<IExtFolder>::Share(folder)), isRoot_(isRoot) {}

RootView::~RootView() {
    ForgetWindow();
    if (menu_) DestroyMenu(menu_);
}

STDMETHODIMP RootView::CreateViewWindow(IShellView*, const FOLDERSETTINGS* settings,
                                        IShellBrowser* browser, RECT* rect, HWND* phwnd) {
    if (!phwnd) return E_POINTER;
    *phwnd = nullptr;
    if (window_) return E_UNEXPECTED;
    if (settings) folderSettings_ = *settings;
    browser_ = ComRef<IShellBrowser>::Share(browser);
    HWND parent = nullptr;
    if (browser_) browser_->GetWindow(&parent);

    INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_LISTVIEW_CLASSES | ICC_BAR_CLASSES};
    InitCommonControlsEx(&controls);
    window_ = CreateDialogParamW(theModule.instance, MAKEINTRESOURCEW(IDD_VIEW), parent,
                                 DialogProc, 0);
    if (!window_) return E_OUTOFMEMORY;

    SetWindowLongPtrW(window_, DWLP_USER, reinterpret_cast<LONG_PTR>(this));
    PostMessageW(window_, WM_COMMAND, kCreateList, 0);
    *phwnd = window_;
    if (rect)
        SetWindowPos(window_, nullptr, rect->left, rect->top, rect->right - rect->left,
                     rect->bottom - rect->top, SWP_NOZORDER | SWP_SHOWWINDOW);
    BuildMenusAndToolbar();
    return S_OK;
}

STDMETHODIMP RootView::DestroyViewWindow() {
    if (listView_) {
        SendMessageW(listView_, LVM_DELETEALLITEMS, 0, 0);
        auto small = reinterpret_cast<HIMAGELIST>(
            SendMessageW(listView_, LVM_SETIMAGELIST, LVSIL_SMALL, 0));
        if (small) ImageList_Destroy(small);
        auto normal = reinterpret_cast<HIMAGELIST>(
            SendMessageW(listView_, LVM_SETIMAGELIST, LVSIL_NORMAL, 0));
        if (normal) ImageList_Destroy(normal);
        DestroyWindow(listView_);
        listView_ = nullptr;
    }
    browser_.Reset();
    if (!window_) return E_UNEXPECTED;
    DestroyWindow(window_);
    window_ = nullptr;
    return S_OK;
}

STDMETHODIMP RootView::GetCurrentInfo(FOLDERSETTINGS* settings) {
    if (!settings) return E_POINTER;
    *settings = folderSettings_;
    return S_OK;
}

STDMETHODIMP RootView::Refresh() {
    RefreshList();
    return S_OK;
}

STDMETHODIMP RootView::GetItemObject(UINT item, REFIID riid, void** ppv) {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    IdListHolder* own = folder_->GetOwnIdList();
    int selected = listView_ ? FirstSelected() : -1;
    if (!IsEqualIID(riid, IID_IDataObject) || item != SVGIO_SELECTION || selected < 0 || !own)
        return E_NOTIMPL;
    std::vector<IdListHolder> items;
    items.emplace_back(names_[size_t(selected)].c_str());
    if (!items[0].List()) return E_OUTOFMEMORY;
    return HandOutIdLists(folder_.Get(), std::move(items), riid, ppv);
}

void RootView::BuildMenusAndToolbar() {
    if (!browser_) return;
    bool root = isRoot_;
    if (menu_) DestroyMenu(menu_);
    menu_ = CreateMenu();
    OLEMENUGROUPWIDTHS widths = {};
    browser_->InsertMenusSB(menu_, &widths);

    if (HMENU view = GetSubMenu(menu_, 2)) {
        int count = GetMenuItemCount(view);
        if (count > 0) DeleteMenu(view, count - 1, MF_BYPOSITION);
        AppendMenuW(view, MF_SEPARATOR, 0, nullptr);
        AppendMenuW(view, MF_STRING | (root ? MF_ENABLED : MF_GRAYED), kSettings, LoadModuleText(IDS_MENU_SETTINGS).c_str());
    }
    int submenus = GetMenuItemCount(menu_);
    if (HMENU help = submenus > 0 ? GetSubMenu(menu_, submenus - 1) : nullptr) {
        AppendMenuW(help, MF_SEPARATOR, 0, nullptr);
        AppendMenuW(help, MF_STRING, kAbout, (LoadModuleText(IDS_MENU_ABOUT) + Widen(ProductName())).c_str());
    }
    browser_->SetMenuSB(menu_, nullptr, window_);

    TBADDBITMAP bitmap = {theModule.instance, IDB_ROOT_TOOLBAR};
    LRESULT image = SendToBrowser(browser_.Get(), FCW_TOOLBAR, TB_ADDBITMAP, 1,
                                  reinterpret_cast<LPARAM>(&bitmap));
    TBBUTTON buttons[3] = {};
    buttons[0].fsStyle = BTNS_SEP;
    buttons[1].iBitmap = static_cast<int>(image);
    buttons[1].idCommand = kSettings;
    buttons[1].fsState = TBSTATE_ENABLED;
    buttons[1].fsStyle = BTNS_BUTTON;
    buttons[2].fsStyle = BTNS_SEP;
    browser_->SetToolbarItems(buttons, 3, FCT_MERGE);
    SendToBrowser(browser_.Get(), FCW_TOOLBAR, TB_ENABLEBUTTON, kSettings, MAKELONG(root, 0));
}

void RootView::CreateListView() {
    RECT client;
    GetClientRect(window_, &client);
    listView_ = CreateWindowExW(0, WC_LISTVIEWW, nullptr, 0x50000004, 0, 0, client.right + 1,
                                client.bottom + 1, window_, nullptr, theModule.instance, nullptr);
    Refresh();
    SetFocus(listView_);
}

void RootView::FillImageLists() {
    HIMAGELIST oldNormal = reinterpret_cast<HIMAGELIST>(SendMessageW(
        listView_, LVM_SETIMAGELIST, LVSIL_NORMAL, reinterpret_cast<LPARAM>(MakeImageList(Scaled(32, WindowDpi(listView_))))));
    HIMAGELIST oldSmall = reinterpret_cast<HIMAGELIST>(SendMessageW(
        listView_, LVM_SETIMAGELIST, LVSIL_SMALL, reinterpret_cast<LPARAM>(MakeImageList(Scaled(16, WindowDpi(listView_))))));
    if (oldNormal) ImageList_Destroy(oldNormal);
    if (oldSmall) ImageList_Destroy(oldSmall);
}

void RootView::RefreshList() {
    if (!listView_) return;
    WaitCursor wait;
    SendMessageW(listView_, LVM_DELETEALLITEMS, 0, 0);
    names_.clear();
    itemCount_ = 0;

    if (!folder_->IsReady()) {
        std::string caption =
            ProductName() + " - " + LoadModuleString(IDS_CONNECTION_ERROR_CAPTION);
        MessageBoxW(window_, LoadModuleText(IDS_CONNECTION_ERROR).c_str(), Widen(caption).c_str(), MB_ICONHAND);
        return;
    }
    while (SendMessageW(listView_, LVM_DELETECOLUMN, 0, 0)) {
    }
    AddColumn(listView_, 0, IDS_COLUMN_FILE_NAME, LVCFMT_LEFT, 180);
    AddColumn(listView_, 1, IDS_COLUMN_FILE_SIZE, LVCFMT_RIGHT, 80);
    FillImageLists();

    ComRef<IEnumIDList> items;
    if (FAILED(folder_->EnumObjects(listView_, SHCONTF_FOLDERS, items.Put())) || !items) return;
    LPITEMIDLIST item = nullptr;
    while (items->Next(1, &item, nullptr) == S_OK && item) {
        int child = RootFolder::FindChild(item);
        LVITEMW entry = {};
        entry.mask = LVIF_IMAGE | LVIF_STATE;
        entry.iItem = static_cast<int>(names_.size());
        entry.iImage = child + 1;
        int at = static_cast<int>(SendMessageW(listView_, LVM_INSERTITEMW, 0,
                                               reinterpret_cast<LPARAM>(&entry)));
        const char* name = ItemId::NameOf(item);
        SetItemText(listView_, at, 0, name ? name : "");
        SetItemText(listView_, at, 1, "TBD");
        names_.push_back(name ? name : "");
        CoTaskMemFree(item);
    }
    itemCount_ = static_cast<int>(names_.size());
    UpdateStatus();
}

void RootView::UpdateStatus() {
    std::string first, second;
    if (isRoot_) {
        second = LoadModuleString(IDS_PRODUCT_STATUS);
    } else {
        wchar_t count[64];
        wsprintfW(count, LoadModuleText(IDS_FOLDER_COUNT).c_str(), itemCount_);
        first = Narrow(count);
        IdListHolder* own = folder_->GetOwnIdList();
        STRRET name = {};
        // The root's display name of the folder's own list, as SHGDN_NORMAL gives it.
        if (own && SUCCEEDED(ItemId::NameOffset(own->List(), true, &name)))
            second = reinterpret_cast<const char*>(own->List()) + name.uOffset;
    }
    SIZE firstSize = {}, secondSize = {};
    HDC dc = GetDC(window_);
    std::wstring firstText = Widen(first), secondText = Widen(second);
    GetTextExtentPoint32W(dc, firstText.c_str(), static_cast<int>(firstText.size()), &firstSize);
    GetTextExtentPoint32W(dc, secondText.c_str(), static_cast<int>(secondText.size()), &secondSize);
    ReleaseDC(window_, dc);

    int parts[3] = {firstSize.cx, firstSize.cx + secondSize.cx, -1};
    SendToBrowser(browser_.Get(), FCW_STATUS, SB_SETPARTS, 3, reinterpret_cast<LPARAM>(parts));
    SendToBrowser(browser_.Get(), FCW_STATUS, SB_SETTEXTW, 0, reinterpret_cast<LPARAM>(firstText.c_str()));
    SendToBrowser(browser_.Get(), FCW_STATUS, SB_SETTEXTW, 1, reinterpret_cast<LPARAM>(secondText.c_str()));
    SendToBrowser(browser_.Get(), FCW_STATUS, SB_SETTEXTW, 2, reinterpret_cast<LPARAM>(L""));
}

int RootView::FirstSelected() const {
    for (int i = 0; i < itemCount_; ++i)
        if (SendMessageW(listView_, LVM_GETITEMSTATE, i, LVIS_SELECTED) & LVIS_SELECTED) return i;
    return -1;
}

ComRef<ICommDlgBrowser> RootView::DialogBrowser() const {
    ComRef<ICommDlgBrowser> dialog;
    if (!browser_ || FAILED(browser_->QueryInterface(IID_ICommDlgBrowser, dialog.PutVoid()))) dialog.Reset();
    return dialog;
}

BOOL RootView::OpenItem(int index) {
    if (index < 0 || index >= static_cast<int>(names_.size())) return TRUE;
    // A browser that did not take the default action leaves it to the view
    // (a file dialog that has not read the selection fails it).
    ComRef<ICommDlgBrowser> dialog = DialogBrowser();
    if (dialog && dialog->OnDefaultCommand(this) == S_OK) return TRUE;
    LPITEMIDLIST copy = MakeItemIdList(names_[index].c_str());
    if (!copy) return FALSE;
    // The browser may destroy this view inside BrowseObject.
    ComRef<RootView> keepAlive = ComRef<RootView>::Share(this);
    browser_->BrowseObject(copy, SBSP_RELATIVE);
    CoTaskMemFree(copy);
    return TRUE;
}

BOOL RootView::OnNotify(NMHDR* header) {
    switch (header->code) {
        case NM_DBLCLK:  // the list names the item it hit
            return OpenItem(reinterpret_cast<NMITEMACTIVATE*>(header)->iItem);
        case NM_RETURN:
            return OpenItem(FirstSelected());
        case LVN_ITEMCHANGED: {
            // A file dialog reads the selection as it changes.
            auto* change = reinterpret_cast<NMLISTVIEW*>(header);
            bool selection = (change->uChanged & LVIF_STATE) && ((change->uOldState ^ change->uNewState) & LVIS_SELECTED);
            if (ComRef<ICommDlgBrowser> dialog = selection ? DialogBrowser() : ComRef<ICommDlgBrowser>())
                dialog->OnStateChange(this, CDBOSC_SELCHANGE);
            return FALSE;
        }
        case TTN_NEEDTEXTA:
        case TTN_NEEDTEXTW: {
            UINT id = header->idFrom == kSettings ? IDS_TIP_SETTINGS
                      : header->idFrom == kRefresh ? IDS_TIP_REFRESH
                                                    : 0;
            AnswerTooltip(header, id, tipText_);
            return TRUE;
        }
        default:
            return FALSE;
    }
}

void RootView::EditSettings() {
    SettingsData data = ConfigStore::ReadSettings();
    if (RunSettingsDialog(window_, data) != 1) return;
    ConfigStore::SaveSettings(data);
    Refresh();
}

bool RootView::OnCommand(int command) {
    switch (command) {
        case kCreateList:
            CreateListView();
            return true;
        case kSettings:
            EditSettings();
            return true;
        case kAbout:
            ShowAboutBox(window_);
            return true;
        default:
            return false;
    }
}

INT_PTR CALLBACK RootView::DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_INITDIALOG) return TRUE;
    auto* view = reinterpret_cast<RootView*>(GetWindowLongPtrW(window, DWLP_USER));
    if (!view) return FALSE;
    switch (message) {
        case WM_COMMAND:
            return view->OnCommand(LOWORD(wParam));
        case WM_SIZE: {
            RECT bounds;
            GetWindowRect(window, &bounds);
            if (view->listView_)
                MoveWindow(view->listView_, 0, 0, bounds.right - bounds.left,
                           bounds.bottom - bounds.top, TRUE);
            return TRUE;
        }
        case WM_NOTIFY:
            return view->OnNotify(reinterpret_cast<NMHDR*>(lParam));
        default:
            return FALSE;
    }
}
