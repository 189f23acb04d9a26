// The drawing checks of win_window_check and the click through the system's input queue.
#include "win_window.h"

#include <QAbstractButton>
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QImage>
#include <QPainter>
#include <QPixmap>
#include <QScreen>

#include <windows.h>

#include "app/frm_module.h"

namespace winwindow {

namespace {

QImage render(const QString &text, const QFont &font)
{
    QImage image(160, 40, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter p(&image);
    p.setFont(font);
    p.setPen(Qt::black);
    p.drawText(image.rect(), Qt::AlignLeft | Qt::AlignVCenter, text);
    return image;
}

int inkedPixels(const QImage &image)
{
    int count = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            count += image.pixel(x, y) != qRgb(255, 255, 255);
    return count;
}

// The button's area as the screen has it, read back through the system.
QImage onScreen(const TfrmModule &window, const QAbstractButton &button)
{
    const QPoint at = button.mapTo(&window, QPoint(0, 0));
    return window.screen()->grabWindow(window.winId(), at.x(), at.y(), button.width(), button.height()).toImage();
}

void paintNow(QAbstractButton &button)
{
    button.repaint();
    QCoreApplication::processEvents();
}

} // namespace

bool saveScreenshot(const TfrmModule &window, const QString &shots, const QString &file)
{
    QDir().mkpath(shots);
    const QPixmap shot = window.screen()->grabWindow(window.winId());
    return !shot.isNull() && shot.save(shots + QLatin1Char('/') + file);
}

bool glyphsDrawn(const QAbstractButton &button, QString &detail)
{
    const QString caption = button.text();
    // A character no font has: what a missing glyph looks like in this font.
    const QImage missing = render(QString(QChar(0xE000)), button.font());
    QList<QImage> drawn;
    for (QChar c : caption) {
        const QImage image = render(QString(c), button.font());
        if (inkedPixels(image) <= 20 || image == missing) {
            detail = QStringLiteral("no glyph for ") + c;
            return false;
        }
        // Two different characters drawn alike are boxes of some font.
        for (int i = 0; i < drawn.size(); ++i)
            if (drawn[i] == image && caption[i] != c) {
                detail = QStringLiteral("%1 and %2 drawn alike").arg(caption[i]).arg(c);
                return false;
            }
        drawn << image;
    }
    detail = caption;
    return true;
}

bool captionNotBoxesOnScreen(TfrmModule &window, QAbstractButton &button, QString &detail)
{
    const QString caption = button.text();
    paintNow(button);
    const QImage shown = onScreen(window, button);
    button.setText(QString(caption.size(), QChar(0xE000)));
    paintNow(button);
    const QImage boxes = onScreen(window, button);
    button.setText(caption);
    paintNow(button);
    detail = QStringLiteral("%1 x %2 px").arg(shown.width()).arg(shown.height());
    return !shown.isNull() && !boxes.isNull() && shown != boxes;
}

bool clickThroughSystem(QAbstractButton &button)
{
    const HWND window = reinterpret_cast<HWND>(button.window()->winId());
    SetForegroundWindow(window);
    const QPoint centre = button.mapToGlobal(button.rect().center());
    if (!SetCursorPos(centre.x(), centre.y()))
        return false;
    INPUT input[2] = {};
    input[0].type = input[1].type = INPUT_MOUSE;
    input[0].mi.dwFlags = MOUSEEVENTF_LEFTDOWN;
    input[1].mi.dwFlags = MOUSEEVENTF_LEFTUP;
    bool clicked = false;
    const auto seen = QObject::connect(&button, &QAbstractButton::clicked, [&clicked] { clicked = true; });
    if (SendInput(2, input, sizeof(INPUT)) == 2) {
        QElapsedTimer waited;
        waited.start();
        while (!clicked && waited.elapsed() < 5000) {
            QCoreApplication::processEvents();
            Sleep(10);
        }
    }
    QObject::disconnect(seen);
    return clicked;
}

} // namespace winwindow
