#pragma once
// What Qt lacks or does otherwise: a bevelled caption panel, a filled shape (the lamp), a
// scroll bar whose arrow keys go the way it is drawn, and the print text box's rule.

#include <QColor>
#include <QLabel>
#include <QScrollBar>
#include <QToolButton>
#include <QValidator>
#include <QWidget>

#include <cstddef>
#include <functional>

// A panel: single border, an outer and an optional inner bevel, caption centred.
// Children are placed in its client area, inside the border.
class Panel : public QLabel {
    Q_OBJECT
public:
    enum class Bevel { None, Raised, Lowered, Space };

    explicit Panel(QWidget *parent = nullptr);

    void setBevels(Bevel outer, Bevel inner, int borderWidth);
    Bevel outerBevel() const { return m_outer; }
    Bevel innerBevel() const { return m_inner; }
    int borderWidth() const { return m_borderWidth; }

    void setBackground(const QColor &colour);
    QColor background() const { return m_background; }
    void setForeground(const QColor &colour);
    QColor foreground() const { return m_foreground; }

    // Where the client area starts: inside the single border.
    static constexpr int kFrame = 1;

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    QRect drawBevel(QPainter &p, QRect rect, Bevel bevel) const;

    Bevel m_outer = Bevel::Raised;
    Bevel m_inner = Bevel::None;
    int m_borderWidth = 0;
    QColor m_background;
    QColor m_foreground;
};

// A circle shape with a black 1 px outline and a fill colour.
class Shape : public QWidget {
    Q_OBJECT
public:
    explicit Shape(QWidget *parent = nullptr);

    void setFill(const QColor &colour);
    QColor fill() const { return m_fill; }

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    QColor m_fill = Qt::white;
};

// A button whose picture stands above its caption, the two centred together as one block. Qt's
// own text-under-icon style puts the picture at the top and centres the caption in what is left,
// so on a tall button the two drift apart.
class PictureAboveButton : public QToolButton {
    Q_OBJECT
public:
    using QToolButton::QToolButton;

    // Gap between the picture and the caption.
    static constexpr int kSpacing = 4;

protected:
    void paintEvent(QPaintEvent *event) override;
};

// A scroll bar whose Left and Right keys move the way it is drawn: Right towards the maximum,
// unless the bar is mirrored. QScrollBar inverts its controls so that Down, PageDown and the
// wheel move towards the maximum as a scroll bar does, and Qt 6 applies that inversion to Left
// and Right too, so Right moved towards the minimum.
class ScrollBar : public QScrollBar {
    Q_OBJECT
public:
    using QScrollBar::QScrollBar;

protected:
    void keyPressEvent(QKeyEvent *event) override;
};

// The rule of a text box whose text goes out as one command: clean() replaces what must not be
// in it (typed, pasted, dropped or set), and what an edit puts in is cut, at a character
// boundary, where measure() of the whole text would pass limit.
class LimitedTextValidator : public QValidator {
    Q_OBJECT
public:
    using Clean = std::function<QString(const QString &)>;
    using Measure = std::function<std::size_t(const QString &)>;
    LimitedTextValidator(Clean clean, Measure measure, std::size_t limit, const QString &initialText,
                         QObject *parent = nullptr);

    State validate(QString &input, int &pos) const override;

private:
    Clean m_clean;
    Measure m_measure;
    std::size_t m_limit;
    mutable QString m_previous;   // the text before the edit being validated
};
