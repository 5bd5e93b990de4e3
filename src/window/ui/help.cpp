#include "ui/help.h"

#include <QApplication>
#include <QKeySequence>
#include <QMessageBox>
#include <QPushButton>
#include <QShortcut>

#include "platform/errors.h"
#include "ui/panel_store.h"
#include "ui/repaint.h"

namespace ovx::ui {

namespace {

MessageResponder& Responder() {
    static MessageResponder responder;
    return responder;
}

QuestionResponder& Answerer() {
    static QuestionResponder responder;
    return responder;
}

} // namespace

int MessagePopup(const char* title, const char* message) {
    const std::string t = title != nullptr ? title : "";
    const std::string m = message != nullptr ? message : "";
    if (Responder()) {
        Responder()(t, m);
        return 0;
    }
    if (QApplication::instance() == nullptr) {
        return platform::kUiNotInitialised;
    }
    QMessageBox box(QMessageBox::Information, QString::fromStdString(t), QString::fromStdString(m),
                    QMessageBox::Ok, QApplication::activeWindow());
    box.setTextInteractionFlags(Qt::TextSelectableByMouse);
    box.exec();
    detail::RepaintWindowsNow();
    return 0;
}

void SetMessageResponder(MessageResponder responder) {
    Responder() = std::move(responder);
}

int QuestionPopup(const char* title, const char* message, const char* accept, const char* reject) {
    const std::string t = title != nullptr ? title : "";
    const std::string m = message != nullptr ? message : "";
    if (Answerer()) {
        return Answerer()(t, m) == 1 ? 1 : 0;
    }
    if (QApplication::instance() == nullptr) {
        return platform::kUiNotInitialised;
    }
    QMessageBox box(QMessageBox::Question, QString::fromStdString(t), QString::fromStdString(m),
                    QMessageBox::NoButton, QApplication::activeWindow());
    QPushButton* yes = box.addButton(QString::fromLocal8Bit(accept != nullptr ? accept : "OK"),
                                     QMessageBox::AcceptRole);
    QPushButton* no = box.addButton(QString::fromLocal8Bit(reject != nullptr ? reject : "Cancel"),
                                    QMessageBox::RejectRole);
    box.setDefaultButton(no);
    box.exec();
    detail::RepaintWindowsNow();
    return box.clickedButton() == yes ? 1 : 0;
}

void SetQuestionResponder(QuestionResponder responder) {
    Answerer() = std::move(responder);
}

int SetPanelShortcut(int panel, const char* key, void (*action)(int panel)) {
    detail::Panel* p = detail::FindPanel(panel);
    if (p == nullptr || p->window.isNull()) {
        return platform::kUiInvalidPanel;
    }
    const QKeySequence sequence(QString::fromLatin1(key != nullptr ? key : ""));
    if (sequence.isEmpty() || sequence[0].key() == Qt::Key_unknown || action == nullptr) {
        return platform::kUiInvalidArgument;
    }
    // Owned by the panel window, so it goes with the panel; any window of the program takes it.
    auto* shortcut = new QShortcut(sequence, p->window.data());
    shortcut->setContext(Qt::ApplicationShortcut);
    QObject::connect(shortcut, &QShortcut::activated, shortcut, [panel, action] { action(panel); });
    return 0;
}

} // namespace ovx::ui
