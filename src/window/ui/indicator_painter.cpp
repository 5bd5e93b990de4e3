#include "ui/indicator_painter.h"

#include <QAbstractSpinBox>
#include <QEvent>
#include <QLineEdit>
#include <QPainter>
#include <QSpinBox>
#include <QStyle>
#include <QStyleOption>
#include <QTextLayout>

#include "ui/held_values.h"

namespace ovx::ui::detail {

namespace {

// A line edit keeps its text this far from its left and right edge, and room for its cursor (one
// pixel) after the text even when the cursor does not show.
constexpr int kTextMargin = 2;
constexpr int kCursorWidth = 1;
// Texts kept laid out per indicator: a live value wanders among a few dozen neighbours.
constexpr int kShapedTexts = 64;

// The operator's own use of a box (a click, the focus, a key, its menu) may select or copy its
// text: the box takes the value it holds first.
bool ReachesForTheText(QEvent::Type type) {
    switch (type) {
    case QEvent::FocusIn:
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonDblClick:
    case QEvent::KeyPress:
    case QEvent::ContextMenu:
        return true;
    default:
        return false;
    }
}

} // namespace

IndicatorPainter::IndicatorPainter(QAbstractSpinBox* box, QLineEdit* edit)
    : QObject(box), box_(box), edit_(edit), shaped_(kShapedTexts) {
    box->setAttribute(Qt::WA_OpaquePaintEvent); // the frame image covers every pixel
    box->installEventFilter(this);
    edit->installEventFilter(this);
    AllowHeldValues(qobject_cast<QSpinBox*>(box), edit);
    box->update();
}

IndicatorPainter::~IndicatorPainter() {
    ForgetHeldValues(box_); // the box is being destroyed: no cast back to what it was
}

void IndicatorPainter::AttachAll(QWidget* root) {
    const auto boxes = root->findChildren<QAbstractSpinBox*>();
    for (QAbstractSpinBox* box : boxes) {
        auto* edit = box->findChild<QLineEdit*>(QString(), Qt::FindDirectChildrenOnly);
        if (box->isReadOnly() && edit != nullptr) {
            new IndicatorPainter(box, edit);
        }
    }
}

bool IndicatorPainter::eventFilter(QObject* watched, QEvent* event) {
    const QEvent::Type type = event->type();
    if (type != QEvent::Paint) {
        if (ReachesForTheText(type)) {
            WriteHeldValue(qobject_cast<QSpinBox*>(box_));
        }
        return false;
    }
    // While the operator has selected some of the text, the line edit draws it with the
    // selection's highlight on the box's frame.
    const bool editPaints = OperatorHasText(edit_);
    if (watched == box_) {
        Paint(!editPaints);
        return true;
    }
    return !editPaints; // else the line edit's text is drawn with the box
}

IndicatorPainter::FrameKey IndicatorPainter::CurrentKey() const {
    const QWidget* parent = box_->parentWidget();
    return FrameKey{box_->size(),
                    box_->devicePixelRatioF(),
                    box_->palette().cacheKey(),
                    parent != nullptr ? parent->palette().cacheKey() : 0,
                    box_->isEnabled(),
                    box_->isActiveWindow(),
                    box_->style()};
}

// The box as its own paint event draws it, on the parent's background (rounded corners show
// it), without its line edit, so without the text.
void IndicatorPainter::RenderFrame(const FrameKey& key) {
    frame_ = QPixmap(key.size * key.pixelRatio);
    frame_.setDevicePixelRatio(key.pixelRatio);
    const QWidget* parent = box_->parentWidget();
    const QWidget* behind = parent != nullptr ? parent : box_;
    frame_.fill(behind->palette().color(behind->backgroundRole()));
    QStyleOptionSpinBox option;
    option.initFrom(box_);
    option.activeSubControls = QStyle::SC_None;
    option.buttonSymbols = box_->buttonSymbols();
    option.subControls = QStyle::SC_SpinBoxEditField;
    if (box_->buttonSymbols() != QAbstractSpinBox::NoButtons) {
        option.subControls |= QStyle::SC_SpinBoxUp | QStyle::SC_SpinBoxDown;
    }
    if (box_->hasFrame()) {
        option.subControls |= QStyle::SC_SpinBoxFrame;
    }
    option.frame = box_->hasFrame();
    // A read-only box steps neither way; styles that do not grey out the arrows show both.
    const bool greyOut = box_->style()->styleHint(QStyle::SH_SpinControls_DisableOnBounds);
    option.stepEnabled = greyOut
                             ? QAbstractSpinBox::StepNone
                             : QAbstractSpinBox::StepUpEnabled | QAbstractSpinBox::StepDownEnabled;
    QPainter painter(&frame_);
    box_->style()->drawComplexControl(QStyle::CC_SpinBox, &option, &painter, box_);
    key_ = key;
    shaped_.clear(); // another screen or style may lay the texts out otherwise
    glyphs_.Clear();
}

// Where the line edit would draw its one line: inside its margins, centred vertically.
QRect IndicatorPainter::LineRect() const {
    const QRect r = edit_->geometry().marginsRemoved(edit_->textMargins());
    const int lineHeight = edit_->fontMetrics().height();
    const int top = r.y() + (r.height() - lineHeight + 1) / 2;
    return {r.x() + kTextMargin, top, r.width() - 2 * kTextMargin, lineHeight};
}

// The line edit's x of its text: aligned in the line with room for the cursor after it; a text
// too long for the line shows its end, where the cursor stands after a write.
int IndicatorPainter::TextX(const QRect& line, qreal textWidth) const {
    const int used = qRound(textWidth) + kCursorWidth;
    const Qt::Alignment a = QStyle::visualAlignment(edit_->layoutDirection(), edit_->alignment());
    int scroll = 0;
    if (used > line.width()) {
        scroll = used - line.width();
    } else if ((a & Qt::AlignRight) != 0) {
        scroll = used - line.width() + 1;
    } else if ((a & Qt::AlignHCenter) != 0) {
        scroll = (used - line.width()) / 2;
    }
    return line.x() - scroll;
}

// The line edit lays its line out a whole number of pixels below the line's top: the ascent of
// the text rounded. The glyphs stand on the exact ascent below that, so a font whose ascent has a
// fraction (a size in fractional points) puts them that fraction off the pixel grid; at a device
// pixel ratio above 1 the fraction is a pixel of the screen.
qreal IndicatorPainter::Baseline(const QRect& line, qreal ascent) const {
    return line.y() + edit_->fontMetrics().ascent() + (ascent - qRound(ascent));
}

const IndicatorPainter::ShapedText* IndicatorPainter::Shaped(const QString& text) {
    const QFont font = edit_->font();
    if (font != shapedFont_) {
        shaped_.clear();
        shapedFont_ = font;
    }
    if (const ShapedText* known = shaped_.object(text)) {
        return known->layout ? known : nullptr;
    }
    auto shaped = std::make_unique<ShapedText>();
    shaped->layout = std::make_unique<QTextLayout>(text, font, box_);
    shaped->layout->beginLayout();
    const QTextLine line = shaped->layout->createLine();
    shaped->layout->endLayout();
    if (line.isValid()) {
        shaped->width = line.naturalTextWidth();
        shaped->ascent = line.ascent();
    } else {
        shaped->layout.reset();
    }
    const ShapedText* result = shaped->layout ? shaped.get() : nullptr;
    shaped_.insert(text, shaped.release());
    return result;
}

void IndicatorPainter::Paint(bool withText) {
    // The value written last shows, also when the box still holds it (it takes it soon).
    const std::optional<QString> held = HeldText(qobject_cast<QSpinBox*>(box_));
    if (held) {
        WriteBackSoon();
    }
    const FrameKey key = CurrentKey();
    if (frame_.isNull() || !(key == key_)) {
        RenderFrame(key);
    }
    QPainter painter(box_);
    painter.drawPixmap(0, 0, frame_);
    if (!withText) {
        return;
    }
    const QString shown = held.value_or(edit_->displayText());
    QGlyphRun run;
    qreal width = 0.0;
    const bool composed = glyphs_.Compose(shown, edit_->font(), box_, run, width);
    // One layout gives both the width to align and the glyphs to draw.
    const ShapedText* text = composed ? nullptr : Shaped(shown);
    if (!composed && text == nullptr) {
        return;
    }
    QStyleOption option;
    option.initFrom(edit_);
    painter.setPen(option.palette.color(QPalette::Text));
    const QRect line = LineRect();
    painter.setClipRect(line.intersected(edit_->geometry()));
    if (composed) {
        // The glyphs' own font gives the ascent a line of them has.
        const qreal baseline = Baseline(line, run.rawFont().ascent());
        painter.drawGlyphRun(QPointF(TextX(line, width), baseline), run);
    } else {
        const qreal top = Baseline(line, text->ascent) - text->ascent;
        text->layout->draw(&painter, QPointF(TextX(line, text->width), top));
    }
}

} // namespace ovx::ui::detail
