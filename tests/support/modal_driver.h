// Answers the modal dialogs of the code under test as an operator would, from a script of the
// dialogs a test expects, in order. A dialog the script does not expect is a failure that names
// its class, title and text, and is rejected at once so that the code under test returns; a
// dialog that cannot be answered within the bound fails the same way. No test waits for ever.
#pragma once

#include <chrono>
#include <string>
#include <vector>

#include <QObject>
#include <QPointer>
#include <QTimer>

class QDialog;

namespace ovx::testing {

enum class DialogKind { Question, File }; // a QMessageBox, a QFileDialog

struct DialogStep {
    DialogKind kind;
    std::string text;   // the box's text; for a file dialog its title, empty = any title
    std::string answer; // the button to click, or the file to choose; empty = reject (cancel)
};

// A dialog as the driver saw it come up.
struct SeenDialog {
    std::string className;
    std::string title;
    std::string text;                 // a box's text, a file dialog's directory
    std::vector<std::string> buttons; // a file dialog's: its accept and reject labels
};
std::string Describe(const SeenDialog& dialog);

class ModalDialogDriver {
  public:
    using Duration = std::chrono::milliseconds;
    // The bound is how long one dialog may take to become answerable (a file dialog lists its
    // directory first); every poll interval the driver looks for a modal dialog. While it lives,
    // the driver it takes over from does not look.
    explicit ModalDialogDriver(std::vector<DialogStep> script = {},
                               Duration bound = std::chrono::seconds(20),
                               Duration poll = std::chrono::milliseconds(10));
    ModalDialogDriver(const ModalDialogDriver&) = delete;
    ModalDialogDriver& operator=(const ModalDialogDriver&) = delete;
    // A step of the script that no dialog came for is a failure.
    ~ModalDialogDriver();

    const std::vector<SeenDialog>& Seen() const { return seen_; }

  private:
    void Poll();
    void Begin(QDialog* dialog);
    bool Expected(const QDialog* dialog) const;
    void Unexpected(QDialog* dialog, const std::string& why);
    bool Answer(QDialog* dialog, const DialogStep& step);
    void Done(QDialog* dialog, bool accepted);

    std::vector<DialogStep> script_;
    std::size_t next_ = 0;
    Duration bound_;
    std::vector<SeenDialog> seen_;
    QPointer<QDialog> current_;
    std::chrono::steady_clock::time_point since_;
    int unexpected_ = 0;
    ModalDialogDriver* outer_;
    QTimer poll_;
};

} // namespace ovx::testing
