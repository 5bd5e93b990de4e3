#include "link/operations.h"

#include <algorithm>
#include <cstdio>
#include <string>
#include <utility>

#include "link/com232.h"
#include "params/lintable.h"
#include "params/variables.h"
#include "platform/events.h"
#include "platform/serial.h"
#include "platform/timing.h"

namespace ovx::link {

namespace {

constexpr double kReplyWait = 2.0; // get
constexpr double kAckWait = 1.5;   // teach and reset

OpResult Ended(Outcome outcome, std::string failure) {
    return {outcome, ShownStatus(), std::move(failure)};
}

OpResult Done() {
    return Ended(Outcome::kDone, "");
}

// What failed, and the status text that told it: "no answer to the echo check (Timeout < 36
// Bytes)".
std::string Named(const char* what, const char* status) {
    return std::string(what) + " (" + status + ")";
}

bool Interrupted() {
    return platform::ComWaitsInterrupted();
}

OpResult InterruptedResult() {
    return Ended(Outcome::kInterrupted, "interrupted");
}

// Judges the echo check that returned checked: szStatus holds its text.
OpResult JudgeEcho(int checked) {
    if (checked == 1) {
        return Done();
    }
    if (Interrupted()) {
        return InterruptedResult();
    }
    if (nBytesR == kFrameBytes) {
        return Ended(Outcome::kRefused, Named("wrong answer to the echo check", szStatus));
    }
    return Ended(Outcome::kNoAnswer, Named("no answer to the echo check", szStatus));
}

// Judges the parameter fetch (PushGET) that has just ended: the frame was taken when rx_flag is
// set; else szStatus holds the time-out text it showed last.
OpResult JudgeFetch() {
    if (rx_flag == 1) {
        return Done();
    }
    if (Interrupted()) {
        return InterruptedResult();
    }
    return Ended(Outcome::kNoAnswer, Named("no answer to the parameter fetch", szStatus));
}

// Judges the firmware read that returned n (the count its wait saw); szStatus holds its text.
OpResult JudgeFirmware(int n) {
    if (nBytesR == kInfoBytes) {
        return Done();
    }
    if (Interrupted()) {
        return InterruptedResult();
    }
    if (n < kInfoBytes) {
        return Ended(Outcome::kNoAnswer, Named("no firmware information", szStatus));
    }
    char why[96];
    std::snprintf(why, sizeof why,
                  "no firmware information in the controller's answer (%d bytes, "
                  "not %d)",
                  nBytesR, kInfoBytes);
    return Ended(Outcome::kRefused, why);
}

// The failure of the start-up's later steps: the first of the fetch and the firmware read.
OpResult FirstFailure(const OpResult& fetch, const OpResult& firmware) {
    const OpResult& failed = !fetch.ok() ? fetch : firmware;
    return Ended(failed.outcome, failed.failure);
}

int ReadOrder(int target) {
    return target == params::EEPROM ? kOrderReadEeprom : kOrderReadRam;
}

int WriteOrder(int target) {
    return target == params::EEPROM ? kOrderWriteEeprom : kOrderWriteRam;
}

// Waits, with events, until the notification has taken a frame or more than limit seconds have
// passed since tstart. true when a frame came.
bool AwaitFrame(double limit) {
    tstart = platform::Timer();
    for (;;) {
        if (rx_flag == 1) {
            return true;
        }
        tdiff = platform::Timer() - tstart;
        if (tdiff > limit || Interrupted()) {
            return false;
        }
        platform::WaitForEvents(tstart + limit);
    }
}

// Teach and reset: the request carries the variables; an acknowledgement within 1.5 s fetches
// the controller's parameters back. A frame that comes during the last turn is not looked at.
OpResult TeachOrReset(int orderCode, bool teach) {
    AwaitQuietLine();
    FlushQueues();
    CopyVarsToPP();
    rx_flag = 0;
    if (SendRequest(orderCode, pp)) {
        ShowStatus("Line Ok!");
    }
    if (teach) {
        ShowStatus("New setpoint value teached!");
    }
    tstart = platform::Timer();
    do {
        if (rx_flag == 1) {
            PushGET(params::RAM);
            return JudgeFetch();
        }
        tdiff = platform::Timer() - tstart;
        if (Interrupted()) {
            return InterruptedResult();
        }
        platform::WaitForEvents(tstart + kAckWait);
    } while (tdiff < kAckWait);
    ShowStatus("Timeout RS-232!!");
    return Ended(Outcome::kNoAnswer, Named("no acknowledgement", "Timeout RS-232!!"));
}

// The pages that were not written, "4 5 6 7".
std::string PageList(const std::array<int, kFlashPages>& pages) {
    std::string list;
    for (int i = 0; i < kFlashPages; ++i) {
        if (pages[i] != kPageWritten) {
            if (!list.empty()) {
                list += ' ';
            }
            list += std::to_string(4 + i);
        }
    }
    return list;
}

Outcome FlashOutcome(const FlashRun& run) {
    if (std::ranges::all_of(run.pages, [](int page) { return page == kPageWritten; })) {
        return Outcome::kDone;
    }
    if (run.stopped) {
        return Outcome::kInterrupted;
    }
    return run.firstFailure == -1 ? Outcome::kNoAnswer : Outcome::kRefused;
}

} // namespace

const char* OutcomeName(Outcome outcome) {
    switch (outcome) {
    case Outcome::kDone:
        return "done";
    case Outcome::kNoAnswer:
        return "no answer";
    case Outcome::kRefused:
        return "refused";
    case Outcome::kLineError:
        return "line error";
    case Outcome::kInterrupted:
        return "interrupted";
    case Outcome::kFileError:
        return "file error";
    }
    return "unknown";
}

int InitRS232(int port) {
    return OpenController(port).ok() ? 1 : 0;
}

OpResult OpenController(int port) {
    if (OpenRS232(port) == 0) {
        return Ended(Outcome::kLineError, szStatus);
    }
    const OpResult echo = JudgeEcho(CheckComLine(port));
    if (!echo.ok()) {
        ShowStatus();
        return Ended(echo.outcome, echo.failure);
    }
    params::target = params::RAM;
    PushGET(params::RAM);
    const OpResult fetch = JudgeFetch();
    const int n = GetVERSIONInfo();
    const OpResult firmware = n >= kInfoBytes ? Done() : JudgeFirmware(n);
    if (n < kInfoBytes) {
        SetStatus("Error reading firmware-info!");
    }
    ShowStatus();
    return FirstFailure(fetch, firmware);
}

OpResult EchoCheck(int port) {
    return JudgeEcho(CheckComLine(port));
}

OpResult ReadFirmwareInfo() {
    return JudgeFirmware(GetVERSIONInfo());
}

OpResult GetParameters(int target) {
    CopyVarsToPP();
    AwaitQuietLine();
    FlushQueues();
    rx_flag = 0;
    if (SendRequest(ReadOrder(target), pp)) {
        ShowStatus("Transmit Ok!");
    }
    if (AwaitFrame(kReplyWait)) {
        GetRxBuf(PNUM);
        CopyPPtoVars();
        ShowStatus("Data Transfer Ok!");
        return Done();
    }
    if (Interrupted()) {
        return InterruptedResult();
    }
    ShowStatus("Timeout RS232-Line!");
    return Ended(Outcome::kNoAnswer,
                 Named("no answer to the parameter fetch", "Timeout RS232-Line!"));
}

OpResult SendParameters(int target) {
    CopyVarsToPP();
    if (SendRequest(WriteOrder(target), pp)) {
        ShowStatus("Transmit Ok!");
        return Done();
    }
    char why[96];
    std::snprintf(why, sizeof why, "the parameters did not go out whole (%d of %d bytes written)",
                  std::max(nBytesW, 0), kFrameBytes);
    return Ended(Outcome::kLineError, why);
}

OpResult Teach() {
    return TeachOrReset(kOrderTeach, true);
}

OpResult Reset() {
    return TeachOrReset(kOrderReset, false);
}

FlashResult ProgramTable(const char* measurementFile, const FlashProgress& progress) {
    FlashResult result;
    char szError[kStatusSize] = {};
    if (params::ReadCorrData(measurementFile, szError, sizeof szError) == 0) {
        ShowStatus(szError); // nothing is programmed from a file that failed
        static_cast<OpResult&>(result) = Ended(Outcome::kFileError, szError);
        return result;
    }
    if (szError[0] != '\0') {
        // A repaired table, or a table file not written: the flash is programmed all the same.
        ShowStatus(szError);
    }
    const FlashRun run = SendCorrDataToFlash(progress);
    if (szError[0] != '\0') {
        // The flash texts replaced it within 0.1 s: the last of them keeps it in view.
        char shown[2 * kStatusSize] = {};
        std::snprintf(shown, sizeof shown, "%s - %s", ShownStatus(), szError);
        ShowStatus(shown);
    }
    const Outcome outcome = FlashOutcome(run);
    const std::string missing = PageList(run.pages);
    static_cast<OpResult&>(result) =
        Ended(outcome, missing.empty() ? "" : "pages not written: " + missing);
    result.pages = run.pages;
    return result;
}

} // namespace ovx::link
