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
#include <cstddef>
#include <map>
#include <iterator>
#include <string_view>
#include <type_traits>

#include "app/widgets.h"

namespace app {

namespace {

// Every parent is made before its children.
constexpr bool wellOrdered()
{
    const std::size_t count = std::size(kComponents);
    for (std::size_t i = 0; i < count; ++i) {
        if (!kComponents[i].parent)
            continue;
        if (componentIndex(kComponents[i].parent) >= i)
            return false;
    }
    return true;
}
static_assert(wellOrdered(), "kComponents: a parent after its child");

// Only buttons show pictures. Checked by the picture's type, row by row: a function's address is
// no constant for the compiler once the sanitizers are on.
#define TELMAX_PICTURE_ON_A_BUTTON(name, kind, parent, place, font, bold, caption, tab, picture)               \
    static_assert(std::is_same_v<decltype(picture), std::nullptr_t> || Kind::kind == Kind::Button              \
                      || Kind::kind == Kind::ToolButton,                                                        \
                  #name ": a picture on something that is not a button");
TELMAX_COMPONENTS(TELMAX_PICTURE_ON_A_BUTTON)
#undef TELMAX_PICTURE_ON_A_BUTTON

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
