#pragma once
// The small modeless dialog shown while a camera image is read: a bar, a
// percentage and Cancel. It disables its owner while open and keeps the user
// interface alive by pumping messages from inside the driver's callback.
#include <windows.h>

#include <string>

class ProgressDialog {
public:
    ProgressDialog();
    ~ProgressDialog();
    ProgressDialog(const ProgressDialog&) = delete;
    ProgressDialog& operator=(const ProgressDialog&) = delete;

    void SetCaptionText(const std::string& name);
    BOOL Open(HWND owner);
    void Close();
    void SetRange(int low, int high);
    void SetStep(int step);
    void SetPosition(int position);
    void SetTitle(const std::string& text);
    void Pump();
    int PumpAndCheckCancel();

    HWND Window() const { return dialog_; }
    const std::string& Caption() const { return caption_; }
    int Cancelled() const { return cancelled_; }

private:
    static INT_PTR CALLBACK DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    void ShowPercent(int position);

    HWND dialog_ = nullptr;
    HWND bar_ = nullptr;
    HWND owner_ = nullptr;
    int rangeMin_ = 0;
    int rangeMax_ = 100;
    int step_ = 10;
    int cancelled_ = 0;
    int ownerDisabled_ = 0;
    std::string caption_;
};

// The driver's progress callback; `context` is a ProgressDialog or null.
BOOL TransferProgress(int code, int value, const char* text, void* context);
