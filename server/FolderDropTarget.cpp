#include "server/FolderDropTarget.h"

#include "server/CameraFolder.h"

const InterfaceRow<FolderDropTarget> FolderDropTarget::kInterfaces[2] = {
    {&IID_IUnknown, FaceOf<FolderDropTarget, IDropTarget>},
    {&IID_IDropTarget, FaceOf<FolderDropTarget, IDropTarget>},
};

FolderDropTarget::FolderDropTarget(CameraFolder* folder) : folder_(folder) { folder_->AddRef(); }

FolderDropTarget::~FolderDropTarget() { folder_->Release(); }

// Only an open connection is asked; none is made for a drag passing over.
STDMETHODIMP FolderDropTarget::DragEnter(IDataObject* data, DWORD, POINTL, DWORD* effect) {
    if (!effect) return E_POINTER;
    accepting_ = folder_->CanAcceptData(data) != 0;
    *effect = accepting_ ? DROPEFFECT_COPY : DROPEFFECT_NONE;
    return S_OK;
}

STDMETHODIMP FolderDropTarget::DragOver(DWORD, POINTL, DWORD* effect) {
    if (!effect) return E_POINTER;
    *effect = accepting_ ? DROPEFFECT_COPY : DROPEFFECT_NONE;
    return S_OK;
}

STDMETHODIMP FolderDropTarget::Drop(IDataObject* data, DWORD, POINTL, DWORD* effect) {
    if (!effect) return E_POINTER;
    *effect = accepting_ && folder_->AcceptData(data, -1) > 0 ? DROPEFFECT_COPY : DROPEFFECT_NONE;
    return S_OK;
}
