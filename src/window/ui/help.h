// Operator help: a message popup, and a key that calls a function from any window.
#pragma once

#include <functional>
#include <string>

namespace ovx::ui {

// A modal message box with an OK button; returns once the operator has closed it.
// 0, or kUiNotInitialised.
int MessagePopup(const char* title, const char* message);
// Tests (and automation) read the popup instead of a person: the responder gets title and
// message and the box is not shown. Empty = the real box.
using MessageResponder = std::function<void(const std::string& title, const std::string& message)>;
void SetMessageResponder(MessageResponder responder);

// A modal question with two buttons (accept, reject; reject is the default). Returns 1 for
// accept, 0 for reject or a closed box, kUiNotInitialised without the engine.
int QuestionPopup(const char* title, const char* message, const char* accept, const char* reject);
// Tests answer the question instead of a person: 1 accepts, 0 rejects. Empty = the real box.
using QuestionResponder = std::function<int(const std::string& title, const std::string& message)>;
void SetQuestionResponder(QuestionResponder responder);

// While panel is loaded, key (e.g. "F1") pressed in any window of the program calls
// action(panel). 0, kUiInvalidPanel, or kUiInvalidArgument for a key that names no key.
int SetPanelShortcut(int panel, const char* key, void (*action)(int panel));

} // namespace ovx::ui
