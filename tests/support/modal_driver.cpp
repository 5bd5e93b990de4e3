#include "support/modal_driver.h"

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QDialog>
#include <QDir>
#include <QFileDialog>
#include <QFileSystemModel>
#include <QLineEdit>
#include <QMessageBox>

#include <cstdio>
#include <cstdlib>
#include <utility>

namespace ovx::testing {
namespace {

// Rejected dialogs in a row after which the code under test is taken to reopen its dialog for
// ever (a file dialog that cannot be cancelled): the test program stops instead of hanging.
constexpr int kMostUnexpected = 10;

ModalDialogDriver*& Innermost() {
    static ModalDialogDriver* driver = nullptr;
    return driver;
}

std::string Str(const QString& text) {
    return text.toStdString();
}

SeenDialog Look(const QDialog& dialog) {
    SeenDialog seen{dialog.metaObject()->className(), Str(dialog.windowTitle()), "", {}};
    if (const auto* box = qobject_cast<const QMessageBox*>(&dialog)) {
        seen.text = Str(box->text());
        for (const QAbstractButton* b : box->buttons()) {
            seen.buttons.push_back(Str(b->text()));
        }
    } else if (const auto* files = qobject_cast<const QFileDialog*>(&dialog)) {
        seen.text = Str(files->directory().absolutePath());
        seen.buttons = {Str(files->labelText(QFileDialog::Accept)),
                        Str(files->labelText(QFileDialog::Reject))};
    }
    return seen;
}

// The file patterns of a name filter: "*.dat", or "Data (*.dat *.txt)".
QStringList Patterns(const QString& filter) {
    const qsizetype open = filter.lastIndexOf('(');
    const qsizetype close = filter.lastIndexOf(')');
    const QString inner =
        open >= 0 && close > open ? filter.mid(open + 1, close - open - 1) : filter;
    return inner.split(' ', Qt::SkipEmptyParts);
}

// True once the dialog's model lists every entry of its directory that the dialog shows: the
// listing arrives in the background, and a file chosen before it is complete may give way to
// the name the dialog was opened with.
bool Listed(const QFileDialog& dialog) {
    const auto* model = dialog.findChild<QFileSystemModel*>();
    if (model == nullptr) {
        return true;
    }
    const QString dir = dialog.directory().absolutePath();
    QStringList patterns;
    for (const QString& filter : dialog.nameFilters()) {
        patterns += Patterns(filter);
    }
    const auto entries =
        QDir(dir).entryList(patterns, QDir::AllDirs | QDir::Files | QDir::NoDotAndDotDot);
    return model->rowCount(model->index(dir)) >= entries.size();
}

std::string Holds(const QFileDialog& dialog) {
    return Str(dialog.selectedFiles().join(", "));
}

} // namespace

std::string Describe(const SeenDialog& dialog) {
    std::string text = dialog.className;
    text.append(" \"").append(dialog.title).append("\": ").append(dialog.text);
    if (!dialog.buttons.empty()) {
        for (std::size_t i = 0; i < dialog.buttons.size(); ++i) {
            text.append(i == 0 ? " [" : "|").append(dialog.buttons[i]);
        }
        text.append("]");
    }
    return text;
}

ModalDialogDriver::ModalDialogDriver(std::vector<DialogStep> script, Duration bound, Duration poll)
    : script_(std::move(script)), bound_(bound), outer_(Innermost()) {
    Innermost() = this;
    if (outer_ != nullptr) {
        outer_->poll_.stop(); // its looks would only wake the loop
    }
    QObject::connect(&poll_, &QTimer::timeout, [this] { Poll(); });
    poll_.start(poll);
}

ModalDialogDriver::~ModalDialogDriver() {
    poll_.stop();
    Innermost() = outer_;
    if (outer_ != nullptr) {
        outer_->poll_.start();
    }
    for (std::size_t i = next_; i < script_.size(); ++i) {
        ADD_FAILURE() << "expected dialog never came up: " << script_[i].text;
    }
}

void ModalDialogDriver::Poll() {
    if (Innermost() != this) {
        return; // a test's own driver answers while it lives
    }
    auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
    if (dialog == nullptr) {
        return;
    }
    if (dialog != current_) {
        Begin(dialog);
        if (!Expected(dialog)) {
            Unexpected(dialog, "unexpected dialog");
            return;
        }
    }
    if (Answer(dialog, script_[next_])) {
        ++next_;
        unexpected_ = 0;
        return;
    }
    if (std::chrono::steady_clock::now() - since_ > bound_) {
        ++next_;
        const auto* files = qobject_cast<QFileDialog*>(dialog);
        Unexpected(dialog, "dialog not answerable within " + std::to_string(bound_.count()) +
                               " ms (it holds " + (files ? Holds(*files) : "?") + " instead of " +
                               script_[next_ - 1].answer + ")");
    }
}

void ModalDialogDriver::Begin(QDialog* dialog) {
    current_ = dialog;
    since_ = std::chrono::steady_clock::now();
    seen_.push_back(Look(*dialog));
}

bool ModalDialogDriver::Expected(const QDialog* dialog) const {
    if (next_ >= script_.size()) {
        return false;
    }
    const DialogStep& step = script_[next_];
    if (step.kind == DialogKind::Question) {
        return qobject_cast<const QMessageBox*>(dialog) != nullptr &&
               seen_.back().text == step.text;
    }
    return qobject_cast<const QFileDialog*>(dialog) != nullptr &&
           (step.text.empty() || seen_.back().title == step.text);
}

void ModalDialogDriver::Unexpected(QDialog* dialog, const std::string& why) {
    ADD_FAILURE() << why << ": " << Describe(seen_.back());
    Done(dialog, false);
    if (++unexpected_ >= kMostUnexpected) {
        std::fprintf(stderr, "%d dialogs rejected in a row, the last %s; stopping the tests\n",
                     unexpected_, Describe(seen_.back()).c_str());
        std::fflush(nullptr);
        std::_Exit(EXIT_FAILURE);
    }
}

// True once the step is done; false while a file dialog still lists its directory or does not
// yet hold the file.
bool ModalDialogDriver::Answer(QDialog* dialog, const DialogStep& step) {
    if (step.answer.empty()) {
        Done(dialog, false);
        return true;
    }
    if (auto* box = qobject_cast<QMessageBox*>(dialog)) {
        for (QAbstractButton* b : box->buttons()) {
            if (Str(b->text()) == step.answer) {
                current_ = nullptr;
                b->click();
                return true;
            }
        }
        Unexpected(dialog, "no button \"" + step.answer + "\"");
        return true;
    }
    auto* files = qobject_cast<QFileDialog*>(dialog);
    if (!Listed(*files)) {
        return false;
    }
    const QString path = QString::fromStdString(step.answer);
    files->selectFile(path);
    auto* name = files->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
    if (files->selectedFiles() != QStringList{path} && name != nullptr) {
        name->setText(path); // the name field keeps its text while it has the focus: type it
    }
    if (files->selectedFiles() != QStringList{path}) {
        return false;
    }
    Done(dialog, true);
    return true;
}

void ModalDialogDriver::Done(QDialog* dialog, bool accepted) {
    current_ = nullptr; // the same dialog shown again is a new one
    if (accepted) {
        dialog->accept();
    } else {
        dialog->reject();
    }
}

} // namespace ovx::testing
