#include "app/components.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QToolButton>
#include <map>

#include "app/widgets.h"

namespace app {

namespace {

// Every parent is made before its children, and only buttons show pictures.
constexpr bool wellOrdered()
{
    for (const Component &c : kComponents) {
        const Component *parent = c.parent ? componentNamed(c.parent) : nullptr;
        const bool button = c.kind == Kind::Button || c.kind == Kind::ToolButton;
        if ((c.parent && !(parent && parent < &c)) || (c.picture && !button))
            return false;
    }
    return true;
}
static_assert(wellOrdered(), "kComponents: a parent after its child, or a picture on something not a button");

} // namespace

QFont windowFont(int pixelSize, bool bold, const QString &family)
{
    QFont font;
    font.setFamilies({family, QStringLiteral("Liberation Sans"), QStringLiteral("DejaVu Sans")});
    font.setPixelSize(pixelSize);
    font.setBold(bold);
    return font;
}

namespace {

void showPicture(QAbstractButton &button, const QImage &picture)
{
    button.setIcon(QIcon(QPixmap::fromImage(picture)));
    button.setIconSize(picture.size());
}

QWidget *make(const Component &c, QWidget *parent)
{
    const QString caption = QString::fromLatin1(c.caption);
    switch (c.kind) {
    case Kind::Label: return new QLabel(caption, parent);
    case Kind::Button: return new QPushButton(caption, parent);
    case Kind::ToolButton: {
        auto *b = new PictureAboveButton(parent);
        b->setText(caption);
        return b;
    }
    case Kind::Panel: {
        auto *p = new Panel(parent);
        p->setText(caption);
        return p;
    }
    case Kind::ScrollBar: return new ScrollBar(Qt::Horizontal, parent);
    case Kind::ComboBox: return new QComboBox(parent);
    case Kind::CheckBox: return new QCheckBox(caption, parent);
    case Kind::LineEdit: return new QLineEdit(caption, parent);
    case Kind::GroupBox: return new QGroupBox(caption, parent);
    case Kind::PageControl: return new QTabWidget(parent);
    case Kind::TabSheet: {
        auto *page = new QWidget;
        static_cast<QTabWidget *>(parent)->addTab(page, caption);
        return page;
    }
    case Kind::Shape: return new Shape(parent);
    }
    return nullptr;
}

} // namespace

void createComponents(QWidget &form)
{
    std::map<int, QWidget *> tabOrder;
    for (const Component &c : kComponents) {
        QWidget *parent = c.parent ? form.findChild<QWidget *>(QLatin1String(c.parent)) : &form;
        QWidget *w = make(c, parent);
        w->setObjectName(QLatin1String(c.name));
        if (c.kind != Kind::TabSheet)
            w->setGeometry(c.geometry);
        if (c.fontPixels > 0)
            w->setFont(windowFont(c.fontPixels, c.bold));
        if (c.picture)
            showPicture(*static_cast<QAbstractButton *>(w), c.picture());
        if (c.tabOrder > 0)
            tabOrder[c.tabOrder] = w;
    }
    QWidget *previous = nullptr;
    for (const auto &[order, w] : tabOrder) {
        if (previous)
            QWidget::setTabOrder(previous, w);
        previous = w;
    }
}

} // namespace app
