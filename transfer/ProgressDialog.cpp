#include "transfer/ProgressDialog.h"

#include <commctrl.h>

#include "base/Module.h"
#include "base/WideText.h"
#include "res/resource.h"

ProgressDialog::ProgressDialog() { SetCaptionText(""); }

ProgressDialog::~ProgressDialog() {
    if (dialog_) Close();
}

void ProgressDialog::SetCaptionText(const std::string& name) {
    caption_ = LoadModuleString(IDS_TRANSFERRING_IMAGE) + " " + name;
}

BOOL ProgressDialog::Open(HWND owner) {
    owner_ = owner;
    if (owner && IsWindowEnabled(owner)) {
        EnableWindow(owner, FALSE);
        ownerDisabled_ = 1;
    }
    dialog_ = CreateDialogParamW(theModule.instance, MAKEINTRESOURCEW(IDD_PROGRESS), owner, DialogProc, 0);
    if (!dialog_) {
        if (ownerDisabled_) EnableWindow(owner_, TRUE);
        ownerDisabled_ = 0;
        return 0;
    }
    SetWindowLongPtrW(dialog_, DWLP_USER, reinterpret_cast<LONG_PTR>(this));
    bar_ = GetDlgItem(dialog_, IDC_PROGRESS_BAR);
    SendMessageW(bar_, PBM_SETRANGE, 0, MAKELPARAM(rangeMin_, rangeMax_));
    SendMessageW(bar_, PBM_SETSTEP, WPARAM(step_), 0);
    SendMessageW(bar_, PBM_SETPOS, WPARAM(rangeMin_), 0);
    return 1;
}

void ProgressDialog::Close() {
    // The owner first, so that activation returns to it when the dialog goes.
    if (ownerDisabled_) EnableWindow(owner_, TRUE);
    ownerDisabled_ = 0;
    if (dialog_) {
        SetWindowLongPtrW(dialog_, DWLP_USER, 0);
        DestroyWindow(dialog_);
    }
    dialog_ = nullptr;
    bar_ = nullptr;
}

void ProgressDialog::SetRange(int low, int high) {
    rangeMin_ = low;
    rangeMax_ = high;
    if (bar_) SendMessageW(bar_, PBM_SETRANGE, 0, MAKELPARAM(low, high));
}

void ProgressDialog::SetStep(int step) {
    step_ = step;
    if (bar_) SendMessageW(bar_, PBM_SETSTEP, WPARAM(step), 0);
}

void ProgressDialog::SetPosition(int position) {
    Pump();
    if (bar_) SendMessageW(bar_, PBM_SETPOS, WPARAM(position), 0);
    ShowPercent(position);
}

// Written only when it changes, so that the text does not flicker.
void ProgressDialog::ShowPercent(int position) {
    if (!dialog_ || rangeMax_ == rangeMin_) return;
    int percent = (position - rangeMin_) * 100 / (rangeMax_ - rangeMin_);
    if (percent != 100) percent %= 100;
    std::wstring text = std::to_wstring(percent) + L"%";
    HWND label = GetDlgItem(dialog_, IDC_PROGRESS_PERCENT);
    wchar_t shown[17] = {};
    GetWindowTextW(label, shown, 16);
    if (text != shown) SetWindowTextW(label, text.c_str());
}

void ProgressDialog::SetTitle(const std::string& text) {
    if (dialog_) SetWindowTextW(dialog_, Widen(text).c_str());
}

// A quit request ends the transfer and goes back to the loop it was meant for.
void ProgressDialog::Pump() {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (msg.message == WM_QUIT) {
            cancelled_ = 1;
            PostQuitMessage(int(msg.wParam));
            return;
        }
        if (dialog_ && IsDialogMessageW(dialog_, &msg)) continue;
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
}

int ProgressDialog::PumpAndCheckCancel() {
    Pump();
    return cancelled_;
}

INT_PTR CALLBACK ProgressDialog::DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM) {
    if (message != WM_COMMAND || LOWORD(wParam) != IDCANCEL) return FALSE;
    auto* dialog = reinterpret_cast<ProgressDialog*>(GetWindowLongPtrW(window, DWLP_USER));
    if (dialog) dialog->cancelled_ = 1;
    return FALSE;
}

BOOL TransferProgress(int code, int value, const char* text, void* context) {
    if (!context) return 1;
    auto* dialog = static_cast<ProgressDialog*>(context);
    std::string title = text ? text : dialog->Caption();
    int position = 0;
    switch (code) {
        case 0:
            dialog->SetRange(0, 100);
            dialog->SetStep(5);
            break;
        case 1:
            position = static_cast<int16_t>(value);
            break;
        case 2:
            position = 100;
            break;
        default:
            return -dialog->PumpAndCheckCancel();
    }
    dialog->SetPosition(position);
    dialog->SetTitle(title);
    return dialog->PumpAndCheckCancel() == 0 ? 1 : 0;
}
