#pragma once
// Fetching one camera image for a printed cell.
#include <windows.h>

#include "camera/FolderConnection.h"
#include "imaging/ImageLibrary.h"
#include "transfer/ProgressDialog.h"

// `kind` is the driver's fullImage argument: 1 the picture, 0 a smaller one.
// 1 when `image` holds the decoded picture, 0 otherwise.
int LoadImageForPrint(ProgressDialog* progress, int kind, CameraImage* source, Image* image, int rotation);

// Loads under the folder's transfer guard: a folder that is already busy
// with another transfer counts as a failed load.
bool LoadGuarded(FolderConnection* folder, ProgressDialog* progress, int kind, CameraImage* source,
                 Image* image);
