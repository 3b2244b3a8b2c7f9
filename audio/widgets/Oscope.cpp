#include "audio/widgets/Oscope.h"
#include <QMouseEvent>
#include <QPainter>
#include <cstdlib>

namespace tamblor::audio {

namespace {

int buttonCode(Qt::MouseButton b)
{
    switch (b) {
    case Qt::LeftButton: return Oscope::LeftButton;
    case Qt::RightButton: return Oscope::RightButton;
    case Qt::MiddleButton: return Oscope::MiddleButton;
    default: return 0;
    }
}

int shiftCode(Qt::KeyboardModifiers m)
{
    return (m & Qt::ShiftModifier ? Oscope::ShiftKey : 0) |
           (m & Qt::ControlModifier ? Oscope::CtrlKey : 0) | (m & Qt::AltModifier ? Oscope::AltKey : 0);
}

} // namespace

Oscope::Oscope(QWidget* parent) : QWidget(parent)
{
    QPalette pal = palette();
    pal.setColor(QPalette::Window, backgroundColor());
    setPalette(pal);
    setAutoFillBackground(true);
}

void Oscope::drawBuffer(const int16_t* columns, int count)
{
    if (!columns || count <= 0) {
        columns_.clear();
    } else {
        columns_.resize(count);
        std::copy(columns, columns + count, columns_.begin());
    }
    update();
}

void Oscope::setGain(int gain)
{
    gain_ = std::clamp(gain, 0, kMaxGain);
    update();
}

void Oscope::setLocator(int column)
{
    locator_ = column;
    update();
}

void Oscope::setUseSelection(bool use)
{
    useSelection_ = use;
    if (!use)
        setSelection(-1, -1);
}

void Oscope::setSelection(int start, int end)
{
    if (start == selStart_ && end == selEnd_)
        return;
    selStart_ = start;
    selEnd_ = end;
    update();
    emit selectionChanged(start, end);
}

void Oscope::reset()
{
    columns_.clear();
    locator_ = 0;
    dragging_ = false;
    setSelection(-1, -1);
    update();
}

void Oscope::sel() { setSelection(-1, -1); }

void Oscope::mousePressEvent(QMouseEvent* e)
{
    const int x = columnAt(int(e->position().x()));
    if (e->button() == Qt::LeftButton && useSelection_) {
        // A new press starts a new selection; a click without a drag leaves none.
        dragging_ = true;
        anchor_ = x;
        setSelection(-1, -1);
    }
    emit buttonPressed(buttonCode(e->button()), shiftCode(e->modifiers()), x, int(e->position().y()));
}

void Oscope::mouseMoveEvent(QMouseEvent* e)
{
    if (!dragging_)
        return;
    const int x = columnAt(int(e->position().x()));
    if (x == anchor_)
        setSelection(-1, -1);
    else
        setSelection(std::min(anchor_, x), std::max(anchor_, x));
}

void Oscope::mouseReleaseEvent(QMouseEvent* e)
{
    const int x = columnAt(int(e->position().x()));
    if (e->button() == Qt::LeftButton && dragging_) {
        mouseMoveEvent(e);
        dragging_ = false;
    }
    emit buttonReleased(buttonCode(e->button()), shiftCode(e->modifiers()), x, int(e->position().y()));
}

void Oscope::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    const int h = height();
    const double centre = (h - 1) / 2.0;
    if (selStart_ >= 0 && selEnd_ > selStart_) {
        p.fillRect(QRect(selStart_, 0, selEnd_ - selStart_, h), selectionColor());
        // Dots at the selection's edges.
        p.setPen(selectionColor().darker(150));
        for (int y = 0; y < h; y += 4) {
            p.drawPoint(selStart_, y);
            p.drawPoint(selEnd_, y);
        }
    }
    p.setPen(foregroundColor());
    p.drawLine(0, int(centre), width(), int(centre));
    const double scale = centre * gain_ / 10.0 / 32768.0;
    const int n = std::min<int>(int(columns_.size()), width());
    for (int x = 0; x < n; ++x) {
        const double half = std::min(centre, std::abs(int(columns_[x])) * scale);
        if (half >= 0.5)
            p.drawLine(QPointF(x + 0.5, centre - half), QPointF(x + 0.5, centre + half));
    }
    if (locator_ >= 0 && locator_ <= width()) {
        p.setPen(locatorColor());
        p.drawLine(locator_, 0, locator_, h);
    }
}

} // namespace tamblor::audio
