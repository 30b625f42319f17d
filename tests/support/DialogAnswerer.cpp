#include "support/DialogAnswerer.h"

#include <algorithm>
#include <utility>

namespace {
thread_local DialogAnswerer* current = nullptr;
}  // namespace

DialogAnswerer::DialogAnswerer(int answer) : answer_(answer) {
    previous_ = std::exchange(current, this);
    hook_ = SetWindowsHookExA(WH_CBT, Hook, nullptr, GetCurrentThreadId());
}

DialogAnswerer::~DialogAnswerer() { UnhookWindowsHookEx(hook_), current = previous_; }

LRESULT CALLBACK DialogAnswerer::Hook(int code, WPARAM wParam, LPARAM lParam) {
    if (code == HCBT_ACTIVATE && current) {
        HWND window = reinterpret_cast<HWND>(wParam);
        char name[32] = {};
        GetClassNameA(window, name, sizeof name);
        if (lstrcmpA(name, "#32770") == 0) current->Answer(window);
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

void DialogAnswerer::Answer(HWND dialog) {
    if (std::find(answered_.begin(), answered_.end(), dialog) != answered_.end()) return;
    answered_.push_back(dialog);
    // Wine activates a task-modal message box from inside its set-up, before
    // the text is in: such a box is read and answered once the set-up is done.
    HWND text = GetDlgItem(dialog, 0xFFFF);
    if (text && GetWindowTextLengthA(text) == 0) {
        deferred_.push_back(dialog);
        SetTimer(nullptr, 0, 0, AnswerDeferred);
        return;
    }
    Record(dialog);
}

void CALLBACK DialogAnswerer::AnswerDeferred(HWND, UINT, UINT_PTR timer, DWORD) {
    KillTimer(nullptr, timer);
    if (!current) return;
    std::vector<HWND> dialogs;
    dialogs.swap(current->deferred_);
    for (HWND dialog : dialogs)
        if (IsWindow(dialog)) current->Record(dialog);
}

void DialogAnswerer::Record(HWND dialog) {
    char caption[256] = {};
    GetWindowTextA(dialog, caption, sizeof caption);
    captions_.push_back(caption);
    // A message box keeps its text in a static control with id 0xFFFF.
    char text[1024] = {};
    GetDlgItemTextA(dialog, 0xFFFF, text, sizeof text);
    texts_.push_back(text);
    if (inspect_) inspect_(dialog, context_);
    PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(answer_, BN_CLICKED), 0);
}
