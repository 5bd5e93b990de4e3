#include "ui/strip_chart.h"

#include <QEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QRegion>

#include <algorithm>
#include <cmath>

#include "ui/chart_axes.h"

namespace ovx::ui {

namespace {

constexpr int kRepaintIntervalMs = 25;
constexpr std::array<QRgb, 8> kDefaultColours{0x0060C0, 0xD02020, 0x109030, 0xA05000,
                                              0x7030A0, 0x008080, 0x606060, 0xC000C0};
// The y range shown when the data stays inside it; it widens to take in larger values.
constexpr double kDefaultMin = 0.0;
constexpr double kDefaultMax = 1000.0;

} // namespace

StripChart::StripChart(QWidget* parent) : QWidget(parent) {
    for (std::size_t i = 0; i < colours_.size(); ++i) {
        colours_[i] = QColor(kDefaultColours[i % kDefaultColours.size()]);
    }
    repaintTimer_.setSingleShot(true);
    connect(&repaintTimer_, &QTimer::timeout, this, [this] { updateChanged(); });
    sincePaint_.start();
    setAttribute(Qt::WA_OpaquePaintEvent);
    reallocate();
}

bool StripChart::setTraceCount(int traces) {
    if (traces < 1 || traces > kMaxTraces) {
        return false;
    }
    if (traces != traces_) {
        traces_ = traces;
        reallocate();
    }
    return true;
}

bool StripChart::setPointsPerScreen(int points) {
    if (points < 2 || points > kMaxPointsPerScreen) {
        return false;
    }
    if (points != capacity_) {
        capacity_ = points;
        reallocate();
    }
    return true;
}

bool StripChart::setTraceColor(int trace, QColor colour) {
    if (trace < 1 || trace > kMaxTraces) {
        return false;
    }
    auto& slot = colours_[static_cast<std::size_t>(trace - 1)];
    if (slot != colour) {
        slot = colour;
        ++generation_; // a level line of this colour is another line
        scheduleRepaint();
    }
    return true;
}

QColor StripChart::traceColor(int trace) const {
    if (trace < 1 || trace > kMaxTraces) {
        return {};
    }
    return colours_[static_cast<std::size_t>(trace - 1)];
}

void StripChart::setYName(const QString& name) {
    yName_ = name;
    ++generation_; // the plot area makes room for a name
    background_ = QPixmap();
    update();
}

void StripChart::reallocate() {
    data_.assign(static_cast<std::size_t>(traces_) * static_cast<std::size_t>(capacity_), 0.0);
    line_.assign(static_cast<std::size_t>(capacity_), QPointF());
    clear();
}

// Copied into the ring in at most two runs instead of value by value: the live view hands over
// its whole history (400 values) every frame.
void StripChart::pushPoints(const double* values, int points) {
    const int drop = std::max(points - capacity_, 0);
    values += static_cast<std::ptrdiff_t>(drop) * traces_;
    points -= drop;
    const auto copy = [this](const double* from, int at, int count) {
        std::copy_n(from, static_cast<std::size_t>(count) * static_cast<std::size_t>(traces_),
                    data_.begin() + static_cast<std::ptrdiff_t>(at) * traces_);
    };
    const int first = std::min(points, capacity_ - head_);
    copy(values, head_, first);
    copy(values + static_cast<std::ptrdiff_t>(first) * traces_, 0, points - first);
    head_ = (head_ + points) % capacity_;
    filled_ = std::min(filled_ + points, capacity_);
    ++generation_;
}

void StripChart::clear() {
    head_ = 0;
    filled_ = 0;
    column_ = 0;
    ++generation_;
    scheduleRepaint();
}

void StripChart::scheduleRepaint() {
    if (repaintTimer_.isActive()) {
        return;
    }
    const auto elapsed = sincePaint_.elapsed();
    if (elapsed >= kRepaintIntervalMs) {
        updateChanged();
    } else {
        repaintTimer_.start(static_cast<int>(kRepaintIntervalMs - elapsed));
    }
}

StripChart::BackgroundKey StripChart::backgroundKeyOf(const detail::ChartFrame& frame) const {
    return {size(), devicePixelRatioF(), frame.y().min, frame.y().max, capacity_};
}

// A new frame of data moves only the traces: the rest of the chart is left as the window holds
// it. The repaint asked for is one rectangle around the rows the moving traces were and are in,
// and the paint copies the background only where they were and are in each group of columns (a
// region of many rectangles would cost the paint more than the copy it saves). Level lines that
// moved, or a new range, repaint the plot area or the whole chart.
void StripChart::updateChanged() {
    if (!isVisible()) {
        return; // shown again, it is painted whole
    }
    const Layout& now = layout();
    if (background_.isNull() || !(backgroundKeyOf(*now.frame) == backgroundKey_)) {
        update();
        return;
    }
    if (!paintedKnown_ || now.levels != paintedLevels_) {
        update(now.frame->plot().toAlignedRect());
        return;
    }
    detail::TraceBands changed = now.bands;
    changed.unite(paintedBands_);
    asked_ |= changed.bounds();
    update(asked_);
}

double StripChart::valueAt(int point, int trace) const {
    const int oldest = filled_ < capacity_ ? 0 : head_;
    const int slot = (oldest + point) % capacity_;
    return data_[static_cast<std::size_t>(slot * traces_ + trace)];
}

int StripChart::points(int trace, double* out, int capacity) const {
    if (trace < 1 || trace > traces_ || out == nullptr || capacity < 0) {
        return -1;
    }
    const int n = std::min(filled_, capacity);
    const int skip = filled_ - n; // the newest points when the buffer is short
    for (int i = 0; i < n; ++i) {
        out[i] = valueAt(skip + i, trace - 1);
    }
    return n;
}

// The held points fill the first filled_ slots of the ring, whatever their order.
void StripChart::dataRange(double& lo, double& hi) const {
    lo = kDefaultMin;
    hi = kDefaultMax;
    const auto held = static_cast<std::ptrdiff_t>(filled_) * traces_;
    for (auto it = data_.begin(); it != data_.begin() + held; ++it) {
        if (std::isfinite(*it)) {
            lo = std::min(lo, *it);
            hi = std::max(hi, *it);
        }
    }
}

// The frame, grid and labels change only with the size, the y range or the texts; painted once
// into a pixmap, a frame of the live view copies them instead of laying out every label again.
const QPixmap& StripChart::background(const BackgroundKey& key, const detail::ChartFrame& frame) {
    if (!background_.isNull() && key == backgroundKey_) {
        return background_;
    }
    background_ = QPixmap(key.size * key.pixelRatio);
    background_.setDevicePixelRatio(key.pixelRatio);
    background_.fill(palette().color(QPalette::Base));
    QPainter painter(&background_);
    painter.setFont(font());
    frame.Draw(painter, yName_);
    backgroundKey_ = key;
    layer_ = QPixmap(); // the level lines go onto the new background
    return background_;
}

// The polyline of a trace into line_, returning its length. A level run (points of one height
// in a row) becomes its first and last point: the segment between them draws the same pixels,
// and the limit and reference lines of the NORM chart cost the antialiasing rasteriser one
// segment each instead of 99.
int StripChart::traceLine(int trace, const detail::ChartFrame& frame) {
    const int offset = capacity_ - filled_; // newest point at the right edge
    const auto at = [this](int i) { return line_[static_cast<std::size_t>(i)]; };
    int n = 0;
    int slot = filled_ < capacity_ ? 0 : head_; // the oldest point's, walked round the ring
    for (int p = 0; p < filled_; ++p, slot = slot + 1 == capacity_ ? 0 : slot + 1) {
        const double v = data_[static_cast<std::size_t>(slot * traces_ + trace)];
        const QPointF point(frame.MapX(offset + p), frame.MapY(std::isfinite(v) ? v : 0.0));
        if (n >= 2 && at(n - 1).y() == point.y() && at(n - 2).y() == point.y()) {
            line_[static_cast<std::size_t>(n - 1)] = point; // the run goes on
        } else {
            line_[static_cast<std::size_t>(n++)] = point;
        }
    }
    return n;
}

// A limit or reference line holds one value at every point: its two ends are mapped without
// walking the points through the mapping.
int StripChart::levelLine(int trace, const detail::ChartFrame& frame) {
    const int oldest = filled_ < capacity_ ? 0 : head_;
    const double first = data_[static_cast<std::size_t>(oldest * traces_ + trace)];
    if (filled_ < 2 || !std::isfinite(first)) {
        return 0;
    }
    const auto end = data_.begin() + static_cast<std::ptrdiff_t>(filled_) * traces_;
    for (auto it = data_.begin() + trace; it < end; it += traces_) {
        if (*it != first) { // the held points fill the first filled_ slots in any order
            return 0;
        }
    }
    const int offset = capacity_ - filled_;
    const double y = frame.MapY(first);
    line_[0] = QPointF(frame.MapX(offset), y);
    line_[1] = QPointF(frame.MapX(offset + filled_ - 1), y);
    return 2;
}

const StripChart::Layout& StripChart::layout() {
    const LayoutKey key{generation_, size(), fontMetrics().height()};
    if (layout_.frame && key == layoutKey_) {
        return layout_;
    }
    layout_.frame.emplace(currentFrame());
    const detail::ChartFrame& frame = *layout_.frame;
    layout_.levels.clear();
    layout_.points.clear();
    layout_.lengths.clear();
    for (int t = 0; t < traces_; ++t) {
        const bool leading = layout_.levels.size() == static_cast<std::size_t>(t);
        const int level = leading ? levelLine(t, frame) : 0;
        const int n = level != 0 ? level : traceLine(t, frame);
        if (leading && n == 2 && line_[0].y() == line_[1].y()) {
            layout_.levels.push_back({line_[0], line_[1], colours_[static_cast<std::size_t>(t)]});
            continue;
        }
        layout_.points.insert(layout_.points.end(), line_.begin(), line_.begin() + n);
        layout_.lengths.push_back(n);
    }
    layout_.bands = detail::TraceBands(frame.plot().toAlignedRect());
    const QPointF* points = layout_.points.data();
    for (const int n : layout_.lengths) {
        layout_.bands.addPolyline(points, n);
        points += n;
    }
    layoutKey_ = key;
    return layout_;
}

namespace {

// One-pixel cosmetic lines: the stroker's path for wider pens costs several times as much.
void PreparePainter(QPainter& painter, const QRectF& plot) {
    painter.setClipRect(plot);
    painter.setRenderHint(QPainter::Antialiasing);
}

// True when region takes in all of r (QRegion::contains tells only whether they overlap).
bool Covers(const QRegion& region, const QRect& r) {
    return QRegion(r).subtracted(region).isEmpty();
}

void DrawLine(QPainter& painter, const QColor& colour, const QPointF* points, int n) {
    QPen pen(colour, 1.0);
    pen.setCosmetic(true);
    painter.setPen(pen);
    painter.drawPolyline(points, n);
}

} // namespace

// The limit and reference lines of the NORM chart are level across the chart and the same from
// frame to frame: drawn once onto a copy of the background, each frame copies them with it
// instead of antialiasing three lines of the plot's width again. They are drawn before every
// other trace, as the traces are drawn in order.
const QPixmap& StripChart::levelLayer(const QPixmap& background, const detail::ChartFrame& frame,
                                      const std::vector<LevelLine>& levels) {
    if (!layer_.isNull() && layerKey_ == backgroundKey_ && layerLevels_ == levels) {
        return layer_;
    }
    layer_ = background; // the painter draws on a copy of its own
    QPainter painter(&layer_);
    PreparePainter(painter, frame.plot());
    for (const LevelLine& level : levels) {
        const std::array<QPointF, 2> ends{level.from, level.to};
        DrawLine(painter, level.colour, ends.data(), 2);
    }
    layerKey_ = backgroundKey_;
    layerLevels_ = levels;
    return layer_;
}

void StripChart::drawTraces(QPainter& painter, const Layout& layout) {
    PreparePainter(painter, layout.frame->plot());
    const QPointF* points = layout.points.data();
    auto t = layout.levels.size();
    for (const int n : layout.lengths) {
        DrawLine(painter, colours_[t++], points, n);
        points += n;
    }
}

// A paint of the bands asked for restores the groups of columns where a trace was or is: the
// window holds the rest of the rectangle as the last paint left it, the background alone. Any
// other region (an expose, a grab, the plot area) is restored whole. True when the old traces
// are gone from the window: restored in their bands, or the region took in the plot area.
bool StripChart::restoreBackground(QPainter& painter, const QPixmap& source, const QRegion& region,
                                   const Layout& now) {
    const bool bandsAsked = paintedKnown_ && now.levels == paintedLevels_ && !asked_.isEmpty() &&
                            region == QRegion(asked_);
    asked_ = QRect();
    if (!bandsAsked) {
        painter.drawPixmap(0, 0, source);
        return Covers(region, now.frame->plot().toAlignedRect());
    }
    detail::TraceBands restore = now.bands;
    restore.unite(paintedBands_);
    const qreal ratio = source.devicePixelRatio();
    for (const QRect& r : restore.rects()) {
        painter.drawPixmap(QPointF(r.topLeft()), source,
                           QRectF(QPointF(r.topLeft()) * ratio, QSizeF(r.size()) * ratio));
    }
    return true;
}

void StripChart::paintEvent(QPaintEvent* event) {
    sincePaint_.restart();
    const Layout& now = layout();
    const detail::ChartFrame& frame = *now.frame;
    const BackgroundKey key = backgroundKeyOf(frame);
    if (!(key == backgroundKey_) && !Covers(event->region(), rect())) {
        update(); // the range changed since the plot area was asked for: labels and traces at once
        return;
    }
    const QPixmap& plain = background(key, frame);
    const std::vector<LevelLine>& levels = now.levels;
    const QRect plot = frame.plot().toAlignedRect();
    if ((!paintedKnown_ || levels != paintedLevels_) && !Covers(event->region(), plot)) {
        update(plot); // a level line moved since the band was asked for
        return;
    }
    QPainter painter(this);
    const bool oldTracesGone = restoreBackground(
        painter, levels.empty() ? plain : levelLayer(plain, frame, levels), event->region(), now);
    drawTraces(painter, now);
    // A paint of part of the plot area (an expose) leaves the old traces shown outside it.
    paintedKnown_ = !Covers(event->region(), rect());
    if (paintedKnown_ && oldTracesGone) {
        paintedBands_ = now.bands;
    } else {
        paintedBands_.unite(now.bands);
    }
    paintedLevels_ = levels;
}

void StripChart::changeEvent(QEvent* event) {
    const QEvent::Type type = event->type();
    if (type == QEvent::FontChange || type == QEvent::PaletteChange ||
        type == QEvent::StyleChange) {
        background_ = QPixmap();
    }
    QWidget::changeEvent(event);
}

detail::ChartFrame StripChart::currentFrame() const {
    double lo = 0.0, hi = 0.0;
    dataRange(lo, hi);
    // Points are numbered from 0 at the left edge; the last one is labelled.
    return {rect(),
            fontMetrics().height(),
            {0.0, static_cast<double>(capacity_ - 1)},
            detail::NiceRange(lo, hi, 8),
            !yName_.isEmpty(),
            detail::XLabels::kRoundTicksAndEnd};
}

} // namespace ovx::ui
