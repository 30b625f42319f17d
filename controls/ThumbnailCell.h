#pragma once
// One thumbnail of the layout window. The system's own cell is SimpleControl;
// a camera driver may hand out its own through CameraImage::GetCustomCell, so
// the table order is fixed and the destroy slot takes the delete flag.
#include <windows.h>

class ThumbnailCell {
public:
    virtual BOOL CreateCell(int reserved1, int reserved2, const RECT* rect, HWND parent,
                            int reserved3) = 0;
    // Fetches and decodes the picture; runs on the loader thread.
    virtual BOOL PrepareImage() { return 1; }
    virtual void PlaceCell(int x, int y, int width, int height) = 0;
    virtual void SetSelected(int selected) = 0;
    virtual int IsSelected() = 0;
    virtual int Rotate(int degrees) = 0;
    virtual int GetRotation() = 0;
    virtual BOOL HasImage() = 0;
    virtual void Destroy(int flags) = 0;

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
