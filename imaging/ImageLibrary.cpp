#include "imaging/ImageLibrary.h"

namespace {

// A missing library or export gives null, which every caller treats like a
// failed load. The library is never unloaded.
ImageLibrary* LoadImageLibrary() {
    HMODULE module = LoadLibraryA(kImageLibraryName);
    if (!module) return nullptr;
    auto create = reinterpret_cast<GetImageLibraryFunction>(
        reinterpret_cast<void*>(GetProcAddress(module, kImageLibraryExport)));
    return create ? create() : nullptr;
}

}  // namespace

// Loader threads may make the first call, so the load runs under the
// language's one-time initialisation.
ImageLibrary* GetImageLibrary() {
    static ImageLibrary* const library = LoadImageLibrary();
    return library;
}

ImageHolder::ImageHolder() {
    if (ImageLibrary* images = GetImageLibrary()) image_ = images->CreateImage();
}

ImageHolder::~ImageHolder() {
    if (image_) GetImageLibrary()->DestroyImage(image_);
}
