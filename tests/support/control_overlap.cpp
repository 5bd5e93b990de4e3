#include "support/control_overlap.h"

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QAbstractSpinBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>

#include "ui/graph.h"
#include "ui/led.h"
#include "ui/strip_chart.h"

namespace ovx::testing {

namespace {

bool IsControl(const QWidget* w) {
    return qobject_cast<const QAbstractButton*>(w) != nullptr ||
           qobject_cast<const QComboBox*>(w) != nullptr ||
           qobject_cast<const QAbstractSpinBox*>(w) != nullptr ||
           qobject_cast<const QLineEdit*>(w) != nullptr ||
           qobject_cast<const QPlainTextEdit*>(w) != nullptr ||
           qobject_cast<const QLabel*>(w) != nullptr ||
           qobject_cast<const QProgressBar*>(w) != nullptr ||
           qobject_cast<const QAbstractItemView*>(w) != nullptr ||
           qobject_cast<const ui::StripChart*>(w) != nullptr ||
           qobject_cast<const ui::Graph*>(w) != nullptr ||
           qobject_cast<const ui::Led*>(w) != nullptr;
}

bool InsideAnotherControl(const QWidget* w, const QWidget* window) {
    for (const QWidget* p = w->parentWidget(); p != nullptr && p != window; p = p->parentWidget()) {
        if (IsControl(p)) {
            return true;
        }
    }
    return false;
}

std::string NameOf(const QWidget* w) {
    const QString name = w->objectName().isEmpty() ? w->accessibleName() : w->objectName();
    const QString text = name.isEmpty() ? QString::fromLatin1(w->metaObject()->className()) : name;
    return text.toStdString();
}

std::string Describe(const PlacedControl& c) {
    const QRect& r = c.rect;
    return NameOf(c.widget) + " (" + std::to_string(r.x()) + "," + std::to_string(r.y()) + " " +
           std::to_string(r.width()) + "x" + std::to_string(r.height()) + ")";
}

} // namespace

std::vector<PlacedControl> VisibleControls(QWidget* window) {
    std::vector<PlacedControl> out;
    for (QWidget* w : window->findChildren<QWidget*>()) {
        if (w->isWindow() || !w->isVisibleTo(window) || !IsControl(w) ||
            InsideAnotherControl(w, window)) {
            continue;
        }
        out.push_back({w, QRect(w->mapTo(window, QPoint(0, 0)), w->size())});
    }
    return out;
}

std::vector<std::string> LayoutFaults(QWidget* window) {
    const std::vector<PlacedControl> controls = VisibleControls(window);
    std::vector<std::string> faults;
    for (std::size_t i = 0; i < controls.size(); ++i) {
        if (!window->rect().contains(controls[i].rect)) {
            faults.push_back(Describe(controls[i]) + " / window");
        }
        for (std::size_t j = i + 1; j < controls.size(); ++j) {
            if (controls[i].rect.intersects(controls[j].rect)) {
                faults.push_back(Describe(controls[i]) + " / " + Describe(controls[j]));
            }
        }
    }
    return faults;
}

} // namespace ovx::testing
