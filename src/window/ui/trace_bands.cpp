#include "ui/trace_bands.h"

#include <algorithm>
#include <cmath>

namespace ovx::ui::detail {

namespace {

// An antialiased one-pixel line touches the pixel beside the one it crosses, and the pixel it
// ends in may be the next one over; two pixels of room on every side take in both.
constexpr int kReach = 2;

} // namespace

void TraceBands::addSpan(double left, double right, double top, double bottom) {
    if (plot_.isEmpty() || !std::isfinite(left + right + top + bottom)) {
        takeAll();
        return;
    }
    const auto groupOf = [this](double x) {
        const double at = (x - plot_.left()) * kGroups / plot_.width();
        return static_cast<int>(std::clamp(std::floor(at), 0.0, kGroups - 1.0));
    };
    const int first = groupOf(left - kReach);
    const int last = groupOf(right + kReach);
    const int rowTop = static_cast<int>(std::floor(std::max(top, -1e6))) - kReach;
    const int rowBottom = static_cast<int>(std::ceil(std::min(bottom, 1e6))) + kReach;
    for (int g = first; g <= last; ++g) {
        const auto i = static_cast<std::size_t>(g);
        top_[i] = std::min(top_[i], rowTop);
        bottom_[i] = std::max(bottom_[i], rowBottom);
    }
}

void TraceBands::addPolyline(const QPointF* points, int n) {
    if (n == 1) {
        addSpan(points[0].x(), points[0].x(), points[0].y(), points[0].y());
    }
    for (int i = 1; i < n; ++i) {
        const QPointF& a = points[i - 1];
        const QPointF& b = points[i];
        addSpan(std::min(a.x(), b.x()), std::max(a.x(), b.x()), std::min(a.y(), b.y()),
                std::max(a.y(), b.y()));
    }
}

void TraceBands::takeAll() {
    top_.fill(plot_.top());
    bottom_.fill(plot_.bottom());
}

void TraceBands::unite(const TraceBands& other) {
    if (other.isEmpty()) {
        return;
    }
    if (isEmpty()) {
        *this = other;
        return;
    }
    if (other.plot_ != plot_) {
        takeAll();
        return;
    }
    for (std::size_t g = 0; g < top_.size(); ++g) {
        top_[g] = std::min(top_[g], other.top_[g]);
        bottom_[g] = std::max(bottom_[g], other.bottom_[g]);
    }
}

bool TraceBands::isEmpty() const {
    for (std::size_t g = 0; g < top_.size(); ++g) {
        if (top_[g] <= bottom_[g]) {
            return false;
        }
    }
    return true;
}

QRegion TraceBands::region() const {
    QRegion out;
    for (const QRect& r : rects()) {
        out += r;
    }
    return out;
}

QRect TraceBands::bounds() const {
    QRect out;
    for (const QRect& r : rects()) {
        out |= r;
    }
    return out;
}

std::vector<QRect> TraceBands::rects() const {
    std::vector<QRect> out;
    for (int g = 0; g < kGroups; ++g) {
        const auto i = static_cast<std::size_t>(g);
        if (top_[i] > bottom_[i]) {
            continue;
        }
        const int left = plot_.left() + plot_.width() * g / kGroups;
        const int right = plot_.left() + plot_.width() * (g + 1) / kGroups;
        out.push_back(
            QRect(left, top_[i], right - left, bottom_[i] - top_[i] + 1).intersected(plot_));
    }
    return out;
}

} // namespace ovx::ui::detail
