#include "viewer/FullResViewer.h"

#include <commctrl.h>

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "base/Dpi.h"
#include "base/Module.h"
#include "base/WideText.h"
#include "camera/FolderConnection.h"
#include "res/resource.h"
#include "transfer/ProgressDialog.h"

namespace {

const wchar_t kFrameClass[] = L"FrameHelperWin";
const wchar_t kPaneClass[] = L"FullResWin";
constexpr UINT kClassStyle = CS_HREDRAW | CS_VREDRAW;
constexpr UINT kErrorBoxFlags = MB_RETRYCANCEL | MB_ICONHAND | MB_TASKMODAL | MB_TOPMOST;
constexpr int kFullImage = 1;
constexpr float kMinZoom = 0.25f;
constexpr float kMaxZoom = 4.0f;
constexpr int kToolbarPictures = 3;

// The strip's 16-pixel pictures at `size` pixels; the grey around them is see-through.
HIMAGELIST ToolbarPictures(int size) {
    auto strip = static_cast<HBITMAP>(LoadImageW(theModule.instance, MAKEINTRESOURCEW(IDB_VIEWER_TOOLBAR), IMAGE_BITMAP, 0, 0, 0));
    HIMAGELIST pictures = ImageList_Create(size, size, ILC_COLOR24 | ILC_MASK, kToolbarPictures, 0);
    HDC screen = GetDC(nullptr), from = CreateCompatibleDC(screen), to = CreateCompatibleDC(screen);
    HBITMAP scaled = CreateCompatibleBitmap(screen, size * kToolbarPictures, size);
    HGDIOBJ oldFrom = SelectObject(from, strip), oldTo = SelectObject(to, scaled);
    SetStretchBltMode(to, COLORONCOLOR);  // whole pixels: the edges stay sharp
    StretchBlt(to, 0, 0, size * kToolbarPictures, size, from, 0, 0, 16 * kToolbarPictures, 16, SRCCOPY);
    SelectObject(from, oldFrom), SelectObject(to, oldTo);
    ImageList_AddMasked(pictures, scaled, RGB(192, 192, 192));
    DeleteObject(scaled), DeleteObject(strip), DeleteDC(from), DeleteDC(to), ReleaseDC(nullptr, screen);
    return pictures;
}

}  // namespace

FullResViewer::FullResViewer(CameraImage* image, int rotation, FolderConnection* folder, std::shared_ptr<void> keeper)
    : folder_(folder), keeper_(std::move(keeper)), image_(image), rotation_(rotation) {
    ModuleObjectUp();
}

FullResViewer::~FullResViewer() {
    if (toolbar_ && IsWindow(toolbar_)) SendMessageW(toolbar_, TB_SETIMAGELIST, 0, 0);  // it goes after the frame
    if (pictures_) ImageList_Destroy(pictures_);
    ModuleObjectDown();
}

bool FullResViewer::Create(HWND parent) {
    if (Build(parent)) return true;
    // The frame's WM_DESTROY deletes the viewer; without a frame it goes here.
    if (frame_)
        DestroyWindow(frame_);
    else
        delete this;
    return false;
}

bool FullResViewer::Build(HWND parent) {
    RegisterModuleClass(kFrameClass, FrameProc, kClassStyle, 0, LTGRAY_BRUSH);
    // Owned only once loaded: a browser closed during the download must not take the viewer from under it.
    frame_ = CreateWindowExW(0, kFrameClass, L"", WS_OVERLAPPEDWINDOW, CW_USEDEFAULT, CW_USEDEFAULT, 100, 100,
                             nullptr, nullptr, theModule.instance, nullptr);
    if (!frame_) return false;
    SetWindowLongPtrW(frame_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    CreateToolbar();

    RegisterModuleClass(kPaneClass, PaneProc, kClassStyle, 0, LTGRAY_BRUSH);
    pane_ = CreateWindowExW(0, kPaneClass, L"", WS_CHILD, 0, 10, 50, 50, frame_, nullptr, theModule.instance,
                            nullptr);
    if (!pane_) return false;
    SetWindowLongPtrW(pane_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));

    if (!Load(nullptr)) return false;  // an ownerless progress box: the browser stays usable meanwhile
    if (parent && IsWindow(parent)) SetWindowLongPtrW(frame_, GWLP_HWNDPARENT, reinterpret_cast<LONG_PTR>(parent));
    ChooseZoomAndPlace();
    ShowWindow(frame_, SW_SHOW);
    ShowWindow(pane_, SW_SHOW);
    ShowWindow(toolbar_, SW_SHOW);
    UpdateButtons();
    // The frame was sized while hidden, when resizes are not acted on.
    FitPaneToFrame();
    return true;
}

void FullResViewer::CreateToolbar() {
    INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_BAR_CLASSES};
    InitCommonControlsEx(&controls);
    toolbar_ = CreateWindowExW(0, TOOLBARCLASSNAMEW, L"", WS_CHILD | CCS_TOP, 0, 0, 0, 0, frame_, nullptr,
                               theModule.instance, nullptr);
    if (!toolbar_) return;
    SendMessageW(toolbar_, TB_AUTOSIZE, 0, 0);
    SendMessageW(toolbar_, TB_BUTTONSTRUCTSIZE, sizeof(TBBUTTON), 0);
    pictures_ = ToolbarPictures(Scaled(16, WindowDpi(frame_)));
    SendMessageW(toolbar_, TB_SETIMAGELIST, 0, reinterpret_cast<LPARAM>(pictures_));
    const int commands[3] = {kRotate, kZoomIn, kZoomOut};
    TBBUTTON buttons[3] = {};
    for (int i = 0; i < 3; ++i) {
        buttons[i].iBitmap = i;
        buttons[i].idCommand = commands[i];
        buttons[i].fsState = TBSTATE_ENABLED;
        buttons[i].fsStyle = BTNS_BUTTON;
    }
    SendMessageW(toolbar_, TB_ADDBUTTONS, 3, reinterpret_cast<LPARAM>(buttons));
}

// The guard keeps a message pumped during another transfer of the same
// folder from starting this one, and this one from starting another.
bool FullResViewer::Load(HWND owner) {
    int wasIdle = folder_->Idle();
    folder_->SetIdle(0);
    if (wasIdle != 1) return false;
    if (!holder_) holder_ = std::make_unique<ImageHolder>();
    Fetched fetched;
    while ((fetched = FetchOnce(owner)) == Fetched::kReadError) {
        int answer = MessageBoxW(nullptr, LoadModuleText(IDS_IMAGE_ACQUISITION_ERROR).c_str(),
                                 Widen(ProductName()).c_str(), kErrorBoxFlags);
        if (answer != IDRETRY) {
            fetched = Fetched::kFailed;
            break;
        }
    }
    folder_->SetIdle(1);
    if (fetched != Fetched::kLoaded) {
        holder_.reset();
        DestroyWindow(pane_);
        pane_ = nullptr;
        return false;
    }
    if (rotation_ != 0) GetImageLibrary()->Rotate(holder_->Get(), rotation_, 1);
    return true;
}

// A file the driver names, else a memory block it hands over.
FullResViewer::Fetched FullResViewer::FetchOnce(HWND owner) {
    ImageInfo info = {};
    if (image_->GetInfo(&info)) name_.assign(info.name, strnlen(info.name, sizeof info.name));
    bool progress = image_->NeedsProgress() != 0;
    ProgressCallback callback = progress ? TransferProgress : nullptr;

    char path[260] = {};
    int deleteWhenDone = 0;
    ProgressDialog fileDialog;
    if (progress) {
        fileDialog.Open(owner);
        fileDialog.SetCaptionText(name_);
    }
    int result = image_->ReadToFile(path, sizeof path, kFullImage, &deleteWhenDone, callback,
                                    progress ? &fileDialog : nullptr);
    fileDialog.Close();
    path[sizeof path - 1] = '\0';
    if (result == kReadCancelled) return Fetched::kFailed;
    if (result == kReadOk) return LoadFromFile(path, deleteWhenDone);

    HGLOBAL data = nullptr;
    int freeWhenDone = 0;
    ProgressDialog dataDialog;
    if (progress) dataDialog.Open(owner);
    result = image_->ReadData(&data, kFullImage, &freeWhenDone, callback, progress ? &dataDialog : nullptr);
    dataDialog.Close();
    if (result == kReadOk) return LoadFromMemory(data, freeWhenDone);
    return result == kReadCancelled ? Fetched::kFailed : Fetched::kReadError;
}

FullResViewer::Fetched FullResViewer::LoadFromFile(const char* path, int deleteWhenDone) {
    ImageLibrary* images = GetImageLibrary();
    int loaded = images && holder_->Get() ? images->LoadFile(path, holder_->Get()) : 0;
    if (deleteWhenDone) DeleteFileW(Widen(path).c_str());
    if (loaded >= 1) return Fetched::kLoaded;
    std::string text = LoadModuleString(IDS_CANNOT_READ_FILE) + path;
    std::string caption = ProductName() + " " + LoadModuleString(IDS_ERROR);
    MessageBoxW(frame_, Widen(text).c_str(), Widen(caption).c_str(), MB_ICONHAND);
    return Fetched::kFailed;
}

FullResViewer::Fetched FullResViewer::LoadFromMemory(HGLOBAL data, int freeWhenDone) {
    ImageLibrary* images = GetImageLibrary();
    int loaded = images && holder_->Get() && data ? images->LoadMemory(holder_->Get(), data) : 0;
    if (freeWhenDone && data) GlobalFree(data);
    return loaded >= 1 ? Fetched::kLoaded : Fetched::kFailed;
}

// The largest quarter step up to 100 % at which the whole frame fits the
// work area; the frame is sized to the picture and put in its corner.
void FullResViewer::ChooseZoomAndPlace() {
    RECT window, client, bar = {};
    GetWindowRect(frame_, &window);
    GetClientRect(frame_, &client);
    if (toolbar_) GetWindowRect(toolbar_, &bar);
    int borderWidth = (window.right - window.left) - client.right;
    int extraHeight = (window.bottom - window.top) - client.bottom + (bar.bottom - bar.top) + 1;

    RECT work = {};
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
    double fit = std::min(double(work.right - work.left - borderWidth) / holder_->Width(),
                          double(work.bottom - work.top - extraHeight) / holder_->Height());
    if (fit <= kMinZoom)
        zoom_ = kMinZoom;
    else if (fit < 1.0)
        zoom_ = float(std::trunc(fit * 4) * 0.25);
    else
        zoom_ = 1.0f;
    SetTitle();

    int w = int(holder_->Width() * zoom_), h = int(holder_->Height() * zoom_);
    MoveWindow(frame_, work.left, work.top, w + borderWidth, h + extraHeight, TRUE);
    imageRect_ = {0, 0, w - 1, h - 1};
}

void FullResViewer::SetTitle() {
    std::string title = name_ + " - " + LoadModuleString(IDS_FULL_RESOLUTION_IMAGE) + " (" +
                        std::to_string(int(zoom_ * 100)) + "%)";
    SetWindowTextW(frame_, Widen(title).c_str());
}

void FullResViewer::UpdateButtons() {
    SendMessageW(toolbar_, TB_ENABLEBUTTON, kZoomIn, MAKELONG(zoom_ < kMaxZoom, 0));
    SendMessageW(toolbar_, TB_ENABLEBUTTON, kZoomOut, MAKELONG(zoom_ > kMinZoom, 0));
}

void FullResViewer::OnCommand(int command) {
    switch (command) {
        case kRotate:
            if (holder_) GetImageLibrary()->Rotate(holder_->Get(), -90, 1);
            Layout();
            break;
        case kZoomIn:
        case kZoomOut:
            zoom_ = float(std::clamp(zoom_ + (command == kZoomIn ? 0.25 : -0.25), double(kMinZoom),
                                     double(kMaxZoom)));
            SetTitle();
            Layout();
            UpdateButtons();
            break;
        default:
            break;
    }
}

// The pane fills the client area below the toolbar.
void FullResViewer::Resize(int cx, int cy) {
    if (!toolbar_ || !pane_) return;
    SendMessageW(toolbar_, TB_AUTOSIZE, 0, 0);
    RECT bar;
    GetWindowRect(toolbar_, &bar);
    int top = bar.bottom - bar.top + 1;
    MoveWindow(pane_, 0, top, cx, cy - top, FALSE);
    Layout();
}

void FullResViewer::FitPaneToFrame() {
    RECT client;
    GetClientRect(frame_, &client);
    Resize(client.right, client.bottom);
}

LRESULT CALLBACK FullResViewer::FrameProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* viewer = reinterpret_cast<FullResViewer*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (!viewer) return DefWindowProcW(window, message, wParam, lParam);
    switch (message) {
        case WM_COMMAND:
            viewer->OnCommand(LOWORD(wParam));
            return 0;
        case WM_SIZE:
            if (IsWindowVisible(window)) viewer->Resize(LOWORD(lParam), HIWORD(lParam));
            return 0;
        case WM_DESTROY:
            // The pane goes after the frame: it must not reach the deleted viewer.
            SetWindowLongPtrW(window, GWLP_USERDATA, 0);
            if (viewer->pane_) SetWindowLongPtrW(viewer->pane_, GWLP_USERDATA, 0);
            delete viewer;
            return 0;
        default:
            return DefWindowProcW(window, message, wParam, lParam);
    }
}
