// The view's commands that hand images out: data objects, copy, drag and
// the full-resolution viewer.
#include "transfer/DropSource.h"
#include "transfer/ImageDataObject.h"
#include "view/CameraView.h"
#include "viewer/FullResViewer.h"

namespace {

// The viewer lives on its own once created: its frame deletes it.
void ShowFullResolution(CameraImage* image, int rotation, FolderConnection* folder) {
    if (!image) return;
    auto* viewer = new (std::nothrow) FullResViewer(image, rotation, folder);
    if (viewer) viewer->Create(nullptr);
}

}  // namespace

void CameraView::OpenItem(const std::string& name) {
    int rotation = control_ ? control_->GetItemRotation(name.c_str()) : 0;
    ShowFullResolution(folder_->IsConnected() ? folder_->OpenImage(name) : nullptr, rotation, folder_);
}

void CameraView::PreviewCommand() {
    for (const ViewItem& item : items_) {
        if (!item.selected) continue;
        ShowFullResolution(folder_->IsConnected() ? folder_->OpenImage(item.name) : nullptr, item.rotation, folder_);
        return;
    }
}

IDataObject* CameraView::CreateDataObject(DropSource* dropSource) {
    std::vector<TransferItem> chosen;
    for (const ViewItem& item : items_)
        if (item.selected) chosen.push_back({item.rotation, item.name, ""});
    return new (std::nothrow) ImageDataObject(dropSource, folder_, folderObject_, GetParentWindow(), chosen);
}

void CameraView::CopyCommand() {
    IDataObject* data = CreateDataObject(nullptr);
    if (!data) return;
    data->AddRef();
    OleSetClipboard(data);  // the clipboard keeps the only reference
    data->Release();
}

void CameraView::DragSelection() {
    ComRef<DropSource> source = ComRef<DropSource>::Share(new (std::nothrow) DropSource);
    if (!source) return;
    ComRef<IDataObject> data = ComRef<IDataObject>::Share(CreateDataObject(source.Get()));
    if (!data) return;
    DWORD effect = DROPEFFECT_NONE;
    DoDragDrop(data.Get(), source.Get(), DROPEFFECT_COPY | DROPEFFECT_MOVE | DROPEFFECT_LINK, &effect);
}
