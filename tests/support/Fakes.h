// Test doubles for the window stand-ins: they record what they are told.
#pragma once

#include <chrono>
#include <condition_variable>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "ui/DialogWindow.h"
#include "ui/MessageWindow.h"
#include "ui/ProgressBar.h"

class RecordingProgressBar : public ui::ProgressBar {
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

// The dialog as the logic sees it, run by the test's thread: messages a
// worker sends wait in a queue until the test pumps them, as a window's
// thread would take them from its message loop.
class FakeDialog : public ui::DialogWindow, public ui::MessageWindow {
  public:
    void EnableControl(int id, bool enable) override { enabled_[id] = enable; }
    bool IsControlEnabled(int id) const override {
        auto it = enabled_.find(id);
        return it == enabled_.end() || it->second;
    }
    void SetControlText(int id, const std::string& text) override {
        texts_[id] = text;
        textHistory[id].push_back(text);
    }
    std::string ControlText(int id) const override {
        auto it = texts_.find(id);
        return it == texts_.end() ? std::string() : it->second;
    }
    void ShowMessageBox(const std::string& text, const std::string& caption,
                        unsigned icon) override {
        boxes.push_back({text, caption, icon});
        if (onMessageBox)
            onMessageBox();
    }
    bool AskYesNo(const std::string& text, const std::string& caption) override {
        questions.push_back({text, caption, 0});
        return answer;
    }
    void Post(unsigned message) override { posted.push_back(message); }
    void CenterOnScreen() override { centered = true; }
    bool ChooseOpenFile(const std::string& title, const ui::FileFilter& filter,
                        const std::string& defaultExtension, std::string* path) override {
        chooserTitle = title;
        chooserFilter = filter;
        chooserExtension = defaultExtension;
        if (nextChoice.empty())
            return false;  // the user cancelled
        *path = nextChoice;
        nextChoice.clear();
        return true;
    }
    void EndDialog(int result) override { endedWith = result; }
    int ChooseFromList(const std::string& title, const std::string& prompt,
                       const std::vector<std::string>& entries) override {
        lists.push_back({title, prompt, entries});
        return pick;
    }
    void FocusControl(int id) override { focused = id; }
    void SetTicking(bool on) override { ticking = on; }

    // Called on the worker's thread; returns once the test has pumped it.
    intptr_t Send(unsigned message, uintptr_t wParam, intptr_t lParam) override {
        std::unique_lock<std::mutex> lock(mutex_);
        const uint64_t ticket = ++sent_;
        queue_.push_back({message, wParam, lParam});
        changed_.notify_all();
        changed_.wait(lock, [&] { return handled_ >= ticket; });
        return 0;
    }
    // Handles queued messages on the calling thread until done() holds or
    // the time runs out.
    bool PumpUntil(const std::function<bool()>& done, int timeoutMs) {
        const auto deadline =
            std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        while (!done()) {
            Queued next;
            {
                std::unique_lock<std::mutex> lock(mutex_);
                if (!changed_.wait_until(lock, deadline, [&] { return !queue_.empty(); }))
                    return done();
                next = queue_.front();
                queue_.erase(queue_.begin());
            }
            if (handler)
                handler(next.message, next.wParam, next.lParam);
            std::lock_guard<std::mutex> lock(mutex_);
            ++handled_;
            changed_.notify_all();
        }
        return true;
    }

    std::function<void(unsigned, uintptr_t, intptr_t)> handler;
    std::function<void()> onMessageBox;
    std::vector<MessageBoxRecord> boxes;
    std::vector<MessageBoxRecord> questions;  // asked with AskYesNo
    bool answer = false;                      // what the user answers them
    std::map<int, std::vector<std::string>> textHistory;
    std::vector<unsigned> posted;
    bool centered = false;
    int endedWith = -1;
    int focused = 0;
    struct ListRecord {
        std::string title, prompt;
        std::vector<std::string> entries;
    };
    std::vector<ListRecord> lists;  // asked with ChooseFromList
    int pick = -1;                  // what the user picks from them
    bool ticking = false;
    std::string nextChoice;
    std::string chooserTitle;
    ui::FileFilter chooserFilter;
    std::string chooserExtension;

  private:
    struct Queued {
        unsigned message;
        uintptr_t wParam;
        intptr_t lParam;
    };
    std::map<int, bool> enabled_;
    std::map<int, std::string> texts_;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<Queued> queue_;
    uint64_t sent_ = 0;
    uint64_t handled_ = 0;
};

// Records sent messages; Send blocks until the test calls Release, as a
// cross-thread SendMessage waits for the window's thread.
class BlockingMessageWindow : public ui::MessageWindow {
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
