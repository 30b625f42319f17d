#include "controls/SimpleControl.h"

#include "controls/ItemLoader.h"
#include "base/Dpi.h"
#include "base/FileKinds.h"
#include "base/Module.h"
#include "base/WideText.h"

namespace {

const wchar_t kCellClass[] = L"SimpleControlWin";
constexpr int kPlaceholderInset = 10;

void Line(HDC dc, int x1, int y1, int x2, int y2) {
    MoveToEx(dc, x1, y1, nullptr);
    LineTo(dc, x2, y2);
}

// The icon title font at the cell's DPI where Windows has one per window (10 and later).
HFONT CaptionFont(HWND cell) {
    using ForDpi = BOOL(WINAPI*)(UINT, UINT, void*, UINT, UINT);
    static const auto forDpi = reinterpret_cast<ForDpi>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"user32.dll"), "SystemParametersInfoForDpi")));
    LOGFONTW font = {};
    if (forDpi ? forDpi(SPI_GETICONTITLELOGFONT, sizeof font, &font, 0, UINT(WindowDpi(cell)))
               : SystemParametersInfoW(SPI_GETICONTITLELOGFONT, sizeof font, &font, 0))
        if (HFONT made = CreateFontIndirectW(&font)) return made;
    return CreateFontW(12, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
                       CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH, nullptr);
}

// A RAW or HEIF picture shown without its pixels says what it is; a video gets a film strip's holes.
void MarkPlaceholder(HDC dc, const RECT& area, FileKind kind) {
    if (kind == FileKind::kRaw || kind == FileKind::kHeif) {
        TEXTMETRICW font = {};
        GetTextMetricsW(dc, &font);  // the strip grows with the font, as at a higher DPI
        int half = int(font.tmHeight) / 2 + 2, middle = (area.top + area.bottom) / 2;
        RECT label = {area.left, middle - half, area.right, middle + half};
        FillRect(dc, &label, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
        int oldMode = SetBkMode(dc, TRANSPARENT);
        DrawTextW(dc, kind == FileKind::kRaw ? L"RAW" : L"HEIF", -1, &label, DT_CENTER | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX);
        SetBkMode(dc, oldMode);
    } else if (kind == FileKind::kVideo) {
        auto* black = static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH));
        for (int x = area.left + 3; x + 4 < area.right; x += 8)
            for (int y : {int(area.top) + 3, int(area.bottom) - 7}) {
                RECT hole = {x, y, x + 4, y + 4};
                FillRect(dc, &hole, black);
            }
    }
}

}  // namespace

SimpleControl::SimpleControl(CameraImage* image, int number, const char* name) : image_(image), number_(number) {
    caption_ = name && *name ? std::string(name) : NumberCaption();
}

SimpleControl::~SimpleControl() {
    if (HWND window = window_) SetWindowLongPtrW(window, GWLP_USERDATA, 0);
}

HWND SimpleControl::NewWindow(HWND parent, int width, int height) {
    RegisterModuleClass(kCellClass, WindowProc, CS_HREDRAW | CS_VREDRAW | CS_DBLCLKS);
    return CreateWindowExW(0, kCellClass, L"", WS_CHILD, 0, 0, width, height, parent, nullptr,
                           theModule.instance, nullptr);
}

void SimpleControl::UseWindow(HWND window) {
    if (HWND old = window_) SetWindowLongPtrW(old, GWLP_USERDATA, 0);
    window_ = window;
    if (!window) return;
    SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    InvalidateRect(window, nullptr, FALSE);
}

void SimpleControl::DropImage() {
    std::lock_guard<std::mutex> hold(lock_);
    picture_.reset();
    hasImage_ = false;
    Fit();
}

void SimpleControl::Destroy(int flags) {
    if (flags & 1) delete this;
}

std::string SimpleControl::NumberCaption() const {
    return number_ > 0 ? "Pic " + std::to_string(number_) : "";
}

BOOL SimpleControl::CreateCell(int, int, const RECT* rect, HWND, int) {
    if (!rect) return FALSE;
    int w = rect->right - rect->left + 1, h = rect->bottom - rect->top + 1;
    captionHeight_ = h > w ? h - w : 0;
    pictureHeight_ = h - captionHeight_;
    width_ = w;
    pictureRect_ = {};
    return TRUE;
}

// The thumbnail from memory the driver hands over, else from a file it names.
std::unique_ptr<ImageHolder> SimpleControl::Fetch() {
    ImageLibrary* images = GetImageLibrary();
    if (!images || !image_) return nullptr;
    void* loader = ItemLoader::OfThisThread();
    HGLOBAL data = nullptr;
    int freeWhenDone = 0;
    int read = image_->ReadData(&data, 0, &freeWhenDone, ItemLoader::KeepGoing, loader);
    if (read == kReadOk && data) {
        auto holder = std::make_unique<ImageHolder>();
        if (holder->Get()) images->LoadMemory(holder->Get(), data);
        if (freeWhenDone) GlobalFree(data);
        return holder;
    }
    if (read == kReadCancelled) return nullptr;
    char path[260] = {};
    int deleteWhenDone = 0;
    if (image_->ReadToFile(path, sizeof path, 0, &deleteWhenDone, ItemLoader::KeepGoing, loader) != kReadOk)
        return nullptr;
    auto holder = std::make_unique<ImageHolder>();
    path[sizeof path - 1] = '\0';
    if (holder->Get()) images->LoadFile(path, holder->Get());
    if (deleteWhenDone) DeleteFileW(Widen(path).c_str());
    return holder;
}

BOOL SimpleControl::PrepareImage() {
    std::unique_ptr<ImageHolder> fetched = Fetch();
    if (!fetched) return FALSE;
    {
        std::lock_guard<std::mutex> hold(lock_);
        picture_ = std::move(fetched);
        hasImage_ = true;
        if (rotation_ != 0 && picture_->Get() && picture_->Width() > 0)
            GetImageLibrary()->Rotate(picture_->Get(), rotation_, 1);
        Fit();
        if (window_) Prerender();  // far from the view it stays the compact bytes until painted
    }
    // The interface thread paints when it is free; the worker goes on. A cell
    // out of view has no window and paints nothing (a null window is the screen).
    if (HWND window = window_) InvalidateRect(window, nullptr, FALSE);
    return TRUE;
}

// Draws the picture once at its size off screen, here on the loader thread:
// the library keeps that rendition, so painting only copies it. Called with
// the lock held.
void SimpleControl::Prerender() {
    int w = pictureRect_.right - pictureRect_.left + 1, h = pictureRect_.bottom - pictureRect_.top + 1;
    if (!picture_ || !picture_->Get() || w <= 0 || h <= 0) return;
    HDC dc = CreateCompatibleDC(nullptr);
    BITMAPINFO info = {};
    info.bmiHeader = {sizeof info.bmiHeader, w, -h, 1, 24, BI_RGB, 0, 0, 0, 0, 0};
    void* bits = nullptr;
    HBITMAP canvas = dc ? CreateDIBSection(dc, &info, DIB_RGB_COLORS, &bits, nullptr, 0) : nullptr;
    if (canvas) {
        HGDIOBJ old = SelectObject(dc, canvas);
        RECT dest = {0, 0, w, h};
        GetImageLibrary()->Draw(dc, picture_->Get(), 0, 0, &dest, nullptr, SRCCOPY);
        SelectObject(dc, old);
        DeleteObject(canvas);
    }
    if (dc) DeleteDC(dc);
}

// Called with the lock held.
void SimpleControl::Fit() {
    bool loaded = picture_ && picture_->Get() && picture_->Width() > 0 && picture_->Height() > 0;
    if (!loaded) {
        pictureRect_ = {};
        return;
    }
    double pw = picture_->Width(), ph = picture_->Height();
    int aw = width_ - 2 * marginX_, ah = pictureHeight_ - 2 * marginY_;
    int dw = int(pw), dh = int(ph);
    if (pw > aw || ph > ah) {
        double ratio = ph / pw;
        if (ratio <= double(ah) / aw) {
            dw = aw;
            dh = int(ratio * aw);
        } else {
            dh = ah;
            dw = int(ah / ratio);
        }
    }
    int left = (width_ - dw) / 2, top = (pictureHeight_ - dh) / 2;
    pictureRect_ = {left, top, left + dw - 1, top + dh - 1};
}

void SimpleControl::PlaceCell(int x, int y, int width, int height) {
    HWND window = window_;
    if (!window) return;
    MoveWindow(window, x, y, width, height, TRUE);
    if (!IsWindowVisible(window)) ShowWindow(window, SW_SHOW);
}

void SimpleControl::InvalidatePicture() {
    if (!window_) return;
    RECT area;
    GetClientRect(window_, &area);
    area.bottom -= captionHeight_;
    InvalidateRect(window_, &area, FALSE);
    UpdateWindow(window_);
}

void SimpleControl::SetSelected(int selected) {
    if (selected == selected_) return;
    selected_ = selected;
    InvalidatePicture();
}

int SimpleControl::Rotate(int degrees) {
    bool turned = false;
    {
        std::lock_guard<std::mutex> hold(lock_);
        rotation_ = (rotation_ + degrees) % 360;
        if (picture_) {
            if (picture_->Get() && picture_->Width() > 0 &&
                GetImageLibrary()->Rotate(picture_->Get(), degrees, 1) >= 1)
                Fit();
            turned = true;
        }
    }
    if (turned) InvalidatePicture();
    return turned;
}

int SimpleControl::GetRotation() {
    std::lock_guard<std::mutex> hold(lock_);
    return rotation_;
}

BOOL SimpleControl::HasImage() { return hasImage_; }

RECT SimpleControl::PictureRect() {
    std::lock_guard<std::mutex> hold(lock_);
    return pictureRect_;
}

std::string SimpleControl::Caption() {
    std::lock_guard<std::mutex> hold(lock_);
    return caption_;
}

void SimpleControl::Paint() {
    PAINTSTRUCT paint;
    HDC dc = BeginPaint(window_, &paint);
    RECT c;
    GetClientRect(window_, &c);
    RECT f = {c.left, c.top, c.right - 2, c.bottom - captionHeight_ - 1};
    HGDIOBJ white = GetStockObject(WHITE_PEN), black = GetStockObject(BLACK_PEN);
    FillRect(dc, &f, static_cast<HBRUSH>(GetStockObject(selected_ ? GRAY_BRUSH : LTGRAY_BRUSH)));
    HGDIOBJ oldPen = SelectObject(dc, selected_ ? black : white);
    Line(dc, f.left, f.bottom, f.left, f.top);
    Line(dc, f.left, f.top, f.right, f.top);
    SelectObject(dc, selected_ ? white : black);
    Line(dc, f.right, f.top, f.right, f.bottom);
    Line(dc, f.right, f.bottom, f.left, f.bottom);

    {
        std::lock_guard<std::mutex> hold(lock_);
        ImageLibrary* images = GetImageLibrary();
        if (picture_ && picture_->Get() && images && pictureRect_.right > pictureRect_.left) {
            HPALETTE palette = images->MakePalette(dc, picture_->Get());
            HPALETTE oldPalette = palette ? SelectPalette(dc, palette, TRUE) : nullptr;
            if (palette) RealizePalette(dc);
            // pictureRect_ includes its right and bottom edges; the library's do not.
            RECT dest = {pictureRect_.left, pictureRect_.top, pictureRect_.right + 1, pictureRect_.bottom + 1};
            images->Draw(dc, picture_->Get(), 0, 0, &dest, nullptr, SRCCOPY);
            if (palette) {
                SelectPalette(dc, oldPalette, TRUE);
                RealizePalette(dc);
            }
        } else {
            SelectObject(dc, black);
            RECT p = {f.left + kPlaceholderInset, f.top + kPlaceholderInset,
                      f.right - kPlaceholderInset, f.bottom - kPlaceholderInset};
            Line(dc, p.left, p.top, p.right, p.top);
            Line(dc, p.right, p.top, p.right, p.bottom);
            Line(dc, p.right, p.bottom, p.left, p.bottom);
            Line(dc, p.left, p.bottom, p.left, p.top);
            Line(dc, p.left, p.top, p.right, p.bottom);
            Line(dc, p.left, p.bottom, p.right, p.top);
            MarkPlaceholder(dc, p, KindOfFile(caption_));
        }
    }
    SelectObject(dc, oldPen);
    if (captionHeight_ != 0) DrawCaption(dc, f);
    EndPaint(window_, &paint);
}

void SimpleControl::DrawCaption(HDC dc, const RECT& frame) {
    HFONT font = CaptionFont(window_);
    HGDIOBJ oldFont = SelectObject(dc, font);
    RECT area = {frame.left, frame.bottom + 2, frame.right, frame.bottom + captionHeight_ + 8};
    FillRect(dc, &area, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
    SetBkColor(dc, RGB(255, 255, 255));
    SetTextColor(dc, RGB(0, 0, 0));
    std::wstring text = Widen(Caption());
    DrawTextW(dc, text.c_str(), -1, &area, DT_WORD_ELLIPSIS | DT_NOPREFIX);
    SelectObject(dc, oldFont);
    DeleteObject(font);
}

LRESULT CALLBACK SimpleControl::WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* cell = reinterpret_cast<SimpleControl*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (!cell) return DefWindowProcW(window, message, wParam, lParam);
    if (message == WM_PAINT) {
        cell->Paint();
        return 0;
    }
    if (message == WM_NCDESTROY) cell->window_ = nullptr;  // the cell may be freed later, on a worker
    bool onPicture = short(HIWORD(lParam)) <= cell->pictureHeight_;
    UINT code = 0;
    switch (message) {
        case WM_LBUTTONDBLCLK: code = onPicture ? UINT(kCellDoubleClick) : 0u; break;
        case WM_LBUTTONUP: code = onPicture ? UINT(kCellLeftUp) : 0u; break;
        case WM_LBUTTONDOWN: code = onPicture ? kCellLeftDown : kCellBelowPicturePress; break;
        case WM_RBUTTONUP: code = onPicture ? UINT(kCellRightUp) : 0u; break;
        case WM_RBUTTONDOWN: code = onPicture ? kCellRightDown : kCellBelowPicturePress; break;
        default: return DefWindowProcW(window, message, wParam, lParam);
    }
    if (code) {
        NMHDR header = {window, UINT_PTR(wParam), code};  // the keys held at the press
        SendMessageW(GetParent(window), WM_NOTIFY, reinterpret_cast<WPARAM>(static_cast<ThumbnailCell*>(cell)),
                     reinterpret_cast<LPARAM>(&header));
    }
    return 0;
}
