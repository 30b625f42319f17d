#include "server/ViewDropTarget.h"

#include "camera/FolderConnection.h"
#include "view/CameraView.h"

const InterfaceRow<ViewDropTarget> ViewDropTarget::kInterfaces[2] = {
    {&IID_IUnknown, FaceOf<ViewDropTarget, IDropTarget>},
    {&IID_IDropTarget, FaceOf<ViewDropTarget, IDropTarget>},
};

IDropTarget* CreateViewDropTarget(FolderConnection* folder, CameraView* view) {
    ViewDropTarget* target = new (std::nothrow) ViewDropTarget(folder, view);
    if (target) target->AddRef();
    return target;
}

// Data that the view's own data object made carries the browser window of
// that view in its private block's first 32 bits.
bool ViewDropTarget::IsOwnData(IDataObject* data) {
    if (!data) return false;
    FORMATETC format = {static_cast<CLIPFORMAT>(RegisterClipboardFormatW(L"Vistrel")), nullptr,
                        DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
    if (data->QueryGetData(&format) != S_OK) return false;
    STGMEDIUM medium = {};
    if (FAILED(data->GetData(&format, &medium))) return true;
    bool own = false;
    if (GlobalSize(medium.hGlobal) >= 4) {
        if (const auto* block = static_cast<const DWORD*>(GlobalLock(medium.hGlobal))) {
            own = block[0] == DWORD(reinterpret_cast<UINT_PTR>(view_->GetParentWindow()));
            GlobalUnlock(medium.hGlobal);
        }
    }
    ReleaseStgMedium(&medium);
    return own;
}

STDMETHODIMP ViewDropTarget::DragEnter(IDataObject* data, DWORD, POINTL, DWORD* effect) {
    if (!effect) return E_POINTER;
    accepting_ = !IsOwnData(data) && folder_->CanAcceptData(data) != 0;
    *effect = accepting_ ? DROPEFFECT_COPY : DROPEFFECT_NONE;
    return S_OK;
}

STDMETHODIMP ViewDropTarget::DragOver(DWORD, POINTL, DWORD* effect) {
    if (!effect) return E_POINTER;
    *effect = accepting_ ? DROPEFFECT_COPY : DROPEFFECT_NONE;
    return S_OK;
}

STDMETHODIMP ViewDropTarget::Drop(IDataObject* data, DWORD, POINTL, DWORD* effect) {
    if (!effect) return E_POINTER;
    *effect = DROPEFFECT_NONE;
    if (!accepting_ || IsOwnData(data)) return S_OK;
    int taken = folder_->AcceptData(data, -1);
    if (taken < 1) return S_OK;
    *effect = DROPEFFECT_COPY;
    view_->AddNewItems(-1, taken);
    return S_OK;
}
