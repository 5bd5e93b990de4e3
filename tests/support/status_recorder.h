// Records the status texts the status writer shows, through its std::function sink: every text
// in order while the recorder is started, each still handed on to the sink installed before it
// (the panel's status line). A test may add its own step per text (onShown).
#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "link/status.h"

namespace ovx::testing {

class StatusRecorder {
  public:
    using OnShown = std::function<void(const std::string& text)>;

    StatusRecorder() = default;
    StatusRecorder(const StatusRecorder&) = delete;
    StatusRecorder& operator=(const StatusRecorder&) = delete;
    ~StatusRecorder() { Stop(); }

    // Forgets what was recorded and records from now on.
    void Start(OnShown onShown = {});
    // Puts the sink of before back, unless another has replaced the recorder's since; the texts
    // stay.
    void Stop();

    std::vector<std::string>& Texts() { return texts_; }
    const std::vector<std::string>& Texts() const { return texts_; }
    bool Contains(std::string_view text) const;

  private:
    struct Forward;
    void Shown(const char* text);

    link::StatusSink before_;
    OnShown onShown_;
    std::vector<std::string> texts_;
};

} // namespace ovx::testing
