#pragma once
// The camera view's Print command: the print dialog with the layout buttons,
// the choice of images, and the hand-over to a page composer.
#include <windows.h>
#include <commdlg.h>

#include <vector>

#include "camera/FolderConnection.h"
#include "camera/ViewItem.h"

// Prints `items` of the view whose window is `viewWindow` (the dialog's owner;
// its parent owns the progress dialogs). Returns once the job has been
// spooled or abandoned; nothing happens for a view without images. The job
// works on its own copy of the items and references `folderObject` (the
// folder's COM identity): the user may leave the view while it prints.
void PrintImages(HWND viewWindow, FolderConnection* folder, std::vector<ViewItem> items,
                 IUnknown* folderObject = nullptr);

// Keeps the layout buttons of the print dialog in step with "CurrentLayout".
UINT_PTR CALLBACK PrintHookProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

// The print dialog's flags for a view with `selectedCount` selected images.
DWORD PrintDialogFlags(int selectedCount);

// Indices into `items` that are printed, in item order: videos never are.
std::vector<int> PrintIndices(const std::vector<ViewItem>& items, bool selectionOnly);
