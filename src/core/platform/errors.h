// Result codes of the run-time engine services. Every service returns an int: 0 or more is
// success (a count or a handle where the call says so), a negative value is one of these codes.
#pragma once

namespace ovx::platform {

// Serial services (serial.h). The OS layer maps its failures onto these, in one place.
enum ComError : int {
    kComUnknownSystemError = -1, // an OS call failed for a reason not listed below
    kComInvalidPortNumber = -2,  // port number outside 1..kMaxPorts
    kComPortNotOpen = -3,        // the port has not been opened (or was closed)
    kComUnknownIoError = -4,     // read or write failed on an open port (line gone, EIO)
    kComNoPortFound = -6,        // the port number maps to no device, or the device does not exist
    kComCannotOpenPort = -7,     // the device exists but cannot be opened (busy, permission)
    kComInvalidParameter = -13,  // baud rate, parity, data or stop bits, queue size out of range
    kComTimeout = -99,           // a blocking write did not finish within the port's time-out
};

// Panel services (panel.h, plot.h).
enum UiError : int {
    kUiPanelFileMissing = -20, // the panel file cannot be opened
    kUiPanelFileDamaged = -21, // not a panel file, or a control of the table is missing
    kUiNoSuchResource = -22,   // the file holds no panel with that resource number
    kUiInvalidPanel = -23,     // panel handle not loaded
    kUiInvalidControl = -24,   // control ID not on that panel
    kUiWrongControlKind = -25, // the operation does not apply to this kind of control
    kUiInvalidAttribute = -26, // attribute unknown, or not supported by the control
    kUiInvalidArgument = -27,  // count, type code, style or trace number out of range
    kUiNotInitialised = -28,   // InitEngine has not run
};

// File services (fileio.h).
enum FileError : int {
    kFileCannotOpen = -40,      // missing, unreadable, or its directory does not exist
    kFileWriteFailed = -41,     // write, flush or rename failed; the old file is kept
    kFileTooFewValues = -42,    // the file holds fewer integers than asked for
    kFileBadValue = -43,        // a field that is not an integer
    kFileInvalidArgument = -44, // type, layout or count code not supported
    kFileNotRegular = -45,      // a FIFO, device, directory or link to one: never read or replaced
    kFileTooLarge = -46,        // far larger than the values asked for can take: not read
};

// Human-readable text of any code above; "" for a code that is not one.
const char* ErrorText(int code);

} // namespace ovx::platform
