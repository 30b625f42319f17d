#include "controls/ListHelper.h"

#include <commctrl.h>

#include "base/Dpi.h"
#include "base/Module.h"
#include "base/SizeText.h"
#include "base/WideText.h"
#include "camera/CameraService.h"
#include "res/resource.h"

namespace {

const wchar_t kFrameClass[] = L"ListHelper";
constexpr int kInfoTries = 40;
constexpr DWORD kInfoPause = 250;
constexpr int kObjectOffset = 8;

struct Column {
    UINT text;
    int format;
    int width;
};
const Column kColumns[4] = {{IDS_COLUMN_FILE_NAME, LVCFMT_LEFT, 180},
                            {IDS_COLUMN_FILE_SIZE, LVCFMT_RIGHT, 80},
                            {IDS_COLUMN_CAPTURE_DATE, LVCFMT_LEFT, 120},
                            {IDS_COLUMN_IMAGE_SIZE, LVCFMT_LEFT, 120}};

HIMAGELIST MakeIcons(int size) {
    HIMAGELIST icons = ImageList_Create(size, size, ILC_COLOR32 | ILC_MASK, 1, 0);
    for (UINT id : {IDI_IMAGE_NEW, IDI_IMAGE}) {
        HICON icon = static_cast<HICON>(LoadImageW(theModule.instance, MAKEINTRESOURCEW(id), IMAGE_ICON, size, size, 0));
        ImageList_AddIcon(icons, icon);
        DestroyIcon(icon);
    }
    return icons;
}

}  // namespace

ListHelper::~ListHelper() = default;

// A worker still reading a file frees the helper when it is done.
void ListHelper::Destroy(int flags) {
    if (!(flags & 1)) return;
    sink_ = nullptr;
    if (!loader_.Abandon([this] { delete this; })) delete this;
}

int ListHelper::Find(const char* name) const {
    if (!name) return -1;
    for (size_t i = 0; i < records_.size(); ++i)
        if (records_[i].name == name) return int(i);
    return -1;
}

BOOL ListHelper::CreateControl(int, const char*, DWORD, const RECT* rect, HWND parent, int) {
    if (!rect) return TRUE;
    RegisterModuleClass(kFrameClass, WindowProc, 0, 30);
    int width = rect->right - rect->left + 1, height = rect->bottom - rect->top + 1;
    frame_ = CreateWindowExW(0, kFrameClass, L"", WS_CHILD | WS_VISIBLE, 0, 0, width, height, parent, nullptr,
                             theModule.instance, nullptr);
    if (!frame_) return TRUE;
    SetWindowLongPtrW(frame_, kObjectOffset, reinterpret_cast<LONG_PTR>(this));
    DWORD style = WS_CHILD | WS_VISIBLE | LVS_REPORT | (multiSelect_ ? 0 : LVS_SINGLESEL);
    style |= LVS_SHAREIMAGELISTS;  // the icons are ours: the list must not free them too
    list_ = CreateWindowExW(0, WC_LISTVIEWW, L"", style, 0, 0, width, height, frame_, nullptr,
                            theModule.instance, nullptr);
    SetFocus(list_);
    for (int i = 0; i < 4; ++i) {
        std::wstring text = LoadModuleText(kColumns[i].text);
        LVCOLUMNW column = {};
        column.mask = LVCF_FMT | LVCF_WIDTH | LVCF_TEXT | LVCF_SUBITEM;
        column.fmt = kColumns[i].format;
        column.cx = Scaled(kColumns[i].width, WindowDpi(frame_));
        column.pszText = &text[0];
        column.iSubItem = i;
        SendMessageW(list_, LVM_INSERTCOLUMNW, i, reinterpret_cast<LPARAM>(&column));
    }
    SendMessageW(list_, LVM_SETIMAGELIST, LVSIL_SMALL, reinterpret_cast<LPARAM>(MakeIcons(Scaled(16, WindowDpi(frame_)))));
    return TRUE;
}

void ListHelper::SetText(int row, int column, const std::string& text) {
    std::wstring wide = Widen(text);
    LVITEMW item = {};
    item.iSubItem = column;
    item.pszText = &wide[0];
    SendMessageW(list_, LVM_SETITEMTEXTW, row, reinterpret_cast<LPARAM>(&item));
}

void ListHelper::AddItem(CameraImage* image, const char* name, int) {
    bool wasRunning = loader_.Running();
    loader_.Stop();
    int row = int(SendMessageW(list_, LVM_GETITEMCOUNT, 0, 0));
    LVITEMW item = {};
    item.mask = LVIF_TEXT | LVIF_IMAGE | LVIF_STATE;
    item.iItem = row;
    item.pszText = const_cast<wchar_t*>(L"");
    SendMessageW(list_, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item));
    SetText(row, 0, "Pic " + std::to_string(row + 1));
    for (int column = 1; column < 4; ++column) SetText(row, column, "");
    records_.push_back({name ? name : "", image, 0, 0, 0, 0, 0});
    if (wasRunning) loader_.Start();
}

void ListHelper::RemoveItem(const char* name) {
    bool wasRunning = loader_.Running();
    loader_.Stop();
    int row = Find(name);
    if (row >= 0) {
        SendMessageW(list_, LVM_DELETEITEM, row, 0);
        records_.erase(records_.begin() + row);
        UpdateWindow(list_);
    }
    if (wasRunning) loader_.Start();
}

void ListHelper::RemoveAllItems() {
    loader_.Stop();
    SendMessageW(list_, LVM_DELETEALLITEMS, 0, 0);
    records_.clear();
    UpdateWindow(list_);
}

int ListHelper::GetSelectedCount() {
    int count = 0;
    for (const ListItem& record : records_) count += record.selected ? 1 : 0;
    return count;
}

void ListHelper::SetLayout(short, short, short, short, short, COLORREF, int multiSelect) {
    multiSelect_ = multiSelect != 0;
    if (!list_) return;
    LONG_PTR style = GetWindowLongPtrW(list_, GWL_STYLE);
    style = multiSelect_ ? (style & ~LONG_PTR(LVS_SINGLESEL)) : (style | LVS_SINGLESEL);
    SetWindowLongPtrW(list_, GWL_STYLE, style);
}

void ListHelper::SelectItem(const char* name, int select) {
    int row = Find(name);
    if (row < 0) return;
    LVITEMW item = {};
    item.mask = LVIF_STATE;
    item.iItem = row;
    item.state = select ? LVIS_SELECTED : 0;
    item.stateMask = LVIS_SELECTED;
    SendMessageW(list_, LVM_SETITEMW, 0, reinterpret_cast<LPARAM>(&item));
}

int ListHelper::IsItemSelected(const char* name) {
    int row = Find(name);
    return row < 0 ? 0 : records_[size_t(row)].selected;
}

int ListHelper::RotateItem(const char* name, int degrees) {
    int row = Find(name);
    if (row < 0) return 0;
    int r = records_[size_t(row)].rotation + degrees;
    if (r >= 360) r -= 360;
    if (r < -359) r += 360;
    return records_[size_t(row)].rotation = r;
}

int ListHelper::GetItemRotation(const char* name) {
    int row = Find(name);
    return row < 0 ? 0 : records_[size_t(row)].rotation;
}

void ListHelper::MoveControl(int x, int y, int width, int height) {
    if (frame_) MoveWindow(frame_, x, y, width, height, TRUE);
}

void ListHelper::RestartLoader() {
    loader_.Stop();
    loader_.Start();
}

// The records stay for a worker still reading; the helper's Destroy frees them.
void ListHelper::DestroyControl() {
    HIMAGELIST icons =
        list_ ? reinterpret_cast<HIMAGELIST>(SendMessageW(list_, LVM_GETIMAGELIST, LVSIL_SMALL, 0)) : nullptr;
    if (frame_) DestroyWindow(frame_);
    if (icons) ImageList_Destroy(icons);
    frame_ = list_ = nullptr;
}

// Details pass: the columns from each image's header details.
// A camera busy with a download answers no details for a while: they are
// asked again, a while apart, a bounded number of times.
bool ListHelper::LoaderBeforeSweep() {
    bool missing = false;
    for (size_t i = 0; i < records_.size() && !loader_.StopRequested(); ++i) {
        ListItem& record = records_[i];
        ImageInfo info = {};
        if (record.infoFetched || !record.image) continue;
        if (!record.image->GetInfo(&info)) {
            if (++record.infoTries < kInfoTries) missing = true;
            continue;
        }
        int row = int(i);
        if (info.mask & kInfoName) SetText(row, 0, std::string(info.name, strnlen(info.name, sizeof info.name)));
        if (info.mask & kInfoSize) SetText(row, 1, FormatFileSize(int(info.fileSize)));
        if (info.mask & kInfoDate)
            SetText(row, 2, std::string(info.captureDate, strnlen(info.captureDate, sizeof info.captureDate)));
        if ((info.mask & kInfoDimensions) || !(info.mask & kInfoNoDimensions))
            SetText(row, 3, FormatImageSize(info.width, info.height));
        record.infoFetched = 1;
    }
    if (missing && !loader_.StopRequested()) Sleep(kInfoPause);
    return missing;
}

// The file of a row; the path is not kept and the file is never deleted here.
bool ListHelper::LoaderFetch(int index) {
    ListItem& record = records_[size_t(index)];
    char path[260] = {};
    int deleteWhenDone = 0;
    if (!record.image || record.image->ReadToFile(path, sizeof path, 0, &deleteWhenDone, ItemLoader::KeepGoing,
                                                  ItemLoader::OfThisThread()) != kReadOk)
        return false;
    record.fileFetched = 1;
    LVITEMW item = {};
    item.mask = LVIF_IMAGE;
    item.iItem = index;
    item.iImage = 1;
    SendMessageW(list_, LVM_SETITEMW, 0, reinterpret_cast<LPARAM>(&item));
    return true;
}

int ListHelper::HitTest() const {
    DWORD position = GetMessagePos();
    LVHITTESTINFO hit = {};
    hit.pt = {short(LOWORD(position)), short(HIWORD(position))};
    ScreenToClient(list_, &hit.pt);
    return int(SendMessageW(list_, LVM_HITTEST, 0, reinterpret_cast<LPARAM>(&hit)));
}

LRESULT ListHelper::OnNotify(const NMHDR* header) {
    switch (header->code) {
        case NM_CLICK: {
            int row = HitTest();
            if (row >= 0 && row < GetItemCount()) sink_->ItemClicked(0, records_[size_t(row)].name.c_str());
            break;
        }
        case NM_RCLICK: {
            int row = HitTest();
            sink_->ContextMenuRequested(0, row >= 0 && row < GetItemCount() ? records_[size_t(row)].name.c_str() : "");
            rightClickReported_ = true;
            break;
        }
        case NM_DBLCLK: {
            int row = HitTest();
            if (row >= 0 && row < GetItemCount()) sink_->ItemOpened(0, records_[size_t(row)].name.c_str());
            break;
        }
        case LVN_ITEMCHANGED: {
            auto* change = reinterpret_cast<const NMLISTVIEW*>(header);
            if (!(change->uChanged & LVIF_STATE) || change->iItem < 0 || change->iItem >= GetItemCount()) break;
            ListItem& record = records_[size_t(change->iItem)];
            bool now = change->uNewState & LVIS_SELECTED, before = change->uOldState & LVIS_SELECTED;
            if (now && !before) {
                record.selected = 1;
                sink_->SelectionChanged(record.name.c_str(), 1, change->iItem);
            } else if (before && !now) {
                record.selected = 0;
                sink_->SelectionChanged(record.name.c_str(), 0, change->iItem);
            }
            break;
        }
        case LVN_BEGINDRAG:
            sink_->BeginDrag();
            break;
        default:
            break;
    }
    return 0;
}

LRESULT CALLBACK ListHelper::WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* helper = reinterpret_cast<ListHelper*>(GetWindowLongPtrW(window, kObjectOffset));
    if (!helper) return DefWindowProcW(window, message, wParam, lParam);
    switch (message) {
        case WM_SIZE:
            if (HWND list = ::GetWindow(window, GW_CHILD))
                MoveWindow(list, 0, 0, LOWORD(lParam), HIWORD(lParam), TRUE);
            break;
        case WM_SETFOCUS:
            if (HWND list = ::GetWindow(window, GW_CHILD)) SetFocus(list);
            return 0;
        case WM_NOTIFY:
            if (helper->sink_) helper->OnNotify(reinterpret_cast<const NMHDR*>(lParam));
            break;
        case WM_CONTEXTMENU: {
            if (helper->rightClickReported_) {
                helper->rightClickReported_ = false;
                return 0;
            }
            if (!helper->sink_) return 0;
            int row = helper->HitTest();
            helper->sink_->ContextMenuRequested(
                0, row >= 0 && row < helper->GetItemCount() ? helper->records_[size_t(row)].name.c_str() : "");
            return 0;
        }
        default:
            break;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}
