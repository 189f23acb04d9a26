#include "app/widgets.h"

#include <QKeyEvent>
#include <QPainter>
#include <QStyleOptionToolButton>
#include <QStylePainter>
#include <QTextBoundaryFinder>
#include <utility>

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

void ScrollBar::keyPressEvent(QKeyEvent *event)
{
    const bool left = event->key() == Qt::Key_Left;
    const bool right = event->key() == Qt::Key_Right;
    if (orientation() != Qt::Horizontal || (!left && !right)) {
        QScrollBar::keyPressEvent(event);
        return;
    }
    const bool mirrored = isRightToLeft() != invertedAppearance();
    triggerAction(right != mirrored ? SliderSingleStepAdd : SliderSingleStepSub);
    event->accept();
}

LimitedTextValidator::LimitedTextValidator(Clean clean, Measure measure, std::size_t limit,
                                           const QString &initialText, QObject *parent)
    : QValidator(parent), m_clean(std::move(clean)), m_measure(std::move(measure)), m_limit(limit),
      m_previous(m_clean(initialText))
{
}

QValidator::State LimitedTextValidator::validate(QString &input, int &pos) const
{
    const QString text = m_clean(input);
    if (m_measure(text) <= m_limit) {
        input = text;
        m_previous = text;
        return Acceptable;
    }

    // The edit's own part: between what it left of the start and of the end of the previous
    // text. The cursor stands at the end of what was put in.
    const qsizetype cursor = qBound(qsizetype(0), qsizetype(pos), text.size());
    qsizetype tail = 0;
    while (tail < qMin(m_previous.size(), text.size() - cursor)
           && m_previous.at(m_previous.size() - 1 - tail) == text.at(text.size() - 1 - tail))
        ++tail;
    qsizetype head = 0;
    while (head < qMin(m_previous.size() - tail, cursor) && m_previous.at(head) == text.at(head))
        ++head;
    const QString kept = text.left(head) + text.right(tail);
    const QString added = text.mid(head, text.size() - tail - head);

    // Whole characters of it, in order, as long as they fit.
    const std::size_t used = m_measure(kept);
    std::size_t room = used < m_limit ? m_limit - used : 0;
    QTextBoundaryFinder characters(QTextBoundaryFinder::Grapheme, added);
    qsizetype taken = 0;
    for (qsizetype next = characters.toNextBoundary(); next > 0; next = characters.toNextBoundary()) {
        const std::size_t size = m_measure(added.mid(taken, next - taken));
        if (size > room)
            break;
        room -= size;
        taken = next;
    }

    input = text.left(head) + added.left(taken) + text.right(tail);
    pos = int(head + taken);
    m_previous = input;
    return Acceptable;
}

void PictureAboveButton::paintEvent(QPaintEvent *)
{
    QStylePainter p(this);
    QStyleOptionToolButton option;
    initStyleOption(&option);
    // The style draws the button and its focus; the picture and caption are drawn here.
    const QIcon icon = option.icon;
    const QString caption = option.text;
    option.icon = QIcon();
    option.text.clear();
    p.drawComplexControl(QStyle::CC_ToolButton, option);

    const QRect face = style()->subControlRect(QStyle::CC_ToolButton, &option, QStyle::SC_ToolButton, this);
    const QSize picture = icon.isNull() ? QSize() : iconSize();
    const int textFlags = Qt::AlignHCenter | Qt::AlignTop | Qt::TextShowMnemonic;
    const QRect textSize = option.fontMetrics.boundingRect(face, textFlags, caption);
    const int blockHeight = picture.height() + (picture.isEmpty() || caption.isEmpty() ? 0 : kSpacing) + textSize.height();
    int top = face.top() + (face.height() - blockHeight) / 2;
    // Pressed, the block moves with the face as the style's own contents do.
    const QPoint shift = (option.state & (QStyle::State_Sunken | QStyle::State_On))
                             ? QPoint(style()->pixelMetric(QStyle::PM_ButtonShiftHorizontal, &option, this),
                                      style()->pixelMetric(QStyle::PM_ButtonShiftVertical, &option, this))
                             : QPoint();
    if (!picture.isEmpty()) {
        const QIcon::Mode mode = isEnabled() ? QIcon::Normal : QIcon::Disabled;
        const QRect at(QPoint(face.left() + (face.width() - picture.width()) / 2, top) + shift, picture);
        icon.paint(&p, at, Qt::AlignCenter, mode);
        top += picture.height() + kSpacing;
    }
    const QRect textRect(QPoint(face.left(), top) + shift, QSize(face.width(), textSize.height()));
    style()->drawItemText(&p, textRect, textFlags, option.palette, isEnabled(), caption, QPalette::ButtonText);
}
