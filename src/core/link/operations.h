// The operator's commands on the controller, without any panel: what the window's buttons and
// ovextar-cli's commands do on the line, each ending with its result. They work on the sixteen
// parameter variables (params/variables.h); status texts go through ShowStatus in the order the
// window has always shown them; waits for a reply run the event hook (platform::WaitForEvents).
#pragma once

#include <array>
#include <string>

#include "link/flash.h"

namespace ovx::link {

enum class Outcome {
    kDone,
    kNoAnswer,    // nothing, or too little, came back within the wait
    kRefused,     // an answer came that is not the acceptance: an echo without 0x00AA, firmware
                  // information of another length than 64 bytes, a flash address or block not
                  // accepted
    kLineError,   // the port could not be opened, or a send did not go out whole (a request
                  // that awaits an answer is judged by the answer: kNoAnswer)
    kInterrupted, // the waits were interrupted (platform::InterruptComWaits, flash_stop)
    kFileError,   // a file could not be read or is not what the command needs
};

// "done", "no answer", "refused", "line error", "interrupted", "file error".
const char* OutcomeName(Outcome outcome);

struct OpResult {
    Outcome outcome = Outcome::kDone;
    std::string status;  // the status text the command ended with (what the window's status line
                         // shows)
    std::string failure; // one line, what failed and why ("" when done); e.g. "no answer to the
                         // parameter fetch (Timeout RS232-Line!)"
    bool ok() const { return outcome == Outcome::kDone; }
};

// The start-up on port: open and configure it, install the receive notification, the echo
// check, then (target = RAM) the parameters from RAM into the variables and the firmware
// information into szVersion. Done when all of it succeeded; a failed echo check skips the rest,
// a failed parameter fetch does not stop the firmware request. The failure of an open is its
// error text alone ("Cannot open port").
OpResult OpenController(int port);
// The echo check on an open port.
OpResult EchoCheck(int port);
// The firmware information (order 7) into szVersion; done when exactly 64 bytes came.
OpResult ReadFirmwareInfo();
// The get: the parameters of controller RAM (params::RAM) or EEPROM (params::EEPROM) into the
// sixteen variables (and pp). The request carries the variables as they are. 2.0 s wait.
OpResult GetParameters(int target);
// The send: the sixteen variables to controller RAM or EEPROM. No answer is awaited: done when
// the request went out whole.
OpResult SendParameters(int target);
// Teach (order 6) and reset (order 10) with the variables: acknowledged within 1.5 s, the
// parameters are fetched back from RAM (into the variables, hook of params::ValuesChanged).
// Done when both the acknowledgement and the parameters came.
OpResult Teach();
OpResult Reset();

// Per page 4..7: kPageWritten (1), kPageFailed (0), kPageNotStarted (-1).
struct FlashResult : OpResult {
    std::array<int, kFlashPages> pages{kPageNotStarted, kPageNotStarted, kPageNotStarted,
                                       kPageNotStarted};
};
// Builds the linearisation table from the measurement file (params::ReadCorrData; LTlinear.dat
// written) and programs it into flash pages 4 to 7. A file that fails programs nothing
// (kFileError, its error text the failure). progress may be empty.
FlashResult ProgramTable(const char* measurementFile, const FlashProgress& progress);

} // namespace ovx::link
