// The drop-down beside the status line: every text the status line showed, newest first, with
// its wall-clock time (the last kStatusHistory of them, monitor_log.h).
#pragma once

#include <QStringList>
#include <QToolButton>

namespace ovx::ui {

class StatusHistoryButton : public QToolButton {
    Q_OBJECT

  public:
    explicit StatusHistoryButton(QWidget* parent = nullptr);
    // "hh:mm:ss.zzz  text", newest first: the items the menu shows when it opens.
    static QStringList Items();
};

} // namespace ovx::ui
