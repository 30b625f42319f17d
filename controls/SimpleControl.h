#pragma once
// The system's own thumbnail cell: a child window that fetches its camera
// image's thumbnail on the loader thread, fits it into a square picture area,
// and draws a frame, the picture (or a placeholder cross) and a caption.
#include <atomic>
#include <memory>
#include <mutex>
#include <string>

#include "camera/CameraService.h"
#include "controls/ThumbnailCell.h"
#include "imaging/ImageLibrary.h"

class SimpleControl final : public ThumbnailCell {
public:
    SimpleControl(CameraImage* image, int number);

    BOOL CreateCell(int, int, const RECT* rect, HWND parent, int) override;
    BOOL PrepareImage() override;
    void PlaceCell(int x, int y, int width, int height) override;
    void SetSelected(int selected) override;
    int IsSelected() override { return selected_; }
    int Rotate(int degrees) override;
    int GetRotation() override;
    BOOL HasImage() override;
    void Destroy(int flags) override;

    HWND Window() const { return window_; }
    RECT PictureRect();
    std::string Caption();

private:
    ~SimpleControl();
    static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    std::unique_ptr<ImageHolder> Fetch();
    void Fit();
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
    int selected_ = 0;

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
