#pragma once
// Copying camera images to local files (or a bitmap): one full-resolution
// fetch per image, turned as the view shows it, named after the image in a
// transfer directory under the temporary directory.
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
};

// Fetches `image` into a file (`dib` null) or a packed bitmap (*dib). On a
// cancel, or Cancel after an error, deletes what the batch transferred so
// far, marks it cancelled and answers false.
bool TransferImage(TransferBatch& batch, CameraImage* image, std::string& filePath, int rotation,
                   HGLOBAL* dib);
std::string MakeTransferPath(CameraImage* image);
std::string UniqueTempName(const std::string& extension, bool inTransferDirectory);
std::string NamedTempName(const std::string& base, const std::string& extension, bool inTransferDirectory);
void DeleteTransferred(TransferBatch& batch);
int FindLastChar(const std::string& text, char c);
// The temporary directory + "CAMEXP\", created when missing.
std::string WorkDirectory();
