#pragma once
// The window's components as one table: name, kind, parent, place, font, first caption, tab
// order and picture. The layout creates the widgets from it, the window declares its members
// from it and the tests find the components by it; what a component has beyond these (colours,
// ranges) the window adds by name.

#include <QRect>
#include <QString>
#include <iterator>
#include <string_view>

#include "app/pictures.h"

class QCheckBox;
class QComboBox;
class QFont;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTabWidget;
class QWidget;
class Panel;
class PictureAboveButton;
class ScrollBar;
class Shape;

namespace app {

enum class Kind { Label, Button, ToolButton, Panel, ScrollBar, ComboBox, CheckBox, LineEdit, GroupBox, PageControl, TabSheet, Shape };

// The class a component of each kind is made as, and the type of the window's member for it.
template <Kind> struct WidgetOf;
template <> struct WidgetOf<Kind::Label> { using type = QLabel; };
template <> struct WidgetOf<Kind::Button> { using type = QPushButton; };
template <> struct WidgetOf<Kind::ToolButton> { using type = PictureAboveButton; };
template <> struct WidgetOf<Kind::Panel> { using type = Panel; };
template <> struct WidgetOf<Kind::ScrollBar> { using type = ScrollBar; };
template <> struct WidgetOf<Kind::ComboBox> { using type = QComboBox; };
template <> struct WidgetOf<Kind::CheckBox> { using type = QCheckBox; };
template <> struct WidgetOf<Kind::LineEdit> { using type = QLineEdit; };
template <> struct WidgetOf<Kind::GroupBox> { using type = QGroupBox; };
template <> struct WidgetOf<Kind::PageControl> { using type = QTabWidget; };
template <> struct WidgetOf<Kind::TabSheet> { using type = QWidget; };
template <> struct WidgetOf<Kind::Shape> { using type = Shape; };

// The components that are widgets, in the order they are made (tmrBusy is a timer, made apart).
// X(name, kind, parent, place, font, bold, caption, tab order, picture):
//   parent    nullptr: the form itself
//   place     in the parent's client area; a tab sheet takes its page control's
//   font      pixel size; 0: the form's font
//   caption   before the first show puts the texts of the language on
//   tab order 1, 2, ...; 0: not reached by Tab
//   picture   drawn by pictures::, shown at its own size; nullptr: none
// One list, expanded where each thing is needed: kComponents below, TfrmModule's members.
// clang-format off
#define TELMAX_COMPONENTS(X) \
    X(lblID,       Label,       nullptr,     QRect(8, 125, 49, 22),    13, false, "ID :",                           0, nullptr)               \
    X(lblBaudRate, Label,       nullptr,     QRect(8, 197, 153, 22),   13, false, "Baud Rate :",                    0, nullptr)               \
    X(btnScan,     Button,      nullptr,     QRect(8, 78, 345, 33),     0, true,  "&Scan Module",                   1, pictures::magnifier)   \
    X(pnSerial,    Panel,       nullptr,     QRect(8, 48, 169, 28),    16, true,  "S/N : ________",                 0, nullptr)               \
    X(sbID,        ScrollBar,   nullptr,     QRect(104, 123, 249, 23),  0, true,  "",                               2, nullptr)               \
    X(btnID,       Button,      nullptr,     QRect(8, 150, 345, 33),    0, true,  "Set Module &ID",                 3, pictures::dial)        \
    X(cmbBaudRate, ComboBox,    nullptr,     QRect(168, 192, 161, 28), 16, true,  "",                               4, nullptr)               \
    X(btnBaudRate, Button,      nullptr,     QRect(8, 222, 345, 33),    0, true,  "Set Module &Baud Rate (Reset)",  5, pictures::telephone)   \
    X(pnVersion,   Panel,       nullptr,     QRect(184, 48, 169, 28),  16, true,  "VER : __.__-__",                 0, nullptr)               \
    X(btnProcess,  Button,      nullptr,     QRect(8, 336, 345, 33),    0, true,  "&Process DIDO",                  6, pictures::bars)        \
    X(pnID,        Panel,       nullptr,     QRect(64, 122, 33, 25),   16, true,  "__",                             0, nullptr)               \
    X(pnMsg,       Panel,       nullptr,     QRect(8, 4, 345, 40),     16, true,  "Start Scan Module",              0, nullptr)               \
    X(shComm,      Shape,       "pnMsg",     QRect(311, 9, 23, 20),     0, true,  "",                               0, nullptr)               \
    X(gbDefault,   GroupBox,    nullptr,     QRect(360, 4, 193, 293),   0, true,  "Factory Setting",                0, nullptr)               \
    X(pcDefault,   PageControl, "gbDefault", QRect(6, 27, 182, 255),   16, false, "",                               8, nullptr)               \
    X(tsDefault,   TabSheet,    "pcDefault", QRect(),                   0, true,  "Default",                        0, nullptr)               \
    X(btnFactory,  ToolButton,  "tsDefault", QRect(4, 6, 165, 211),    16, true,  "(Factory &Default)",             9, pictures::factory)     \
    X(btnExit,     Button,      nullptr,     QRect(360, 336, 193, 33),  0, true,  "&Exit",                          7, nullptr)               \
    X(btnEng,      Button,      nullptr,     QRect(359, 304, 62, 24),  13, false, "English",                       10, nullptr)               \
    X(btnGB,       Button,      nullptr,     QRect(426, 304, 62, 24),  11, false, "",                              11, pictures::simplified)  \
    X(btnBIG5,     Button,      nullptr,     QRect(492, 304, 62, 24),  11, false, "",                              12, pictures::traditional) \
    /* One pixel wider than the client area; the window cuts that pixel off. */                                                               \
    X(pnVOREX,     Panel,       nullptr,     QRect(0, 373, 561, 21),    0, false, "",                               0, nullptr)               \
    X(pnStatus,    Panel,       nullptr,     QRect(8, 264, 169, 28),   16, true,  "",                               0, nullptr)               \
    X(edText,      LineEdit,    nullptr,     QRect(184, 264, 169, 28),  0, true,  "VOREX PRINT TEST.",             13, nullptr)               \
    X(btnPrint,    Button,      nullptr,     QRect(184, 298, 169, 33),  0, true,  "Print Text",                    14, pictures::module)      \
    X(btnStatus,   Button,      nullptr,     QRect(8, 298, 169, 33),    0, true,  "Get Print Status",              15, pictures::module)      \
    X(chkLock,     CheckBox,    nullptr,     QRect(336, 196, 17, 17),   0, true,  "chkLock",                       16, nullptr)
// clang-format on

struct Component {
    const char *name;
    Kind kind;
    const char *parent;
    QRect geometry;
    int fontPixels;
    bool bold;
    const char *caption;
    int tabOrder;
    QImage (*picture)();
};

#define TELMAX_COMPONENT_ROW(name, kind, parent, place, font, bold, caption, tab, picture) \
    Component{#name, Kind::kind, parent, place, font, bold, caption, tab, picture},
inline constexpr Component kComponents[] = {TELMAX_COMPONENTS(TELMAX_COMPONENT_ROW)};
#undef TELMAX_COMPONENT_ROW

// The position in kComponents of the component called name; std::size(kComponents) when there is
// none. A position, not an address, so the compiler can use it with the sanitizers on too.
constexpr std::size_t componentIndex(std::string_view name)
{
    std::size_t i = 0;
    while (i < std::size(kComponents) && name != kComponents[i].name)
        ++i;
    return i;
}

// The window font: "MS Sans Serif" (or the family given), with a family Linux has at the same
// pixel size.
QFont windowFont(int pixelSize, bool bold, const QString &family = QStringLiteral("MS Sans Serif"));

// Makes every component of the table on form: named, placed, with its font, caption and
// picture, and the tab order of the table.
void createComponents(QWidget &form);

} // namespace app
