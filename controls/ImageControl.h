#pragma once
// The control behind which the camera view shows its images: thumbnails or a
// report list. Items are known by their names.
#include <windows.h>

#include <memory>

class CameraImage;

// What a control reports to the view. A null sink hears nothing.
class ImageControlSink {
public:
    virtual void ItemClicked(int reserved, const char* name) = 0;
    virtual void ContextMenuRequested(int reserved, const char* name) = 0;
    virtual void ItemOpened(int reserved, const char* name) = 0;
    virtual void SelectionChanged(const char* name, int selected, int index) = 0;
    virtual void BeginDrag() = 0;

protected:
    ~ImageControlSink() = default;
};

class ImageControl {
public:
    virtual void Destroy(int flags) = 0;
    virtual void RemoveItem(const char* name) = 0;
    virtual int GetItemCount() = 0;
    virtual int GetSelectedCount() = 0;
    virtual void RemoveAllItems() = 0;
    virtual void SetLayout(short spacingX, short spacingY, short cellWidth, short cellHeight,
                           short orientation, COLORREF background, int multiSelect) = 0;
    virtual void SelectItem(const char* name, int select) = 0;
    virtual int IsItemSelected(const char* name) = 0;
    virtual int RotateItem(const char* name, int degrees) = 0;
    virtual int GetItemRotation(const char* name) = 0;
    virtual void AddItem(CameraImage* image, const char* name, int position) = 0;
    virtual HWND GetWindow() = 0;
    virtual void MoveControl(int x, int y, int width, int height) = 0;
    virtual BOOL CreateControl(int reserved1, const char* title, DWORD style, const RECT* rect,
                               HWND parent, int reserved2) = 0;
    virtual void RestartLoader() = 0;
    virtual void DestroyControl() = 0;
    virtual void SetSink(ImageControlSink* sink) = 0;
    // What keeps the items' images alive: held until the control's last
    // loader is done with them, which may be after the control has gone.
    virtual void KeepAlive(std::shared_ptr<void> keeper) = 0;

protected:
    ~ImageControl() = default;
};

// 1: thumbnails; 0: the report list; anything else: null.
ImageControl* CreateImageControl(int kind);
