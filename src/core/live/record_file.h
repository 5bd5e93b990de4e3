// Recording of live samples to a CSV file: the header, then one line per sample, each written
// through to the OS at once, so a crash or a pulled cable loses at most the line being written.
// The numbers read the same under every locale.
#pragma once

#include "live/sample.h"

namespace ovx::live {

constexpr int kRecordPathSize = 260;
extern int recording;                      // 1 while samples are recorded
extern int recordFrames;                   // lines written to the current (or last) file
extern char szRecordFile[kRecordPathSize]; // the current (or last) file; empty after a failed open

constexpr const char* kRecordHeader =
    "elapsed_s,wall_clock,norm,a,b,amax,upper,lower,tolerance_output,reference_output,source";

// Creates (or truncates) path, writes the header line and starts recording: 0, or the file
// error of the open or the write (platform/errors.h), nothing recorded. A recording still open
// is closed first.
int OpenRecordFile(const char* path);
// One line for sample (its time is not used: the line holds the seconds since the recording
// started and the wall clock), source naming the graph source. 0 and the frame counted, or the
// write's error: nothing more can be written, and CloseRecordFile ends the recording. Nothing
// while not recording.
int RecordSample(const LiveSample& sample, const char* source);
// Closes the file; szRecordFile and recordFrames keep the name and the count.
void CloseRecordFile();

// The file name of path without its folders.
const char* FileNameOf(const char* path);
// Shows format (one %s) with the file name of path in the status line.
void ShowFileStatus(const char* format, const char* path);

} // namespace ovx::live
