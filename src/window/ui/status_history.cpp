#include "ui/status_history.h"

#include <QDateTime>
#include <QMenu>

#include "platform/monitor_log.h"

namespace ovx::ui {

StatusHistoryButton::StatusHistoryButton(QWidget* parent) : QToolButton(parent) {
    setPopupMode(QToolButton::InstantPopup);
    setText(QStringLiteral("History"));
    auto* menu = new QMenu(this);
    setMenu(menu);
    connect(menu, &QMenu::aboutToShow, this, [menu] {
        menu->clear();
        const QStringList items = Items();
        if (items.isEmpty()) {
            menu->addAction(QStringLiteral("(no status text yet)"))->setEnabled(false);
        }
        for (const QString& item : items) {
            menu->addAction(item);
        }
    });
}

QStringList StatusHistoryButton::Items() {
    QStringList items;
    const auto history = platform::StatusHistory();
    for (auto it = history.rbegin(); it != history.rend(); ++it) {
        const QString time =
            QDateTime::fromMSecsSinceEpoch(it->wallMs).toString(QStringLiteral("hh:mm:ss.zzz"));
        items << time + QStringLiteral("  ") + QString::fromStdString(platform::EntryText(*it));
    }
    return items;
}

} // namespace ovx::ui
