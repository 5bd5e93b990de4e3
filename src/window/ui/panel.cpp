// Panel services: loading, showing and discarding panels, the callback registry.
#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>

#include <array>

#include "platform/errors.h"
#include "platform/files.h"
#include "platform/places.h"
#include "ui/graph.h"
#include "ui/led.h"
#include "ui/panel.h"
#include "ui/panel_events.h"
#include "ui/panel_loader.h"
#include "ui/panel_store.h"
#include "ui/protocol_monitor.h"
#include "ui/strip_chart.h"

namespace ovx::ui {

namespace {

using detail::Control;
using detail::Kind;
using detail::Panel;

bool Classify(QWidget* w, Kind& kind) {
    if (qobject_cast<StripChart*>(w) != nullptr) {
        kind = Kind::kStripChart;
    } else if (qobject_cast<Graph*>(w) != nullptr) {
        kind = Kind::kGraph;
    } else if (qobject_cast<Led*>(w) != nullptr) {
        kind = Kind::kLed;
    } else if (qobject_cast<ProtocolMonitor*>(w) != nullptr) {
        kind = Kind::kPane;
    } else if (qobject_cast<QProgressBar*>(w) != nullptr) {
        kind = Kind::kProgress;
    } else if (qobject_cast<QSpinBox*>(w) != nullptr) {
        kind = Kind::kNumeric;
    } else if (qobject_cast<QComboBox*>(w) != nullptr) {
        kind = Kind::kRing;
    } else if (qobject_cast<QRadioButton*>(w) != nullptr || qobject_cast<QCheckBox*>(w)) {
        kind = Kind::kCheck;
    } else if (auto* b = qobject_cast<QPushButton*>(w)) {
        kind = b->isCheckable() ? Kind::kToggle : Kind::kCommand;
    } else if (qobject_cast<QLineEdit*>(w) != nullptr) {
        kind = Kind::kText;
    } else if (qobject_cast<QLabel*>(w) != nullptr) {
        kind = Kind::kLabel;
    } else if (qobject_cast<QPlainTextEdit*>(w) != nullptr) {
        kind = Kind::kTextBox;
    } else {
        return false;
    }
    return true;
}

QString StripMnemonic(QString text) {
    return text.remove(QLatin1Char('&')).trimmed();
}

// The visible label of a control: its buddy label, its own text, or its group's title.
QString VisibleLabel(QWidget* panel, QWidget* w) {
    const auto labels = panel->findChildren<QLabel*>();
    for (const QLabel* label : labels) {
        if (label->buddy() == w && !label->text().isEmpty()) {
            return StripMnemonic(label->text());
        }
    }
    if (const auto* b = qobject_cast<QAbstractButton*>(w); b && !b->text().isEmpty()) {
        return StripMnemonic(b->text());
    }
    if (const auto* box = qobject_cast<QGroupBox*>(w->parentWidget()); box) {
        return StripMnemonic(box->title());
    }
    return w->objectName();
}

// Builds the ID -> control map. A control ID used twice makes the file damaged.
bool CollectControls(QWidget* window, Panel& panel) {
    const auto widgets = window->findChildren<QWidget*>();
    for (QWidget* w : widgets) {
        bool ok = false;
        const int id = w->property("ctrlId").toInt(&ok);
        Kind kind{};
        if (!ok || !Classify(w, kind)) {
            continue;
        }
        if (panel.controls.count(id) != 0) {
            return false;
        }
        if (w->accessibleName().isEmpty()) {
            w->setAccessibleName(VisibleLabel(window, w));
        }
        panel.controls[id] = Control{w, kind, w->property("callback").toString().toStdString()};
    }
    return true;
}

bool HasRequiredControls(const Panel& panel) {
    for (const int id : detail::RequiredControls(panel.resourceId)) {
        if (panel.controls.count(id) == 0) {
            return false;
        }
    }
    return true;
}

// Relative names: beside the program (a build folder), then in its installed data folder, then
// in the working directory, then in the program's own resources (a program that carries the
// panel file inside).
QString ResolvePanelPath(const char* file) {
    const QString name = QString::fromLocal8Bit(file);
    if (QFileInfo(name).isAbsolute()) {
        return name;
    }
    const std::string path = platform::detail::FindShippedFile(
        file, platform::detail::ShippedFileDirs(platform::detail::BinaryDir()),
        QDir::currentPath().toLocal8Bit().toStdString());
    const QString found = QString::fromLocal8Bit(path.c_str());
    const QString inResources = QStringLiteral(":/") + name;
    if (!QFileInfo::exists(found) && QFileInfo::exists(inResources)) {
        return inResources;
    }
    return found;
}

} // namespace

void RegisterCallback(const std::string& name, CtrlCallback callback) {
    detail::SetCallback(name, callback);
}

void RegisterPanelCallback(const std::string& name, PanelCallback callback) {
    detail::SetPanelCallback(name, callback);
}

void RequireControls(int resourceId, const int* controlIds, int count) {
    std::vector<int> ids;
    if (controlIds != nullptr && count > 0) {
        ids.assign(controlIds, controlIds + count);
    }
    detail::SetRequiredControls(resourceId, std::move(ids));
}

int LoadPanel(int parent, const char* file, int resourceId) {
    if (QApplication::instance() == nullptr) {
        return platform::kUiNotInitialised;
    }
    if (parent != 0 && detail::FindPanel(parent) == nullptr) {
        return platform::kUiInvalidPanel;
    }
    if (file == nullptr || *file == '\0') {
        return platform::kUiPanelFileMissing;
    }
    std::unique_ptr<QWidget> window;
    if (const int rc = detail::LoadPanelWidget(ResolvePanelPath(file), resourceId, window);
        rc < 0) {
        return rc;
    }
    auto panel = std::make_unique<Panel>();
    panel->resourceId = resourceId;
    panel->callback = window->property("callback").toString().toStdString();
    if (!CollectControls(window.get(), *panel) || !HasRequiredControls(*panel)) {
        return platform::kUiPanelFileDamaged;
    }
    panel->window = window.get();
    Panel* p = panel.get();
    const int handle = detail::AddPanel(std::move(panel));
    for (const auto& [id, control] : p->controls) {
        detail::ConnectControlEvents(handle, id, control);
    }
    detail::ConnectPanelEvents(handle, window.release());
    return handle;
}

int DisplayPanel(int panel) {
    Panel* p = detail::FindPanel(panel);
    if (p == nullptr || p->window.isNull()) {
        return platform::kUiInvalidPanel;
    }
    // Nothing has the focus that the operator did not give it: the window holds it itself until
    // a click or Tab moves it to a control (else the first control would take it, and a value
    // control would show its text selected).
    if (p->window->focusWidget() == nullptr) {
        p->window->setFocus(Qt::OtherFocusReason);
    }
    p->window->show();
    // The headless display has no stacking order (and says so on every call).
    if (QGuiApplication::platformName() != QLatin1String("offscreen")) {
        p->window->raise();
        p->window->activateWindow();
    }
    return 0;
}

int HidePanel(int panel) {
    Panel* p = detail::FindPanel(panel);
    if (p == nullptr || p->window.isNull()) {
        return platform::kUiInvalidPanel;
    }
    p->window->hide();
    return 0;
}

int DiscardPanel(int panel) {
    const auto p = detail::TakePanel(panel);
    if (!p) {
        return platform::kUiInvalidPanel;
    }
    if (QWidget* w = p->window.data()) {
        w->hide();
        // A callback of this panel may still be running below us: delete once it returned.
        if (detail::InDispatch()) {
            w->deleteLater();
        } else {
            delete w;
        }
    }
    return 0;
}

void WatchCtrlText(int panel, int control, TextWatcher fn) {
    Control* c = nullptr;
    if (detail::FindControl(panel, control, c) == 0) {
        c->watcher = fn;
    }
}

void* CtrlWidget(int panel, int control) {
    Control* c = nullptr;
    return detail::FindControl(panel, control, c) == 0 ? c->widget : nullptr;
}

void* PanelWidget(int panel) {
    const Panel* p = detail::FindPanel(panel);
    return p == nullptr ? nullptr : p->window.data();
}

} // namespace ovx::ui
