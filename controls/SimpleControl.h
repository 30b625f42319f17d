#pragma once
// The system's own thumbnail cell: fetches its camera image's thumbnail on
// the loader thread, fits it into a square picture area, and draws a frame,
// the picture (or a placeholder cross) and a caption in the window the layout
// lends it while it is in view.
#include <atomic>
#include <memory>
#include <mutex>
#include <string>

#include "camera/CameraService.h"
#include "controls/ThumbnailCell.h"
#include "imaging/ImageLibrary.h"

class SimpleControl final : public ThumbnailCell {
public:
    // The caption is `name` from the start, "Pic <number>" when there is none.
    SimpleControl(CameraImage* image, int number, const char* name = nullptr);
    // A window of the cells' class, for the layout to hand from cell to cell.
    static HWND NewWindow(HWND parent, int width, int height);

    BOOL CreateCell(int, int, const RECT* rect, HWND parent, int) override;
    BOOL PrepareImage() override;
    void PlaceCell(int x, int y, int width, int height) override;
    void SetSelected(int selected) override;
    int IsSelected() override { return selected_; }
    int Rotate(int degrees) override;
    int GetRotation() override;
    BOOL HasImage() override;
    void Destroy(int flags) override;
    void UseWindow(HWND window) override;
    void DropImage() override;

    HWND Window() const { return window_; }
    RECT PictureRect();
    std::string Caption();

private:
    ~SimpleControl();
    static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    std::unique_ptr<ImageHolder> Fetch();
    void Fit();
    void Prerender();
    void InvalidatePicture();
    void Paint();
    void DrawCaption(HDC dc, const RECT& frame);
    std::string NumberCaption() const;

    std::atomic<HWND> window_{nullptr};
    CameraImage* image_;
    int number_;
    int width_ = 0;
    int pictureHeight_ = 0;
    int marginX_ = 5, marginY_ = 5;
    int captionHeight_ = 0;
    std::atomic<int> selected_{0};  // read by the loader

    // The loader thread installs the picture while the interface thread may
    // turn or paint it: the lock keeps picture, rotation and fit together, so
    // a turn is applied exactly once, by Rotate or by the installing fetch.
    std::mutex lock_;
    std::string caption_;
    int rotation_ = 0;
    RECT pictureRect_ = {};
    std::unique_ptr<ImageHolder> picture_;
    std::atomic<bool> hasImage_{false};  // read by every loader sweep without the lock
};
