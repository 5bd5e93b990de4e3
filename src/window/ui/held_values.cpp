#include "ui/held_values.h"

#include <QCoreApplication>
#include <QLineEdit>
#include <QLocale>
#include <QPointer>
#include <QSignalBlocker>
#include <QSpinBox>
#include <QTimer>

#include <algorithm>
#include <chrono>
#include <vector>

namespace ovx::ui::detail {

namespace {

// The box is kept as a plain pointer beside a guard of its QObject: the guard tells whether it
// still lives without casting an object that is being destroyed back to a spin box.
struct Holder {
    QSpinBox* box = nullptr;
    QPointer<QObject> alive;
    QPointer<QLineEdit> edit; // the box's line edit
    std::optional<int> held;
    std::optional<QLocale> locale; // the box's locale when its texts were last made
    bool plainDigits = false;      // it writes numbers as QString::number does but for groups
    std::chrono::steady_clock::time_point asked; // when the box was last asked to repaint
    bool late = false; // holds a value that waits for the reading interval's end
};

// Few boxes (the indicators of the loaded panels): a flat list.
std::vector<Holder>& Holders() {
    static std::vector<Holder> holders;
    return holders;
}

Holder* Find(const QObject* box) {
    for (Holder& h : Holders()) {
        if (!h.alive.isNull() && h.alive.data() == box) {
            return &h;
        }
    }
    return nullptr;
}

// The boxes take what they hold once their values stop coming: a spin box's write costs a text
// layout, and the live view paints its indicators several times a second. Run once a second
// during a run, the write-back took about a fortieth of the live view's time with the panel shown.
constexpr int kWriteBackMs = 1000;
constexpr int kWriteBackStepMs = 100;

// A single-shot timer of the application that each call of PushBack pushes back, so that it
// calls fn once the calls stop: between period - step and period after the last one. It is
// restarted at most once a step: the live view writes seven indicators a frame, and a restart
// takes the timer out of the event dispatcher's list and puts it in again.
class PushedBack {
  public:
    PushedBack(int periodMs, int stepMs, void (*fn)())
        : period_(periodMs), step_(stepMs), fn_(fn) {}

    void PushBack() {
        if (timer_.isNull() && QCoreApplication::instance() != nullptr) {
            timer_ = new QTimer(QCoreApplication::instance());
            timer_->setSingleShot(true);
            timer_->setInterval(period_);
            QObject::connect(timer_, &QTimer::timeout, fn_);
        }
        const auto now = std::chrono::steady_clock::now();
        if (!timer_.isNull() && (!timer_->isActive() || now - started_ >= step_)) {
            timer_->start();
            started_ = now;
        }
    }

  private:
    std::chrono::milliseconds period_;
    std::chrono::milliseconds step_;
    void (*fn_)();
    QPointer<QTimer> timer_;
    std::chrono::steady_clock::time_point started_;
};

// A box shows a new value at most ten times a second: a number that changes faster cannot be
// read, and the live view writes its indicators at the frame rate (25 a second on the line,
// thousands without it). Painting an indicator cost about a third of a live frame's painting.
// A value written sooner waits for the next write after the interval, or, when none comes, for
// the late timer, which such writes push back, so that it fires 100 to 150 ms after they stop.
constexpr auto kReadingInterval = std::chrono::milliseconds(100);
constexpr int kLateMs = 150;
constexpr int kLateStepMs = 50;

// The box paints opaquely, so the window repaints it alone. Its line edit does not: asked to
// repaint, it would be painted from the window down through every widget above it.
void RepaintNow(Holder& h) {
    h.asked = std::chrono::steady_clock::now();
    h.late = false;
    h.box->update();
}

void PaintLateValues() {
    for (Holder& h : Holders()) {
        if (h.late && !h.alive.isNull()) {
            RepaintNow(h);
        }
    }
}

void AskRepaint(Holder& h) {
    if (std::chrono::steady_clock::now() - h.asked >= kReadingInterval) {
        RepaintNow(h);
        return;
    }
    h.late = true;
    static PushedBack late(kLateMs, kLateStepMs, &PaintLateValues);
    late.PushBack();
}

// The number as the box's locale writes it. Most locales write the digits and the minus sign
// that QString::number does: then a number without group separators is made without the copy of
// the locale with other options, and, for the system locale, the queries of the system, that a
// locale's own formatting costs on every paint of a live value.
QString LocaleNumber(Holder& h, int value) {
    const QLocale locale = h.box->locale();
    if (!h.locale || !(locale == *h.locale)) {
        h.locale = locale;
        h.plainDigits = locale.zeroDigit() == QStringLiteral("0") &&
                        locale.negativeSign() == QStringLiteral("-");
    }
    const bool groups = h.box->isGroupSeparatorShown();
    if (h.plainDigits && (!groups || (value > -1000 && value < 1000))) {
        return QString::number(value);
    }
    QLocale options = locale;
    options.setNumberOptions(groups ? locale.numberOptions() & ~QLocale::OmitGroupSeparator
                                    : locale.numberOptions() | QLocale::OmitGroupSeparator);
    return options.toString(value);
}

// The text the box shows for value once it is written, as its line edit would show it.
QString DisplayText(Holder& h, int value) {
    const QSpinBox* box = h.box;
    if (value == box->minimum() && !box->specialValueText().isEmpty()) {
        return box->specialValueText();
    }
    QString number;
    if (box->displayIntegerBase() != 10) {
        number = (value < 0 ? QStringLiteral("-") : QString()) +
                 QString::number(qAbs(static_cast<qint64>(value)), box->displayIntegerBase());
    } else {
        number = LocaleNumber(h, value);
    }
    return box->prefix() + number + box->suffix();
}

// Updates of widget are dropped while it lives: without the repaint that re-enabling them with
// setUpdatesEnabled would ask for.
class UpdatesDropped {
  public:
    explicit UpdatesDropped(QWidget* widget)
        : widget_(widget != nullptr && !widget->testAttribute(Qt::WA_UpdatesDisabled) ? widget
                                                                                      : nullptr) {
        if (widget_ != nullptr) {
            widget_->setAttribute(Qt::WA_UpdatesDisabled, true);
        }
    }
    ~UpdatesDropped() {
        if (widget_ != nullptr) {
            widget_->setAttribute(Qt::WA_UpdatesDisabled, false);
        }
    }
    UpdatesDropped(const UpdatesDropped&) = delete;
    UpdatesDropped& operator=(const UpdatesDropped&) = delete;

  private:
    QWidget* widget_;
};

// The box takes the value it holds. Its paint showed that value's text already: the repaint that
// the box and its line edit ask for is left out unless the text the box takes is another.
void Write(Holder& h) {
    if (!h.held || h.alive.isNull()) {
        return;
    }
    const int value = *h.held;
    h.held.reset();
    const QString painted = DisplayText(h, value);
    {
        const UpdatesDropped box(h.box);
        const UpdatesDropped edit(h.edit.data());
        const QSignalBlocker block(h.box);
        h.box->setValue(value);
    }
    if (h.box->text() != painted) {
        h.box->update();
    }
}

} // namespace

bool OperatorHasText(const QLineEdit* edit) {
    return edit != nullptr && edit->hasSelectedText();
}

void AllowHeldValues(QSpinBox* box, QLineEdit* edit) {
    std::erase_if(Holders(), [](const Holder& h) { return h.alive.isNull(); });
    if (box != nullptr && edit != nullptr && Find(box) == nullptr) {
        Holders().push_back({box, box, edit, std::nullopt, std::nullopt, false, {}, false});
    }
}

void ForgetHeldValues(const QObject* box) {
    std::erase_if(Holders(), [box](const Holder& h) { return h.alive.data() == box; });
}

bool HoldValue(QSpinBox* box, int value) {
    Holder* h = Find(box);
    if (h == nullptr) {
        return false;
    }
    if (OperatorHasText(h->edit.data())) {
        h->held.reset(); // the caller writes the box, and a read gets what it wrote
        return false;
    }
    h->held = std::clamp(value, box->minimum(), box->maximum());
    AskRepaint(*h);
    return true;
}

std::optional<int> HeldValue(const QSpinBox* box) {
    const Holder* h = Find(box);
    return h != nullptr ? h->held : std::nullopt;
}

std::optional<QString> HeldText(const QSpinBox* box) {
    Holder* h = Find(box);
    if (h == nullptr || !h->held) {
        return std::nullopt;
    }
    return DisplayText(*h, *h->held);
}

void WriteBackSoon() {
    static PushedBack writeBack(kWriteBackMs, kWriteBackStepMs, [] { WriteHeldValues(nullptr); });
    writeBack.PushBack();
}

void WriteHeldValue(QSpinBox* box) {
    if (Holder* h = Find(box)) {
        Write(*h);
    }
}

void WriteHeldValues(const QWidget* window) {
    for (Holder& h : Holders()) {
        if (!h.held || h.alive.isNull()) {
            continue;
        }
        if (window != nullptr ? h.box->window() == window : h.box->isVisible()) {
            Write(h);
        }
    }
}

} // namespace ovx::ui::detail
