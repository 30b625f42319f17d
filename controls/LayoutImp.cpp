#include "controls/LayoutImp.h"

#include <algorithm>
#include <utility>

#include "controls/RubberBand.h"
#include "controls/SimpleControl.h"
#include "base/Module.h"
#include "base/SlimLock.h"

namespace {

const wchar_t kLayoutClass[] = L"LayoutImpWin";
constexpr UINT_PTR kLayoutTimer = 1;
constexpr int kLineStep = 10;
constexpr int kExtentPad = 3;
constexpr int kWrapSlack = 5;
constexpr int kLinesAhead = 1;  // windows for one line beyond each edge of the view
// Pictures kept in memory, estimated by their drawn size plus their encoded bytes.
constexpr size_t kPictureBudget = size_t(96) << 20;
constexpr size_t kEncodedEstimate = 8 << 10;

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
    ReadClientSize();
    UpdateWindow(window_);
    return TRUE;
}

void LayoutImp::SetLayout(int spacingX, int spacingY, int cellWidth, int cellHeight, int orientation,
                          COLORREF background, int multiSelect) {
    spacingX_ = spacingX;
    spacingY_ = spacingY;
    cellWidth_ = std::max(1, cellWidth);
    cellHeight_ = std::max(1, cellHeight);
    orientation_ = orientation ? 1 : 0;
    background_ = background;
    multiSelect_ = multiSelect;
}

int LayoutImp::Find(const char* name) const {
    if (!name) return -1;
    auto found = byName_.find(name);
    return found == byName_.end() ? -1 : found->second;
}

void LayoutImp::Reindex() {
    byName_.clear();
    for (size_t i = 0; i < cells_.size(); ++i) byName_.emplace(cells_[i].name, int(i));
}

// Appending leaves a running loader alone (it is woken for the newcomer); an
// insertion stops it, as it moves the records under it.
void LayoutImp::AddItem(ThumbnailCell* cell, const char* name, int position) {
    if (!cell) return;
    RECT rect = {0, 0, cellWidth_ - 1, cellHeight_ - 1};
    if (!cell->CreateCell(0, 0, &rect, window_, 0)) {
        cell->Destroy(1);
        return;
    }
    CellRecord record = {name ? name : "", cell, nullptr, {0, 0}, false};
    bool append = position < 0 || size_t(position) >= cells_.size();
    bool wasRunning = loader_.Running();
    if (!append) loader_.Stop();
    {
        ExclusiveHold hold(cellsLock_);
        if (append) {
            cells_.push_back(record);
        } else {
            cells_.insert(cells_.begin() + position, record);
            windowedFirst_ = std::min(windowedFirst_, position);
            ++windowedEnd_;
        }
    }
    if (append) byName_.emplace(cells_.back().name, int(cells_.size()) - 1);
    else Reindex();
    if (append) {
        // The grid's scroll bar follows once per burst of additions; a cell in view shows at once.
        LayoutSoon();
        if (int(cells_.size()) - 1 < viewEnd_ + PerLine()) ShowCellsInView();
        loader_.Wake();
    } else {
        Layout();
        UpdateWindow(window_);
        if (wasRunning) loader_.Start();
    }
}

void LayoutImp::DeleteCell(size_t index) {
    if (cells_[index].window) TakeWindow(int(index));
    if (cells_[index].fetched) --fetched_;
    ThumbnailCell* cell = cells_[index].cell;
    {
        ExclusiveHold hold(cellsLock_);
        cells_.erase(cells_.begin() + long(index));
    }
    cell->Destroy(1);
    windowedFirst_ = std::min(windowedFirst_, int(index));
}

void LayoutImp::RemoveItem(const char* name) {
    bool wasRunning = loader_.Running();
    loader_.Stop();
    int index = Find(name);
    if (index >= 0) {
        DeleteCell(size_t(index));
        Reindex();
        if (anchor_ >= int(cells_.size())) anchor_ = -1;
        Layout();
        UpdateWindow(window_);
    }
    if (wasRunning) loader_.Start();
}

void LayoutImp::RemoveAllItems() {
    loader_.Stop();
    for (int i = windowedFirst_; i < std::min(windowedEnd_, GetItemCount()); ++i)
        if (cells_[size_t(i)].window) TakeWindow(i);
    {
        ExclusiveHold hold(cellsLock_);
        for (CellRecord& record : cells_) record.cell->Destroy(1);
        cells_.clear();
    }
    byName_.clear();
    windowedFirst_ = windowedEnd_ = 0;
    fetched_ = 0;
    anchor_ = caret_ = -1;
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
        // Keys follow into the grid from within the view, never from elsewhere
        // (a file dialog's name box) while a fill restores a selection.
        HWND view = GetParent(window_), focus = GetFocus();
        if (focus == view || (focus && IsChild(view, focus))) SetFocus(window_);
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
    SelectionMoved();
    if (sink_) sink_->SelectionChanged(nullptr, 0, 0);
}

void LayoutImp::SelectionMoved() {
    ++selectionChanges_;
    loader_.Wake();
}

// ---- Geometry

void LayoutImp::ReadClientSize() {
    RECT client = {};
    if (window_) GetClientRect(window_, &client);
    clientWidth_ = client.right - client.left + 1;
    clientHeight_ = client.bottom - client.top + 1;
}

// Cells per row (vertical scrolling) or per column: a cell goes on while it
// ends within the client size and a little slack.
int LayoutImp::PerLine() const {
    int room = orientation_ ? clientWidth_ + kWrapSlack - marginX_ - cellWidth_
                            : clientHeight_ + kWrapSlack - marginY_ - cellHeight_;
    int step = orientation_ ? cellWidth_ + spacingX_ : cellHeight_ + spacingY_;
    return room < 0 || step <= 0 ? 1 : 1 + room / step;
}

POINT LayoutImp::CellPosition(int index) const {
    int per = PerLine(), line = index / per, place = index % per;
    int across = orientation_ ? cellWidth_ + spacingX_ : cellHeight_ + spacingY_;
    int along = orientation_ ? cellHeight_ + spacingY_ : cellWidth_ + spacingX_;
    return orientation_ ? POINT{marginX_ + place * across, marginY_ + line * along}
                        : POINT{marginX_ + line * along, marginY_ + place * across};
}

LayoutImp& LayoutImp::Settled() {
    if (layoutPending_ && !layoutBusy_) Layout();
    return *this;
}

// A timer, not a posted message: one that a message filter takes unseen comes again.
void LayoutImp::LayoutSoon() {
    if (layoutPending_ || !window_) return;
    layoutPending_ = true;
    SetTimer(window_, kLayoutTimer, 0, nullptr);
}

void LayoutImp::Layout() {
    if (std::exchange(layoutPending_, false)) KillTimer(window_, kLayoutTimer);
    layoutBusy_ = true;
    // The cell at the top stays there when the grid grows or reflows.
    int along = orientation_ ? cellHeight_ + spacingY_ : cellWidth_ + spacingX_;
    int margin = orientation_ ? marginY_ : marginX_, offset = scrollPos_ - margin;
    int topCell = offset > 0 ? offset / along * PerLine() : 0, within = offset > 0 ? offset % along : 0;
    int bar = GetSystemMetrics(SM_CXVSCROLL);
    ReadClientSize();
    if (scrollBarShown_) (orientation_ ? clientWidth_ : clientHeight_) += bar;
    auto extent = [&]() -> int {
        if (cells_.empty()) return 0;
        POINT last = CellPosition(GetItemCount() - 1);
        return orientation_ ? last.y + cellHeight_ + kExtentPad : last.x + cellWidth_ + kExtentPad;
    };
    int size = orientation_ ? clientHeight_ : clientWidth_;
    int sb = orientation_ ? SB_VERT : SB_HORZ;
    if (extent() > size) {
        (orientation_ ? clientWidth_ : clientHeight_) -= bar;
        if (!scrollBarShown_) ShowScrollBar(window_, sb, TRUE);
        int full = extent();
        scrollMax_ = full - size;
        if (offset > 0) scrollPos_ = margin + topCell / PerLine() * along + within;
        scrollPos_ = std::min(scrollPos_, scrollMax_);
        // Setting a scroll bar redraws it (milliseconds under Wine): only changes are set.
        ScrollState state = {full, size, scrollPos_};
        if (!scrollBarShown_ || !(state == scrollState_)) {
            SCROLLINFO info = {sizeof info, SIF_RANGE | SIF_PAGE | SIF_POS, 0, full, UINT(size), scrollPos_, 0};
            SetScrollInfo(window_, sb, &info, TRUE);
            scrollState_ = state;
        }
        scrollBarShown_ = true;
    } else {
        scrollMax_ = scrollPos_ = 0;
        if (scrollBarShown_) ShowScrollBar(window_, sb, FALSE);
        scrollBarShown_ = false;
    }
    ShowCellsInView();
    layoutBusy_ = false;
}

// Windows for the cells in view and a line beyond, taken from the cells that
// left it; each placed where it belongs.
void LayoutImp::ShowCellsInView() {
    int count = GetItemCount(), per = PerLine();
    int along = orientation_ ? cellHeight_ + spacingY_ : cellWidth_ + spacingX_;
    int margin = orientation_ ? marginY_ : marginX_, view = orientation_ ? clientHeight_ : clientWidth_;
    int firstLine = std::max(0, (scrollPos_ - margin) / along - kLinesAhead);
    int lastLine = std::max(0, (scrollPos_ + view - margin) / along + kLinesAhead);
    int first = std::min(count, firstLine * per), end = std::min(count, (lastLine + 1) * per);
    for (int i = windowedFirst_; i < std::min(windowedEnd_, count); ++i)
        if (cells_[size_t(i)].window && (i < first || i >= end)) TakeWindow(i);
    bool missing = false;
    for (int i = first; i < end; ++i) {
        CellRecord& record = cells_[size_t(i)];
        if (!record.window) GiveWindow(i);
        POINT at = CellPosition(i);
        (orientation_ ? at.y : at.x) -= scrollPos_;
        if (record.window && (record.placed.x != at.x || record.placed.y != at.y)) {
            record.cell->PlaceCell(at.x, at.y, cellWidth_, cellHeight_);
            record.placed = at;
        }
        missing = missing || !record.cell->HasImage();
    }
    windowedFirst_ = first;
    windowedEnd_ = end;
    viewFirst_ = first;
    viewEnd_ = end;
    size_t keep = size_t(std::max(8, 2 * per));
    while (spareWindows_.size() > keep) {
        DestroyWindow(spareWindows_.back());
        spareWindows_.pop_back();
    }
    if (missing) loader_.Wake();
}

void LayoutImp::GiveWindow(int index) {
    HWND window = nullptr;
    if (!spareWindows_.empty()) {
        window = spareWindows_.back();
        spareWindows_.pop_back();
    } else {
        window = SimpleControl::NewWindow(window_, cellWidth_, cellHeight_);
    }
    if (!window) return;
    CellRecord& record = cells_[size_t(index)];
    record.window = window;
    record.placed = {INT_MIN, INT_MIN};
    record.cell->UseWindow(window);
}

void LayoutImp::TakeWindow(int index) {
    CellRecord& record = cells_[size_t(index)];
    record.cell->UseWindow(nullptr);
    ShowWindow(record.window, SW_HIDE);
    spareWindows_.push_back(record.window);
    record.window = nullptr;
}

// ---- Scrolling

void LayoutImp::Scroll(int request) {
    int position = scrollPos_;
    SCROLLINFO info = {sizeof info, SIF_TRACKPOS | SIF_POS, 0, 0, 0, 0, 0};
    switch (request) {
        case SB_LINEUP: position -= kLineStep; break;
        case SB_LINEDOWN: position += kLineStep; break;
        case SB_PAGEUP: position -= cellHeight_; break;
        case SB_PAGEDOWN: position += cellHeight_; break;
        case SB_TOP: position = 0; break;
        case SB_BOTTOM: position = scrollMax_; break;
        case SB_THUMBPOSITION:
        case SB_THUMBTRACK:
            // The message carries 16 bits of the position; the bar has all 32.
            if (GetScrollInfo(window_, orientation_ ? SB_VERT : SB_HORZ, &info))
                position = request == SB_THUMBTRACK ? info.nTrackPos : info.nPos;
            break;
        default: break;
    }
    ScrollTo(position);
}

void LayoutImp::ScrollTo(int position) {
    position = std::max(0, std::min(position, scrollMax_));
    if (position != scrollPos_) ScrollBy(position - scrollPos_);
}

// Scrolls the content (cells included) by `step` along the scrolling axis.
void LayoutImp::ScrollBy(int step) {
    scrollPos_ += step;
    ScrollWindowEx(window_, orientation_ ? 0 : -step, orientation_ ? -step : 0, nullptr, nullptr,
                   nullptr, nullptr, SW_SCROLLCHILDREN | SW_INVALIDATE);
    for (int i = windowedFirst_; i < std::min(windowedEnd_, GetItemCount()); ++i)
        (orientation_ ? cells_[size_t(i)].placed.y : cells_[size_t(i)].placed.x) -= step;
    ShowCellsInView();
    SCROLLINFO info = {sizeof info, SIF_POS, 0, 0, 0, scrollPos_, 0};
    SetScrollInfo(window_, orientation_ ? SB_VERT : SB_HORZ, &info, TRUE);
    scrollState_.position = scrollPos_;
    // The cells paint on their own messages: one long message would stall the browser.
    RedrawWindow(window_, nullptr, nullptr, RDW_UPDATENOW | RDW_NOCHILDREN);
}

// ---- The loader's side

int LayoutImp::LoaderItemCount() {
    SharedHold hold(cellsLock_);
    return int(cells_.size());
}

bool LayoutImp::LoaderHasData(int index) {
    SharedHold hold(cellsLock_);
    return size_t(index) < cells_.size() && cells_[size_t(index)].cell->HasImage();
}

bool LayoutImp::LoaderIsSelected(int index) {
    SharedHold hold(cellsLock_);
    return size_t(index) < cells_.size() && cells_[size_t(index)].cell->IsSelected();
}

bool LayoutImp::LoaderBeforeSweep() {
    selectionSeen_ = ~0u;
    outwardOrigin_ = -1;
    return false;
}

// Selected pictures never fetched first, then what is in view, then the rest
// outward from the view, each once: pictures let go far away come back only
// when scrolled to.
int LayoutImp::LoaderNext(const std::vector<bool>& failed) {
    SharedHold hold(cellsLock_);
    int count = int(cells_.size());
    auto wanted = [&](int i) { return !(size_t(i) < failed.size() && failed[size_t(i)]); };
    unsigned changes = selectionChanges_;
    if (changes != selectionSeen_) {
        selectionSeen_ = changes;
        selectedScan_ = 0;
    }
    for (; selectedScan_ < count; ++selectedScan_) {
        const CellRecord& record = cells_[size_t(selectedScan_)];
        if (!record.fetched && wanted(selectedScan_) && record.cell->IsSelected()) return selectedScan_;
    }
    int first = std::min(int(viewFirst_), count), end = std::min(int(viewEnd_), count);
    for (int i = first; i < end; ++i)
        if (wanted(i) && !cells_[size_t(i)].cell->HasImage()) return i;
    if (outwardOrigin_ != first) {
        outwardOrigin_ = first;
        outwardDown_ = first;
        outwardUp_ = first - 1;
    }
    while (outwardDown_ < count || outwardUp_ >= 0) {
        for (int* cursor : {&outwardDown_, &outwardUp_}) {
            int i = *cursor;
            if (i < 0 || i >= count) continue;
            *cursor += cursor == &outwardDown_ ? 1 : -1;
            if (!cells_[size_t(i)].fetched && wanted(i)) return i;
        }
    }
    return -1;
}

bool LayoutImp::LoaderFetch(int index) {
    ThumbnailCell* cell;
    {
        SharedHold hold(cellsLock_);
        if (size_t(index) >= cells_.size()) return false;
        cell = cells_[size_t(index)].cell;
    }
    if (!cell->PrepareImage()) return false;
    {
        SharedHold hold(cellsLock_);
        CellRecord& record = cells_[size_t(index)];
        if (!record.fetched) ++fetched_;
        record.fetched = true;
    }
    DropFarPictures();
    return true;
}

// Past the budget, the pictures farthest from the view are let go, down to
// three quarters of it.
void LayoutImp::DropFarPictures() {
    size_t perPicture = size_t(cellWidth_) * size_t(cellHeight_) * 3 + kEncodedEstimate;
    size_t budget = std::max<size_t>(64, kPictureBudget / perPicture);
    if (++fetchesSinceTrim_ < int(budget / 8)) return;
    fetchesSinceTrim_ = 0;
    SharedHold hold(cellsLock_);
    int first = viewFirst_, end = viewEnd_;
    std::vector<std::pair<int, ThumbnailCell*>> held;  // distance from the view, cell
    for (int i = 0; i < int(cells_.size()); ++i)
        if ((i < first || i >= end) && cells_[size_t(i)].cell->HasImage())
            held.emplace_back(i < first ? first - i : i - end + 1, cells_[size_t(i)].cell);
    if (held.size() <= budget) return;
    size_t drop = held.size() - budget * 3 / 4;
    std::nth_element(held.begin(), held.begin() + long(drop), held.end(),
                     [](const auto& a, const auto& b) { return a.first > b.first; });
    for (size_t k = 0; k < drop; ++k) held[k].second->DropImage();
}

// ---- Window

LRESULT LayoutImp::OnNotify(ThumbnailCell* cell, const NMHDR* header) {
    int index = -1;
    for (int i = windowedFirst_; i < std::min(windowedEnd_, GetItemCount()) && header; ++i)
        if (cells_[size_t(i)].cell == cell && cells_[size_t(i)].window == header->hwndFrom) index = i;
    if (index < 0) return 0;
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
            layout->spareWindows_.clear();
            // A worker still reading a picture frees the object when it is done.
            if (!layout->loader_.Abandon([layout] { delete layout; })) delete layout;
            return 0;
        case WM_SIZE:
            if (!IsWindowVisible(window)) break;
            if (!layout->layoutBusy_) layout->Layout();
            return 0;
        case WM_TIMER:
            if (wParam == kLayoutTimer && !layout->layoutBusy_) layout->Layout();
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
            layout->Scroll(LOWORD(wParam));
            return 0;
        case WM_MOUSEWHEEL:
            layout->ScrollTo(layout->scrollPos_ - GET_WHEEL_DELTA_WPARAM(wParam) * layout->cellHeight_ / WHEEL_DELTA);
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
