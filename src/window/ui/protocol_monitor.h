// The protocol monitor pane: the monitor log (monitor_log.h) as a list, newest at the bottom,
// with direction and order filters, pause, clear, copy and save. It reads the log only while it
// is shown, so a hidden pane costs nothing: twice a second, and once a second while the line is
// busy (a live run brings fifty entries a second, more than the list shows between two reads,
// and each read repaints the whole list).
#pragma once

#include <QElapsedTimer>
#include <QFrame>

#include <cstdint>
#include <deque>
#include <set>
#include <string>
#include <vector>

#include "platform/monitor_log.h"

class QComboBox;
class QLabel;
class QTableView;
class QTimer;
class QToolButton;

namespace ovx::ui {

class MonitorModel;

class ProtocolMonitor : public QFrame {
    Q_OBJECT

  public:
    static constexpr int kRefreshMs = 500;
    static constexpr int kBusyRefreshMs = 1000;
    static constexpr int kBusyEntries = 10; // a read that brings this many: the line is busy

    explicit ProtocolMonitor(QWidget* parent = nullptr);
    QSize sizeHint() const override { return {460, 400}; }

    void refresh(); // takes the new entries of the log now (the timer does it while shown)
    int refreshInterval() const; // ms from one read to the next while shown
    void setPaused(bool paused);
    void setDirectionFilter(int index);        // 0 all, 1 sent, 2 received, 3 status texts
    void setOrderFilter(const QString& order); // empty = every order
    void clear();
    void copyToClipboard() const; // the selected lines, or every shown line without a selection
    bool saveTo(const QString& path, QString& error) const; // every shown line, replaced whole
    QStringList lines() const;                              // what the list shows, in order

  protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

  private:
    bool passes(const platform::MonitorEntry& entry) const;
    void rebuild(); // reapplies the filters to what is kept
    void saveByDialog();
    void addOrderName(const std::string& name);

    std::deque<platform::MonitorEntry>
        kept_; // the last kMonitorCapacity entries taken from the log
    std::uint64_t nextSeq_ = 1;
    bool paused_ = false;
    int direction_ = 0;
    QString order_;
    std::set<std::string> orderNames_; // the names in the order filter's box
    MonitorModel* model_ = nullptr;
    QTableView* list_ = nullptr;
    QComboBox* directionBox_ = nullptr;
    QComboBox* orderBox_ = nullptr;
    QToolButton* pauseButton_ = nullptr;
    QLabel* countLabel_ = nullptr;
    QTimer* timer_ = nullptr;
    QElapsedTimer sinceRefresh_;
};

} // namespace ovx::ui
