#include "app/widgets.h"

#include <QPainter>

Panel::Panel(QWidget *parent) : QLabel(parent)
{
    setAlignment(Qt::AlignCenter);
    setTextFormat(Qt::PlainText);
    setFocusPolicy(Qt::NoFocus);
    m_background = palette().color(QPalette::Button);
    m_foreground = palette().color(QPalette::WindowText);
}

void Panel::setBevels(Bevel outer, Bevel inner, int borderWidth)
{
    m_outer = outer;
    m_inner = inner;
    m_borderWidth = borderWidth;
    update();
}

void Panel::setBackground(const QColor &colour)
{
    m_background = colour;
    update();
}

void Panel::setForeground(const QColor &colour)
{
    m_foreground = colour;
    update();
}

QRect Panel::drawBevel(QPainter &p, QRect rect, Bevel bevel) const
{
    if (bevel == Bevel::None)
        return rect;
    if (bevel != Bevel::Space) {
        const QColor light = Qt::white;
        const QColor shadow(128, 128, 128);
        const QColor &topLeft = bevel == Bevel::Raised ? light : shadow;
        const QColor &bottomRight = bevel == Bevel::Raised ? shadow : light;
        p.setPen(topLeft);
        p.drawLine(rect.topLeft(), rect.topRight());
        p.drawLine(rect.topLeft(), rect.bottomLeft());
        p.setPen(bottomRight);
        p.drawLine(rect.bottomLeft(), rect.bottomRight());
        p.drawLine(rect.topRight(), rect.bottomRight());
    }
    return rect.adjusted(1, 1, -1, -1);
}

void Panel::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    p.fillRect(rect(), m_background);
    p.setPen(QColor(64, 64, 64));
    p.drawRect(rect().adjusted(0, 0, -1, -1));
    QRect inner = drawBevel(p, rect().adjusted(kFrame, kFrame, -kFrame, -kFrame), m_outer);
    inner.adjust(m_borderWidth, m_borderWidth, -m_borderWidth, -m_borderWidth);
    inner = drawBevel(p, inner, m_inner);
    p.setPen(m_foreground);
    p.setFont(font());
    // A caption wider than the panel is centred and cut at both sides.
    p.drawText(inner, Qt::AlignCenter | Qt::TextSingleLine, text());
}

Shape::Shape(QWidget *parent) : QWidget(parent)
{
    setAttribute(Qt::WA_TranslucentBackground);
}

void Shape::setFill(const QColor &colour)
{
    m_fill = colour;
    update();
}

void Shape::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const int diameter = qMin(width(), height());
    const QRectF circle((width() - diameter) / 2.0 + 0.5, (height() - diameter) / 2.0 + 0.5,
                        diameter - 1.0, diameter - 1.0);
    p.setPen(QPen(Qt::black, 1));
    p.setBrush(m_fill);
    p.drawEllipse(circle);
}
