// Helpers for the GUI tests: message boxes answered and recorded instead of shown.
#pragma once

#include <QString>
#include <mutex>
#include <vector>

#include "MessageBox.h"

namespace kestrow::test {

// Installs a message hook for its lifetime; every box is recorded and answered with `answer`.
class MessageRecorder {
  public:
    explicit MessageRecorder(int answer = ui::kIdOk) {
        ui::SetMessageHook([this, answer](const ui::MessageRequest& r) {
            std::lock_guard lock(mutex_);
            requests_.push_back(r);
            return answer;
        });
    }
    ~MessageRecorder() { ui::SetMessageHook({}); }
    MessageRecorder(const MessageRecorder&) = delete;
    MessageRecorder& operator=(const MessageRecorder&) = delete;

    [[nodiscard]] std::vector<ui::MessageRequest> requests() const {
        std::lock_guard lock(mutex_);
        return requests_;
    }
    [[nodiscard]] QStringList texts() const {
        std::lock_guard lock(mutex_);
        QStringList out;
        for (const auto& r : requests_) {
            out << r.text;
        }
        return out;
    }
    void clear() {
        std::lock_guard lock(mutex_);
        requests_.clear();
    }

  private:
    mutable std::mutex mutex_;
    std::vector<ui::MessageRequest> requests_;
};

}  // namespace kestrow::test
