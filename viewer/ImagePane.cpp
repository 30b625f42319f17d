// The "FullResWin" pane: draws the viewer's picture at its zoom, centred when
// it is smaller than the pane, with scroll bars when it is larger.
#include <algorithm>

#include "viewer/FullResViewer.h"

namespace {

constexpr int kLineStep = 10;
constexpr int kPageStep = 40;

void SetScrollRange(HWND pane, int bar, int range, int page) {
    SCROLLINFO info = {sizeof info, SIF_RANGE | SIF_PAGE | SIF_POS, 0, range, UINT(page), 0, 0};
    SetScrollInfo(pane, bar, &info, TRUE);
}

void SetScrollPosition(HWND pane, int bar, int position) {
    SCROLLINFO info = {sizeof info, SIF_POS, 0, 0, 0, position, 0};
    SetScrollInfo(pane, bar, &info, TRUE);
}

}  // namespace

LRESULT CALLBACK FullResViewer::PaneProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* viewer = reinterpret_cast<FullResViewer*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (!viewer) return DefWindowProcW(window, message, wParam, lParam);
    switch (message) {
        case WM_PAINT:
            viewer->Paint();
            return 0;
        case WM_HSCROLL:
        case WM_VSCROLL:
            viewer->Scroll(message, LOWORD(wParam), static_cast<short>(HIWORD(wParam)));
            return 0;
        default:
            return DefWindowProcW(window, message, wParam, lParam);
    }
}

// Back to the top-left corner of the picture. The extents compared are one
// more than the client size, so a picture one pixel larger gets no bar.
void FullResViewer::Layout() {
    if (!pane_ || !holder_) return;
    ShowScrollBar(pane_, SB_BOTH, FALSE);
    hScroll_ = vScroll_ = 0;
    int w = int(holder_->Width() * zoom_), h = int(holder_->Height() * zoom_);
    RECT client;
    GetClientRect(pane_, &client);
    int cw = client.right - client.left + 1, ch = client.bottom - client.top + 1;
    if (cw < w) {
        hScroll_ = 1;
        ch -= GetSystemMetrics(SM_CYHSCROLL);
    }
    if (ch < h) {
        vScroll_ = 1;
        cw -= GetSystemMetrics(SM_CXVSCROLL);
        if (!hScroll_ && cw < w) {
            hScroll_ = 1;
            ch -= GetSystemMetrics(SM_CYHSCROLL);
        }
    }
    if (hScroll_) {
        ShowScrollBar(pane_, SB_HORZ, TRUE);
        hRange_ = w;
        hPos_ = 0;
        SetScrollRange(pane_, SB_HORZ, w, cw);
    }
    if (vScroll_) {
        ShowScrollBar(pane_, SB_VERT, TRUE);
        vRange_ = h;
        vPos_ = 0;
        SetScrollRange(pane_, SB_VERT, h, ch);
    }
    int x = std::max((cw - w) / 2, 0), y = std::max((ch - h) / 2, 0);
    imageRect_ = {x, y, x + w - 1, y + h - 1};
    InvalidateRect(pane_, nullptr, TRUE);
}

void FullResViewer::Scroll(UINT message, int code, int position) {
    int x = hPos_, y = vPos_;
    int& moved = message == WM_VSCROLL ? y : x;
    switch (code) {
        case SB_LINEUP: moved -= kLineStep; break;
        case SB_LINEDOWN: moved += kLineStep; break;
        case SB_PAGEUP: moved -= kPageStep; break;
        case SB_PAGEDOWN: moved += kPageStep; break;
        case SB_THUMBPOSITION:
        case SB_THUMBTRACK: {
            // The message carries 16 bits of the position; the bar has all 32.
            SCROLLINFO info = {sizeof info, SIF_TRACKPOS, 0, 0, 0, 0, 0};
            moved = GetScrollInfo(pane_, message == WM_VSCROLL ? SB_VERT : SB_HORZ, &info) ? info.nTrackPos : position;
            break;
        }
        default: break;
    }
    RECT client;
    GetClientRect(pane_, &client);
    if (vScroll_) y = std::max(0, std::min(y, vRange_ - int(client.bottom)));
    if (hScroll_) x = std::max(0, std::min(x, hRange_ - int(client.right)));
    if (x == hPos_ && y == vPos_) return;

    int dx = x - hPos_, dy = y - vPos_;
    OffsetRect(&imageRect_, -dx, -dy);
    hPos_ = x;
    vPos_ = y;
    ScrollWindowEx(pane_, -dx, -dy, nullptr, nullptr, nullptr, nullptr, SW_INVALIDATE);
    UpdateWindow(pane_);
    SetScrollPosition(pane_, SB_VERT, y);
    SetScrollPosition(pane_, SB_HORZ, x);
}

void FullResViewer::Paint() {
    RECT update;
    if (!GetUpdateRect(pane_, &update, FALSE)) return;
    PAINTSTRUCT paint;
    HDC dc = BeginPaint(pane_, &paint);
    ImageLibrary* images = GetImageLibrary();
    if (images && holder_ && holder_->Get()) {
        HPALETTE palette = images->MakePalette(dc, holder_->Get());
        HPALETTE previous = palette ? SelectPalette(dc, palette, TRUE) : nullptr;
        if (palette) RealizePalette(dc);
        // imageRect_ includes its right and bottom edges; the library's
        // rectangles stop short of them.
        RECT dest = {imageRect_.left, imageRect_.top, imageRect_.right + 1, imageRect_.bottom + 1};
        images->Draw(dc, holder_->Get(), 0, 0, &dest, &update, SRCCOPY);
        if (palette) {
            SelectPalette(dc, previous, TRUE);
            RealizePalette(dc);
        }
    }
    EndPaint(pane_, &paint);
}
