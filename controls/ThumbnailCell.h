#pragma once
// One thumbnail of the layout window: the picture, its turn and selection,
// shown in a window only while it is near the viewport. The system's own cell
// is SimpleControl; a camera driver may hand out its own through
// CameraImage::GetCustomCell, so the table order is fixed and the destroy slot
// takes the delete flag.
#include <windows.h>

class ThumbnailCell {
public:
    // Takes the cell's size from `rect`; no window is made yet.
    virtual BOOL CreateCell(int reserved1, int reserved2, const RECT* rect, HWND parent,
                            int reserved3) = 0;
    // Fetches and decodes the picture; runs on the loader thread.
    virtual BOOL PrepareImage() { return 1; }
    // Moves the cell's window, when it has one, and shows it.
    virtual void PlaceCell(int x, int y, int width, int height) = 0;
    virtual void SetSelected(int selected) = 0;
    virtual int IsSelected() = 0;
    virtual int Rotate(int degrees) = 0;
    virtual int GetRotation() = 0;
    virtual BOOL HasImage() = 0;
    virtual void Destroy(int flags) = 0;
    // Shows the cell in `window`, one the layout hands from cell to cell as
    // they come into view; null takes it back.
    virtual void UseWindow(HWND window) = 0;
    // Lets the fetched picture go to save memory; fetched again when wanted.
    virtual void DropImage() = 0;

protected:
    ~ThumbnailCell() = default;
};

// Notifications a cell sends its parent (WM_NOTIFY, wParam = the cell).
enum CellNotification : UINT {
    kCellDoubleClick = 1700,
    kCellLeftUp = 1701,
    kCellLeftDown = 1702,
    kCellBelowPicturePress = 1703,
    kCellRightUp = 1708,
    kCellRightDown = 1709,
};
