#pragma once
#include <ole2.h>

#include "base/ComObject.h"

class CameraFolder;

// Data dropped on a camera folder's item in the shell's tree goes into its camera.
class FolderDropTarget : public ComObject<FolderDropTarget, kCountReferences, IDropTarget> {
public:
    static const InterfaceRow<FolderDropTarget> kInterfaces[2];

    explicit FolderDropTarget(CameraFolder* folder);
    ~FolderDropTarget() override;

    STDMETHODIMP DragEnter(IDataObject* data, DWORD keys, POINTL point, DWORD* effect) override;
    STDMETHODIMP DragOver(DWORD keys, POINTL point, DWORD* effect) override;
    STDMETHODIMP DragLeave() override { return S_OK; }
    STDMETHODIMP Drop(IDataObject* data, DWORD keys, POINTL point, DWORD* effect) override;

private:
    int accepting_ = 1;
    CameraFolder* folder_;
};
