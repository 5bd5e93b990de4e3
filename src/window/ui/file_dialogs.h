// The window's file dialogs: the file-selection popup and the question before a file is
// replaced.
#pragma once

#include <functional>
#include <string>

namespace ovx::ui {

// Native file dialog. buttonCode 0 = save ("Save"), 3 = load ("Load"). Returns 1 with the
// chosen path in path (capacity 260), 0 when cancelled (path untouched). restrictExt appends
// the filter's extension to a chosen name that lacks it. A path that does not fit the buffer
// is never cut: the result is then kFileInvalidArgument and path is empty.
int FileSelectPopup(const char* defaultDir, const char* defaultName, const char* filter,
                    const char* title, int buttonCode, int restrictDir, int restrictExt,
                    int allowCancel, int allowMakeDir, char* path);
// Tests (and automation) answer the popup instead of a person: the responder gets the
// arguments and returns what FileSelectPopup returns, filling path.
struct FileSelectRequest {
    std::string defaultDir, defaultName, filter, title;
    int buttonCode;
};
using FileSelectResponder = std::function<int(const FileSelectRequest&, std::string& path)>;
void SetFileSelectResponder(FileSelectResponder responder); // empty = the real dialog

// The save dialog asks before it returns a file that exists. By default: "NAME already exists.
// Do you want to replace it?" (Yes / No); a question hook may put its own question and button
// texts for a path (an empty text keeps the default). The operator's no returns to the dialog.
struct SaveQuestion {
    std::string text, accept, reject;
};
using SaveQuestionHook = std::function<SaveQuestion(const std::string& path)>;
void SetSaveQuestion(SaveQuestionHook hook); // empty = the default question for every file

} // namespace ovx::ui
