// The view's commands that hand images out: data objects, copy and drag.
#include "transfer/DropSource.h"
#include "transfer/ImageDataObject.h"
#include "view/CameraView.h"

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
