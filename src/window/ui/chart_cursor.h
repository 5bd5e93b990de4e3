// Inside the engine: the cursor readout of the graph and the paused strip chart, a vertical
// line at x and a box with x and the value of each trace in its colour.
#pragma once

#include <QColor>
#include <QString>

#include <vector>

#include "ui/chart_axes.h"

class QPainter;

namespace ovx::ui::detail {

struct CursorValue {
    QColor colour;
    double value;
};

// "x 57   512   480": the text a readout shows (numbers with up to 3 decimals).
QString CursorText(double x, const std::vector<CursorValue>& values);
void DrawCursor(QPainter& painter, const ChartFrame& frame, double x,
                const std::vector<CursorValue>& values);

} // namespace ovx::ui::detail
