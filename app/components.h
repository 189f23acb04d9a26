#pragma once
// The window's components as one table: name, kind, parent, place, font, first caption and tab
// order. The layout creates the widgets from it; what a component has beyond these (colours,
// pictures, ranges) the window adds by name.

#include <QRect>
#include <array>

class QFont;
class QWidget;

namespace app {

enum class Kind { Label, Button, ToolButton, Panel, ScrollBar, ComboBox, CheckBox, LineEdit, GroupBox, PageControl, TabSheet, Shape };

struct Component {
    const char *name;
    Kind kind;
    const char *parent;   // nullptr: the form itself
    QRect geometry;       // in the parent's client area; a tab sheet takes its page control's
    int fontPixels;       // 0: the form's font
    bool bold;
    const char *caption;  // before the first show puts the texts of the language on
    int tabOrder;         // 1, 2, ...; 0: not reached by Tab
};

// The 27 components that are widgets, in the order they are made (the 28th, tmrBusy, is a timer).
extern const std::array<Component, 27> kComponents;

// The window font: "MS Sans Serif", with a family Linux has at the same pixel size.
QFont windowFont(int pixelSize, bool bold);

// Makes every component of the table on form: named, placed, with its font and caption, and
// the tab order of the table.
void createComponents(QWidget &form);

} // namespace app
