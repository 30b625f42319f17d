#pragma once
// The data object of the camera view's selected images: a private block
// naming them; the files as the shell reads them (a file list, the shell's ID
// list array, the preferred effect); the pictures without files (a file group
// descriptor and one stream per picture); and, for one image, its bitmap.
// Pictures are fetched from the camera only when a consumer asks after the
// drop, files once per image, into a folder of the object's own that goes
// with it.
#include <objidl.h>

#include <string>
#include <vector>

#include "base/ComObject.h"
#include "camera/FolderConnection.h"
#include "transfer/CopyToDisk.h"
#include "transfer/DropSource.h"

class ImageDataObject : public ComObject<ImageDataObject, kCountReferences, IDataObject> {
public:
    static const InterfaceRow<ImageDataObject> kInterfaces[2];

    // `folderObject` is the folder's COM identity, kept referenced as long as
    // the object lives (the clipboard may hold it after the view is gone);
    // `browserWindow` is the parent of the view's window.
    ImageDataObject(DropSource* dropSource, FolderConnection* folder, IUnknown* folderObject,
                    HWND browserWindow, std::vector<TransferItem> items);
    ~ImageDataObject() override;

    STDMETHODIMP GetData(FORMATETC* format, STGMEDIUM* medium) override;
    STDMETHODIMP GetDataHere(FORMATETC*, STGMEDIUM*) override { return E_NOTIMPL; }
    STDMETHODIMP QueryGetData(FORMATETC* format) override;
    STDMETHODIMP GetCanonicalFormatEtc(FORMATETC*, FORMATETC*) override { return E_NOTIMPL; }
    STDMETHODIMP SetData(FORMATETC*, STGMEDIUM*, BOOL) override { return E_NOTIMPL; }
    STDMETHODIMP EnumFormatEtc(DWORD direction, IEnumFORMATETC** ppenum) override;
    STDMETHODIMP DAdvise(FORMATETC*, DWORD, IAdviseSink*, DWORD*) override { return E_NOTIMPL; }
    STDMETHODIMP DUnadvise(DWORD) override { return E_NOTIMPL; }
    STDMETHODIMP EnumDAdvise(IEnumSTATDATA**) override { return E_NOTIMPL; }

    bool WasCancelled() const { return batch_.cancelled; }
    const std::vector<TransferItem>& Items() const { return batch_.items; }
    // The object's folder ("" until something was rendered).
    const std::string& Folder() const { return batch_.folder; }
    // The file a drop target sees while the drag is still going on.
    std::string PlaceholderPath() const;

private:
    std::vector<FORMATETC> Offered() const;
    bool DragInProgress() const;
    HWND ProgressOwner() const;
    HRESULT Render(const FORMATETC& format, STGMEDIUM* medium);
    bool FetchAll();
    bool FetchOne(TransferItem& item, CameraImage* image);
    HGLOBAL RenderPrivate();
    HGLOBAL RenderPlaceholder();
    HGLOBAL RenderIdListArray();
    HGLOBAL RenderBitmap();
    HGLOBAL RenderDescriptor();
    HRESULT RenderContents(size_t index, IStream** stream);

    DropSource* dropSource_;
    FolderConnection* folder_;
    IUnknown* folderObject_;
    HWND browserWindow_;
    bool stillValid_ = true;
    TransferBatch batch_;
};
