#pragma once
// The full-resolution viewer: a top-level "FrameHelperWin" frame with a
// three-button toolbar above the "FullResWin" image pane, which draws the
// picture at the viewer's zoom, centred when small and scrolled when large.
#include <windows.h>
#include <commctrl.h>

#include <memory>
#include <string>

#include "camera/CameraService.h"
#include "imaging/ImageLibrary.h"

class FolderConnection;

class FullResViewer {
public:
    enum Command { kRotate = 10013, kZoomIn = 10014, kZoomOut = 10015 };

    // `image` must not be null. The image and the folder live as long as
    // `keeper` (the folder's Keeper) is held, by the viewer; the viewer keeps
    // the module loaded while it lives.
    FullResViewer(CameraImage* image, int rotation, FolderConnection* folder, std::shared_ptr<void> keeper = {});
    ~FullResViewer();
    FullResViewer(const FullResViewer&) = delete;
    FullResViewer& operator=(const FullResViewer&) = delete;

    // Fetches the picture and shows it; false when nothing could be shown.
    // Afterwards the frame window owns the object (its WM_DESTROY deletes it);
    // a failed Create has released it already.
    bool Create(HWND parent);

    HWND Frame() const { return frame_; }
    HWND Pane() const { return pane_; }
    HWND Toolbar() const { return toolbar_; }
    float Zoom() const { return zoom_; }
    const RECT& ImageRect() const { return imageRect_; }

private:
    enum class Fetched { kLoaded, kFailed, kReadError };

    static LRESULT CALLBACK FrameProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    static LRESULT CALLBACK PaneProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    bool Build(HWND parent);
    void CreateToolbar();
    bool Load(HWND owner);
    Fetched FetchOnce(HWND owner);
    Fetched LoadFromFile(const char* path, int deleteWhenDone);
    Fetched LoadFromMemory(HGLOBAL data, int freeWhenDone);
    void ChooseZoomAndPlace();
    void SetTitle();
    void UpdateButtons();
    void OnCommand(int command);
    void Resize(int cx, int cy);
    void FitPaneToFrame();

    // The image pane.
    void Layout();
    void Scroll(UINT message, int code, int position);
    void Paint();

    FolderConnection* folder_;
    std::shared_ptr<void> keeper_;
    std::unique_ptr<ImageHolder> holder_;
    RECT imageRect_ = {};
    int hRange_ = 0, vRange_ = 0;
    int hPos_ = 0, vPos_ = 0;
    int hScroll_ = 0, vScroll_ = 0;
    CameraImage* image_;
    int rotation_;
    HWND pane_ = nullptr, frame_ = nullptr, toolbar_ = nullptr;
    HIMAGELIST pictures_ = nullptr;  // the toolbar's, at the frame's DPI
    float zoom_ = 0.25f;
    std::string name_;
};
