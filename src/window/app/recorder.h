// Recording of live frames on the panel: while the record toggle is on, every frame the run
// loop plots goes to the recording file (record_file.h) with the LEDs' states as shown. A write
// error stops the recording, not the run.
#pragma once

#include <array>

#include "live/record_file.h"

namespace ovx::app {

extern char szRecordDir[live::kRecordPathSize]; // where the file dialog opens; empty = program dir

// The save dialog for a CSV file of the live display: in szRecordDir (else the program
// directory), named by namePattern (a wall-clock format); true with the chosen path.
bool AskForCsvFile(const char* namePattern, const char* title,
                   std::array<char, live::kRecordPathSize>& path);

// Opens path, writes the header line and starts recording; 1, or 0 with a status text.
int StartRecording(const char* path);
// Closes the file; the info text keeps the file name and the frame count.
void StopRecording();
// One line for the frame the run loop has just plotted (nothing while not recording).
void RecordLiveFrame();

// PANEL_TOGBTNRECORD, on commit: 1 asks for the file and starts, 0 stops.
int CC_TOGBTNRecord(int panel, int control, int event, void* cbData, int d1, int d2);

} // namespace ovx::app
