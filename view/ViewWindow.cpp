// The camera view's window: commands, tooltips, the clipboard chain, the
// control's notifications and the status bar.
#include <utility>

#include "base/Module.h"
#include "base/WideText.h"
#include "print/PrintCommand.h"
#include "res/resource.h"
#include "transfer/ImageDataObject.h"
#include "view/AboutBox.h"
#include "view/CameraView.h"

namespace {

struct TipRow {
    int command;
    UINT text;
};

const TipRow kTips[] = {
    {CameraView::kRotate, IDS_TIP_ROTATE_SELECTED}, {CameraView::kPrint, IDS_TIP_PRINT},
    {CameraView::kSelectFolder, IDS_TIP_SELECT_FOLDER}, {CameraView::kSettings, IDS_TIP_SETTINGS},
    {CameraView::kRefresh, IDS_TIP_REFRESH}, {CameraView::kThumbnailView, IDS_TIP_THUMBNAIL_VIEW},
    {CameraView::kListView, IDS_TIP_LIST_VIEW}, {CameraView::kProperties, IDS_TIP_PROPERTIES},
};

}  // namespace

std::string CameraView::CountsText() {
    int total = control_ ? control_->GetItemCount() : 0;
    int selected = control_ ? control_->GetSelectedCount() : 0;
    wchar_t text[128];
    wsprintfW(text, LoadModuleText(IDS_STATUS_COUNTS).c_str(), total, selected);
    return Narrow(text);
}

void CameraView::ShowSourceStatus() {
    wchar_t counts[128];
    wsprintfW(counts, LoadModuleText(IDS_STATUS_COUNTS).c_str(), folder_->GetImageCount(), 0);
    std::string kind = folder_->GetKind(), name, detail;
    if (kind == "Viewer") {
        name = LoadModuleString(IDS_IMAGES_ON_DISK);
        detail = folder_->GetCurrentFolder();
    } else if (kind == "Local") {
        name = LoadModuleString(IDS_REMOVABLE_MEDIA);
    } else if (kind == "Remote") {
        name = folder_->GetCameraModel();
        std::string type = folder_->GetConnectionType();
        detail = type == "Serial" ? folder_->GetComPort() + "  " + folder_->GetComSpeed() + " bps" : type;
    }
    SetStatusParts(Narrow(counts), name, detail);
}

void CameraView::SetStatusParts(const std::string& a, const std::string& b, const std::string& c) {
    if (!browser_) return;
    std::wstring texts[3] = {Widen(a), Widen(b), Widen(c)};
    SIZE first = {}, second = {};
    HDC dc = GetDC(window_);
    GetTextExtentPoint32W(dc, texts[0].c_str(), int(texts[0].size()), &first);
    GetTextExtentPoint32W(dc, texts[1].c_str(), int(texts[1].size()), &second);
    ReleaseDC(window_, dc);
    int edges[3] = {first.cx, first.cx + second.cx, -1};
    LRESULT ignored = 0;
    browser_->SendControlMsg(FCW_STATUS, SB_SETPARTS, 3, reinterpret_cast<LPARAM>(edges), &ignored);
    for (int i = 0; i < 3; ++i)
        browser_->SendControlMsg(FCW_STATUS, SB_SETTEXTW, i, reinterpret_cast<LPARAM>(texts[i].c_str()),
                                 &ignored);
}

// The pictures a fill has still to add stay selected while everything shown is
// (a Select All), and lose their selection with any other choice of the user's.
void CameraView::FollowTheSelection() {
    if (!control_ || filled_ >= items_.size()) return;
    int all = control_->GetSelectedCount() == control_->GetItemCount() ? 1 : 0;
    for (size_t i = filled_; i < items_.size(); ++i) items_[i].selected = all;
}

void CameraView::SelectionChanged(const char* name, int selected, int index) {
    if (suppressSelectionEvents_ || !control_) return;
    int n = control_->GetItemCount();
    if (!name) {
        for (size_t i = 0; i < filled_ && i < items_.size(); ++i)
            items_[i].selected = control_->IsItemSelected(items_[i].name.c_str());
    } else if (n > 0 && !items_.empty()) {
        for (int k = 0; k < n; ++k) {
            size_t i = size_t((index + k) % n) % items_.size();
            if (items_[i].name == name) {
                items_[i].selected = selected;
                break;
            }
        }
    }
    // The grid reports a user's action once; the list reports each row, up to
    // thousands for one click: commands follow them once the burst settles.
    if (!name) FollowTheSelection(), UpdateCommandStates();
    else commandsStale_ = true;
    // A file dialog reads the selection's names, which may fetch pictures:
    // never inside the click that changed it, and once for a burst of changes.
    if ((fileDialog_ || commandsStale_) && !selectionNewsPosted_)
        selectionNewsPosted_ = PostMessageW(window_, kSelectionNews, 0, 0);
}

// A file dialog has the first word: it opens the picture for its program. A
// browser that answers S_FALSE leaves the default action to the view.
void CameraView::ItemOpened(int, const char* name) {
    if (fileDialog_ && fileDialog_->OnDefaultCommand(this) != S_FALSE) return;
    if (name) OpenItem(name);
}

// The view's menus and toolbar may be out of reach (Wine's explorer shows
// neither, nor does today's Windows explorer show a toolbar): its two context
// menus offer every command.
void CameraView::ContextMenuRequested(int, const char* name) {
    POINT at;
    GetCursorPos(&at);
    HMENU popup = CreatePopupMenu();
    int total = control_ ? control_->GetItemCount() : 0;
    int selected = control_ ? control_->GetSelectedCount() : 0;
    auto add = [&](const std::string& text, int command, bool enabled = true, bool checked = false) {
        AppendMenuW(popup, MF_STRING | (enabled ? MF_ENABLED : MF_GRAYED) | (checked ? MF_CHECKED : 0), command,
                    Widen(text).c_str());
    };
    auto separator = [&] { AppendMenuW(popup, MF_SEPARATOR, 0, nullptr); };
    if (name && *name) {
        add(LoadModuleString(IDS_POPUP_PREVIEW), kPreview, selected == 1);
        separator();
        add(LoadModuleString(IDS_POPUP_COPY), kCopy);
        add(LoadModuleString(IDS_POPUP_ROTATE), kRotate, selected == 0 || TurnableSelected());  // nothing chosen: all offered
        add(LoadModuleString(IDS_POPUP_DELETE), kDelete);
        separator();
        add(LoadModuleString(IDS_POPUP_PRINT), kPrint);
        separator();
        add(LoadModuleString(IDS_MENU_PROPERTIES), kProperties, selected == 1);
    } else {
        bool thumbs = GetViewType() == "Thumbs";
        add(LoadModuleString(IDS_MENU_THUMBNAIL_VIEW), kThumbnailView, true, thumbs);
        add(LoadModuleString(IDS_MENU_LIST_VIEW), kListView, true, !thumbs);
        separator();
        add(LoadModuleString(IDS_TIP_REFRESH), kRefresh);
        add(LoadModuleString(IDS_MENU_SELECT_FOLDER), kSelectFolder, folder_->GetKind() == "Viewer");
        separator();
        add(LoadModuleString(IDS_MENU_PASTE), kPaste, CanPaste());
        add(LoadModuleString(IDS_POPUP_SELECT_ALL), kSelectAll, !fileDialog_ && total != 0);
        if (DeleteAllOnly()) add(LoadModuleString(IDS_MENU_DELETE_ALL), kDelete, total != 0);
        separator();
        add(LoadModuleString(IDS_POPUP_PRINT), kPrint, total != 0);
        add(LoadModuleString(IDS_MENU_SETTINGS), kSettings);
        separator();
        add(LoadModuleString(IDS_MENU_ABOUT) + ProductName(), kAbout);
    }
    TrackPopupMenu(popup, TPM_RIGHTBUTTON, at.x, at.y, 0, window_, nullptr);
    DestroyMenu(popup);
}

INT_PTR CameraView::OnCommand(int command) {
    switch (command) {
        case kFill:
            FillView();
            return TRUE;
        case kRefresh:
            Refresh();
            return TRUE;
        case kThumbnailView:
        case kListView:
            SetViewType(command == kThumbnailView ? "Thumbs" : "List");
            UpdateCommandStates();
            if (control_) SetFocus(control_->GetWindow());
            return TRUE;
        case kSelectAll:
            if (fileDialog_) return FALSE;
            SelectAll();
            return TRUE;
        case kPaste:
            PasteCommand();
            UpdateCommandStates();
            return TRUE;
        case kCopy:
            CopyCommand();
            return TRUE;
        case kRotate:
            RotateSelected();
            return TRUE;
        case kDelete:
            DeleteCommand();
            return TRUE;
        case kAbout:
            ShowAboutBox(window_);
            return TRUE;
        case kSelectFolder:
            return SelectImageFolder(window_);
        case kPreview:
            PreviewCommand();
            return TRUE;
        case kSettings:
            SettingsCommand();
            return TRUE;
        case kProperties:
            PropertiesCommand();
            return TRUE;
        case kPrint:
            PrintImages(window_, folder_, items_, folderObject_);
            return TRUE;
        default:
            return FALSE;
    }
}

INT_PTR CameraView::OnNotify(NMHDR* header) {
    if (header->code != TTN_NEEDTEXTA && header->code != TTN_NEEDTEXTW) return TRUE;
    UINT text = 0;
    if (header->idFrom == UINT_PTR(kDelete))
        text = DeleteAllOnly() ? IDS_TIP_DELETE_ALL : IDS_TIP_DELETE_SELECTED;
    for (const TipRow& row : kTips)
        if (header->idFrom == UINT_PTR(row.command)) text = row.text;
    AnswerTooltip(header, text, tipText_);
    return TRUE;
}

INT_PTR CALLBACK CameraView::WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_INITDIALOG) return TRUE;
    auto* view = reinterpret_cast<CameraView*>(GetWindowLongPtrW(window, DWLP_USER));
    if (!view) return FALSE;
    switch (message) {
        case WM_PAINT: {
            PAINTSTRUCT paint;
            BeginPaint(window, &paint);
            EndPaint(window, &paint);
            return TRUE;
        }
        case WM_TIMER:
            if (wParam == kFillTimer) view->AddSlice();
            return TRUE;
        case WM_CLIPBOARDUPDATE:
            view->UpdateCommandStates();
            return FALSE;
        case WM_COMMAND: {
            // A command that pumps messages may see the browser leave the view meanwhile.
            ComRef<IShellView> keep = ComRef<IShellView>::Share(view);
            return view->OnCommand(LOWORD(wParam));
        }
        case kSelectionNews:
            view->selectionNewsPosted_ = false;
            if (std::exchange(view->commandsStale_, false)) view->FollowTheSelection(), view->UpdateCommandStates();
            if (view->fileDialog_) view->fileDialog_->OnStateChange(view, CDBOSC_SELCHANGE);
            return TRUE;
        case kCameraNews:
            if (view->window_ && !view->windowDestroyed_ && view->browser_) view->TakeCameraNews();
            return TRUE;
        case WM_SIZE: {
            RECT bounds;
            GetWindowRect(window, &bounds);
            if (view->control_ && IsWindow(view->control_->GetWindow()))
                view->control_->MoveControl(0, 0, bounds.right - bounds.left, bounds.bottom - bounds.top);
            InvalidateRect(window, nullptr, TRUE);
            return TRUE;
        }
        case WM_NOTIFY:
            return view->OnNotify(reinterpret_cast<NMHDR*>(lParam));
        case WM_RBUTTONUP:
            view->ContextMenuRequested(0, "");
            return TRUE;
        default:
            return FALSE;
    }
}
