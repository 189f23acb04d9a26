#pragma once
// The button pictures and the window icon, drawn here rather than kept as binaries.
// Each is a 16-colour picture whose bottom-left pixel's colour is transparent, so the
// button face shows through. Drawing text needs a QGuiApplication.

#include <QImage>
#include <QVector>
#include <QRgb>

namespace pictures {

// The sixteen colours every picture is reduced to (the classic VGA set).
const QVector<QRgb> &palette16();

QImage magnifier();   // 16 x 16, btnScan
QImage dial();        // 16 x 16, btnID
QImage telephone();   // 16 x 16, btnBaudRate
QImage module();      // 16 x 16, btnStatus and btnPrint
QImage bars();        // 32 x 20, btnProcess
QImage factory();     // 100 x 50, btnFactory
QImage simplified();  // 34 x 16, btnGB
QImage traditional(); // 34 x 16, btnBIG5
QImage windowIcon();  // 16 x 16

// A drawing reduced to the sixteen colours, with its bottom-left colour made transparent.
QImage finish(const QImage &drawing);

} // namespace pictures
