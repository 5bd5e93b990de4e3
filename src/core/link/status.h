// The status line: szStatus and the one writer every status text goes through. A shown text is
// traced ("status:") and handed to the sink: the panel's status line in the window, standard
// error in the command-line tool, a recorder in tests.
#pragma once

#include <functional>

namespace ovx::link {

constexpr int kStatusSize = 260;
extern char szStatus[kStatusSize];

using StatusSink = std::function<void(const char* text)>;
// An empty sink leaves only the trace.
void SetStatusSink(StatusSink sink);
// The sink installed now (a recorder put in front of it hands each text on).
const StatusSink& CurrentStatusSink();

// Fills szStatus; the caller shows it later.
void SetStatus(const char* text);
// Shows a text, or szStatus.
void ShowStatus(const char* text);
void ShowStatus();
// The text shown last (what the status line holds).
const char* ShownStatus();

} // namespace ovx::link
