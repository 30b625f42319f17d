#pragma once
// Copying camera images to local files (or a bitmap or memory): one
// full-resolution fetch per image, turned as the view shows it, named after
// the image in the render folder of the data object that hands it out.
//
// Paths here are UTF-8, as the drivers and the codec library pass them.
#include <windows.h>

#include <string>
#include <vector>

#include "camera/CameraService.h"

struct TransferItem {
    int rotation;          // degrees, as the view shows the image
    std::string name;      // the camera image name
    std::string filePath;  // the local file, once transferred
};

// The images one data object hands out, and whether the user cancelled them.
struct TransferBatch {
    std::vector<TransferItem> items;
    bool cancelled = false;
    HWND owner = nullptr;  // owner of the progress dialog
    std::string folder;    // the render folder (ends with '\'), "" until made
};

// Fetches `image` into a file of the batch's folder (`dib` null) or a packed
// bitmap (*dib). On a cancel, or Cancel after an error, deletes what the
// batch transferred so far, marks it cancelled and answers false.
bool TransferImage(TransferBatch& batch, CameraImage* image, std::string& filePath, int rotation,
                   HGLOBAL* dib);
// Reads the full picture into memory as the camera has it (no turn): kReadOk
// with a block the caller frees, kReadCancelled with the batch marked as by
// TransferImage, anything else when the driver gave nothing (it may read
// pictures only to files).
int ReadImageData(TransferBatch& batch, CameraImage* image, HGLOBAL* data);
// The image's name made safe as a file name; "" when it has none.
std::string PictureFileName(CameraImage* image);
std::string MakeTransferPath(CameraImage* image, const std::string& folder);
std::string UniqueTempName(const std::string& folder, const std::string& extension);
std::string NamedTempName(const std::string& folder, const std::string& base, const std::string& extension);
void DeleteTransferred(TransferBatch& batch);
int FindLastChar(const std::string& text, char c);
// The temporary directory + "CAMEXP\", created when missing. The first use in
// a process removes the render folders their processes left behind.
std::string WorkDirectory();
// A new empty folder of this process under the work directory (ending with
// '\'); "" when it cannot be made.
std::string MakeRenderFolder();
// Deletes the folder's files and the folder; files still open elsewhere stay
// (and the folder with them) until a later start of the module clears them.
void RemoveRenderFolder(const std::string& folder);
