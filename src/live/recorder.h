// Recording of live frames: while the record toggle is on, every frame the run loop plots goes
// to a CSV file as one line, written through to the OS at once, so a crash or a pulled cable
// loses at most the frame being written. A write error stops the recording, not the run.
#pragma once

#include <array>

namespace ovx::live {

constexpr int kRecordPathSize = 260;
extern int recording;                      // 1 while frames are recorded
extern int recordFrames;                   // frames written to the current (or last) file
extern char szRecordFile[kRecordPathSize]; // the current (or last) file
extern char szRecordDir[kRecordPathSize];  // where the file dialog opens; empty = program dir

constexpr const char* kRecordHeader =
    "elapsed_s,wall_clock,norm,a,b,amax,upper,lower,tolerance_output,reference_output,source";

// The save dialog for a CSV file of the live display: in szRecordDir (else the program
// directory), named by namePattern (a wall-clock format); true with the chosen path.
bool AskForCsvFile(const char* namePattern, const char* title,
                   std::array<char, kRecordPathSize>& path);
// Shows format (one %s) with the file name of path in the status line.
void ShowFileStatus(const char* format, const char* path);

// Opens path, writes the header line and starts recording; 1, or 0 with a status text.
int StartRecording(const char* path);
// Closes the file; the info text keeps the file name and the frame count.
void StopRecording();
// One line for the frame the run loop has just plotted (nothing while not recording).
void RecordLiveFrame();

// PANEL_TOGBTNRECORD, on commit: 1 asks for the file and starts, 0 stops.
int CC_TOGBTNRecord(int panel, int control, int event, void* cbData, int d1, int d2);

} // namespace ovx::live
