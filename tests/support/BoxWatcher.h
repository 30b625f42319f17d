#pragma once
// Answers the message boxes and dialogs of this process from a thread of its own, whichever thread opened them (the
// loader's error box opens on the worker thread, where a CBT hook of the test thread does not see it).
#include <windows.h>

#include <atomic>
#include <thread>

class BoxWatcher {
public:
    explicit BoxWatcher(int answer) : answer_(answer), thread_([this] { Watch(); }) {}
    ~BoxWatcher() { done_ = true, thread_.join(); }
    BoxWatcher(const BoxWatcher&) = delete;
    BoxWatcher& operator=(const BoxWatcher&) = delete;

    int Count() const { return count_; }  // the boxes answered so far

private:
    void Watch();

    const int answer_;
    std::atomic<bool> done_{false};
    std::atomic<int> count_{0};
    std::thread thread_;
};
