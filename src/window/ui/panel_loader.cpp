#include "ui/panel_loader.h"

#include <QComboBox>
#include <QEvent>
#include <QFile>
#include <QGuiApplication>
#include <QLayout>
#include <QScreen>
#include <QUiLoader>
#include <QVariant>

#include "platform/errors.h"
#include "ui/graph.h"
#include "ui/indicator_painter.h"
#include "ui/led.h"
#include "ui/protocol_monitor.h"
#include "ui/status_history.h"
#include "ui/strip_chart.h"

namespace ovx::ui::detail {

namespace {

class PanelLoader : public QUiLoader {
  public:
    QWidget* createWidget(const QString& className, QWidget* parent, const QString& name) override {
        QWidget* w = nullptr;
        if (className == QLatin1String("StripChart")) {
            w = new StripChart(parent);
        } else if (className == QLatin1String("Graph")) {
            w = new Graph(parent);
        } else if (className == QLatin1String("Led")) {
            w = new Led(parent);
        } else if (className == QLatin1String("ProtocolMonitor")) {
            w = new ProtocolMonitor(parent);
        } else if (className == QLatin1String("StatusHistoryButton")) {
            w = new StatusHistoryButton(parent);
        } else {
            return QUiLoader::createWidget(className, parent, name);
        }
        w->setObjectName(name);
        return w;
    }
};

// A panel is never smaller than its layout needs: at the size drawn in the file as minimum, or
// at the layout's own minimum where that is more (a pane shown, a longer text), so that no two
// controls are ever pushed on top of each other.
class MinimumFollowsLayout : public QObject {
  public:
    MinimumFollowsLayout(QWidget* panel, QSize designMinimum)
        : QObject(panel), panel_(panel), designMinimum_(designMinimum) {
        panel->installEventFilter(this);
        Apply();
    }

    bool eventFilter(QObject* watched, QEvent* event) override {
        if (watched == panel_ && event->type() == QEvent::LayoutRequest) {
            Apply();
        }
        return false;
    }

  private:
    void Apply() {
        if (const QLayout* layout = panel_->layout()) {
            panel_->setMinimumSize(designMinimum_.expandedTo(layout->totalMinimumSize()));
        }
    }

    QWidget* panel_;
    QSize designMinimum_;
};

QWidget* FindResource(QWidget* root, int resourceId) {
    const auto children = root->findChildren<QWidget*>(Qt::FindDirectChildrenOnly);
    for (QWidget* child : children) {
        bool ok = false;
        if (child->property("resourceId").toInt(&ok) == resourceId && ok) {
            return child;
        }
    }
    return nullptr;
}

// Designer keeps only texts for combo box items: a ring's values come from its string
// property "itemValues" ("1,2,4,8"), one integer per item in item order.
bool ApplyItemValues(QWidget* root) {
    const auto rings = root->findChildren<QComboBox*>();
    for (QComboBox* ring : rings) {
        const QVariant values = ring->property("itemValues");
        if (!values.isValid()) {
            continue;
        }
        const QStringList fields = values.toString().split(QLatin1Char(','), Qt::SkipEmptyParts);
        if (fields.size() != ring->count()) {
            return false;
        }
        for (int i = 0; i < ring->count(); ++i) {
            bool ok = false;
            const int value = fields[i].trimmed().toInt(&ok);
            if (!ok) {
                return false;
            }
            ring->setItemData(i, value);
        }
    }
    return true;
}

bool HoldsAnyPanel(QWidget* root) {
    const auto children = root->findChildren<QWidget*>(Qt::FindDirectChildrenOnly);
    for (QWidget* child : children) {
        if (child->property("resourceId").isValid()) {
            return true;
        }
    }
    return false;
}

} // namespace

int LoadPanelWidget(const QString& path, int resourceId, std::unique_ptr<QWidget>& out) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        return platform::kUiPanelFileMissing;
    }
    PanelLoader loader;
    std::unique_ptr<QWidget> root(loader.load(&file));
    if (!root || !HoldsAnyPanel(root.get()) || !ApplyItemValues(root.get())) {
        return platform::kUiPanelFileDamaged;
    }
    QWidget* panel = FindResource(root.get(), resourceId);
    if (panel == nullptr) {
        return platform::kUiNoSuchResource;
    }
    const QSize designSize = panel->size();
    panel->setParent(nullptr, Qt::Window);
    new MinimumFollowsLayout(panel, panel->minimumSize());
    panel->adjustSize();
    // The size drawn in the file, where the screen has room for it.
    QSize size = designSize.expandedTo(panel->size());
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        size = size.boundedTo(screen->availableSize()).expandedTo(panel->minimumSize());
    }
    panel->resize(size);
    IndicatorPainter::AttachAll(panel);
    out.reset(panel);
    return 0;
}

} // namespace ovx::ui::detail
