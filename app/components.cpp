#include "app/components.h"

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

// clang-format off
const std::array<Component, 27> kComponents = {{
    {"lblID",       Kind::Label,       nullptr,     {8, 125, 49, 22},    13, false, "ID :",                          0},
    {"lblBaudRate", Kind::Label,       nullptr,     {8, 197, 153, 22},   13, false, "Baud Rate :",                   0},
    {"btnScan",     Kind::Button,      nullptr,     {8, 78, 345, 33},     0, true,  "&Scan Module",                  1},
    {"pnSerial",    Kind::Panel,       nullptr,     {8, 48, 169, 28},    16, true,  "S/N : ________",                0},
    {"sbID",        Kind::ScrollBar,   nullptr,     {104, 123, 249, 23},  0, true,  "",                              2},
    {"btnID",       Kind::Button,      nullptr,     {8, 150, 345, 33},    0, true,  "Set Module &ID",                3},
    {"cmbBaudRate", Kind::ComboBox,    nullptr,     {168, 192, 161, 28}, 16, true,  "",                              4},
    {"btnBaudRate", Kind::Button,      nullptr,     {8, 222, 345, 33},    0, true,  "Set Module &Baud Rate (Reset)", 5},
    {"pnVersion",   Kind::Panel,       nullptr,     {184, 48, 169, 28},  16, true,  "VER : __.__-__",                0},
    {"btnProcess",  Kind::Button,      nullptr,     {8, 336, 345, 33},    0, true,  "&Process DIDO",                 6},
    {"pnID",        Kind::Panel,       nullptr,     {64, 122, 33, 25},   16, true,  "__",                            0},
    {"pnMsg",       Kind::Panel,       nullptr,     {8, 4, 345, 40},     16, true,  "Start Scan Module",             0},
    {"shComm",      Kind::Shape,       "pnMsg",     {311, 9, 23, 20},     0, true,  "",                              0},
    {"gbDefault",   Kind::GroupBox,    nullptr,     {360, 4, 193, 293},   0, true,  "Factory Setting",               0},
    {"pcDefault",   Kind::PageControl, "gbDefault", {6, 27, 182, 255},   16, false, "",                              8},
    {"tsDefault",   Kind::TabSheet,    "pcDefault", {},                   0, true,  "Default",                       0},
    {"btnFactory",  Kind::ToolButton,  "tsDefault", {4, 6, 165, 211},    16, true,  "(Factory &Default)",            9},
    {"btnExit",     Kind::Button,      nullptr,     {360, 336, 193, 33},  0, true,  "&Exit",                         7},
    {"btnEng",      Kind::Button,      nullptr,     {359, 304, 62, 24},  13, false, "English",                      10},
    {"btnGB",       Kind::Button,      nullptr,     {426, 304, 62, 24},  11, false, "",                             11},
    {"btnBIG5",     Kind::Button,      nullptr,     {492, 304, 62, 24},  11, false, "",                             12},
    // One pixel wider than the client area; the window cuts that pixel off.
    {"pnVOREX",     Kind::Panel,       nullptr,     {0, 373, 561, 21},    0, false, "",                              0},
    {"pnStatus",    Kind::Panel,       nullptr,     {8, 264, 169, 28},   16, true,  "",                              0},
    {"edText",      Kind::LineEdit,    nullptr,     {184, 264, 169, 28},  0, true,  "VOREX PRINT TEST.",            13},
    {"btnPrint",    Kind::Button,      nullptr,     {184, 298, 169, 33},  0, true,  "Print Text",                   14},
    {"btnStatus",   Kind::Button,      nullptr,     {8, 298, 169, 33},    0, true,  "Get Print Status",             15},
    {"chkLock",     Kind::CheckBox,    nullptr,     {336, 196, 17, 17},   0, true,  "chkLock",                      16},
}};
// clang-format on

QFont windowFont(int pixelSize, bool bold)
{
    QFont font;
    font.setFamilies({QStringLiteral("MS Sans Serif"), QStringLiteral("Liberation Sans"),
                      QStringLiteral("DejaVu Sans")});
    font.setPixelSize(pixelSize);
    font.setBold(bold);
    return font;
}

namespace {

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
