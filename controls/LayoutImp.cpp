#include "controls/LayoutImp.h"

#include "controls/RubberBand.h"
#include "base/Module.h"

namespace {

const wchar_t kLayoutClass[] = L"LayoutImpWin";
constexpr int kLineStep = 10;
constexpr int kExtentPad = 3;
constexpr int kWrapSlack = 5;

}  // namespace

LayoutImp::LayoutImp() = default;

LayoutImp::~LayoutImp() {
    loader_.Stop();
    EndRubberBand();
    for (size_t i = 0; i < cells_.size(); ++i) cells_[i].cell->Destroy(1);
}

BOOL LayoutImp::CreateControl(const RECT* rect, HWND parent) {
    if (!rect) return FALSE;
    RegisterModuleClass(kLayoutClass, WindowProc, CS_HREDRAW | CS_VREDRAW);
    window_ = CreateWindowExW(0, kLayoutClass, L"", WS_CHILD | WS_VISIBLE, 0, 0,
                              rect->right - rect->left + 1, rect->bottom - rect->top + 1, parent,
                              nullptr, theModule.instance, nullptr);
    if (!window_) return FALSE;
    SetWindowLongPtrW(window_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    UpdateWindow(window_);
    return TRUE;
}

void LayoutImp::SetLayout(int spacingX, int spacingY, int cellWidth, int cellHeight, int orientation,
                          COLORREF background, int multiSelect) {
    spacingX_ = spacingX;
    spacingY_ = spacingY;
    cellWidth_ = cellWidth;
    cellHeight_ = cellHeight;
    orientation_ = orientation ? 1 : 0;
    background_ = background;
    multiSelect_ = multiSelect;
}

int LayoutImp::Find(const char* name) const {
    if (!name) return -1;
    for (size_t i = 0; i < cells_.size(); ++i)
        if (cells_[i].name == name) return int(i);
    return -1;
}

void LayoutImp::AddItem(ThumbnailCell* cell, const char* name, int position) {
    if (!cell) return;
    bool wasRunning = loader_.Running();
    loader_.Stop();
    RECT rect = {0, 0, cellWidth_ - 1, cellHeight_ - 1};
    if (!cell->CreateCell(0, 0, &rect, window_, 0)) {
        cell->Destroy(1);
        if (wasRunning) loader_.Start();
        return;
    }
    CellRecord record = {name ? name : "", cell, 0, 0, 0, 0, false};
    if (position < 0 || size_t(position) >= cells_.size())
        cells_.push_back(record);
    else
        cells_.insert(cells_.begin() + position, record);
    Layout();

    const CellRecord& last = cells_.back();
    RECT shown = {last.x, last.y, last.x + cellWidth_, last.y + cellHeight_};
    if (orientation_) OffsetRect(&shown, 0, -scrollPos_);
    else OffsetRect(&shown, -scrollPos_, 0);
    if (scrollBarChanged_) {
        InvalidateRect(window_, nullptr, TRUE);
    } else {
        ValidateRect(window_, nullptr);
        InvalidateRect(window_, &shown, TRUE);
    }
    UpdateWindow(window_);
    if (wasRunning) loader_.Start();
}

void LayoutImp::DeleteCell(size_t index) {
    cells_[index].cell->Destroy(1);
    cells_.erase(cells_.begin() + long(index));
}

void LayoutImp::RemoveItem(const char* name) {
    bool wasRunning = loader_.Running();
    loader_.Stop();
    int index = Find(name);
    if (index >= 0) {
        DeleteCell(size_t(index));
        if (anchor_ >= int(cells_.size())) anchor_ = -1;
        Layout();
        UpdateWindow(window_);
    }
    if (wasRunning) loader_.Start();
}

void LayoutImp::RemoveAllItems() {
    loader_.Stop();
    while (!cells_.empty()) DeleteCell(cells_.size() - 1);
    anchor_ = -1;
    Layout();
    UpdateWindow(window_);
}

int LayoutImp::GetSelectedCount() const {
    int count = 0;
    for (const CellRecord& record : cells_) count += record.cell->IsSelected() ? 1 : 0;
    return count;
}

void LayoutImp::SelectItem(const char* name, int select) {
    int index = Find(name);
    if (index < 0) return;
    ThumbnailCell* cell = CellAt(index);
    if (!select) {
        if (cell->IsSelected()) cell->SetSelected(0);
    } else {
        SetFocus(window_);
        if (!cell->IsSelected()) cell->SetSelected(1);
    }
    Notify();
}

int LayoutImp::IsItemSelected(const char* name) {
    int index = Find(name);
    return index < 0 ? 0 : CellAt(index)->IsSelected();
}

int LayoutImp::RotateItem(const char* name, int degrees) {
    int index = Find(name);
    return index < 0 ? 0 : CellAt(index)->Rotate(degrees);
}

int LayoutImp::GetItemRotation(const char* name) {
    int index = Find(name);
    return index < 0 ? 0 : CellAt(index)->GetRotation();
}

void LayoutImp::RestartLoader() {
    loader_.Stop();
    loader_.Start();
}

void LayoutImp::DestroyControl() {
    if (window_) DestroyWindow(window_);  // WM_NCDESTROY lets this object go
}

void LayoutImp::Notify() {
    if (sink_) sink_->SelectionChanged(nullptr, 0, 0);
}

// Document positions of every cell; nothing moves on screen yet.
void LayoutImp::PlaceCells() {
    for (size_t i = 0; i < cells_.size(); ++i) {
        CellRecord& cell = cells_[i];
        if (i == 0) {
            cell.x = marginX_;
            cell.y = marginY_;
            continue;
        }
        const CellRecord& p = cells_[i - 1];
        if (orientation_) {
            bool wrap = p.x + 2 * cellWidth_ + spacingX_ > clientWidth_ + kWrapSlack;
            cell.x = wrap ? marginX_ : p.x + cellWidth_ + spacingX_;
            cell.y = wrap ? p.y + cellHeight_ + spacingY_ : p.y;
        } else {
            bool wrap = p.y + 2 * cellHeight_ + spacingY_ > clientHeight_ + kWrapSlack;
            cell.x = wrap ? p.x + spacingX_ + cellWidth_ : p.x;
            cell.y = wrap ? marginY_ : p.y + spacingY_ + cellHeight_;
        }
    }
}

// Only cells whose window position changes are moved: a move costs the same
// whether or not anything moves, and a fill would otherwise cost n^2 moves.
void LayoutImp::MoveCells() {
    for (CellRecord& cell : cells_) {
        int x = orientation_ ? cell.x : cell.x - scrollPos_;
        int y = orientation_ ? cell.y - scrollPos_ : cell.y;
        if (cell.placed && cell.placedX == x && cell.placedY == y) continue;
        cell.cell->PlaceCell(x, y, cellWidth_, cellHeight_);
        cell.placedX = x;
        cell.placedY = y;
        cell.placed = true;
    }
}

void LayoutImp::Layout() {
    layoutBusy_ = true;
    scrollBarChanged_ = false;
    if (cells_.empty()) {
        layoutBusy_ = false;
        return;
    }
    int bar = GetSystemMetrics(SM_CXVSCROLL);
    RECT client;
    GetClientRect(window_, &client);
    clientWidth_ = client.right - client.left + 1;
    clientHeight_ = client.bottom - client.top + 1;
    if (scrollBarShown_) (orientation_ ? clientWidth_ : clientHeight_) += bar;
    PlaceCells();

    auto extent = [&] {
        const CellRecord& last = cells_.back();
        return orientation_ ? last.y + cellHeight_ + kExtentPad : last.x + cellWidth_ + kExtentPad;
    };
    int size = orientation_ ? clientHeight_ : clientWidth_;
    int sb = orientation_ ? SB_VERT : SB_HORZ;
    if (extent() > size) {
        (orientation_ ? clientWidth_ : clientHeight_) -= bar;
        if (!scrollBarShown_) ShowScrollBar(window_, sb, TRUE);
        PlaceCells();
        int full = extent();
        scrollPos_ = scrollMax_ != 0 ? int(double(full - size) / scrollMax_ * scrollPos_) : 0;
        scrollMax_ = full - size;
        // Setting a scroll bar redraws it (milliseconds under Wine): only changes are set.
        ScrollState state = {full, size, scrollPos_};
        if (!scrollBarShown_ || !(state == scrollState_)) {
            if (orientation_) {
                SCROLLINFO info = {sizeof info, SIF_RANGE | SIF_PAGE | SIF_POS, 0, full, UINT(size), scrollPos_, 0};
                SetScrollInfo(window_, SB_VERT, &info, TRUE);
            } else {
                SetScrollRange(window_, SB_HORZ, 0, full - size, TRUE);
                SetScrollPos(window_, SB_HORZ, scrollPos_, TRUE);
            }
            scrollState_ = state;
        }
        if (!scrollBarShown_) scrollBarChanged_ = true;
        scrollBarShown_ = true;
    } else {
        scrollMax_ = scrollPos_ = 0;
        if (scrollBarShown_) ShowScrollBar(window_, sb, FALSE);
        if (scrollBarShown_) scrollBarChanged_ = true;
        scrollBarShown_ = false;
    }
    MoveCells();
    layoutBusy_ = false;
}

void LayoutImp::Scroll(int request, int thumb) {
    int position = scrollPos_;
    switch (request) {
        case SB_LINEUP: position -= kLineStep; break;
        case SB_LINEDOWN: position += kLineStep; break;
        case SB_PAGEUP: position -= cellHeight_; break;
        case SB_PAGEDOWN: position += cellHeight_; break;
        case SB_THUMBPOSITION:
        case SB_THUMBTRACK: position = thumb; break;
        default: break;
    }
    position = std::max(0, std::min(position, scrollMax_));
    if (position != scrollPos_) ScrollBy(position - scrollPos_);
}

// Scrolls the content (cells included) by `step` along the scrolling axis.
void LayoutImp::ScrollBy(int step) {
    scrollPos_ += step;
    ScrollWindowEx(window_, orientation_ ? 0 : -step, orientation_ ? -step : 0, nullptr, nullptr,
                   nullptr, nullptr, SW_SCROLLCHILDREN | SW_INVALIDATE);
    for (CellRecord& cell : cells_) (orientation_ ? cell.placedY : cell.placedX) -= step;
    UpdateWindow(window_);
    SCROLLINFO info = {sizeof info, SIF_POS, 0, 0, 0, scrollPos_, 0};
    SetScrollInfo(window_, orientation_ ? SB_VERT : SB_HORZ, &info, TRUE);
    scrollState_.position = scrollPos_;
}

LRESULT LayoutImp::OnNotify(ThumbnailCell* cell, const NMHDR* header) {
    int index = -1;
    for (size_t i = 0; i < cells_.size(); ++i)
        if (cells_[i].cell == cell) index = int(i);
    if (index < 0 || !header) return 0;
    std::string name = cells_[size_t(index)].name;
    switch (header->code) {
        case kCellDoubleClick:
            ApplyClickRules(index, header->idFrom);
            if (sink_) sink_->ItemOpened(0, name.c_str());
            break;
        case kCellLeftDown: {
            bool applied = false;
            if (!cell->IsSelected()) {
                ApplyClickRules(index, header->idFrom);
                applied = true;
            }
            if (DetectDrag()) {
                if (sink_) sink_->BeginDrag();
            } else if (!applied) {
                ApplyClickRules(index, header->idFrom);
            }
            break;
        }
        case kCellBelowPicturePress: {
            DWORD position = GetMessagePos();
            POINT point = {short(LOWORD(position)), short(HIWORD(position))};
            ScreenToClient(window_, &point);
            BackgroundPress(header->idFrom, point.x, point.y);
            break;
        }
        case kCellRightUp:
            if (sink_) sink_->ContextMenuRequested(0, name.c_str());
            break;
        case kCellRightDown:
            if (!cell->IsSelected()) ApplyClickRules(index, header->idFrom);
            break;
        default:
            break;
    }
    return 0;
}

LRESULT CALLBACK LayoutImp::WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* layout = reinterpret_cast<LayoutImp*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (!layout) return DefWindowProcW(window, message, wParam, lParam);
    switch (message) {
        case WM_NCDESTROY:  // the cells' windows are gone too: nothing of this thread reaches the object
            SetWindowLongPtrW(window, GWLP_USERDATA, 0);
            layout->EndRubberBand();  // while it still has a window to draw on
            layout->window_ = nullptr;
            layout->sink_ = nullptr;
            // A worker still reading a picture frees the object when it is done.
            if (!layout->loader_.Abandon([layout] { delete layout; })) delete layout;
            return 0;
        case WM_SIZE:
            if (!IsWindowVisible(window)) break;
            if (!layout->layoutBusy_) layout->Layout();
            return 0;
        case WM_PAINT: {
            RECT update;
            if (GetUpdateRect(window, &update, FALSE)) {
                PAINTSTRUCT paint;
                HDC dc = BeginPaint(window, &paint);
                FillRect(dc, &update, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
                EndPaint(window, &paint);
            }
            return 0;
        }
        case WM_NOTIFY:
            return layout->OnNotify(reinterpret_cast<ThumbnailCell*>(wParam),
                                    reinterpret_cast<const NMHDR*>(lParam));
        case WM_HSCROLL:
        case WM_VSCROLL:
            layout->Scroll(LOWORD(wParam), short(HIWORD(wParam)));
            return 0;
        case WM_GETDLGCODE:
            return DLGC_WANTARROWS;
        case WM_KEYDOWN:
            if (layout->MoveByKey(wParam)) return 0;
            break;
        case WM_MOUSEMOVE:
            if (layout->rubberBand_ && (wParam & MK_LBUTTON)) layout->rubberBand_->Track(wParam);
            return 0;
        case WM_LBUTTONDOWN:
            layout->BackgroundPress(wParam, short(LOWORD(lParam)), short(HIWORD(lParam)));
            return 0;
        case WM_LBUTTONUP:
        case WM_RBUTTONUP:
            layout->EndRubberBand();
            if (GetCapture() == window) ReleaseCapture();
            if (message == WM_RBUTTONUP && layout->sink_) layout->sink_->ContextMenuRequested(0, "");
            return 0;
        default:
            break;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}
