// Renders the window in each language to PNG files in the build tree, for people to look at,
// and checks that Chinese captions reach the screen as characters, not missing-glyph boxes.

#include <QPainter>
#include <QPushButton>

#include "app/pictures.h"
#include "tests/app/window_test.h"

using testsupport::processStore;
using windowtest::part;

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

// The colours a picture uses, transparent pixels left out.
QSet<QRgb> coloursOf(const QImage &picture)
{
    QSet<QRgb> colours;
    for (int y = 0; y < picture.height(); ++y)
        for (int x = 0; x < picture.width(); ++x)
            if (qAlpha(picture.pixel(x, y)) == 255)
                colours.insert(picture.pixel(x, y));
    return colours;
}

} // namespace

class TestScreenshots : public QObject {
    Q_OBJECT

private slots:
    void init() { processStore().clear(); }

    void window_data()
    {
        QTest::addColumn<QString>("button");
        QTest::addColumn<QString>("file");
        QTest::addColumn<QString>("chineseCaption");
        QTest::addColumn<bool>("testRunning");
        QTest::newRow("English") << "btnEng" << "window-en.png" << "" << false;
        QTest::newRow("simplified") << "btnGB" << "window-gb.png" << "扫描模组" << false;
        QTest::newRow("traditional") << "btnBIG5" << "window-big5.png" << "掃描模組" << false;
        // The controls as the continuous print test leaves them.
        QTest::newRow("test running") << "btnEng" << "window-en-test-running.png" << "" << true;
    }

    void window()
    {
        QFETCH(QString, button);
        QFETCH(QString, file);
        QFETCH(QString, chineseCaption);
        QFETCH(bool, testRunning);

        TfrmModule window;
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QTest::mouseClick(window.findChild<QPushButton *>(button), Qt::LeftButton);
        if (testRunning) {
            for (int c = int(ops::Control::btnExit); c <= int(ops::Control::gbDefault); ++c)
                window.setControlEnabled(ops::Control(c), false);
            for (int language = 0; language < kLanguageCount; ++language)
                window.setLanguageButtonEnabled(language, false);
            window.setProcessCaption(window.uiText(Text::CancelProcess));
        }

        const QImage shot = window.grab().toImage();
        QCOMPARE(shot.size() / shot.devicePixelRatio(), QSize(560, 396));
        const QString path = QStringLiteral(TELMAX_SCREENSHOT_DIR "/") + file;
        QVERIFY(shot.save(path));
        qInfo("%s", qPrintable(path));

        if (chineseCaption.isEmpty())
            return;
        auto *scan = part<QPushButton>(window, "btnScan");
        QCOMPARE(scan->text(), chineseCaption);
        // Each character against a character no font has: the box must not be what we get.
        const QImage missing = render(QString(QChar(0xE000)), scan->font());
        for (QChar c : chineseCaption) {
            const QImage drawn = render(QString(c), scan->font());
            QVERIFY2(inkedPixels(drawn) > 20, qPrintable(QString(c)));
            QVERIFY2(drawn != missing, qPrintable(QString(c)));
        }
        const QImage allMissing = render(QString(chineseCaption.size(), QChar(0xE000)), scan->font());
        QVERIFY(render(chineseCaption, scan->font()) != allMissing);
    }

    void pictures_data()
    {
        QTest::addColumn<QImage>("picture");
        QTest::addColumn<QSize>("size");
        QTest::addColumn<QList<QRgb>>("mustShow");
        const QRgb red = qRgb(255, 0, 0), blue = qRgb(0, 0, 255), black = qRgb(0, 0, 0),
                   grey = qRgb(128, 128, 128), silver = qRgb(192, 192, 192);
        QTest::newRow("magnifier") << pictures::magnifier() << QSize(16, 16) << QList<QRgb>{black};
        QTest::newRow("dial") << pictures::dial() << QSize(16, 16) << QList<QRgb>{black};
        QTest::newRow("telephone") << pictures::telephone() << QSize(16, 16) << QList<QRgb>{black};
        QTest::newRow("module") << pictures::module() << QSize(16, 16) << QList<QRgb>{silver};
        QTest::newRow("bars") << pictures::bars() << QSize(32, 20) << QList<QRgb>{black, grey};
        QTest::newRow("factory") << pictures::factory() << QSize(100, 50) << QList<QRgb>{blue, red, silver};
        QTest::newRow("simplified") << pictures::simplified() << QSize(34, 16) << QList<QRgb>{red};
        QTest::newRow("traditional") << pictures::traditional() << QSize(34, 16) << QList<QRgb>{red};
        QTest::newRow("window icon") << pictures::windowIcon() << QSize(16, 16) << QList<QRgb>{silver};
    }

    void pictures()
    {
        QFETCH(QImage, picture);
        QFETCH(QSize, size);
        QFETCH(QList<QRgb>, mustShow);
        QCOMPARE(picture.size(), size);
        // The bottom-left colour (white) is see-through.
        QCOMPARE(qAlpha(picture.pixel(0, size.height() - 1)), 0);
        const QSet<QRgb> colours = coloursOf(picture);
        QVERIFY(colours.size() <= 16);
        const QList<QRgb> sixteen = {
            qRgb(0, 0, 0),       qRgb(128, 0, 0),   qRgb(0, 128, 0),   qRgb(128, 128, 0),
            qRgb(0, 0, 128),     qRgb(128, 0, 128), qRgb(0, 128, 128), qRgb(128, 128, 128),
            qRgb(192, 192, 192), qRgb(255, 0, 0),   qRgb(0, 255, 0),   qRgb(255, 255, 0),
            qRgb(0, 0, 255),     qRgb(255, 0, 255), qRgb(0, 255, 255), qRgb(255, 255, 255)};
        for (QRgb colour : colours)
            QVERIFY2(sixteen.contains(colour), qPrintable(QString::number(colour, 16)));
        for (QRgb colour : mustShow)
            QVERIFY2(colours.contains(colour), qPrintable(QString::number(colour, 16)));
        // The picture is mostly drawn, not mostly empty, and not all one colour.
        int opaque = 0;
        for (int y = 0; y < size.height(); ++y)
            for (int x = 0; x < size.width(); ++x)
                opaque += qAlpha(picture.pixel(x, y)) == 255;
        QVERIFY(opaque >= size.width() * size.height() / 10);
        QVERIFY(colours.size() >= 2 || mustShow.size() == 1);
    }
};

TELMAX_TEST_MAIN_IN_TEMPORARY_STORE(TestScreenshots)
#include "tst_screenshots.moc"
