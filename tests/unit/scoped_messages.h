// Replaces the real message boxes for the life of a test: records every box and answers with
// scripted results (IDOK once the script runs out).
#pragma once

#include "language.h"

#include <deque>
#include <mutex>
#include <vector>

class ScopedMessages {
public:
    ScopedMessages() {
        previous_ = SetMessageBoxHandler([this](const MessageBoxCall &call) {
            std::lock_guard<std::mutex> lock(lock_);
            calls_.push_back(call);
            if (answers_.empty()) return IDOK;
            int answer = answers_.front();
            answers_.pop_front();
            return answer;
        });
    }
    ~ScopedMessages() { SetMessageBoxHandler(previous_); }
    ScopedMessages(const ScopedMessages &) = delete;
    ScopedMessages &operator=(const ScopedMessages &) = delete;

    void Answer(int result) {
        std::lock_guard<std::mutex> lock(lock_);
        answers_.push_back(result);
    }
    std::vector<MessageBoxCall> calls() const {
        std::lock_guard<std::mutex> lock(lock_);
        return calls_;
    }

private:
    MessageBoxHandler previous_;
    mutable std::mutex lock_;
    std::vector<MessageBoxCall> calls_;
    std::deque<int> answers_;
};
