#include "imaging/ImageLibrary.h"

#include <string>

#include "base/Module.h"

namespace {

// The codec library installed beside the module that loads it (in the tests,
// beside the test program that links the module's code): never whatever a
// folder on the DLL search path offers under its name.
HMODULE LoadLibraryBesideModule() {
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        DWORD length = GetModuleFileNameW(theModule.instance, &path[0], DWORD(path.size()));
        if (length == 0) return nullptr;
        if (length < path.size()) {
            path.resize(length);
            break;
        }
        path.resize(path.size() * 2);
    }
    path.erase(path.find_last_of(L'\\') + 1);
    path += kImageLibraryFileName;
    return LoadLibraryExW(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
}

// A missing library or export gives null, which every caller treats like a
// failed load. The library is never unloaded.
ImageLibrary* LoadImageLibrary() {
    HMODULE module = LoadLibraryBesideModule();
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
