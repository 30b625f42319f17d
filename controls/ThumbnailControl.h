#pragma once
#include "controls/ImageControl.h"

class LayoutImp;

// The thumbnail presentation of ImageControl: forwards to its LayoutImp and
// numbers the cells it makes itself.
class ThumbnailControl final : public ImageControl {
public:
    ThumbnailControl();

    void Destroy(int flags) override;
    void RemoveItem(const char* name) override;
    int GetItemCount() override;
    int GetSelectedCount() override;
    void RemoveAllItems() override;
    void SetLayout(short spacingX, short spacingY, short cellWidth, short cellHeight,
                   short orientation, COLORREF background, int multiSelect) override;
    void SelectItem(const char* name, int select) override;
    int IsItemSelected(const char* name) override;
    int RotateItem(const char* name, int degrees) override;
    int GetItemRotation(const char* name) override;
    void AddItem(CameraImage* image, const char* name, int position) override;
    HWND GetWindow() override;
    void MoveControl(int x, int y, int width, int height) override;
    BOOL CreateControl(int, const char*, DWORD, const RECT* rect, HWND parent, int) override;
    void RestartLoader() override;
    void DestroyControl() override;
    void SetSink(ImageControlSink* sink) override;
    void KeepAlive(std::shared_ptr<void> keeper) override;

    LayoutImp* Layout() const { return layout_; }

private:
    ~ThumbnailControl();

    LayoutImp* layout_;  // deleted by its window, or here when it never had one
    int cellNumber_ = 0;
};
