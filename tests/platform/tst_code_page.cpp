// The code page converters beyond printing: bytes of a code page read back as UTF-8, and the
// count of characters a code page could not hold. Expected bytes are written out.

#include <QtTest>
#include <string>

#include "platform/code_page.h"

namespace {

std::string bytes(const QByteArray &hex)
{
    return QByteArray::fromHex(hex).toStdString();
}

} // namespace

class TestCodePage : public QObject {
    Q_OBJECT

private slots:
    // A byte sequence the code page does not define, or one cut short at the end of the text,
    // must show as U+FFFD and leave the rest readable, neither dropped nor ending the text.
    void fromCodePage_data()
    {
        QTest::addColumn<QByteArray>("hex");
        QTest::addColumn<QString>("page");
        QTest::addColumn<QString>("text");
        QTest::newRow("GBK") << QByteArray("41 D6 D0 CE C4") << "GBK" << QString::fromUtf8("A\u4E2D\u6587");
        QTest::newRow("Big5") << QByteArray("A4 A4 A4 E5") << "BIG5" << QString::fromUtf8("\u4E2D\u6587");
        QTest::newRow("GBK lead byte cut short") << QByteArray("41 D6") << "GBK" << QString::fromUtf8("A\uFFFD");
        QTest::newRow("GBK byte that starts nothing") << QByteArray("41 FF D6 D0 42") << "GBK"
                                                      << QString::fromUtf8("A\uFFFD\u4E2DB");
        QTest::newRow("malformed UTF-8") << QByteArray("41 C3 28 E4 B8") << "UTF-8"
                                         << QString::fromUtf8("A\uFFFD(\uFFFD");
    }

    void fromCodePage()
    {
        QFETCH(QByteArray, hex);
        QFETCH(QString, page);
        QFETCH(QString, text);
        QCOMPARE(QString::fromStdString(platform::fromCodePage(bytes(hex), page.toStdString())), text);
    }

    // The count of replaced characters must not take in a "?" that was in the text, nor count
    // the bytes of one replaced character.
    void replacedCount_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QByteArray>("hex");
        QTest::addColumn<int>("replaced");
        QTest::newRow("held") << QString::fromUtf8("\u4E2D\u6587?") << QByteArray("D6 D0 CE C4 3F") << 0;
        QTest::newRow("Thai and Hangul") << QString::fromUtf8("\u4E2D\u0E01?\uD55C") << QByteArray("D6 D0 3F 3F 3F") << 2;
    }

    void replacedCount()
    {
        QFETCH(QString, text);
        QFETCH(QByteArray, hex);
        QFETCH(int, replaced);
        int count = -1;
        QCOMPARE(QByteArray::fromStdString(platform::toCodePage(text.toStdString(), "GBK", &count)).toHex(' ').toUpper(),
                 hex);
        QCOMPARE(count, replaced);
        // Callers that do not ask keep working.
        QCOMPARE(QByteArray::fromStdString(platform::toCodePage(text.toStdString(), "GBK")).toHex(' ').toUpper(), hex);
    }
};

QTEST_GUILESS_MAIN(TestCodePage)
#include "tst_code_page.moc"
