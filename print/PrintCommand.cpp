#include "print/PrintCommand.h"

#include <commdlg.h>

#include <string>

#include "base/ComObject.h"
#include "base/FileKinds.h"
#include "base/Module.h"
#include "base/WideText.h"
#include "print/ContactSheet.h"
#include "print/FixedLayout.h"
#include "print/PrintLayouts.h"
#include "print/SpoolerDevice.h"
#include "res/resource.h"

namespace {

constexpr wchar_t kDocumentName[] = L"Vistrel Images";

int CountSelected(const std::vector<ViewItem>& items) {
    int count = 0;
    for (const ViewItem& item : items) count += item.selected != 0;
    return count;
}

// Rows after one whose key cannot be read keep the template's captions.
void ShowLayouts(HWND dialog) {
    try {
        std::string current = ReadCurrentLayout("");
        for (const LayoutRow& row : kLayoutRows) {
            SetDlgItemTextW(dialog, row.radioId, Widen(ReadLayoutValue(row.subkey, "Title", "")).c_str());
            if (current == row.subkey) CheckRadioButton(dialog, kFirstLayoutRadio, kLastLayoutRadio, row.radioId);
        }
    } catch (...) {
    }
}

// The choice is kept at once: a cancelled dialog keeps it too.
void KeepLayout(WPARAM command) {
    for (const LayoutRow& row : kLayoutRows) {
        if (command != WPARAM(row.radioId)) continue;
        try {
            WriteCurrentLayout(row.subkey);
        } catch (...) {
        }
    }
}

// A layout that cannot be read prints as a contact sheet.
bool UsesFixedLayout(std::string& layout) {
    try {
        layout = ReadCurrentLayout(kDefaultLayout);
        return atoi(ReadLayoutValue(layout, "Aspect", "0").c_str()) != 0;
    } catch (...) {
        return false;
    }
}

void Compose(PrintJob& job, bool fixedLayout) {
    try {
        fixedLayout ? PrintFixedLayout(job) : PrintContactSheet(job);
    } catch (...) {
        job.device->AbortDocument();
    }
}

}  // namespace

DWORD PrintDialogFlags(int selectedCount) {
    return PD_RETURNDC | PD_COLLATE | PD_ENABLEPRINTHOOK | PD_ENABLEPRINTTEMPLATE | PD_USEDEVMODECOPIES |
           (selectedCount >= 1 ? PD_SELECTION : PD_NOSELECTION);
}

std::vector<int> PrintIndices(const std::vector<ViewItem>& items, bool selectionOnly) {
    std::vector<int> indices;
    for (size_t i = 0; i < items.size(); ++i)
        if ((!selectionOnly || items[i].selected) && KindOfFile(items[i].name) != FileKind::kVideo)
            indices.push_back(int(i));
    return indices;
}

UINT_PTR CALLBACK PrintHookProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
    if (message == WM_INITDIALOG) {
        ShowLayouts(dialog);
        return TRUE;
    }
    if (message == WM_COMMAND) KeepLayout(wParam);
    return FALSE;
}

void PrintImages(HWND viewWindow, FolderConnection* folder, std::vector<ViewItem> items, IUnknown* folderObject) {
    if (items.empty()) return;
    if (PrintIndices(items, CountSelected(items) > 0).empty()) {  // videos only: nothing a page can show
        MessageBoxW(viewWindow, LoadModuleText(IDS_NOTHING_TO_PRINT).c_str(), LoadModuleText(IDS_PRINT_CAPTION).c_str(),
                    MB_ICONINFORMATION);
        return;
    }
    ComRef<IUnknown> keepFolder = ComRef<IUnknown>::Share(folderObject);
    PRINTDLGW dialog = {};
    dialog.lStructSize = sizeof dialog;
    dialog.hwndOwner = viewWindow;
    dialog.Flags = PrintDialogFlags(CountSelected(items));
    dialog.hInstance = theModule.instance;
    dialog.lpPrintTemplateName = MAKEINTRESOURCEW(IDD_PRINT);
    dialog.lpfnPrintHook = PrintHookProc;
    if (PrintDlgW(&dialog) != TRUE) return;

    PrintJob job;
    job.folder = folder;
    job.progressOwner = viewWindow ? GetParent(viewWindow) : nullptr;
    job.items = &items;
    job.indices = PrintIndices(items, (dialog.Flags & PD_SELECTION) != 0);
    bool fixedLayout = UsesFixedLayout(job.layout);
    DOCINFOW info = {};
    info.cbSize = sizeof info;
    info.lpszDocName = kDocumentName;
    job.docInfo = &info;
    SetMapMode(dialog.hDC, MM_TEXT);
    SpoolerDevice device(dialog.hDC);
    job.device = &device;
    job.devMode = dialog.hDevMode ? static_cast<const DEVMODEW*>(GlobalLock(dialog.hDevMode)) : nullptr;
    Compose(job, fixedLayout);
    if (dialog.hDevMode) GlobalUnlock(dialog.hDevMode);
    DeleteDC(dialog.hDC);
    if (dialog.hDevMode) GlobalFree(dialog.hDevMode);
    if (dialog.hDevNames) GlobalFree(dialog.hDevNames);
}
