// Panel services: control attributes and controls created at run time.
#include <QApplication>
#include <QLabel>
#include <QPalette>
#include <QProgressBar>

#include <array>

#include "platform/errors.h"
#include "ui/chart_freeze.h"
#include "ui/graph.h"
#include "ui/panel.h"
#include "ui/panel_store.h"
#include "ui/repaint.h"
#include "ui/strip_chart.h"

namespace ovx::ui {

namespace {

using detail::Control;
using detail::Kind;

constexpr std::array kTextRoles{QPalette::WindowText, QPalette::Text, QPalette::ButtonText};
constexpr std::array kBackgroundRoles{QPalette::Window, QPalette::Base, QPalette::Button};
constexpr int kTextMsgPadX = 10; // pixels around a text message's text
constexpr int kTextMsgPadY = 5;

template <std::size_t N>
void SetColour(QWidget* w, const std::array<QPalette::ColorRole, N>& roles, int rgb) {
    QPalette palette = w->palette();
    const QColor colour(QRgb(static_cast<unsigned>(rgb) & 0xFFFFFFu));
    for (const auto role : roles) {
        palette.setColor(role, colour);
    }
    w->setPalette(palette);
}

int ColourOf(const QWidget* w, QPalette::ColorRole role) {
    return static_cast<int>(w->palette().color(role).rgb() & 0xFFFFFFu);
}

int SetFontAttribute(QWidget* w, int attribute, int value) {
    QFont font = w->font();
    if (attribute == kAttrTextFont) {
        if (value != kAppFont) {
            return platform::kUiInvalidArgument;
        }
        const qreal size = font.pointSizeF();
        font = QApplication::font();
        font.setPointSizeF(size);
    } else {
        if (value < 1 || value > 400) {
            return platform::kUiInvalidArgument;
        }
        font.setPointSize(value);
    }
    w->setFont(font);
    return 0;
}

int SetStripChartAttribute(StripChart* chart, int attribute, int value) {
    switch (attribute) {
    case kAttrNumTraces:
        return chart->setTraceCount(value) ? 0 : platform::kUiInvalidArgument;
    case kAttrPointsPerScreen:
        return chart->setPointsPerScreen(value) ? 0 : platform::kUiInvalidArgument;
    case kAttrScrollMode:
        chart->setScrollMode(value);
        return 0;
    case kAttrChartPaused:
        return SetStripChartPaused(chart, value != 0);
    default:
        return platform::kUiInvalidAttribute;
    }
}

int SetGeneralAttribute(Control& c, int attribute, int value) {
    switch (attribute) {
    case kAttrDimmed:
        c.widget->setEnabled(value == 0);
        return 0;
    case kAttrVisible:
        c.widget->setVisible(value != 0);
        return 0;
    case kAttrTextColor:
        SetColour(c.widget, kTextRoles, value);
        return 0;
    case kAttrTextBgColor:
        SetColour(c.widget, kBackgroundRoles, value);
        c.widget->setAutoFillBackground(true);
        return 0;
    case kAttrTextFont:
    case kAttrTextPointSize:
        return SetFontAttribute(c.widget, attribute, value);
    default:
        if (c.kind == Kind::kStripChart) {
            return SetStripChartAttribute(static_cast<StripChart*>(c.widget), attribute, value);
        }
        return platform::kUiInvalidAttribute;
    }
}

int StripChartAttribute(const StripChart* chart, int attribute, int& value) {
    switch (attribute) {
    case kAttrNumTraces:
        value = chart->traceCount();
        return 0;
    case kAttrPointsPerScreen:
        value = chart->pointsPerScreen();
        return 0;
    case kAttrScrollMode:
        value = chart->scrollMode();
        return 0;
    default:
        return platform::kUiInvalidAttribute;
    }
}

int NextControlId(const detail::Panel& panel) {
    return panel.controls.empty() ? 1 : panel.controls.rbegin()->first + 1;
}

} // namespace

int SetCtrlAttribute(int panel, int control, int attribute, int value) {
    Control* c = nullptr;
    if (const int rc = detail::FindControl(panel, control, c); rc < 0) {
        return rc;
    }
    const int rc = SetGeneralAttribute(*c, attribute, value);
    if (rc == 0) {
        if (c->floating) {
            c->widget->adjustSize();
        }
        detail::NoteWritten(c->widget);
    }
    return rc;
}

int SetCtrlAttribute(int panel, int control, int attribute, const char* text) {
    Control* c = nullptr;
    if (const int rc = detail::FindControl(panel, control, c); rc < 0) {
        return rc;
    }
    const QString name = QString::fromLocal8Bit(text == nullptr ? "" : text);
    if (attribute == kAttrProgressText && c->kind == Kind::kProgress) {
        static_cast<QProgressBar*>(c->widget)->setFormat(name);
        detail::NoteWritten(c->widget);
        return 0;
    }
    if (attribute == kAttrToolTip) {
        c->widget->setToolTip(name);
        return 0;
    }
    if (attribute != kAttrYName) {
        return platform::kUiInvalidAttribute;
    }
    if (c->kind == Kind::kGraph) {
        static_cast<Graph*>(c->widget)->setYName(name);
    } else if (c->kind == Kind::kStripChart) {
        static_cast<StripChart*>(c->widget)->setYName(name);
    } else {
        return platform::kUiInvalidAttribute;
    }
    return 0;
}

int GetCtrlAttribute(int panel, int control, int attribute, int* value) {
    Control* c = nullptr;
    if (const int rc = detail::FindControl(panel, control, c); rc < 0) {
        return rc;
    }
    if (value == nullptr) {
        return platform::kUiInvalidArgument;
    }
    switch (attribute) {
    case kAttrDimmed:
        *value = c->widget->isEnabled() ? 0 : 1;
        return 0;
    case kAttrVisible:
        *value = c->widget->isHidden() ? 0 : 1;
        return 0;
    case kAttrChartPaused:
        if (auto* chart = qobject_cast<StripChart*>(c->widget)) {
            *value = StripChartPaused(chart) ? 1 : 0;
            return 0;
        }
        return platform::kUiInvalidAttribute;
    case kAttrTextColor:
        *value = ColourOf(c->widget, QPalette::WindowText);
        return 0;
    case kAttrTextBgColor:
        *value = ColourOf(c->widget, QPalette::Window);
        return 0;
    case kAttrTextPointSize:
        *value = c->widget->font().pointSize();
        return 0;
    default:
        if (c->kind == Kind::kStripChart) {
            return StripChartAttribute(static_cast<StripChart*>(c->widget), attribute, *value);
        }
        return platform::kUiInvalidAttribute;
    }
}

int NewCtrl(int panel, int style, const char* label, int top, int left) {
    if (QApplication::instance() == nullptr) {
        return platform::kUiNotInitialised;
    }
    detail::Panel* p = detail::FindPanel(panel);
    if (p == nullptr || p->window.isNull()) {
        return platform::kUiInvalidPanel;
    }
    if (style != kCtrlTextMsg) {
        return platform::kUiInvalidArgument;
    }
    auto* text = new QLabel(QString::fromLocal8Bit(label == nullptr ? "" : label), p->window);
    // Room around the text: on a coloured background a box tight around white text looks like
    // selected text.
    text->setContentsMargins(kTextMsgPadX, kTextMsgPadY, kTextMsgPadX, kTextMsgPadY);
    text->move(left, top);
    text->adjustSize();
    text->raise();
    text->show();
    const int id = NextControlId(*p);
    text->setAccessibleName(text->text());
    p->controls[id] = Control{text, Kind::kLabel, {}, nullptr, true};
    return id;
}

} // namespace ovx::ui
