// Ring items on a QComboBox control.
#include "ui/ring.h"

#include <QComboBox>
#include <QSignalBlocker>
#include <QWidget>

#include <cstdio>

#include "platform/errors.h"
#include "ui/panel.h"

namespace ovx::ui {

namespace {

// 0 and the ring, or the error of the lookup.
int FindRing(int panel, int control, QComboBox*& ring) {
    ring = nullptr;
    if (PanelWidget(panel) == nullptr) {
        return platform::kUiInvalidPanel;
    }
    auto* widget = static_cast<QWidget*>(CtrlWidget(panel, control));
    if (widget == nullptr) {
        return platform::kUiInvalidControl;
    }
    ring = qobject_cast<QComboBox*>(widget);
    return ring != nullptr ? 0 : platform::kUiWrongControlKind;
}

} // namespace

int ClearRing(int panel, int control) {
    QComboBox* ring = nullptr;
    const int rc = FindRing(panel, control, ring);
    if (rc < 0) {
        return rc;
    }
    const QSignalBlocker quiet(ring);
    ring->clear();
    return 0;
}

int InsertRingItem(int panel, int control, int index, const char* label, int value) {
    QComboBox* ring = nullptr;
    const int rc = FindRing(panel, control, ring);
    if (rc < 0) {
        return rc;
    }
    const QSignalBlocker quiet(ring);
    const int at = (index < 0 || index > ring->count()) ? ring->count() : index;
    ring->insertItem(at, QString::fromUtf8(label), value);
    return 0;
}

int GetNumRingItems(int panel, int control) {
    QComboBox* ring = nullptr;
    const int rc = FindRing(panel, control, ring);
    return rc < 0 ? rc : ring->count();
}

int GetRingItemLabel(int panel, int control, int index, char* label, int capacity) {
    QComboBox* ring = nullptr;
    const int rc = FindRing(panel, control, ring);
    if (rc < 0) {
        return rc;
    }
    if (index < 0 || index >= ring->count() || capacity < 1) {
        return platform::kUiInvalidArgument;
    }
    std::snprintf(label, static_cast<std::size_t>(capacity), "%s",
                  ring->itemText(index).toUtf8().constData());
    return 0;
}

} // namespace ovx::ui
