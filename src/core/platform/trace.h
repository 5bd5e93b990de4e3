// --trace output: "S.mmm kind: text" lines on stderr, seconds since start.
#pragma once

namespace ovx::platform {

void EnableTrace(bool on);
bool TraceEnabled();
// kind "tx"/"rx": bytes as lower-case hex without separators; "status": the text; "port": why
// a port could not be opened. All of them also feed the protocol monitor's log, whether or not
// the trace is enabled.
void TraceBytes(const char* kind, const char* bytes, int count);
void TraceText(const char* kind, const char* text);

} // namespace ovx::platform
