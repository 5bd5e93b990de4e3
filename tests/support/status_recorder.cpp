#include "support/status_recorder.h"

#include <algorithm>
#include <utility>

namespace ovx::testing {

// The sink a recorder installs; Stop puts the one of before back only while this is installed.
struct StatusRecorder::Forward {
    StatusRecorder* recorder;
    void operator()(const char* text) const { recorder->Shown(text); }
};

void StatusRecorder::Start(OnShown onShown) {
    Stop();
    texts_.clear();
    onShown_ = std::move(onShown);
    before_ = link::CurrentStatusSink();
    link::SetStatusSink(Forward{this});
}

void StatusRecorder::Stop() {
    const auto* installed = link::CurrentStatusSink().target<Forward>();
    if (installed != nullptr && installed->recorder == this) {
        link::SetStatusSink(std::move(before_));
    }
    before_ = nullptr;
}

void StatusRecorder::Shown(const char* text) {
    texts_.emplace_back(text);
    if (before_) {
        before_(text);
    }
    if (onShown_) {
        onShown_(texts_.back());
    }
}

bool StatusRecorder::Contains(std::string_view text) const {
    return std::find(texts_.begin(), texts_.end(), text) != texts_.end();
}

} // namespace ovx::testing
