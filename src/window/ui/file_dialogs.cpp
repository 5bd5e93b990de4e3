#include "ui/file_dialogs.h"

#include <QDialog>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <QPushButton>
#include <QString>

#include <cstring>
#include <utility>

#include "platform/errors.h"
#include "ui/repaint.h"

namespace ovx::ui {

namespace {

constexpr int kPathCapacity = 260;

FileSelectResponder& Responder() {
    static FileSelectResponder responder;
    return responder;
}

SaveQuestionHook& QuestionHook() {
    static SaveQuestionHook hook;
    return hook;
}

// True when the operator goes ahead with saving to path, which exists.
bool ConfirmSave(const std::string& path, QWidget* parent) {
    SaveQuestion q = QuestionHook() ? QuestionHook()(path) : SaveQuestion{};
    if (q.text.empty()) {
        const QString name = QFileInfo(QString::fromStdString(path)).fileName();
        q = {(name + QStringLiteral(" already exists.\nDo you want to replace it?")).toStdString(),
             "Yes", "No"};
    }
    QMessageBox box(QMessageBox::Question, parent != nullptr ? parent->windowTitle() : QString(),
                    QString::fromStdString(q.text), QMessageBox::NoButton, parent);
    QPushButton* accept = box.addButton(QString::fromStdString(q.accept), QMessageBox::AcceptRole);
    QPushButton* reject = box.addButton(QString::fromStdString(q.reject), QMessageBox::RejectRole);
    box.setDefaultButton(reject);
    box.exec();
    return box.clickedButton() == accept;
}

// Copies text into a buffer of kPathCapacity; false (and an empty buffer) when it does not fit.
bool CopyPath(const QByteArray& text, char* buffer) {
    if (text.size() >= kPathCapacity) {
        buffer[0] = '\0';
        return false;
    }
    std::memcpy(buffer, text.constData(), static_cast<std::size_t>(text.size()));
    buffer[text.size()] = '\0';
    return true;
}

// "*.dat" -> ".dat"; empty when the filter names no single extension.
QString FilterExtension(const QString& filter) {
    if (!filter.startsWith(QLatin1String("*.")) || filter.contains(QLatin1Char(' ')) ||
        filter.contains(QLatin1Char(';')) || filter.size() < 3) {
        return {};
    }
    return filter.mid(1);
}

QString ForceExtension(const QString& path, const QString& extension) {
    if (extension.isEmpty() || path.endsWith(extension, Qt::CaseInsensitive)) {
        return path;
    }
    return path + extension;
}

// Hides the dialog and paints what it covered at once: a blocking sequence (flash programming)
// may follow without processing events.
void RepaintUnder(QDialog& dialog) {
    dialog.hide();
    detail::RepaintWindowsNow();
}

int RunDialog(const FileSelectRequest& request, int restrictDir, int allowCancel, int allowMakeDir,
              std::string& chosen) {
    const bool save = request.buttonCode == 0;
    QFileDialog dialog(nullptr, QString::fromStdString(request.title),
                       QString::fromStdString(request.defaultDir));
    dialog.setOption(QFileDialog::DontUseNativeDialog, true);
    dialog.setOption(QFileDialog::ReadOnly, allowMakeDir == 0);
    dialog.setOption(QFileDialog::DontConfirmOverwrite, true); // asked below, in our words
    dialog.setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    dialog.setFileMode(save ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
    dialog.setLabelText(QFileDialog::Accept,
                        save ? QStringLiteral("Save") : QStringLiteral("Load"));
    dialog.setNameFilter(QString::fromStdString(request.filter));
    dialog.selectFile(QString::fromStdString(request.defaultName));
    if (restrictDir != 0) {
        const QString home = QString::fromStdString(request.defaultDir);
        QObject::connect(&dialog, &QFileDialog::directoryEntered, &dialog,
                         [&dialog, home](const QString& dir) {
                             if (QDir(dir) != QDir(home)) {
                                 dialog.setDirectory(home);
                             }
                         });
    }
    for (;;) {
        if (dialog.exec() != QDialog::Accepted) {
            if (allowCancel != 0) {
                return 0;
            }
            continue;
        }
        const QStringList files = dialog.selectedFiles();
        if (files.isEmpty()) {
            return 0;
        }
        chosen = files.front().toStdString();
        if (!save || !QFileInfo::exists(files.front()) || ConfirmSave(chosen, &dialog)) {
            RepaintUnder(dialog);
            return 1;
        }
    }
}

} // namespace

int FileSelectPopup(const char* defaultDir, const char* defaultName, const char* filter,
                    const char* title, int buttonCode, int restrictDir, int restrictExt,
                    int allowCancel, int allowMakeDir, char* path) {
    if (path == nullptr || (buttonCode != 0 && buttonCode != 3)) {
        return platform::kFileInvalidArgument;
    }
    const auto text = [](const char* s) { return std::string(s != nullptr ? s : ""); };
    const FileSelectRequest request{text(defaultDir), text(defaultName), text(filter), text(title),
                                    buttonCode};
    std::string chosen;
    const int result = Responder()
                           ? Responder()(request, chosen)
                           : RunDialog(request, restrictDir, allowCancel, allowMakeDir, chosen);
    if (result <= 0) {
        return result;
    }
    QString full = QString::fromStdString(chosen);
    if (restrictExt != 0) {
        full = ForceExtension(full, FilterExtension(QString::fromStdString(request.filter)));
    }
    return CopyPath(full.toLocal8Bit(), path) ? 1 : platform::kFileInvalidArgument;
}

void SetSaveQuestion(SaveQuestionHook hook) {
    QuestionHook() = std::move(hook);
}

void SetFileSelectResponder(FileSelectResponder responder) {
    Responder() = std::move(responder);
}

} // namespace ovx::ui
