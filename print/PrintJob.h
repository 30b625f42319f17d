#pragma once
// One print job as the print command hands it to a page composer.
#include <windows.h>

#include <string>
#include <vector>

#include "camera/FolderConnection.h"
#include "camera/ViewItem.h"
#include "print/PrintDevice.h"

// Where a picture is drawn, in device pixels.
struct DrawnArea {
    int left, top, width, height;
};

struct PrintJob {
    FolderConnection* folder = nullptr;
    HWND progressOwner = nullptr;  // owner of the progress dialogs
    const std::vector<ViewItem>* items = nullptr;
    PrintDevice* device = nullptr;
    const DOCINFOW* docInfo = nullptr;
    const DEVMODEW* devMode = nullptr;  // handed along; the composers do not use it
    std::string layout;                 // subkey under "Print Layouts"
    std::vector<int> indices;           // into `items`, in item order

    int Count() const { return int(indices.size()); }
    const std::string& NameAt(int position) const { return (*items)[size_t(indices[size_t(position)])].name; }
};
