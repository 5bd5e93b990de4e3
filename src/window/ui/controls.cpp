// Panel services: control values by kind, and text-box lines.
#include <QAbstractButton>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QSignalBlocker>
#include <QSpinBox>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

#include "platform/errors.h"
#include "ui/held_values.h"
#include "ui/led.h"
#include "ui/panel.h"
#include "ui/panel_store.h"
#include "ui/repaint.h"

namespace ovx::ui {

namespace {

using detail::Control;
using detail::Kind;

// Item data role that marks an item added only to show a value the ring does not list.
constexpr int kShownOnlyRole = Qt::UserRole + 1;

int RingValue(const QComboBox* ring) {
    const int index = ring->currentIndex();
    if (index < 0) {
        return 0;
    }
    bool ok = false;
    const int value = ring->itemData(index).toInt(&ok);
    return ok ? value : index;
}

void RemoveShownOnlyItems(QComboBox* ring) {
    for (int i = ring->count() - 1; i >= 0; --i) {
        if (ring->itemData(i, kShownOnlyRole).toBool()) {
            ring->removeItem(i);
        }
    }
}

int FindRingItem(const QComboBox* ring, int value) {
    for (int i = 0; i < ring->count(); ++i) {
        bool ok = false;
        const int data = ring->itemData(i).toInt(&ok);
        if (ok ? data == value : i == value) {
            return i;
        }
    }
    return -1;
}

// Selects the item with that value; a value the ring does not list is shown all the same, so
// that reading the ring back returns it.
void SetRingValue(QComboBox* ring, int value) {
    RemoveShownOnlyItems(ring);
    int index = FindRingItem(ring, value);
    if (index < 0) {
        ring->addItem(QString::number(value), value);
        index = ring->count() - 1;
        ring->setItemData(index, true, kShownOnlyRole);
    }
    ring->setCurrentIndex(index);
}

int ReadInt(const Control& c, int& value) {
    switch (c.kind) {
    case Kind::kNumeric: {
        const auto* box = static_cast<QSpinBox*>(c.widget);
        value = detail::HeldValue(box).value_or(box->value());
        return 0;
    }
    case Kind::kRing:
        value = RingValue(static_cast<QComboBox*>(c.widget));
        return 0;
    case Kind::kCheck:
    case Kind::kToggle:
        value = static_cast<QAbstractButton*>(c.widget)->isChecked() ? 1 : 0;
        return 0;
    case Kind::kLed:
        value = static_cast<Led*>(c.widget)->value();
        return 0;
    case Kind::kProgress:
        value = static_cast<QProgressBar*>(c.widget)->value();
        return 0;
    default:
        return platform::kUiWrongControlKind;
    }
}

// The live view writes its indicators every frame, mostly with the value they show: such a
// write changes nothing and costs no repaint.
bool Unchanged(const Control& c, int value) {
    int shown = 0;
    return c.kind != Kind::kRing && ReadInt(c, shown) == 0 && shown == value;
}

int WriteInt(const Control& c, int value) {
    if (Unchanged(c, value)) {
        return 0;
    }
    const QSignalBlocker block(c.widget);
    switch (c.kind) {
    case Kind::kNumeric:
        if (!detail::HoldValue(static_cast<QSpinBox*>(c.widget), value)) {
            static_cast<QSpinBox*>(c.widget)->setValue(value);
        }
        break;
    case Kind::kRing:
        SetRingValue(static_cast<QComboBox*>(c.widget), value);
        break;
    case Kind::kCheck:
    case Kind::kToggle:
        static_cast<QAbstractButton*>(c.widget)->setChecked(value != 0);
        break;
    case Kind::kLed:
        static_cast<Led*>(c.widget)->setValue(value);
        break;
    case Kind::kProgress:
        static_cast<QProgressBar*>(c.widget)->setValue(value);
        break;
    default:
        return platform::kUiWrongControlKind;
    }
    detail::NoteWritten(c.widget);
    return 0;
}

QString ReadText(const Control& c) {
    switch (c.kind) {
    case Kind::kText:
        return static_cast<QLineEdit*>(c.widget)->text();
    case Kind::kLabel:
        return static_cast<QLabel*>(c.widget)->text();
    default:
        return static_cast<QPlainTextEdit*>(c.widget)->toPlainText();
    }
}

bool IsTextKind(Kind kind) {
    return kind == Kind::kText || kind == Kind::kLabel || kind == Kind::kTextBox;
}

// Copies text into a caller's buffer of capacity bytes, always terminated, cut if it must be.
int CopyOut(const QString& text, char* out, int capacity) {
    if (out == nullptr || capacity <= 0) {
        return platform::kUiInvalidArgument;
    }
    const QByteArray bytes = text.toLocal8Bit();
    const auto n = std::min<qsizetype>(bytes.size(), capacity - 1);
    std::memcpy(out, bytes.constData(), static_cast<size_t>(n));
    out[n] = '\0';
    return 0;
}

QTextBlock BoxLine(const Control& c, int line) {
    return static_cast<QPlainTextEdit*>(c.widget)->document()->findBlockByNumber(line);
}

int FindTextBox(int panel, int control, int line, Control*& c) {
    if (const int rc = detail::FindControl(panel, control, c); rc < 0) {
        return rc;
    }
    if (c->kind != Kind::kTextBox) {
        return platform::kUiWrongControlKind;
    }
    return line < 0 || !BoxLine(*c, line).isValid() ? platform::kUiInvalidArgument : 0;
}

} // namespace

int GetCtrlVal(int panel, int control, int* value) {
    Control* c = nullptr;
    if (const int rc = detail::FindControl(panel, control, c); rc < 0) {
        return rc;
    }
    if (value == nullptr) {
        return platform::kUiInvalidArgument;
    }
    return ReadInt(*c, *value);
}

int GetCtrlVal(int panel, int control, unsigned short* value) {
    int v = 0;
    const int rc = GetCtrlVal(panel, control, &v);
    if (rc == 0) {
        *value = static_cast<unsigned short>(v & 0xFFFF);
    }
    return rc;
}

int GetCtrlVal(int panel, int control, double* value) {
    int v = 0;
    const int rc = GetCtrlVal(panel, control, &v);
    if (rc == 0) {
        *value = v;
    }
    return rc;
}

int GetCtrlVal(int panel, int control, char* text, int capacity) {
    Control* c = nullptr;
    if (const int rc = detail::FindControl(panel, control, c); rc < 0) {
        return rc;
    }
    if (!IsTextKind(c->kind)) {
        return platform::kUiWrongControlKind;
    }
    return CopyOut(ReadText(*c), text, capacity);
}

int SetCtrlVal(int panel, int control, int value) {
    Control* c = nullptr;
    if (const int rc = detail::FindControl(panel, control, c); rc < 0) {
        return rc;
    }
    return WriteInt(*c, value);
}

int SetCtrlVal(int panel, int control, double value) {
    if (!std::isfinite(value)) {
        return platform::kUiInvalidArgument;
    }
    constexpr double lo = std::numeric_limits<int>::min();
    constexpr double hi = std::numeric_limits<int>::max();
    return SetCtrlVal(panel, control, static_cast<int>(std::lround(std::clamp(value, lo, hi))));
}

int SetCtrlVal(int panel, int control, const char* text) {
    Control* c = nullptr;
    if (const int rc = detail::FindControl(panel, control, c); rc < 0) {
        return rc;
    }
    if (!IsTextKind(c->kind)) {
        return platform::kUiWrongControlKind;
    }
    const QString s = QString::fromLocal8Bit(text == nullptr ? "" : text);
    const QSignalBlocker block(c->widget);
    if (c->kind == Kind::kText) {
        static_cast<QLineEdit*>(c->widget)->setText(s);
    } else if (c->kind == Kind::kLabel) {
        static_cast<QLabel*>(c->widget)->setText(s);
        if (c->floating) {
            c->widget->setAccessibleName(s);
            c->widget->adjustSize();
        }
    } else {
        static_cast<QPlainTextEdit*>(c->widget)->setPlainText(s);
    }
    detail::NoteWritten(c->widget);
    if (c->watcher != nullptr) {
        c->watcher(text == nullptr ? "" : text);
    }
    return 0;
}

int ReplaceTextBoxLine(int panel, int control, int line, const char* text) {
    Control* c = nullptr;
    if (const int rc = FindTextBox(panel, control, line, c); rc < 0) {
        return rc;
    }
    QTextCursor cursor(BoxLine(*c, line));
    cursor.movePosition(QTextCursor::EndOfBlock, QTextCursor::KeepAnchor);
    {
        const QSignalBlocker block(c->widget);
        cursor.insertText(QString::fromLocal8Bit(text == nullptr ? "" : text));
    }
    detail::NoteWritten(c->widget);
    if (c->watcher != nullptr) {
        c->watcher(text == nullptr ? "" : text);
    }
    return 0;
}

int GetTextBoxLine(int panel, int control, int line, char* text, int capacity) {
    Control* c = nullptr;
    if (const int rc = FindTextBox(panel, control, line, c); rc < 0) {
        return rc;
    }
    return CopyOut(BoxLine(*c, line).text(), text, capacity);
}

} // namespace ovx::ui
