// The protocol monitor's log and pane: what the trace module feeds them and what they keep.
#include <gtest/gtest.h>

#include <QAbstractItemView>
#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QFile>
#include <QFontMetrics>
#include <QScrollBar>
#include <QTemporaryDir>

#include <ostream>
#include <string>
#include <vector>

#include "platform/files.h"
#include "platform/monitor_log.h"
#include "platform/trace.h"
#include "support/row_name.h"
#include "ui/protocol_monitor.h"
#include "ui/status_history.h"

namespace ovx::ui {
namespace {

constexpr char kFrame[] = "\x00\x55\x00\x08";

std::vector<platform::MonitorEntry> Everything() {
    std::vector<platform::MonitorEntry> out;
    platform::ReadMonitorEntries(0, out);
    return out;
}

class MonitorLog : public ::testing::Test {
  protected:
    void SetUp() override { platform::ClearMonitorLog(); }
};

TEST_F(MonitorLog, FramesAndTextsArriveInOneTimelineWithoutTheTrace) {
    platform::EnableTrace(false);
    platform::TraceBytes("tx", kFrame, 4);
    platform::TraceText("status", "Line Ok!");
    platform::TraceBytes("rx", kFrame, 4);
    const auto entries = Everything();
    ASSERT_EQ(entries.size(), 3U);
    EXPECT_EQ(entries[0].kind, platform::MonitorKind::kTx);
    EXPECT_EQ(platform::EntryText(entries[0]), "00550008");
    EXPECT_EQ(entries[1].kind, platform::MonitorKind::kStatus);
    EXPECT_EQ(platform::EntryText(entries[1]), "Line Ok!");
    EXPECT_EQ(entries[2].kind, platform::MonitorKind::kRx);
    EXPECT_LE(entries[0].time, entries[2].time);
}

TEST_F(MonitorLog, KeepsTheLastTenThousandEntries) {
    for (int i = 0; i < platform::kMonitorCapacity + 5; ++i) {
        platform::TraceBytes("tx", kFrame, 4);
    }
    const auto entries = Everything();
    ASSERT_EQ(entries.size(), static_cast<std::size_t>(platform::kMonitorCapacity));
    EXPECT_EQ(entries.back().seq - entries.front().seq, platform::kMonitorCapacity - 1U);
}

TEST_F(MonitorLog, StatusHistoryOutlivesAFloodOfFrames) {
    platform::TraceText("status", "Table file not written");
    platform::TraceText("status", "Timeout RS232-Line!");
    for (int i = 0; i < 2 * platform::kMonitorCapacity; ++i) {
        platform::TraceBytes("rx", kFrame, 4);
    }
    const QStringList items = StatusHistoryButton::Items();
    ASSERT_GE(items.size(), 2);
    EXPECT_TRUE(items[0].endsWith(QStringLiteral("  Timeout RS232-Line!")))
        << items[0].toStdString();
    EXPECT_TRUE(items[1].endsWith(QStringLiteral("  Table file not written")));
}

TEST_F(MonitorLog, StatusHistoryHoldsTheLastFifty) {
    for (int i = 0; i < platform::kStatusHistory + 7; ++i) {
        platform::TraceText("status", ("text " + std::to_string(i)).c_str());
    }
    const QStringList items = StatusHistoryButton::Items();
    ASSERT_EQ(items.size(), platform::kStatusHistory);
    EXPECT_TRUE(items.front().endsWith(QStringLiteral("text 56")));
    EXPECT_TRUE(items.back().endsWith(QStringLiteral("text 7")));
}

// The pane, shown, with one sent frame, one received frame and one status text in the log.
class MonitorPane : public ::testing::TestWithParam<std::pair<int, std::vector<std::string>>> {
  protected:
    void SetUp() override {
        platform::ClearMonitorLog();
        pane_.refresh();
        pane_.clear();
        platform::TraceBytes("tx", kFrame, 4);
        platform::TraceBytes("rx", kFrame, 4);
        platform::TraceText("status", "Line Ok!");
        pane_.refresh();
    }
    std::vector<std::string> Kinds() const {
        std::vector<std::string> kinds;
        for (const QString& line : pane_.lines()) {
            kinds.push_back(
                line.section(QLatin1Char(' '), 1, 1, QString::SectionSkipEmpty).toStdString());
        }
        return kinds;
    }
    ProtocolMonitor pane_;
};

TEST_P(MonitorPane, DirectionFilterShowsItsKindOnly) {
    pane_.setDirectionFilter(GetParam().first);
    EXPECT_EQ(Kinds(), GetParam().second);
}

INSTANTIATE_TEST_SUITE_P(Directions, MonitorPane,
                         ::testing::Values(std::pair{0, std::vector<std::string>{"tx", "rx",
                                                                                 "status"}},
                                           std::pair{1, std::vector<std::string>{"tx"}},
                                           std::pair{2, std::vector<std::string>{"rx"}},
                                           std::pair{3, std::vector<std::string>{"status"}}));

// How long the shown pane waits before its next read, after a read that brought so many
// entries, and after a quiet read that follows it.
struct BusyRow {
    const char* name;
    int entries;
    int interval;
};

void PrintTo(const BusyRow& row, std::ostream* os) {
    *os << row.name;
}

class MonitorPaneRefresh : public ::testing::TestWithParam<BusyRow> {};

TEST_P(MonitorPaneRefresh, WaitsLongerWhileTheLineIsBusy) {
    platform::ClearMonitorLog();
    ProtocolMonitor pane;
    pane.refresh();
    for (int i = 0; i < GetParam().entries; ++i) {
        platform::TraceBytes(i % 2 == 0 ? "tx" : "rx", kFrame, 4);
    }
    pane.refresh();
    EXPECT_EQ(pane.refreshInterval(), GetParam().interval);
    platform::TraceText("status", "Line Ok!");
    pane.refresh();
    EXPECT_EQ(pane.refreshInterval(), ProtocolMonitor::kRefreshMs) << "quiet again";
}

INSTANTIATE_TEST_SUITE_P(Reads, MonitorPaneRefresh,
                         ::testing::Values(BusyRow{"nothing", 0, ProtocolMonitor::kRefreshMs},
                                           BusyRow{"a_few", ProtocolMonitor::kBusyEntries - 1,
                                                   ProtocolMonitor::kRefreshMs},
                                           BusyRow{"busy", ProtocolMonitor::kBusyEntries,
                                                   ProtocolMonitor::kBusyRefreshMs},
                                           BusyRow{"live_run", 50,
                                                   ProtocolMonitor::kBusyRefreshMs}),
                         testing::RowName());

using MonitorPaneActions = MonitorPane;

TEST_F(MonitorPaneActions, PauseHoldsTheListAndResumeCatchesUp) {
    pane_.setPaused(true);
    platform::TraceText("status", "while paused");
    pane_.refresh();
    EXPECT_EQ(pane_.lines().size(), 3);
    pane_.setPaused(false);
    ASSERT_EQ(pane_.lines().size(), 4);
    EXPECT_TRUE(pane_.lines().back().endsWith(QStringLiteral("while paused")));
}

TEST_F(MonitorPaneActions, ClearEmptiesItAndNewEntriesFollow) {
    pane_.clear();
    EXPECT_TRUE(pane_.lines().isEmpty());
    platform::TraceText("status", "after");
    pane_.refresh();
    EXPECT_EQ(pane_.lines().size(), 1);
}

TEST_F(MonitorPaneActions, CopyAndSaveTakeTheShownLines) {
    pane_.setDirectionFilter(3);
    pane_.copyToClipboard();
    EXPECT_TRUE(QApplication::clipboard()->text().contains(QStringLiteral("status  Line Ok!")));
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("monitor.txt"));
    QString error;
    ASSERT_TRUE(pane_.saveTo(path, error)) << error.toStdString();
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QList<QByteArray> saved = file.readAll().split('\n');
    ASSERT_EQ(saved.size(), 2); // one line and the final newline
    EXPECT_TRUE(saved[0].endsWith("Line Ok!"));
    EXPECT_FALSE(pane_.saveTo(dir.filePath(QStringLiteral("no/such/dir/x.txt")), error));
    EXPECT_FALSE(error.isEmpty());
}

// Everything of the pane the operator can reach with the keyboard has a name a screen reader says.
TEST_F(MonitorPaneActions, EveryFocusableWidgetHasAnAccessibleName) {
    int focusable = 0;
    for (QWidget* w : pane_.findChildren<QWidget*>()) {
        if (w->focusPolicy() == Qt::NoFocus || !w->isVisibleTo(&pane_)) {
            continue;
        }
        ++focusable;
        EXPECT_FALSE(w->accessibleName().isEmpty()) << w->metaObject()->className();
    }
    EXPECT_GE(focusable, 7) << "the list, two filters and four buttons";
}

// Frames named by their first byte, as the program names them by their order.
void NameByFirstByte(platform::MonitorKind, const char* bytes, int count, std::string& order,
                     std::string&) {
    order = count > 0 ? std::string("order ") + bytes[0] : std::string();
}

// Frames get names while it lives, and none after (as in the rest of this program).
struct NamedFrames {
    NamedFrames() { platform::SetFrameDescriber(NameByFirstByte); }
    ~NamedFrames() { platform::SetFrameDescriber(nullptr); }
    NamedFrames(const NamedFrames&) = delete;
    NamedFrames& operator=(const NamedFrames&) = delete;
};

// Each order seen is offered once in the order filter, and the filter shows its frames only.
TEST_F(MonitorPaneActions, OrderFilterOffersEachOrderOnceAndShowsItsFrames) {
    const NamedFrames named;
    for (const char* frame : {"A1", "B1", "A2", "B2", "A3"}) {
        platform::TraceBytes("rx", frame, 2);
    }
    pane_.refresh();
    platform::TraceBytes("tx", "B3", 2);
    pane_.refresh();
    QComboBox* box = nullptr;
    for (QComboBox* b : pane_.findChildren<QComboBox*>()) {
        box = b->accessibleName() == QStringLiteral("Monitor order filter") ? b : box;
    }
    ASSERT_NE(box, nullptr);
    QStringList offered;
    for (int i = 0; i < box->count(); ++i) {
        offered << box->itemText(i);
    }
    EXPECT_EQ(offered, (QStringList{"All orders", "order A", "order B"}));
    pane_.setOrderFilter(QStringLiteral("order B"));
    ASSERT_EQ(pane_.lines().size(), 3);
    for (const QString& line : pane_.lines()) {
        EXPECT_TRUE(line.contains(QStringLiteral("order B"))) << line.toStdString();
    }
}

// A row wider than the pane is elided, not scrolled to; its tooltip and its copy hold it whole.
TEST_F(MonitorPaneActions, LongRowsFitThePaneAndKeepTheirWholeText) {
    const std::string frame(36, '\x55');
    platform::TraceBytes("rx", frame.data(), static_cast<int>(frame.size()));
    pane_.resize(300, 300);
    pane_.show();
    pane_.refresh();
    auto* list = pane_.findChild<QAbstractItemView*>();
    ASSERT_NE(list, nullptr);
    list->doItemsLayout();
    const QString whole = pane_.lines().back();
    ASSERT_GT(QFontMetrics(list->font()).horizontalAdvance(whole), list->viewport()->width());
    const QModelIndex last = list->model()->index(list->model()->rowCount() - 1, 0);
    EXPECT_LE(list->visualRect(last).right(), list->viewport()->rect().right());
    const int lineHeight = QFontMetrics(list->font()).height();
    EXPECT_GE(list->visualRect(last).height(), lineHeight) << "a row holds its line";
    EXPECT_LE(list->visualRect(last).height(), lineHeight + 8) << "and little more";
    EXPECT_EQ(list->horizontalScrollBar()->maximum(), 0);
    EXPECT_EQ(last.data(Qt::ToolTipRole).toString(), whole);
    list->selectionModel()->select(last, QItemSelectionModel::ClearAndSelect);
    pane_.copyToClipboard();
    EXPECT_EQ(QApplication::clipboard()->text(), whole + QLatin1Char('\n'));
}

} // namespace
} // namespace ovx::ui
