#pragma once
// The two kinds of control Qt lacks: a bevelled caption panel and a filled shape (the lamp).

#include <QColor>
#include <QLabel>
#include <QWidget>

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
