#include "link/status.h"

#include <cstdio>
#include <utility>

#include "platform/trace.h"

namespace ovx::link {

char szStatus[kStatusSize] = {};

namespace {

StatusSink& Sink() {
    static StatusSink sink;
    return sink;
}

char shown[kStatusSize] = {};

} // namespace

void SetStatusSink(StatusSink sink) {
    Sink() = std::move(sink);
}

const StatusSink& CurrentStatusSink() {
    return Sink();
}

void SetStatus(const char* text) {
    std::snprintf(szStatus, sizeof szStatus, "%s", text != nullptr ? text : "");
}

void ShowStatus(const char* text) {
    if (text != shown) {
        std::snprintf(shown, sizeof shown, "%s", text != nullptr ? text : "");
    }
    platform::TraceText("status", text);
    if (Sink()) {
        Sink()(text != nullptr ? text : "");
    }
}

void ShowStatus() {
    ShowStatus(szStatus);
}

const char* ShownStatus() {
    return shown;
}

} // namespace ovx::link
