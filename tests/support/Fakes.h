// Test doubles for the window stand-ins: they record what they are told.
#pragma once

#include <condition_variable>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "platform/DialogWindow.h"
#include "platform/MessageWindow.h"
#include "platform/ProgressBar.h"

class RecordingProgressBar : public platform::ProgressBar {
  public:
    void SetRange(int minimum, int maximum) override {
        Record("range " + std::to_string(minimum) + " " + std::to_string(maximum));
    }
    void SetStep(int step) override { Record("step " + std::to_string(step)); }
    void SetPosition(int position) override {
        std::lock_guard<std::mutex> lock(mutex_);
        position_ = position;
        calls_.push_back("pos " + std::to_string(position));
    }
    void StepIt() override {
        std::lock_guard<std::mutex> lock(mutex_);
        ++position_;
        maxPosition_ = std::max(maxPosition_, position_);
        calls_.push_back("stepit");
    }
    std::vector<std::string> Calls() const {
        std::lock_guard<std::mutex> lock(mutex_);
        return calls_;
    }
    int MaxPosition() const {
        std::lock_guard<std::mutex> lock(mutex_);
        return maxPosition_;
    }

  private:
    void Record(const std::string& call) {
        std::lock_guard<std::mutex> lock(mutex_);
        calls_.push_back(call);
    }
    mutable std::mutex mutex_;
    std::vector<std::string> calls_;
    int position_ = 0;
    int maxPosition_ = 0;
};

struct MessageBoxRecord {
    std::string text;
    std::string caption;
    unsigned icon;
};

class FakeDialog : public platform::DialogWindow {
  public:
    void EnableControl(int id, bool enable) override { enabled_[id] = enable; }
    bool IsControlEnabled(int id) const override {
        auto it = enabled_.find(id);
        return it == enabled_.end() || it->second;
    }
    void SetControlText(int id, const std::string& text) override { texts_[id] = text; }
    std::string ControlText(int id) const override {
        auto it = texts_.find(id);
        return it == texts_.end() ? std::string() : it->second;
    }
    void ShowMessageBox(const std::string& text, const std::string& caption,
                        unsigned icon) override {
        boxes.push_back({text, caption, icon});
    }
    std::vector<MessageBoxRecord> boxes;

  private:
    std::map<int, bool> enabled_;
    std::map<int, std::string> texts_;
};

// Records sent messages; Send blocks until the test calls Release, as a
// cross-thread SendMessage waits for the window's thread.
class BlockingMessageWindow : public platform::MessageWindow {
  public:
    struct Message {
        unsigned message;
        uintptr_t wParam;
        intptr_t lParam;
    };
    intptr_t Send(unsigned message, uintptr_t wParam, intptr_t lParam) override {
        std::unique_lock<std::mutex> lock(mutex_);
        messages_.push_back({message, wParam, lParam});
        changed_.notify_all();
        changed_.wait(lock, [this] { return released_ >= messages_.size(); });
        returned_ = messages_.size();
        changed_.notify_all();
        return 0;
    }
    bool WaitForMessage(size_t count, int timeoutMs) {
        std::unique_lock<std::mutex> lock(mutex_);
        return changed_.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                                 [&] { return messages_.size() >= count; });
    }
    void Release() {
        std::lock_guard<std::mutex> lock(mutex_);
        ++released_;
        changed_.notify_all();
    }
    bool WaitForReturn(size_t count, int timeoutMs) {
        std::unique_lock<std::mutex> lock(mutex_);
        return changed_.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                                 [&] { return returned_ >= count; });
    }
    size_t Returned() {
        std::lock_guard<std::mutex> lock(mutex_);
        return returned_;
    }
    std::vector<Message> Messages() {
        std::lock_guard<std::mutex> lock(mutex_);
        return messages_;
    }

  private:
    std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<Message> messages_;
    size_t released_ = 0;
    size_t returned_ = 0;
};
