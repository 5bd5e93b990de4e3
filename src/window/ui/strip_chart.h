// Strip chart control: traces that scroll as points are appended. Each trace keeps the last
// pointsPerScreen points in a ring buffer sized once, so appending allocates nothing.
#pragma once

#include <QColor>
#include <QElapsedTimer>
#include <QPixmap>
#include <QString>
#include <QTimer>
#include <QWidget>

#include <array>
#include <optional>
#include <vector>

#include "ui/chart_axes.h"
#include "ui/trace_bands.h"

namespace ovx::ui {

class StripChart : public QWidget {
    Q_OBJECT

  public:
    static constexpr int kMaxTraces = 16;
    static constexpr int kMaxPointsPerScreen = 100000;

    explicit StripChart(QWidget* parent = nullptr);

    int traceCount() const { return traces_; }
    // A new count or length clears the chart; the same value keeps it. False when out of range.
    bool setTraceCount(int traces);
    int pointsPerScreen() const { return capacity_; }
    bool setPointsPerScreen(int points);
    int scrollMode() const { return scrollMode_; }
    void setScrollMode(int mode) { scrollMode_ = mode; }
    // trace counts from 1.
    bool setTraceColor(int trace, QColor colour);
    QColor traceColor(int trace) const;
    void setYName(const QString& name);

    // The next value in interleaved order: trace 1, trace 2, ..., then the next point.
    void pushValue(double value) {
        ++generation_;
        data_[static_cast<std::size_t>(head_ * traces_ + column_)] = value;
        if (++column_ == traces_) {
            column_ = 0;
            head_ = head_ + 1 == capacity_ ? 0 : head_ + 1;
            filled_ += filled_ < capacity_ ? 1 : 0;
        }
    }
    // True between points: the next value goes to trace 1.
    bool atPointStart() const { return column_ == 0; }
    // Whole points, as pushValue takes them one by one, when atPointStart(): values holds
    // points x traceCount() values; points beyond the capacity push out the ones before them.
    void pushPoints(const double* values, int points);
    void clear();
    // Asks for a repaint; repaints come at most every ~25 ms however often data arrives.
    void scheduleRepaint();

    int pointCount() const { return filled_; }
    // The points of a trace, oldest first; returns how many were copied.
    int points(int trace, double* out, int capacity) const;

    // The frame (plot area and axis ranges) the chart is drawn in now.
    detail::ChartFrame currentFrame() const;

    QSize sizeHint() const override { return {520, 300}; }
    QSize minimumSizeHint() const override { return {240, 140}; }

  protected:
    void paintEvent(QPaintEvent* event) override;
    void changeEvent(QEvent* event) override;

  private:
    // What the frame, grid and labels depend on; they are drawn again only when it changes.
    struct BackgroundKey {
        QSize size;
        qreal pixelRatio = 0.0;
        double yMin = 0.0;
        double yMax = 0.0;
        int points = 0;
        bool operator==(const BackgroundKey&) const = default;
    };

    void reallocate();
    void dataRange(double& lo, double& hi) const;
    BackgroundKey backgroundKeyOf(const detail::ChartFrame& frame) const;
    // The plot area while the frame, grid and labels stay as drawn, else the whole chart.
    void updateChanged();
    const QPixmap& background(const BackgroundKey& key, const detail::ChartFrame& frame);
    // A trace drawn as one level line: its ends and colour.
    struct LevelLine {
        QPointF from;
        QPointF to;
        QColor colour;
        bool operator==(const LevelLine&) const = default;
    };
    // What a paint of the data held now draws, worked out once for the repaint it asks for and
    // the paint that follows: the frame, the leading level lines (traces that are one level
    // line each, in trace order), the polylines of the other traces and the bands they cover.
    struct Layout {
        std::optional<detail::ChartFrame> frame;
        std::vector<LevelLine> levels;
        std::vector<QPointF> points; // the polylines of the traces after the levels, in order
        std::vector<int> lengths;
        detail::TraceBands bands;
    };
    // Changes of the data, the trace colours or the y name count up generation_.
    struct LayoutKey {
        quint64 generation = 0;
        QSize size;
        int fontHeight = 0;
        bool operator==(const LayoutKey&) const = default;
    };
    const Layout& layout();
    // The background with the leading level lines drawn on it; they stay from frame to frame
    // while the limits and the reference do not move.
    const QPixmap& levelLayer(const QPixmap& background, const detail::ChartFrame& frame,
                              const std::vector<LevelLine>& levels);
    int traceLine(int trace, const detail::ChartFrame& frame);
    // The first and last point of a trace whose held values are all one finite value, else 0.
    int levelLine(int trace, const detail::ChartFrame& frame);
    bool restoreBackground(QPainter& painter, const QPixmap& source, const QRegion& region,
                           const Layout& now);
    void drawTraces(QPainter& painter, const Layout& layout);
    double valueAt(int point, int trace) const; // point 0 = oldest held

    int traces_ = 1;
    int capacity_ = 100;
    int scrollMode_ = 1;
    std::vector<double> data_;
    int head_ = 0;
    int filled_ = 0;
    int column_ = 0;
    std::array<QColor, kMaxTraces> colours_;
    QString yName_;
    std::vector<QPointF> line_;
    quint64 generation_ = 0;
    Layout layout_;
    LayoutKey layoutKey_;
    QPixmap background_;
    BackgroundKey backgroundKey_;
    QPixmap layer_;
    BackgroundKey layerKey_;
    std::vector<LevelLine> layerLevels_;
    // What the window shows: the level lines and the bands of the other traces of its last
    // paint. A paint of the whole chart may be a grab that the window never shows: after it only
    // the bands are kept (widened by the grab's), and the next repaint takes the whole plot area.
    std::vector<LevelLine> paintedLevels_;
    detail::TraceBands paintedBands_;
    QRect asked_; // the bands' rectangles asked to be repainted since the last paint
    bool paintedKnown_ = false;
    QTimer repaintTimer_;
    QElapsedTimer sincePaint_;
};

} // namespace ovx::ui
