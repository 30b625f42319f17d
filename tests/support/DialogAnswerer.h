#pragma once
#include <windows.h>

#include <string>
#include <vector>

// Answers the dialogs and message boxes this thread opens, through a real
// WH_CBT hook: each one activated gets `answer` posted as its command.
class DialogAnswerer {
public:
    explicit DialogAnswerer(int answer = IDCANCEL);
    ~DialogAnswerer();
    DialogAnswerer(const DialogAnswerer&) = delete;
    DialogAnswerer& operator=(const DialogAnswerer&) = delete;

    void SetAnswer(int answer) { answer_ = answer; }
    // Called with each dialog before it is answered (it may drive the dialog).
    void OnDialog(void (*inspect)(HWND, void*), void* context) { inspect_ = inspect, context_ = context; }
    const std::vector<std::string>& Captions() const { return captions_; }
    const std::vector<std::string>& Texts() const { return texts_; }
    // A long run keeps no record of the dialogs gone (its memory check would count them).
    void Forget() { captions_.clear(), texts_.clear(), answered_.clear(); }

private:
    static LRESULT CALLBACK Hook(int code, WPARAM wParam, LPARAM lParam);
    static void CALLBACK AnswerDeferred(HWND, UINT, UINT_PTR timer, DWORD);
    void Answer(HWND dialog);
    void Record(HWND dialog);  // reads the dialog and posts the answer

    HHOOK hook_ = nullptr;
    std::vector<HWND> answered_;  // a dialog can be activated more than once
    std::vector<HWND> deferred_;  // activated before their text was set
    DialogAnswerer* previous_ = nullptr;
    int answer_;
    void (*inspect_)(HWND, void*) = nullptr;
    void* context_ = nullptr;
    std::vector<std::string> captions_, texts_;
};
