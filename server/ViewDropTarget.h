#pragma once
#include <ole2.h>

#include "base/ComObject.h"

class FolderConnection;
class CameraView;

// Data dropped into an open camera view goes into its camera, unless it came
// from this same browser window.
class ViewDropTarget : public ComObject<ViewDropTarget, kCountReferences, IDropTarget> {
public:
    static const InterfaceRow<ViewDropTarget> kInterfaces[2];

    ViewDropTarget(FolderConnection* folder, CameraView* view) : folder_(folder), view_(view) {}

    STDMETHODIMP DragEnter(IDataObject* data, DWORD keys, POINTL point, DWORD* effect) override;
    STDMETHODIMP DragOver(DWORD keys, POINTL point, DWORD* effect) override;
    STDMETHODIMP DragLeave() override { return S_OK; }
    STDMETHODIMP Drop(IDataObject* data, DWORD keys, POINTL point, DWORD* effect) override;

private:
    bool IsOwnData(IDataObject* data);

    int accepting_ = 1;
    FolderConnection* folder_;  // the view's folder, not counted
    CameraView* view_;          // the owning view, not counted
};
