#include "transfer/CopyToDisk.h"

#include <cstdint>
#include <cstring>

#include "base/Module.h"
#include "imaging/ImageLibrary.h"
#include "res/resource.h"
#include "transfer/ProgressDialog.h"

namespace {

// Both wrap as signed 16-bit numbers and are never reset, so names stay
// unique within the process.
int16_t unnamedCounter = 0;
int16_t clashCounter = 0;

bool Exists(const std::string& path) { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

void EnsureDirectory(const std::string& path) {
    DWORD attributes = GetFileAttributesA(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY))
        CreateDirectoryA(path.c_str(), nullptr);
}

std::string TempDirectory() {
    char path[MAX_PATH + 1] = {};
    DWORD length = GetTempPathA(MAX_PATH, path);
    return length && length < MAX_PATH ? std::string(path, length) : std::string();
}

// The work directory is made here too: the transfer directory lives inside it.
std::string TargetDirectory(bool inTransferDirectory) {
    std::string directory = WorkDirectory();
    if (inTransferDirectory) {
        directory += "TRANSFER\\";
        EnsureDirectory(directory);
    }
    return directory;
}

int ShowAcquisitionError() {
    return MessageBoxA(nullptr, LoadModuleString(IDS_IMAGE_ACQUISITION_ERROR).c_str(),
                       theModule.productName.c_str(), MB_RETRYCANCEL | MB_ICONHAND | MB_TASKMODAL | MB_TOPMOST);
}

// Decodes the full image into `picture`, preferring the driver's file.
// `fileResult` is what ReadToFile answered; `file` its path.
bool LoadFetched(ImageLibrary* library, CameraImage* image, Image* picture, int fileResult, const char* file,
                 int deleteWhenDone, ProgressDialog* dialog) {
    if (fileResult == kReadOk) {
        bool loaded = library->LoadFile(file, picture) >= 1;
        if (deleteWhenDone) DeleteFileA(file);
        return loaded;
    }
    HGLOBAL block = nullptr;
    int freeWhenDone = 0;
    if (image->ReadData(&block, 1, &freeWhenDone, TransferProgress, dialog) != kReadOk || !block) return false;
    bool loaded = library->LoadMemory(picture, block) >= 1;
    if (freeWhenDone) GlobalFree(block);
    return loaded;
}

// Writes the camera's file (turned if asked) to `filePath`.
bool StoreFile(ImageLibrary* library, CameraImage* image, std::string& filePath, int rotation, int fileResult,
               const char* file, int deleteWhenDone, ProgressDialog* dialog) {
    if (fileResult == kReadOk) {
        if (deleteWhenDone) {
            filePath = file;  // the driver's own temporary file becomes ours
        } else {
            filePath = MakeTransferPath(image);
            CopyFileA(file, filePath.c_str(), FALSE);
            DWORD attributes = GetFileAttributesA(filePath.c_str());
            if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY))
                SetFileAttributesA(filePath.c_str(), attributes & ~FILE_ATTRIBUTE_READONLY);
        }
        if (rotation == 0) return true;
        ImageHolder picture;
        return library && picture && library->LoadFile(filePath.c_str(), picture.Get()) >= 1 &&
               library->Rotate(picture.Get(), rotation, 1) >= 1 &&
               library->SaveFile(filePath.c_str(), picture.Get(), kSaveFormatJpeg) >= 1;
    }
    ImageHolder picture;
    if (!library || !picture || !LoadFetched(library, image, picture.Get(), fileResult, file, 0, dialog)) return false;
    if (rotation != 0 && library->Rotate(picture.Get(), rotation, 1) < 1) return false;
    filePath = MakeTransferPath(image);
    return library->SaveFile(filePath.c_str(), picture.Get(), kSaveFormatJpeg) >= 1;
}

bool StoreBitmap(ImageLibrary* library, CameraImage* image, int rotation, int fileResult, const char* file,
                 int deleteWhenDone, ProgressDialog* dialog, HGLOBAL* dib) {
    ImageHolder picture;
    if (!library || !picture ||
        !LoadFetched(library, image, picture.Get(), fileResult, file, deleteWhenDone, dialog))
        return false;
    if (rotation != 0 && library->Rotate(picture.Get(), rotation, 1) < 1) return false;
    *dib = library->CreateDib(picture.Get());
    return *dib != nullptr;
}

// A camera's image name made safe as a file name in the transfer directory:
// no folders, no drive, no characters files cannot have, no device names.
std::string SafeFileName(const std::string& name) {
    std::string safe;
    for (char c : name) {
        if (c == '\\' || c == '/' || c == ':')
            safe.clear();  // only the last path part counts
        else if (static_cast<unsigned char>(c) >= 32 && !strchr("<>\"|?*", c))
            safe += c;
    }
    while (!safe.empty() && (safe.back() == '.' || safe.back() == ' ')) safe.pop_back();
    std::string stem = safe.substr(0, safe.find('.'));
    for (char& c : stem) c = char(toupper(static_cast<unsigned char>(c)));
    static const char* const kDevices[] = {"CON", "PRN", "AUX", "NUL", "COM1", "COM2", "COM3", "COM4", "COM5",
                                           "COM6", "COM7", "COM8", "COM9", "LPT1", "LPT2", "LPT3", "LPT4",
                                           "LPT5", "LPT6", "LPT7", "LPT8", "LPT9"};
    for (const char* device : kDevices)
        if (stem == device) return "_" + safe;
    return safe;
}

}  // namespace

std::string WorkDirectory() {
    std::string directory = TempDirectory() + "CAMEXP\\";
    EnsureDirectory(directory);
    return directory;
}

int FindLastChar(const std::string& text, char c) {
    int found = -1;
    for (const char* at = text.c_str(); *at; at = CharNextA(at))
        if (*at == c) found = int(at - text.c_str());
    return found;
}

std::string UniqueTempName(const std::string& extension, bool inTransferDirectory) {
    std::string directory = TargetDirectory(inTransferDirectory);
    std::string candidate = directory + "~ce" + std::to_string(unnamedCounter) + "." + extension;
    while (Exists(candidate)) {
        ++unnamedCounter;
        candidate = directory + "~ce" + std::to_string(unnamedCounter) + "." + extension;
    }
    ++unnamedCounter;
    return candidate;
}

std::string NamedTempName(const std::string& base, const std::string& extension, bool inTransferDirectory) {
    std::string directory = TargetDirectory(inTransferDirectory);
    std::string candidate = directory + base + "." + extension;
    while (Exists(candidate)) {
        ++clashCounter;
        candidate = directory + base + "(" + std::to_string(clashCounter) + ")." + extension;
    }
    return candidate;
}

std::string MakeTransferPath(CameraImage* image) {
    ImageInfo info = {};
    std::string name;
    if (image->GetInfo(&info) && (info.mask & kInfoName))
        name = SafeFileName(std::string(info.name, strnlen(info.name, sizeof info.name)));
    if (name.empty()) return UniqueTempName("jpg", true);
    int dot = FindLastChar(name, '.');
    if (dot < 0) return NamedTempName(name, "", true);
    return NamedTempName(name.substr(0, size_t(dot)), name.substr(size_t(dot) + 1), true);
}

void DeleteTransferred(TransferBatch& batch) {
    for (TransferItem& item : batch.items) {
        if (item.filePath.empty()) continue;
        DeleteFileA(item.filePath.c_str());
        item.filePath.clear();
    }
}

bool TransferImage(TransferBatch& batch, CameraImage* image, std::string& filePath, int rotation, HGLOBAL* dib) {
    ImageLibrary* library = GetImageLibrary();
    for (;;) {
        ProgressDialog dialog;
        ProgressDialog* context = nullptr;
        if (image->NeedsProgress()) {
            dialog.Open(batch.owner);
            ImageInfo info = {};
            if (image->GetInfo(&info)) dialog.SetCaptionText(std::string(info.name, strnlen(info.name, sizeof info.name)));
            context = &dialog;
        }
        char file[260] = {};
        int deleteWhenDone = 0;
        int result = image->ReadToFile(file, sizeof file, 1, &deleteWhenDone, TransferProgress, context);
        file[sizeof file - 1] = '\0';
        if (result == kReadCancelled) {
            DeleteTransferred(batch);
            batch.cancelled = true;
            return false;
        }
        bool stored = dib ? StoreBitmap(library, image, rotation, result, file, deleteWhenDone, context, dib)
                          : StoreFile(library, image, filePath, rotation, result, file, deleteWhenDone, context);
        dialog.Close();
        if (stored) return true;
        if (!dib && !filePath.empty()) {  // half-made: a retry writes a new one
            DeleteFileA(filePath.c_str());
            filePath.clear();
        }
        if (ShowAcquisitionError() != IDRETRY) {
            DeleteTransferred(batch);
            batch.cancelled = true;
            return false;
        }
    }
}
