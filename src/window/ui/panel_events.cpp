#include "ui/panel_events.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPushButton>
#include <QSpinBox>
#include <QTimer>

#include "ui/repaint.h"

namespace ovx::ui::detail {

namespace {

// Operator change of a value: value changed, then commit.
void DispatchChange(int panel, int control) {
    DispatchControl(panel, control, kEventValueChanged);
    DispatchControl(panel, control, kEventCommit);
}

// A command button gives a left click when the mouse presses it (not when the keyboard does),
// and Enter/Return activate it like the space bar.
class CommandButtonFilter : public QObject {
  public:
    CommandButtonFilter(QPushButton* button, int panel, int control)
        : QObject(button), panel_(panel), control_(control) {
        button->installEventFilter(this);
        connect(button, &QAbstractButton::pressed, this, [this] {
            if (mousePress_) {
                mousePress_ = false;
                DispatchControl(panel_, control_, kEventLeftClick);
            }
        });
        connect(button, &QAbstractButton::clicked, this,
                [this] { DispatchControl(panel_, control_, kEventCommit); });
    }

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        switch (event->type()) {
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonDblClick:
            mousePress_ = static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton;
            break;
        case QEvent::MouseButtonRelease:
            mousePress_ = false;
            break;
        case QEvent::KeyPress:
            // The button may be half destroyed when its last events come by: ask, don't cast.
            if (auto* button = qobject_cast<QPushButton*>(watched)) {
                return ActivateByKey(button, static_cast<QKeyEvent*>(event));
            }
            break;
        default:
            break;
        }
        return false;
    }

  private:
    static bool ActivateByKey(QPushButton* button, const QKeyEvent* key) {
        const bool enter = key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter;
        if (!enter || key->isAutoRepeat() || !button->isEnabled()) {
            return false;
        }
        button->click();
        return true;
    }

    int panel_;
    int control_;
    bool mousePress_ = false;
};

// The panel window: its close control asks the panel callback instead of closing, and its
// repaints are paced. Values may be written thousands of times per second while the program
// processes events after each one; painting the window after each would cost a millisecond a
// time, so an update that comes sooner than kMinPaintIntervalMs after the last one waits.
class PanelWindowFilter : public QObject {
  public:
    static constexpr int kMinPaintIntervalMs = 16;

    PanelWindowFilter(QWidget* window, int panel) : QObject(window), panel_(panel) {
        window->installEventFilter(this);
        deferred_.setSingleShot(true);
        connect(&deferred_, &QTimer::timeout, this, [window] {
            QEvent update(QEvent::UpdateRequest);
            QCoreApplication::sendEvent(window, &update);
        });
    }

  protected:
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::Close) {
            event->ignore();
            DispatchPanel(panel_, kEventClose);
            return true;
        }
        if (event->type() == QEvent::UpdateRequest) {
            return Defer();
        }
        return false;
    }

  private:
    bool Defer() {
        if (FlushInProgress() || !sincePaint_.isValid() ||
            sincePaint_.elapsed() >= kMinPaintIntervalMs) {
            deferred_.stop();
            sincePaint_.restart();
            return false;
        }
        if (!deferred_.isActive()) {
            deferred_.start(static_cast<int>(kMinPaintIntervalMs - sincePaint_.elapsed()));
        }
        return true;
    }

    int panel_;
    QTimer deferred_;
    QElapsedTimer sincePaint_;
};

} // namespace

void ConnectControlEvents(int panel, int control, const Control& c) {
    QWidget* w = c.widget;
    const auto change = [panel, control] { DispatchChange(panel, control); };
    switch (c.kind) {
    case Kind::kNumeric:
        QObject::connect(static_cast<QSpinBox*>(w), &QSpinBox::valueChanged, w, change);
        break;
    case Kind::kRing:
        QObject::connect(static_cast<QComboBox*>(w), &QComboBox::currentIndexChanged, w, change);
        break;
    case Kind::kCheck:
    case Kind::kToggle:
        QObject::connect(static_cast<QAbstractButton*>(w), &QAbstractButton::clicked, w, change);
        break;
    case Kind::kCommand:
        new CommandButtonFilter(static_cast<QPushButton*>(w), panel, control);
        break;
    default:
        break;
    }
}

void ConnectPanelEvents(int panel, QWidget* window) {
    new PanelWindowFilter(window, panel);
}

} // namespace ovx::ui::detail
