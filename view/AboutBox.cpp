#include "view/AboutBox.h"

#include "res/resource.h"
#include "base/Module.h"
#include "base/WideText.h"

namespace {

INT_PTR CALLBACK AboutProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
    if (message == WM_INITDIALOG) {
        std::string title = LoadModuleString(IDS_ABOUT) + " " + ProductName() + " - " +
                            LoadModuleString(IDS_VERSION) + " " + ProductVersion();
        SetWindowTextW(dialog, Widen(title).c_str());
        return TRUE;
    }
    // A click closes it; Enter and Escape do too, as in any dialog.
    bool key = message == WM_COMMAND && (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL);
    if (message == WM_LBUTTONUP || key) {
        EndDialog(dialog, IDOK);
        return TRUE;
    }
    return FALSE;
}

}  // namespace

INT_PTR ShowAboutBox(HWND owner) {
    return DialogBoxParamW(theModule.instance, MAKEINTRESOURCEW(IDD_ABOUT), owner, AboutProc, 0);
}
