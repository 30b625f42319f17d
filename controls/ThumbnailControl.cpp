#include "controls/ThumbnailControl.h"

#include "controls/LayoutImp.h"
#include "controls/ListHelper.h"
#include "controls/SimpleControl.h"

ImageControl* CreateImageControl(int kind) {
    if (kind == 1) return new (std::nothrow) ThumbnailControl;
    if (kind == 0) return new (std::nothrow) ListHelper;
    return nullptr;
}

ThumbnailControl::ThumbnailControl() : layout_(new LayoutImp) {}

ThumbnailControl::~ThumbnailControl() {
    if (layout_ && !layout_->Window()) delete layout_;
}

void ThumbnailControl::Destroy(int flags) {
    if (flags & 1) delete this;
}

void ThumbnailControl::RemoveItem(const char* name) {
    if (layout_) layout_->RemoveItem(name);
}
int ThumbnailControl::GetItemCount() { return layout_ ? layout_->GetItemCount() : 0; }
int ThumbnailControl::GetSelectedCount() { return layout_ ? layout_->GetSelectedCount() : 0; }

void ThumbnailControl::RemoveAllItems() {
    if (layout_) layout_->RemoveAllItems();
    cellNumber_ = 0;
}

void ThumbnailControl::SetLayout(short spacingX, short spacingY, short cellWidth, short cellHeight,
                                 short orientation, COLORREF background, int multiSelect) {
    if (layout_) layout_->SetLayout(spacingX, spacingY, cellWidth, cellHeight, orientation, background, multiSelect);
}

void ThumbnailControl::SelectItem(const char* name, int select) {
    if (layout_) layout_->SelectItem(name, select);
}
int ThumbnailControl::IsItemSelected(const char* name) { return layout_ ? layout_->IsItemSelected(name) : 0; }
int ThumbnailControl::RotateItem(const char* name, int degrees) {
    return layout_ ? layout_->RotateItem(name, degrees) : 0;
}
int ThumbnailControl::GetItemRotation(const char* name) { return layout_ ? layout_->GetItemRotation(name) : 0; }

// Every cell is the module's own: the grid lends cells windows and takes
// their pictures back, which a driver's cell of the older table cannot do.
void ThumbnailControl::AddItem(CameraImage* image, const char* name, int position) {
    ThumbnailCell* cell = new (std::nothrow) SimpleControl(image, ++cellNumber_, name);
    if (layout_) layout_->AddItem(cell, name, position);
    else if (cell) cell->Destroy(1);
}

HWND ThumbnailControl::GetWindow() { return layout_ ? layout_->Window() : nullptr; }

void ThumbnailControl::MoveControl(int x, int y, int width, int height) {
    if (HWND window = GetWindow()) MoveWindow(window, x, y, width, height, TRUE);
}

BOOL ThumbnailControl::CreateControl(int, const char*, DWORD, const RECT* rect, HWND parent, int) {
    return layout_ && layout_->CreateControl(rect, parent);
}

void ThumbnailControl::RestartLoader() {
    if (layout_) layout_->RestartLoader();
}

void ThumbnailControl::DestroyControl() {
    if (!layout_) return;
    bool hasWindow = layout_->Window() != nullptr;
    layout_->DestroyControl();
    if (!hasWindow) delete layout_;
    layout_ = nullptr;
}

void ThumbnailControl::SetSink(ImageControlSink* sink) {
    if (layout_) layout_->SetSink(sink);
}

void ThumbnailControl::KeepAlive(std::shared_ptr<void> keeper) {
    if (layout_) layout_->KeepAlive(std::move(keeper));
}
