#include "platform/errors.h"

#include <array>

namespace ovx::platform {
namespace {

struct ErrorEntry {
    int code;
    const char* text;
};

// The serial texts are what the operator reads in the status line after a failed open.
constexpr std::array<ErrorEntry, 24> kErrorTexts = {{
    {kComUnknownSystemError, "Unknown system error"},
    {kComInvalidPortNumber, "Invalid port number"},
    {kComPortNotOpen, "Port is not open"},
    {kComUnknownIoError, "Unknown I/0 error"},
    {kComNoPortFound, "No serial port found"},
    {kComCannotOpenPort, "Cannot open port"},
    {kComInvalidParameter, "Invalid parameter"},
    {kComTimeout, "Timeout"},
    {kUiPanelFileMissing, "Panel file cannot be opened"},
    {kUiPanelFileDamaged, "Panel file is damaged"},
    {kUiNoSuchResource, "No such panel in the panel file"},
    {kUiInvalidPanel, "Invalid panel"},
    {kUiInvalidControl, "Invalid control"},
    {kUiWrongControlKind, "Operation not valid for this control"},
    {kUiInvalidAttribute, "Invalid attribute"},
    {kUiInvalidArgument, "Invalid argument"},
    {kUiNotInitialised, "Engine not initialised"},
    {kFileCannotOpen, "File cannot be opened"},
    {kFileWriteFailed, "File write failed"},
    {kFileTooFewValues, "Too few values in file"},
    {kFileBadValue, "Bad value in file"},
    {kFileInvalidArgument, "Invalid file argument"},
    {kFileNotRegular, "Not a regular file"},
    {kFileTooLarge, "File too large"},
}};

} // namespace

const char* ErrorText(int code) {
    for (const ErrorEntry& entry : kErrorTexts) {
        if (entry.code == code) {
            return entry.text;
        }
    }
    return "";
}

} // namespace ovx::platform
