// Selection and drag start of the thumbnail layout window: click rules,
// background press, rubber band with auto-scroll, drag detection.
#include <algorithm>

#include "controls/LayoutImp.h"
#include "controls/RubberBand.h"

namespace {
constexpr int kDragBox = 3;
constexpr int kAutoScrollStep = 10;

bool KeyDown(int key) { return GetKeyState(key) < 0; }
}  // namespace

void LayoutImp::Select(int index, bool selected) {
    ThumbnailCell* cell = CellAt(index);
    if (bool(cell->IsSelected()) != selected) cell->SetSelected(selected ? 1 : 0);
}

// Column and row (from 1) of cell `index` in the grid as it stands.
POINT LayoutImp::GridPosition(int index) const {
    int perRow = PerRow();
    int q = (index + 1) / perRow, r = (index + 1) % perRow;
    return r != 0 ? POINT{r, q + 1} : POINT{perRow, q};
}

void LayoutImp::ApplyClickRules(int index, WPARAM keys) {
    bool shift = keys & MK_SHIFT, control = keys & MK_CONTROL;
    caret_ = index;
    SetFocus(window_);  // keys follow the click
    int count = int(cells_.size());
    if (shift && multiSelect_) {
        if (anchor_ < 0) anchor_ = index;
        POINT a = GridPosition(anchor_), b = GridPosition(index);
        RECT block = {std::min(a.x, b.x), std::min(a.y, b.y), std::max(a.x, b.x), std::max(a.y, b.y)};
        for (int i = 0; i < count; ++i) {
            POINT p = GridPosition(i);
            bool inside = p.x >= block.left && p.x <= block.right && p.y >= block.top && p.y <= block.bottom;
            if (inside) Select(i, true);
            else if (!control) Select(i, false);
        }
        Notify();
    } else if (control && multiSelect_) {
        if (!CellAt(index)->IsSelected()) {
            Select(index, true);
            anchor_ = index;
        } else {
            Select(index, false);
        }
        Notify();
    } else {
        for (int i = 0; i < count; ++i) Select(i, i == index);
        Notify();
        anchor_ = index;
    }
}

// Arrow keys, Home and End select as a click on the cell they lead to
// would (Shift extends from the anchor); false for any other key.
bool LayoutImp::MoveByKey(WPARAM key) {
    int count = int(cells_.size());
    if (count == 0) return false;
    int from = caret_ >= 0 && caret_ < count ? caret_ : 0, to = from;
    switch (key) {
        case VK_LEFT: to = from - 1; break;
        case VK_RIGHT: to = from + 1; break;
        case VK_UP: to = from - PerRow(); break;
        case VK_DOWN: to = from + PerRow(); break;
        case VK_PRIOR: to = from - PerRow() * PageLines(); break;
        case VK_NEXT: to = from + PerRow() * PageLines(); break;
        case VK_HOME: to = 0; break;
        case VK_END: to = count - 1; break;
        default: return false;
    }
    to = std::max(0, std::min(to, count - 1));
    ApplyClickRules(to, (KeyDown(VK_SHIFT) ? MK_SHIFT : 0) | (KeyDown(VK_CONTROL) ? MK_CONTROL : 0));
    ScrollIntoView(to);
    return true;
}

void LayoutImp::ScrollIntoView(int index) {
    Settled();
    POINT cell = CellPosition(index);
    int start = orientation_ ? cell.y : cell.x, size = orientation_ ? cellHeight_ : cellWidth_;
    int visible = orientation_ ? clientHeight_ : clientWidth_, margin = orientation_ ? marginY_ : marginX_;
    if (start - margin < scrollPos_)
        ScrollTo(start - margin);
    else if (start + size + margin > scrollPos_ + visible)
        ScrollTo(start + size + margin - visible);
}

void LayoutImp::BackgroundPress(WPARAM keys, int x, int y) {
    if (multiSelect_) {
        EndRubberBand();
        SetCapture(window_);
        rubberBand_ = std::make_unique<RubberBand>(this, x, y);
        rubberBand_->Track(keys);
    } else {
        for (int i = 0; i < int(cells_.size()); ++i) Select(i, false);
        Notify();
    }
}

void LayoutImp::EndRubberBand() { rubberBand_.reset(); }

namespace {

bool ButtonStillDown() {
    int button = GetSystemMetrics(SM_SWAPBUTTON) ? VK_RBUTTON : VK_LBUTTON;
    return (GetAsyncKeyState(button) & 0x8000) != 0;
}

}  // namespace

// Whether the mouse leaves a small box around the press before any button
// changes or Escape: then the press starts a drag.
bool LayoutImp::DetectDrag() {
    DWORD position = GetMessagePos();
    POINT press = {short(LOWORD(position)), short(HIWORD(position))};
    RECT box = {press.x - kDragBox, press.y - kDragBox, press.x + kDragBox, press.y + kDragBox};
    SetCapture(window_);
    bool drag = false;
    while (GetCapture() == window_) {
        MSG msg;
        if (!PeekMessageW(&msg, nullptr, WM_MOUSEFIRST, WM_MOUSELAST, PM_REMOVE) &&
            !PeekMessageW(&msg, nullptr, WM_KEYFIRST, WM_KEYLAST, PM_REMOVE)) {
            // A release this window never hears of (taken by another, or a press
            // that was never physical) must not leave the browser waiting here.
            if (!ButtonStillDown()) break;
            MsgWaitForMultipleObjects(0, nullptr, FALSE, 50, QS_MOUSE | QS_KEY);
            continue;
        }
        UINT m = msg.message;
        if (m == WM_LBUTTONUP || m == WM_RBUTTONUP || m == WM_LBUTTONDOWN || m == WM_RBUTTONDOWN ||
            (m == WM_KEYDOWN && msg.wParam == VK_ESCAPE))
            break;
        POINT at = msg.pt;
        if (!PtInRect(&box, at)) {
            drag = true;
            break;
        }
    }
    if (GetCapture() == window_) ReleaseCapture();
    return drag;
}

RubberBand::RubberBand(LayoutImp* layout, int x, int y)
    : layout_(layout), anchor_{x, y}, corner_{x, y} {
    drawn_ = {x, y, x, y};
    GetClientRect(layout_->window_, &client_);
    for (int i = 0; i < layout_->GetItemCount(); ++i) initial_.push_back(layout_->CellAt(i)->IsSelected());
}

RubberBand::~RubberBand() {
    HDC dc = GetDC(layout_->window_);
    Erase(dc);
    ReleaseDC(layout_->window_, dc);
}

void RubberBand::Erase(HDC dc) {
    if (!IsRectEmpty(&drawn_)) DrawFocusRect(dc, &drawn_);
    drawn_ = {};
}

void RubberBand::Track(WPARAM keys) {
    LayoutImp& l = *layout_;
    HDC dc = GetDC(l.window_);
    int scrollMax = l.scrollMax_;
    bool vertical = l.orientation_ != 0;
    for (;;) {
        Erase(dc);
        GetCursorPos(&corner_);
        ScreenToClient(l.window_, &corner_);

        int c = vertical ? corner_.y : corner_.x;
        int edge = vertical ? client_.bottom : client_.right;
        int step = 0;
        if (c < 0 && l.scrollPos_ >= 1) step = -std::min(l.scrollPos_, kAutoScrollStep);
        else if (c > edge && l.scrollPos_ < scrollMax)
            step = std::min({c - edge, kAutoScrollStep, scrollMax - l.scrollPos_});
        if (step != 0) {
            (vertical ? anchor_.y : anchor_.x) -= step;
            l.ScrollBy(step);
        }

        RECT band = {std::min(anchor_.x, corner_.x), std::min(anchor_.y, corner_.y),
                     std::max(anchor_.x, corner_.x), std::max(anchor_.y, corner_.y)};
        RECT document = band;
        OffsetRect(&document, vertical ? 0 : l.scrollPos_, vertical ? l.scrollPos_ : 0);
        for (int i = 0; i < l.GetItemCount(); ++i) {
            POINT p = l.CellPosition(i);
            RECT hit = {p.x, p.y, p.x + l.cellWidth_, p.y + l.cellHeight_};
            RECT overlap;
            bool s0 = i < int(initial_.size()) && initial_[size_t(i)];
            bool selected = IntersectRect(&overlap, &hit, &document)
                                ? ((keys & MK_CONTROL) ? !s0 : true)
                                : ((keys & (MK_CONTROL | MK_SHIFT)) ? s0 : false);
            l.Select(i, selected);
        }
        l.Notify();
        if (!IsRectEmpty(&band)) {
            DrawFocusRect(dc, &band);
            drawn_ = band;
        }
        if (GetAsyncKeyState(VK_LBUTTON) >= 0 || step == 0) break;
    }
    ReleaseDC(l.window_, dc);
}
