#pragma once
// Answers the message boxes and dialogs of this process from a thread of its
// own, whichever thread opened them (the loader's error box opens on the
// worker thread, where a CBT hook of the test thread does not see it).
#include <windows.h>

#include <atomic>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

class BoxWatcher {
public:
    explicit BoxWatcher(int answer, DWORD delayMs = 0);
    ~BoxWatcher();
    BoxWatcher(const BoxWatcher&) = delete;
    BoxWatcher& operator=(const BoxWatcher&) = delete;

    void SetAnswer(int answer) { answer_ = answer; }
    std::vector<std::string> Texts();
    int Count();

private:
    void Watch();

    std::atomic<int> answer_;
    DWORD delayMs_;
    std::atomic<bool> done_{false};
    std::mutex lock_;
    std::vector<std::string> texts_;
    std::vector<HWND> answered_;
    std::thread thread_;
};
