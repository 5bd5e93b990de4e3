#include "ui/protocol_monitor.h"

#include <QAbstractListModel>
#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QFontDatabase>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QHideEvent>
#include <QItemSelectionModel>
#include <QLabel>
#include <QLayout>
#include <QPalette>
#include <QSaveFile>
#include <QScreen>
#include <QScrollBar>
#include <QShowEvent>
#include <QTableView>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>

#include <algorithm>
#include <array>

#include "platform/files.h"
#include "ui/file_dialogs.h"
#include "ui/monitor_rows.h"
#include "ui/repaint.h"

namespace ovx::ui {

namespace {

QColor ColourOf(platform::MonitorKind kind) {
    switch (kind) {
    case platform::MonitorKind::kTx:
        return QColor(0x1d, 0x4f, 0x7c);
    case platform::MonitorKind::kRx:
        return QColor(0x1b, 0x6e, 0x2a);
    default:
        return QColor(0x8a, 0x4b, 0x00);
    }
}

} // namespace

// The shown entries; rows are only appended at the end and dropped at the front. A row's text is
// made when it is asked for (the view asks for the rows it paints), not when the row comes.
class MonitorModel : public QAbstractListModel {
  public:
    using QAbstractListModel::QAbstractListModel;

    int rowCount(const QModelIndex& parent = {}) const override {
        return parent.isValid() ? 0 : static_cast<int>(rows_.size());
    }
    QVariant data(const QModelIndex& index, int role) const override {
        if (!index.isValid() || index.row() >= rowCount()) {
            return {};
        }
        const platform::MonitorEntry& row = rows_[static_cast<std::size_t>(index.row())];
        if (role == Qt::DisplayRole || role == Qt::ToolTipRole) { // the tooltip: the row whole
            return QString::fromStdString(platform::FormatMonitorEntry(row));
        }
        if (role == Qt::ForegroundRole) {
            return ColourOf(row.kind);
        }
        return {};
    }
    void append(const std::vector<platform::MonitorEntry>& entries) {
        if (entries.empty()) {
            return;
        }
        const int first = rowCount();
        beginInsertRows({}, first, first + static_cast<int>(entries.size()) - 1);
        rows_.insert(rows_.end(), entries.begin(), entries.end());
        endInsertRows();
        const int excess = rowCount() - platform::kMonitorCapacity;
        if (excess > 0) {
            beginRemoveRows({}, 0, excess - 1);
            rows_.erase(rows_.begin(), rows_.begin() + excess);
            endRemoveRows();
        }
    }
    void clear() {
        beginResetModel();
        rows_.clear();
        endResetModel();
    }
    QStringList texts() const {
        QStringList out;
        for (const platform::MonitorEntry& row : rows_) {
            out << QString::fromStdString(platform::FormatMonitorEntry(row));
        }
        return out;
    }

  private:
    std::deque<platform::MonitorEntry> rows_;
};

namespace {

constexpr std::array<const char*, 4> kDirections{"All directions", "Sent", "Received",
                                                 "Status texts"};
constexpr const char* kAllOrders = "All orders";

QToolButton* ToolButton(QWidget* parent, const QString& text, const QString& tip) {
    auto* b = new QToolButton(parent);
    b->setText(text);
    b->setToolTip(tip);
    b->setAccessibleName(text);
    b->setAutoRaise(false);
    return b;
}

// A table of one column, not a list view: a list view lays out every row it holds again for each
// row added (a few million instructions a refresh with the log full), a table's rows of one fixed
// height cost nothing to add.
QTableView* EntryTable(QWidget* parent, QAbstractItemModel* model) {
    auto* table = new QTableView(parent);
    table->setModel(model);
    table->setItemDelegate(new MonitorRowPainter(table));
    table->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff); // long rows are elided
    table->setSelectionMode(QAbstractItemView::ExtendedSelection);
    table->setSelectionBehavior(QAbstractItemView::SelectRows);
    table->setShowGrid(false);
    table->setWordWrap(false);
    table->setTabKeyNavigation(false); // Tab leaves the list, as it leaves a list view
    table->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    table->setAccessibleName(QStringLiteral("Monitor entries list"));
    table->horizontalHeader()->hide();
    table->horizontalHeader()->setStretchLastSection(true);
    table->verticalHeader()->hide();
    table->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    table->verticalHeader()->setMinimumSectionSize(1);
    table->verticalHeader()->setDefaultSectionSize(MonitorRowPainter::RowHeight(table));
    return table;
}

} // namespace

ProtocolMonitor::ProtocolMonitor(QWidget* parent) : QFrame(parent) {
    setFrameShape(QFrame::StyledPanel);
    setAccessibleName(QStringLiteral("Protocol monitor"));
    auto* title = new QLabel(QStringLiteral("<b>Protocol monitor</b>"), this);
    directionBox_ = new QComboBox(this);
    for (const char* d : kDirections) {
        directionBox_->addItem(QString::fromLatin1(d));
    }
    directionBox_->setAccessibleName(QStringLiteral("Monitor direction filter"));
    directionBox_->setToolTip(QStringLiteral("Show sent frames, received frames or status texts"));
    orderBox_ = new QComboBox(this);
    orderBox_->addItem(QString::fromLatin1(kAllOrders));
    orderBox_->setAccessibleName(QStringLiteral("Monitor order filter"));
    orderBox_->setToolTip(QStringLiteral("Show the frames of one order"));
    pauseButton_ = ToolButton(this, QStringLiteral("Pause"),
                              QStringLiteral("Hold the list; the log goes on in the background"));
    pauseButton_->setCheckable(true);
    QToolButton* clearButton = ToolButton(this, QStringLiteral("Clear"),
                                          QStringLiteral("Remove every entry from the monitor"));
    QToolButton* copyButton =
        ToolButton(this, QStringLiteral("Copy"),
                   QStringLiteral("Copy the selected lines (all shown lines without a selection)"));
    QToolButton* saveButton =
        ToolButton(this, QStringLiteral("Save..."), QStringLiteral("Save the shown lines as text"));
    countLabel_ = new QLabel(this);
    // A fixed size: a new text then repaints the label without laying out the whole window.
    countLabel_->setFixedSize(96, countLabel_->fontMetrics().height() + 4);
    countLabel_->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    countLabel_->setAccessibleName(QStringLiteral("Monitor entries"));

    model_ = new MonitorModel(this);
    list_ = EntryTable(this, model_);
    // A palette, not a style sheet: a style sheet routes every row's paint through rule lookups.
    QPalette palette = list_->palette();
    palette.setColor(QPalette::Base, QColor(0xfd, 0xfd, 0xf6));
    list_->setPalette(palette);

    auto* bar = new QHBoxLayout;
    bar->addWidget(title);
    bar->addStretch(1);
    bar->addWidget(countLabel_);
    auto* filters = new QHBoxLayout;
    filters->addWidget(directionBox_, 1);
    filters->addWidget(orderBox_, 1);
    auto* tools = new QHBoxLayout;
    tools->addWidget(pauseButton_);
    tools->addWidget(clearButton);
    tools->addWidget(copyButton);
    tools->addWidget(saveButton);
    tools->addStretch(1);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(6, 6, 6, 6);
    layout->addLayout(bar);
    layout->addLayout(filters);
    layout->addLayout(tools);
    layout->addWidget(list_, 1);

    // In a blocking sequence (no events, no timer) the flushes of written values bring it along.
    detail::AddFlushHook(this, [](QObject* owner) {
        auto* self = static_cast<ProtocolMonitor*>(owner);
        if (self->isVisible() && self->sinceRefresh_.isValid() &&
            self->sinceRefresh_.elapsed() >= self->timer_->interval()) {
            self->refresh();
            self->list_->viewport()->repaint();
            self->countLabel_->repaint();
        }
    });
    timer_ = new QTimer(this);
    timer_->setInterval(kRefreshMs);
    connect(timer_, &QTimer::timeout, this, &ProtocolMonitor::refresh);
    connect(directionBox_, &QComboBox::currentIndexChanged, this,
            &ProtocolMonitor::setDirectionFilter);
    connect(orderBox_, &QComboBox::currentIndexChanged, this, [this](int index) {
        setOrderFilter(index <= 0 ? QString() : orderBox_->itemText(index));
    });
    connect(pauseButton_, &QToolButton::toggled, this, &ProtocolMonitor::setPaused);
    connect(clearButton, &QToolButton::clicked, this, &ProtocolMonitor::clear);
    connect(copyButton, &QToolButton::clicked, this, &ProtocolMonitor::copyToClipboard);
    connect(saveButton, &QToolButton::clicked, this, &ProtocolMonitor::saveByDialog);
}

// The window widens by the pane, as far as the screen lets it, so the chart keeps its room.
void ProtocolMonitor::showEvent(QShowEvent* event) {
    QFrame::showEvent(event);
    if (QWidget* w = window(); w != this && !event->spontaneous()) {
        const QScreen* screen = w->screen();
        const int room = screen != nullptr ? screen->availableSize().width() : w->width();
        w->resize(std::min(room, w->width() + sizeHint().width()), w->height());
    }
    refresh();
    timer_->start();
}

void ProtocolMonitor::hideEvent(QHideEvent* event) {
    timer_->stop();
    if (QWidget* w = window(); w != this && !event->spontaneous() && w->isVisible()) {
        // Lay the window out without the pane first: its minimum size no longer holds the pane's.
        if (QLayout* layout = w->layout()) {
            layout->invalidate();
        }
        QEvent layoutNow(QEvent::LayoutRequest);
        QCoreApplication::sendEvent(w, &layoutNow);
        w->resize(std::max(w->minimumSizeHint().width(), w->width() - width()), w->height());
    }
    QFrame::hideEvent(event);
}

bool ProtocolMonitor::passes(const platform::MonitorEntry& entry) const {
    static constexpr std::array<int, 4> kKindOf{-1, static_cast<int>(platform::MonitorKind::kTx),
                                                static_cast<int>(platform::MonitorKind::kRx),
                                                static_cast<int>(platform::MonitorKind::kStatus)};
    if (direction_ > 0 &&
        static_cast<int>(entry.kind) != kKindOf[static_cast<size_t>(direction_)]) {
        return false;
    }
    if (order_.isEmpty()) {
        return true;
    }
    return entry.kind != platform::MonitorKind::kStatus &&
           QString::fromStdString(platform::MonitorOrderName(entry)) == order_;
}

// Every frame of a refresh passes here: the names already in the box are looked up in a set, not
// by searching the box's items.
void ProtocolMonitor::addOrderName(const std::string& name) {
    if (name.empty() || !orderNames_.insert(name).second) {
        return;
    }
    const QString text = QString::fromStdString(name);
    if (orderBox_->findText(text) < 0) {
        orderBox_->addItem(text);
    }
}

int ProtocolMonitor::refreshInterval() const {
    return timer_->interval();
}

void ProtocolMonitor::refresh() {
    sinceRefresh_.restart();
    if (paused_) {
        return;
    }
    std::vector<platform::MonitorEntry> fresh;
    nextSeq_ = platform::ReadMonitorEntries(nextSeq_, fresh);
    if (const int interval = std::ssize(fresh) >= kBusyEntries ? kBusyRefreshMs : kRefreshMs;
        timer_->interval() != interval) {
        timer_->setInterval(interval);
    }
    std::vector<platform::MonitorEntry> shown;
    for (const platform::MonitorEntry& e : fresh) {
        kept_.push_back(e);
        if (e.kind != platform::MonitorKind::kStatus) {
            addOrderName(platform::MonitorOrderName(e));
        }
        if (passes(e)) {
            shown.push_back(e);
        }
    }
    while (kept_.size() > static_cast<std::size_t>(platform::kMonitorCapacity)) {
        kept_.pop_front();
    }
    const bool atEnd = list_->verticalScrollBar() == nullptr ||
                       list_->verticalScrollBar()->value() == list_->verticalScrollBar()->maximum();
    model_->append(shown);
    if (atEnd && !shown.empty()) {
        list_->scrollToBottom();
    }
    countLabel_->setText(QStringLiteral("%1 entries").arg(model_->rowCount()));
}

void ProtocolMonitor::rebuild() {
    model_->clear();
    std::vector<platform::MonitorEntry> shown;
    for (const platform::MonitorEntry& e : kept_) {
        if (passes(e)) {
            shown.push_back(e);
        }
    }
    model_->append(shown);
    list_->scrollToBottom();
    countLabel_->setText(QStringLiteral("%1 entries").arg(model_->rowCount()));
}

void ProtocolMonitor::setPaused(bool paused) {
    paused_ = paused;
    if (pauseButton_->isChecked() != paused) {
        pauseButton_->setChecked(paused);
    }
    pauseButton_->setText(paused ? QStringLiteral("Resume") : QStringLiteral("Pause"));
    if (!paused) {
        refresh();
    }
}

void ProtocolMonitor::setDirectionFilter(int index) {
    direction_ = index >= 0 && index < static_cast<int>(kDirections.size()) ? index : 0;
    if (directionBox_->currentIndex() != direction_) {
        directionBox_->setCurrentIndex(direction_);
    }
    rebuild();
}

void ProtocolMonitor::setOrderFilter(const QString& order) {
    order_ = order;
    if (!order.isEmpty()) {
        addOrderName(order.toStdString());
    }
    const int index = order.isEmpty() ? 0 : orderBox_->findText(order);
    if (orderBox_->currentIndex() != index) {
        const QSignalBlocker block(orderBox_);
        orderBox_->setCurrentIndex(index);
    }
    rebuild();
}

void ProtocolMonitor::clear() {
    platform::ClearMonitorLog();
    kept_.clear();
    std::vector<platform::MonitorEntry> dropped;
    nextSeq_ = platform::ReadMonitorEntries(nextSeq_, dropped);
    model_->clear();
    countLabel_->setText(QStringLiteral("0 entries"));
}

QStringList ProtocolMonitor::lines() const {
    return model_->texts();
}

void ProtocolMonitor::copyToClipboard() const {
    QStringList out;
    const QModelIndexList selected = list_->selectionModel()->selectedRows();
    if (selected.isEmpty()) {
        out = lines();
    } else {
        QList<int> rows;
        for (const QModelIndex& index : selected) {
            rows << index.row();
        }
        std::sort(rows.begin(), rows.end());
        for (int row : rows) {
            out << model_->data(model_->index(row), Qt::DisplayRole).toString();
        }
    }
    QApplication::clipboard()->setText(out.join(QLatin1Char('\n')) + QLatin1Char('\n'));
}

bool ProtocolMonitor::saveTo(const QString& path, QString& error) const {
    platform::RemoveSaveLeftovers(path.toLocal8Bit().constData());
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Text)) {
        error = file.errorString();
        return false;
    }
    for (const QString& line : lines()) {
        file.write(line.toUtf8());
        file.write("\n");
    }
    if (!file.commit()) {
        error = file.errorString();
        return false;
    }
    return true;
}

void ProtocolMonitor::saveByDialog() {
    std::array<char, 260> dir{};
    platform::GetProjectDir(dir.data());
    std::array<char, 260> path{};
    if (FileSelectPopup(dir.data(), "monitor.txt", "*.txt", "Save the monitor lines", 0, 0, 1, 1, 1,
                        path.data()) != 1) {
        return;
    }
    QString error;
    const QString file = QString::fromLocal8Bit(path.data());
    const bool saved = saveTo(file, error);
    countLabel_->setText(saved ? QStringLiteral("Saved") : QStringLiteral("Not saved"));
    countLabel_->setToolTip(saved ? file : QStringLiteral("%1: %2").arg(file, error));
}

} // namespace ovx::ui
