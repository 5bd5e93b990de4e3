// Inside the engine: values written to numeric indicators wait here. A box shows the text of the
// value it holds when it is painted and takes the value itself once such paints stop for a
// second (at the end of a live run), or at once when the operator clicks, focuses or types into
// it; while the operator has selected some of its text it holds nothing. A read of the box gets
// the value it holds. A spin box's setValue lays out and validates its text (about 11,000
// instructions); the live view writes seven indicators per frame, at up to thousands of frames
// per second, while the window paints at most about 60 times a second and not at all while it is
// hidden. Only boxes that the engine paints itself (IndicatorPainter) hold values.
#pragma once

#include <QString>

#include <optional>

class QLineEdit;
class QObject;
class QSpinBox;
class QWidget;

namespace ovx::ui::detail {

// box, with its line edit, may hold values from now on. ForgetHeldValues ends that for a box that
// is being destroyed (from its painter, a child that goes with it): what it holds is dropped.
void AllowHeldValues(QSpinBox* box, QLineEdit* edit);
void ForgetHeldValues(const QObject* box);

// True while the operator has selected some of the text of edit (to copy it, say): the box then
// shows its text as its line edit draws it, with the selection, and every value written at once.
bool OperatorHasText(const QLineEdit* edit);

// Holds value for box, clamped to its range as setValue would, and asks for a repaint: at once,
// or, when the box was asked less than a tenth of a second ago, at the next write after that or
// a moment after the last write. False when box holds no values (the caller writes it), as while
// the operator has its text.
bool HoldValue(QSpinBox* box, int value);
std::optional<int> HeldValue(const QSpinBox* box);

// The text box shows for the value it holds, as its line edit will show it once written.
std::optional<QString> HeldText(const QSpinBox* box);
// The visible boxes take the values they hold a second after the last call (a painted held
// value calls it).
void WriteBackSoon();
// box takes the value it holds now, if it holds one.
void WriteHeldValue(QSpinBox* box);

// Writes the held values of the boxes in window, or of every visible box when window is nullptr.
void WriteHeldValues(const QWidget* window);

} // namespace ovx::ui::detail
