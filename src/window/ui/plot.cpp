// Plotting services on strip charts and graphs.
#include "ui/plot.h"

#include <cstdint>

#include "platform/errors.h"
#include "ui/graph.h"
#include "ui/panel_store.h"
#include "ui/strip_chart.h"

namespace ovx::ui {

namespace {

using detail::Control;
using detail::Kind;

bool KnownType(int dataType) {
    return dataType == kTypeInt || dataType == kTypeDouble || dataType == kTypeUShort ||
           dataType == kTypeUInt;
}

double ValueAt(const void* values, int dataType, int index) {
    switch (dataType) {
    case kTypeInt:
        return static_cast<const std::int32_t*>(values)[index];
    case kTypeUShort:
        return static_cast<const std::uint16_t*>(values)[index];
    case kTypeUInt:
        return static_cast<const std::uint32_t*>(values)[index];
    default:
        return static_cast<const double*>(values)[index];
    }
}

template <typename Widget> int Find(int panel, int control, Kind kind, Widget*& out) {
    Control* c = nullptr;
    if (const int rc = detail::FindControl(panel, control, c); rc < 0) {
        return rc;
    }
    if (c->kind != kind) {
        return platform::kUiWrongControlKind;
    }
    out = static_cast<Widget*>(c->widget);
    return 0;
}

} // namespace

int PlotStripChart(int panel, int control, const void* values, int count, int start, int skip,
                   int dataType) {
    StripChart* chart = nullptr;
    if (const int rc = Find(panel, control, Kind::kStripChart, chart); rc < 0) {
        return rc;
    }
    if (values == nullptr || count < 0 || start < 0 || skip < 0 || !KnownType(dataType) ||
        count % chart->traceCount() != 0) {
        return platform::kUiInvalidArgument;
    }
    if (dataType == kTypeDouble && skip == 0 && chart->atPointStart()) {
        chart->pushPoints(static_cast<const double*>(values) + start, count / chart->traceCount());
        chart->scheduleRepaint();
        return 0;
    }
    // count values, from index start, every (skip + 1)th one.
    for (int i = 0; i < count; ++i) {
        chart->pushValue(ValueAt(values, dataType, start + i * (skip + 1)));
    }
    chart->scheduleRepaint();
    return 0;
}

int ClearStripChart(int panel, int control) {
    StripChart* chart = nullptr;
    if (const int rc = Find(panel, control, Kind::kStripChart, chart); rc < 0) {
        return rc;
    }
    chart->clear();
    return 0;
}

int SetTraceAttribute(int panel, int control, int trace, int attribute, int value) {
    StripChart* chart = nullptr;
    if (const int rc = Find(panel, control, Kind::kStripChart, chart); rc < 0) {
        return rc;
    }
    if (attribute != kAttrTraceColor) {
        return platform::kUiInvalidAttribute;
    }
    const QColor colour(QRgb(static_cast<unsigned>(value) & 0xFFFFFFu));
    return chart->setTraceColor(trace, colour) ? 0 : platform::kUiInvalidArgument;
}

int PlotXY(int panel, int control, const void* x, const void* y, int count, int xType, int yType,
           int plotStyle, int pointStyle, int lineStyle, int pointFrequency, int color) {
    Graph* graph = nullptr;
    if (const int rc = Find(panel, control, Kind::kGraph, graph); rc < 0) {
        return rc;
    }
    const bool styles = (plotStyle == kThinLine || plotStyle == kConnectedPoints) &&
                        (lineStyle == kSolid || lineStyle == kDash);
    if (x == nullptr || y == nullptr || count < 0 || !KnownType(xType) || !KnownType(yType) ||
        !styles) {
        return platform::kUiInvalidArgument;
    }
    GraphPlot plot;
    plot.points.reserve(static_cast<std::size_t>(count));
    for (int i = 0; i < count; ++i) {
        plot.points.emplace_back(ValueAt(x, xType, i), ValueAt(y, yType, i));
    }
    plot.plotStyle = plotStyle;
    plot.pointStyle = pointStyle;
    plot.lineStyle = lineStyle;
    plot.pointFrequency = pointFrequency;
    plot.colour = QColor(QRgb(static_cast<unsigned>(color) & 0xFFFFFFu));
    return graph->addPlot(std::move(plot));
}

int DeleteGraphPlot(int panel, int control, int plot, int refresh) {
    Graph* graph = nullptr;
    if (const int rc = Find(panel, control, Kind::kGraph, graph); rc < 0) {
        return rc;
    }
    return graph->deletePlot(plot, refresh != 0) ? 0 : platform::kUiInvalidArgument;
}

int SetAxisScalingMode(int panel, int control, int axis, int mode, double min, double max) {
    Graph* graph = nullptr;
    if (const int rc = Find(panel, control, Kind::kGraph, graph); rc < 0) {
        return rc;
    }
    if ((axis != 0 && axis != 1) || mode != 0 || !(min < max)) {
        return platform::kUiInvalidArgument;
    }
    graph->setAxisRange(axis, min, max);
    return 0;
}

int GetStripChartPoints(int panel, int control, int trace, double* out, int capacity) {
    StripChart* chart = nullptr;
    if (const int rc = Find(panel, control, Kind::kStripChart, chart); rc < 0) {
        return rc;
    }
    const int n = chart->points(trace, out, capacity);
    return n < 0 ? platform::kUiInvalidArgument : n;
}

int GetGraphPlotCount(int panel, int control) {
    Graph* graph = nullptr;
    if (const int rc = Find(panel, control, Kind::kGraph, graph); rc < 0) {
        return rc;
    }
    return graph->plotCount();
}

} // namespace ovx::ui
