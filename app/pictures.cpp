#include "app/pictures.h"

#include "app/colours.h"
#include "ops/start_up.h"

#include <QFont>
#include <QPainter>
#include <QPolygon>

namespace pictures {

namespace {

using namespace colours;

QImage canvas(int width, int height)
{
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(kWhite);
    return image;
}

// Pixel drawing: no smoothing, so every pixel is one of the sixteen colours before reduction.
void prepare(QPainter &p)
{
    p.setRenderHint(QPainter::Antialiasing, false);
    p.setRenderHint(QPainter::TextAntialiasing, false);
}

QFont pixelFont(const QStringList &families, int pixelSize, bool bold)
{
    QFont font;
    font.setFamilies(families);
    font.setPixelSize(pixelSize);
    font.setBold(bold);
    font.setStyleStrategy(QFont::NoAntialias);
    font.setHintingPreference(QFont::PreferFullHinting);
    return font;
}

// A small grey printer module: case, paper slot, paper and a lamp.
void drawModule(QPainter &p, const QRect &box)
{
    p.setPen(kBlack);
    p.setBrush(kSilver);
    p.drawRect(box.adjusted(0, 0, -1, -1));
    p.setPen(kWhite);
    p.drawLine(box.left() + 1, box.top() + 1, box.right() - 1, box.top() + 1);
    p.drawLine(box.left() + 1, box.top() + 1, box.left() + 1, box.bottom() - 1);
    p.setPen(kGrey);
    p.drawLine(box.left() + 1, box.bottom() - 1, box.right() - 1, box.bottom() - 1);
    p.drawLine(box.right() - 1, box.top() + 1, box.right() - 1, box.bottom() - 1);
    const int slotY = box.top() + box.height() / 3;
    p.setPen(kBlack);
    p.drawLine(box.left() + 3, slotY, box.right() - 3, slotY);
    p.setPen(kGrey);
    p.drawLine(box.left() + 3, slotY + 1, box.right() - 3, slotY + 1);
    const int lamp = qMax(1, box.width() / 8);
    p.fillRect(QRect(box.right() - 2 - lamp, box.bottom() - 2 - lamp, lamp, lamp), kLime);
}

} // namespace

const QVector<QRgb> &palette16()
{
    static const QVector<QRgb> palette = {
        kBlack.rgb(),  kMaroon.rgb(), kGreen.rgb(), kOlive.rgb(),   kNavy.rgb(), kPurple.rgb(),
        kTeal.rgb(),   kGrey.rgb(),   kSilver.rgb(), kRed.rgb(),   kLime.rgb(), kYellow.rgb(),
        kBlue.rgb(),   kFuchsia.rgb(), kAqua.rgb(),  kWhite.rgb(),
    };
    return palette;
}

QImage finish(const QImage &drawing)
{
    const QImage reduced = drawing.convertToFormat(QImage::Format_Indexed8, palette16(),
                                                   Qt::ThresholdDither | Qt::AvoidDither);
    QImage picture = reduced.convertToFormat(QImage::Format_ARGB32);
    const QRgb transparent = picture.pixel(0, picture.height() - 1);
    for (int y = 0; y < picture.height(); ++y) {
        auto *line = reinterpret_cast<QRgb *>(picture.scanLine(y));
        for (int x = 0; x < picture.width(); ++x) {
            if (line[x] == transparent)
                line[x] = qRgba(0, 0, 0, 0);
        }
    }
    return picture;
}

QImage magnifier()
{
    QImage image = canvas(16, 16);
    QPainter p(&image);
    prepare(p);
    // Handle first, so the rim covers its end.
    p.setPen(QPen(kMaroon, 3, Qt::SolidLine, Qt::SquareCap));
    p.drawLine(10, 10, 13, 13);
    p.setPen(QPen(kBlack, 1));
    p.drawLine(11, 9, 14, 12);
    p.setPen(QPen(kBlack, 1));
    p.setBrush(kAqua);
    p.drawEllipse(QRect(1, 1, 10, 10));
    p.setPen(kWhite);
    p.drawLine(4, 4, 5, 3);
    p.drawPoint(4, 5);
    return finish(image);
}

QImage dial()
{
    QImage image = canvas(16, 16);
    QPainter p(&image);
    prepare(p);
    p.setPen(kBlack);
    p.setBrush(kGrey);
    p.drawEllipse(QRect(0, 0, 15, 15));
    // Finger holes around the rim, the stop at the lower right left free.
    p.setPen(Qt::NoPen);
    p.setBrush(kWhite);
    const QPoint holes[] = {{7, 2}, {10, 3}, {12, 6}, {11, 10}, {3, 10}, {2, 6}, {4, 3}};
    for (const QPoint &hole : holes)
        p.drawRect(QRect(hole, QSize(2, 2)));
    p.setBrush(kSilver);
    p.setPen(kBlack);
    p.drawEllipse(QRect(5, 5, 5, 5));
    p.setPen(kRed);
    p.drawPoint(7, 7);
    p.setPen(kYellow);
    p.drawLine(12, 13, 13, 12);
    return finish(image);
}

QImage telephone()
{
    QImage image = canvas(16, 16);
    QPainter p(&image);
    prepare(p);
    // Handset across the top.
    p.setPen(kBlack);
    p.setBrush(kBlack);
    p.drawRect(QRect(1, 2, 13, 2));
    p.drawRect(QRect(0, 3, 3, 3));
    p.drawRect(QRect(12, 3, 3, 3));
    // Body: a trapezoid with a dial in front.
    const QPolygon body({QPoint(4, 7), QPoint(11, 7), QPoint(14, 14), QPoint(1, 14)});
    p.setBrush(kMaroon);
    p.drawPolygon(body);
    p.setBrush(kSilver);
    p.drawEllipse(QRect(5, 8, 5, 5));
    p.setPen(kBlack);
    p.drawPoint(7, 10);
    return finish(image);
}

QImage module()
{
    QImage image = canvas(16, 16);
    QPainter p(&image);
    prepare(p);
    // Paper coming out of the slot.
    p.setPen(kBlack);
    p.setBrush(kWhite);
    p.drawRect(QRect(4, 0, 7, 5));
    p.setPen(kGrey);
    p.drawLine(6, 2, 9, 2);
    drawModule(p, QRect(1, 4, 14, 11));
    return finish(image);
}

QImage bars()
{
    QImage image = canvas(32, 20);
    QPainter p(&image);
    prepare(p);
    p.setPen(QPen(kGrey, 2));
    p.setBrush(kSilver);
    p.drawRect(QRect(2, 1, 28, 17));
    for (int i = 0; i < 3; ++i)
        p.fillRect(QRect(6, 4 + i * 4 + i, 20, 3), kBlack);
    return finish(image);
}

QImage factory()
{
    QImage image = canvas(100, 50);
    QPainter p(&image);
    prepare(p);
    drawModule(p, QRect(2, 3, 24, 20));
    const QStringList latin = {QStringLiteral("Liberation Sans"), QStringLiteral("DejaVu Sans")};
    p.setFont(pixelFont(latin, 18, true));
    p.setPen(kBlue);
    p.drawText(QRect(28, 0, 72, 25), Qt::AlignCenter, QStringLiteral("VOREX"));
    p.setFont(pixelFont(latin, 12, true));
    p.setPen(kRed);
    p.drawText(QRect(0, 25, 100, 12), Qt::AlignCenter, ops::lineSettingNames().at(ops::kDefaultLineSetting));
    p.drawText(QRect(0, 37, 100, 12), Qt::AlignCenter, QStringLiteral("ID:01 Hold"));
    return finish(image);
}

namespace {

QImage languagePicture(const QString &text)
{
    QImage image = canvas(34, 16);
    QPainter p(&image);
    prepare(p);
    p.setFont(pixelFont({QStringLiteral("Noto Sans CJK TC"), QStringLiteral("Noto Sans CJK SC"),
                         QStringLiteral("Noto Sans CJK JP")},
                        15, false));
    p.setPen(kRed);
    p.drawText(QRect(0, 0, 34, 16), Qt::AlignCenter, text);
    return finish(image);
}

} // namespace

QImage simplified()
{
    return languagePicture(QStringLiteral("簡体"));
}

QImage traditional()
{
    return languagePicture(QStringLiteral("繁體"));
}

QImage windowIcon()
{
    QImage image = canvas(16, 16);
    QPainter p(&image);
    prepare(p);
    drawModule(p, QRect(0, 3, 16, 12));
    p.fillRect(QRect(3, 9, 6, 3), kNavy);
    p.fillRect(QRect(4, 10, 4, 1), kYellow);
    return finish(image);
}

} // namespace pictures
