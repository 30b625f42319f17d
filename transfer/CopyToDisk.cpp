#include "transfer/CopyToDisk.h"

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstring>

#include "base/Module.h"
#include "base/WideText.h"
#include "imaging/ImageLibrary.h"
#include "res/resource.h"
#include "transfer/ProgressDialog.h"

namespace {

// Both wrap as signed 16-bit numbers and are never reset, so names stay
// unique within the process.
int16_t unnamedCounter = 0;
int16_t clashCounter = 0;

bool Exists(const std::string& path) { return GetFileAttributesW(Widen(path).c_str()) != INVALID_FILE_ATTRIBUTES; }

void EnsureDirectory(const std::string& path) {
    std::wstring wide = Widen(path);
    DWORD attributes = GetFileAttributesW(wide.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY))
        CreateDirectoryW(wide.c_str(), nullptr);
}

std::string TempDirectory() {
    wchar_t path[MAX_PATH + 1] = {};
    DWORD length = GetTempPathW(MAX_PATH, path);
    return length && length < MAX_PATH ? Narrow(path) : std::string();
}

// A render folder is named "<process id>-<number>". It is left over when that
// process is gone, or when the process now holding the id started after the
// folder was made (the id was reused). Folders of other names come from
// earlier versions of the module.
bool IsLeftover(const WIN32_FIND_DATAW& folder) {
    wchar_t* end = nullptr;
    unsigned long id = wcstoul(folder.cFileName, &end, 10);
    if (end == folder.cFileName || *end != L'-') return true;
    HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION | SYNCHRONIZE, FALSE, DWORD(id));
    if (!process) return GetLastError() != ERROR_ACCESS_DENIED;  // denied: running, just not ours to ask
    FILETIME started = {}, exited, kernel, user;
    bool running = WaitForSingleObject(process, 0) == WAIT_TIMEOUT &&
                   GetProcessTimes(process, &started, &exited, &kernel, &user);
    CloseHandle(process);
    return !running || CompareFileTime(&folder.ftCreationTime, &started) < 0;
}

void ClearLeftovers(const std::string& directory) {
    std::wstring wide = Widen(directory);
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW((wide + L"*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return;
    std::vector<std::string> leftovers;
    do {
        bool folder = found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY;
        if (folder && wcscmp(found.cFileName, L".") && wcscmp(found.cFileName, L"..") && IsLeftover(found)) {
            leftovers.push_back(directory + Narrow(found.cFileName) + "\\");
        }
    } while (FindNextFileW(search, &found));
    FindClose(search);
    for (const std::string& folder : leftovers) RemoveRenderFolder(folder);
}

// The progress dialog of one picture's read, when the driver reports
// progress; the callback's context (null without a dialog).
ProgressDialog* OpenProgress(const TransferBatch& batch, CameraImage* image, ProgressDialog& dialog) {
    if (!image->NeedsProgress()) return nullptr;
    dialog.Open(batch.owner);
    ImageInfo info = {};
    if (image->GetInfo(&info)) dialog.SetCaptionText(std::string(info.name, strnlen(info.name, sizeof info.name)));
    return &dialog;
}

bool CancelBatch(TransferBatch& batch) {
    DeleteTransferred(batch);
    batch.cancelled = true;
    return false;
}

// A copy of a block the driver keeps for itself.
HGLOBAL CopyBlock(HGLOBAL source) {
    SIZE_T size = GlobalSize(source);
    const void* from = size ? GlobalLock(source) : nullptr;
    HGLOBAL copy = from ? GlobalAlloc(GMEM_MOVEABLE, size) : nullptr;
    void* to = copy ? GlobalLock(copy) : nullptr;
    if (to) {
        std::memcpy(to, from, size);
        GlobalUnlock(copy);
    } else if (copy) {
        copy = GlobalFree(copy);
    }
    if (from) GlobalUnlock(source);
    return copy;
}

int ShowAcquisitionError() {
    return MessageBoxW(nullptr, LoadModuleText(IDS_IMAGE_ACQUISITION_ERROR).c_str(),
                       Widen(ProductName()).c_str(), MB_RETRYCANCEL | MB_ICONHAND | MB_TASKMODAL | MB_TOPMOST);
}

// Decodes the full image into `picture`, preferring the driver's file.
// `fileResult` is what ReadToFile answered; `file` its path.
bool LoadFetched(ImageLibrary* library, CameraImage* image, Image* picture, int fileResult, const char* file,
                 int deleteWhenDone, ProgressDialog* dialog) {
    if (fileResult == kReadOk) {
        bool loaded = library->LoadFile(file, picture) >= 1;
        if (deleteWhenDone) DeleteFileW(Widen(file).c_str());
        return loaded;
    }
    HGLOBAL block = nullptr;
    int freeWhenDone = 0;
    if (image->ReadData(&block, 1, &freeWhenDone, TransferProgress, dialog) != kReadOk || !block) return false;
    bool loaded = library->LoadMemory(picture, block) >= 1;
    if (freeWhenDone) GlobalFree(block);
    return loaded;
}

// A long copy (a video from a card) shows its progress and stops at the user's Cancel.
DWORD CALLBACK CopyProgress(LARGE_INTEGER total, LARGE_INTEGER done, LARGE_INTEGER, LARGE_INTEGER, DWORD, DWORD,
                            HANDLE, HANDLE, LPVOID context) {
    auto* dialog = static_cast<ProgressDialog*>(context);
    if (total.QuadPart > 0) dialog->SetPosition(int(done.QuadPart * 100 / total.QuadPart));
    return dialog->PumpAndCheckCancel() ? PROGRESS_CANCEL : PROGRESS_CONTINUE;
}

bool CopyWithProgress(const std::wstring& from, const std::wstring& to, ProgressDialog* dialog) {
    if (!dialog) return CopyFileW(from.c_str(), to.c_str(), FALSE);
    if (CopyFileExW(from.c_str(), to.c_str(), CopyProgress, dialog, nullptr, 0)) return true;
    DeleteFileW(to.c_str());  // a cancelled copy leaves nothing half-written
    return false;
}

// Writes the camera's file (turned if asked) to `filePath` in `folder`.
bool StoreFile(ImageLibrary* library, CameraImage* image, const std::string& folder, std::string& filePath,
               int rotation, int fileResult, const char* file, int deleteWhenDone, ProgressDialog* dialog) {
    if (fileResult == kReadOk) {
        filePath = MakeTransferPath(image, folder);
        std::wstring from = Widen(file), to = Widen(filePath);
        if (deleteWhenDone) {
            // The driver's own temporary file becomes ours, under the picture's name.
            if (!MoveFileExW(from.c_str(), to.c_str(), MOVEFILE_COPY_ALLOWED)) {
                DeleteFileW(from.c_str());
                return false;
            }
        } else if (!CopyWithProgress(from, to, dialog)) {
            return false;
        }
        DWORD attributes = GetFileAttributesW(to.c_str());
        if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY))
            SetFileAttributesW(to.c_str(), attributes & ~FILE_ATTRIBUTE_READONLY);
        if (rotation == 0) return true;
        ImageHolder picture;
        return library && picture && library->LoadFile(filePath.c_str(), picture.Get()) >= 1 &&
               library->Rotate(picture.Get(), rotation, 1) >= 1 &&
               library->SaveFile(filePath.c_str(), picture.Get(), kSaveFormatJpeg) >= 1;
    }
    ImageHolder picture;
    if (!library || !picture || !LoadFetched(library, image, picture.Get(), fileResult, file, 0, dialog)) return false;
    if (rotation != 0 && library->Rotate(picture.Get(), rotation, 1) < 1) return false;
    filePath = MakeTransferPath(image, folder);
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

// A camera's image name made safe as a file name in a render folder:
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
    static const bool cleared = (ClearLeftovers(directory), true);
    (void)cleared;
    return directory;
}

std::string MakeRenderFolder() {
    static std::atomic<unsigned> made{0};
    std::string work = WorkDirectory();
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::string folder = work + std::to_string(GetCurrentProcessId()) + "-" + std::to_string(++made) + "\\";
        if (CreateDirectoryW(Widen(folder).c_str(), nullptr)) return folder;
        if (GetLastError() != ERROR_ALREADY_EXISTS) break;
    }
    return "";
}

void RemoveRenderFolder(const std::string& folder) {
    if (folder.empty()) return;
    std::wstring wide = Widen(folder);
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW((wide + L"*").c_str(), &found);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) DeleteFileW((wide + found.cFileName).c_str());
        } while (FindNextFileW(search, &found));
        FindClose(search);
    }
    RemoveDirectoryW(wide.c_str());
}

// UTF-8 never uses an ASCII byte inside a longer character.
int FindLastChar(const std::string& text, char c) {
    size_t found = text.rfind(c);
    return found == std::string::npos ? -1 : int(found);
}

std::string UniqueTempName(const std::string& folder, const std::string& extension) {
    std::string candidate = folder + "~ce" + std::to_string(unnamedCounter) + "." + extension;
    while (Exists(candidate)) {
        ++unnamedCounter;
        candidate = folder + "~ce" + std::to_string(unnamedCounter) + "." + extension;
    }
    ++unnamedCounter;
    return candidate;
}

std::string NamedTempName(const std::string& folder, const std::string& base, const std::string& extension) {
    std::string candidate = folder + base + "." + extension;
    while (Exists(candidate)) {
        ++clashCounter;
        candidate = folder + base + "(" + std::to_string(clashCounter) + ")." + extension;
    }
    return candidate;
}

std::string PictureFileName(CameraImage* image) {
    ImageInfo info = {};
    if (!image->GetInfo(&info) || !(info.mask & kInfoName)) return "";
    return SafeFileName(std::string(info.name, strnlen(info.name, sizeof info.name)));
}

std::string MakeTransferPath(CameraImage* image, const std::string& folder) {
    std::string name = PictureFileName(image);
    if (name.empty()) return UniqueTempName(folder, "jpg");
    int dot = FindLastChar(name, '.');
    if (dot < 0) return NamedTempName(folder, name, "");
    return NamedTempName(folder, name.substr(0, size_t(dot)), name.substr(size_t(dot) + 1));
}

void DeleteTransferred(TransferBatch& batch) {
    for (TransferItem& item : batch.items) {
        if (item.filePath.empty()) continue;
        DeleteFileW(Widen(item.filePath).c_str());
        item.filePath.clear();
    }
}

bool TransferImage(TransferBatch& batch, CameraImage* image, std::string& filePath, int rotation, HGLOBAL* dib) {
    if (!dib && batch.folder.empty()) batch.folder = MakeRenderFolder();
    if (!dib && batch.folder.empty()) return false;
    ImageLibrary* library = GetImageLibrary();
    for (;;) {
        ProgressDialog dialog;
        ProgressDialog* context = OpenProgress(batch, image, dialog);
        char file[260] = {};
        int deleteWhenDone = 0;
        int result = image->ReadToFile(file, sizeof file, 1, &deleteWhenDone, TransferProgress, context);
        file[sizeof file - 1] = '\0';
        if (result == kReadCancelled) return CancelBatch(batch);
        bool stored = dib ? StoreBitmap(library, image, rotation, result, file, deleteWhenDone, context, dib)
                          : StoreFile(library, image, batch.folder, filePath, rotation, result, file, deleteWhenDone,
                                      context);
        bool cancelled = context && context->Cancelled();
        dialog.Close();
        if (stored) return true;
        if (cancelled) return CancelBatch(batch);
        if (!dib && !filePath.empty()) {  // half-made: a retry writes a new one
            DeleteFileW(Widen(filePath).c_str());
            filePath.clear();
        }
        if (ShowAcquisitionError() != IDRETRY) return CancelBatch(batch);
    }
}

int ReadImageData(TransferBatch& batch, CameraImage* image, HGLOBAL* data) {
    *data = nullptr;
    ProgressDialog dialog;
    ProgressDialog* context = OpenProgress(batch, image, dialog);
    HGLOBAL block = nullptr;
    int freeWhenDone = 0;
    int result = image->ReadData(&block, 1, &freeWhenDone, TransferProgress, context);
    dialog.Close();
    if (result == kReadOk && block)
        *data = freeWhenDone ? block : CopyBlock(block);
    else if (block && freeWhenDone)
        GlobalFree(block);
    if (result == kReadCancelled) CancelBatch(batch);
    return *data ? kReadOk : result == kReadOk ? -1 : result;
}
