#include "print/PrintFetch.h"

#include "base/WideText.h"

namespace {

bool LoadFromFile(ImageLibrary* library, Image* image, const char* path, int deleteWhenDone) {
    try {
        library->LoadFile(path, image);  // a bad file shows as an image of no size
    } catch (...) {
    }
    if (deleteWhenDone) DeleteFileW(Widen(path).c_str());
    return true;
}

bool LoadFromMemory(ImageLibrary* library, Image* image, CameraImage* source, int kind, void* target) {
    HGLOBAL data = nullptr;
    int freeWhenDone = 0;
    if (source->ReadData(&data, kind, &freeWhenDone, TransferProgress, target) != kReadOk) return false;
    int loaded = data ? library->LoadMemory(image, data) : 0;
    if (freeWhenDone && data) GlobalFree(data);
    return loaded >= 1;
}

}  // namespace

int LoadImageForPrint(ProgressDialog* progress, int kind, CameraImage* source, Image* image, int rotation) {
    ImageLibrary* library = GetImageLibrary();
    if (!library || !image || !source) return 0;
    void* target = source->NeedsProgress() ? progress : nullptr;
    char path[260] = {};
    int deleteWhenDone = 0;
    int result = source->ReadToFile(path, sizeof path, kind, &deleteWhenDone, TransferProgress, target);
    path[sizeof path - 1] = '\0';
    if (result == kReadCancelled) return 0;  // the user said stop: no second way round
    bool loaded = result == kReadOk ? LoadFromFile(library, image, path, deleteWhenDone)
                                    : LoadFromMemory(library, image, source, kind, target);
    if (!loaded) return 0;
    if (rotation != 0 && library->Rotate(image, rotation, 1) < 1) return 0;
    return 1;
}

bool LoadGuarded(FolderConnection* folder, ProgressDialog* progress, int kind, CameraImage* source,
                 Image* image) {
    if (folder->Idle() != 1) return false;
    folder->SetIdle(0);
    int loaded = LoadImageForPrint(progress, kind, source, image, 0);
    folder->SetIdle(1);
    return loaded == 1;
}
