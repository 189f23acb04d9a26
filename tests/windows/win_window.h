#pragma once
// What the parts of win_window_check share: what it was told about the module, the window's
// components by name, and the drawing checks (win_window_drawing.cpp).

#include <QString>
#include <QWidget>

class QAbstractButton;
class TfrmModule;

namespace winwindow {

// The module behind the COM port, as run_app_under_wine.sh started it.
struct Module {
    int port = 0;
    QString serial, version, id, statusText;
    QString paper;   // the file the simulator prints to, as Windows names it (Z:\...)
    QString shots;   // where the screenshots go
};

template <typename T>
T *part(const QWidget &window, const char *name)
{
    return window.findChild<T *>(QLatin1String(name));
}

// The window as the screen shows it (read back through the system, not Qt's own rendering),
// saved as shots/file; false when it cannot be grabbed or saved.
bool saveScreenshot(const TfrmModule &window, const QString &shots, const QString &file);
// Every character of the button's caption is drawn with its own glyph in the button's font:
// not blank, and not the box a character without a glyph gets.
bool glyphsDrawn(const QAbstractButton &button, QString &detail);
// The button as the screen shows it differs from the same button with a caption of as many
// characters that no font has: Chinese captions are not drawn as boxes.
bool captionNotBoxesOnScreen(TfrmModule &window, QAbstractButton &button, QString &detail);
// A click as the user makes it: the mouse pressed and released over the button's centre through
// the system's input queue (SendInput). False when the input could not be sent.
bool clickThroughSystem(QAbstractButton &button);

} // namespace winwindow
