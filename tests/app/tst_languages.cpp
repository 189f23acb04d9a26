// The three languages: the texts FormShow puts on the window, the language derived from the
// store at start, and the language buttons with what they remember.

#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QToolButton>

#include "texts/ui_text.h"
#include "app/widgets.h"
#include "ops/state.h"
#include "settings/settings.h"
#include "tests/app/window_test.h"

using testsupport::processStore;
using windowtest::part;

namespace {

// The 17 captions in FormShow's order.
QStringList captions(const TfrmModule &w)
{
    return {w.windowTitle(),
            part<Panel>(w, "pnVOREX")->text(),
            part<Panel>(w, "pnMsg")->text(),
            part<Panel>(w, "pnSerial")->text(),
            part<Panel>(w, "pnVersion")->text(),
            part<QLabel>(w, "lblID")->text(),
            part<QLabel>(w, "lblBaudRate")->text(),
            part<QPushButton>(w, "btnScan")->text(),
            part<QPushButton>(w, "btnID")->text(),
            part<QPushButton>(w, "btnBaudRate")->text(),
            part<QPushButton>(w, "btnStatus")->text(),
            part<QPushButton>(w, "btnPrint")->text(),
            part<QPushButton>(w, "btnProcess")->text(),
            part<QGroupBox>(w, "gbDefault")->title(),
            part<QTabWidget>(w, "pcDefault")->tabText(0),
            part<QToolButton>(w, "btnFactory")->text(),
            part<QPushButton>(w, "btnExit")->text()};
}

const QStringList kEnglish = {
    "VOREX TELMAX-3Q Module Config V3.20-01",
    "VOREX Technology Corp.   www.vorex.example",
    "Start Scan Module!",
    "S/N : ________",
    "VER : __.__-__",
    "ID:",
    "BaudRate:",
    "Scan Module",
    "Set Module ID",
    "Set Module Baud Rate (Reset)",
    "Get Status",
    "Print Text",
    "Process Print",
    "Quick Setting",
    "Default",
    "(Factory Default)",
    "Exit",
};

const QStringList kSimplified = {
    "VOREX TELMAX-3Q 印表机模组设定程式 V3.20-01",
    "VOREX股份有限公司   www.vorex.example",
    "请先扫描模组!",
    "序号 : ________",
    "版本 : __.__-__",
    "编号:",
    "通讯速度:",
    "扫描模组",
    "设定模组编号",
    "设定通讯速度(重置)",
    "读取状态",
    "列印文字",
    "列印连线",
    "快速设定",
    "预设",
    "(出厂预设)",
    "结束",
};

const QStringList kTraditional = {
    "VOREX TELMAX-3Q 印表機模組設定程式 V3.20-01",
    "VOREX股份有限公司   www.vorex.example",
    "請先掃描模組!",
    "序號 : ________",
    "版本 : __.__-__",
    "編號:",
    "通訊速度:",
    "掃描模組",
    "設定模組編號",
    "設定通訊速度(重置)",
    "讀取狀態",
    "列印文字",
    "列印連線",
    "快速設定",
    "預設",
    "(出廠預設)",
    "結束",
};

} // namespace

class TestLanguages : public QObject {
    Q_OBJECT

private slots:
    void init() { processStore().clear(); }

    void textsAtStart_data()
    {
        QTest::addColumn<QByteArray>("store");
        QTest::addColumn<QStringList>("expected");
        QTest::addColumn<int>("index");
        QTest::addColumn<QString>("flag");
        QTest::newRow("nothing stored") << QByteArray() << kEnglish << 0 << "English";
        QTest::newRow("English") << QByteArray("[General]\nLanguageFlag=English\n") << kEnglish << 0 << "English";
        QTest::newRow("simplified") << QByteArray("[General]\nLanguageFlag=ChineseGB\n") << kSimplified << 1
                                    << "ChineseGB";
        QTest::newRow("traditional, nothing else stored")
            << QByteArray("[General]\nLanguageFlag=ChineseBIG5\n") << kTraditional << 2 << "ChineseBIG5";
        QTest::newRow("lower-case flag is English and kept")
            << QByteArray("[General]\nLanguageFlag=chinesegb\n") << kEnglish << 0 << "chinesegb";
        QTest::newRow("flag with a trailing space is English")
            << QByteArray("[General]\nLanguageFlag=\"ChineseBIG5 \"\n") << kEnglish << 0 << "ChineseBIG5 ";
        QTest::newRow("unreadable earlier value leaves English")
            << QByteArray("[General]\nScanCommNo=x\nLanguageFlag=ChineseBIG5\n") << kEnglish << 0 << "English";
    }

    void textsAtStart()
    {
        QFETCH(QByteArray, store);
        QFETCH(QStringList, expected);
        QFETCH(int, index);
        QFETCH(QString, flag);
        if (!store.isEmpty())
            QVERIFY(processStore().write(store));

        TfrmModule window;
        QCOMPARE(LanguageIndex, index);
        QCOMPARE(LanguageFlag, flag);
        // Nothing of the language is applied before the window is shown.
        QCOMPARE(window.windowTitle(), QStringLiteral("VOREX TELMAX-3Q Module Config V3.20-01"));
        QCOMPARE(part<QPushButton>(window, "btnScan")->text(), QStringLiteral("&Scan Module"));

        window.show();
        QCOMPARE(captions(window), expected);
        // FormShow leaves these alone in every language.
        QCOMPARE(part<QPushButton>(window, "btnEng")->text(), QStringLiteral("English"));
        QCOMPARE(part<QPushButton>(window, "btnGB")->text(), QString());
        QCOMPARE(part<QPushButton>(window, "btnBIG5")->text(), QString());
        QCOMPARE(part<Panel>(window, "pnID")->text(), QStringLiteral("__"));
        QCOMPARE(part<QLineEdit>(window, "edText")->text(), QStringLiteral("VOREX PRINT TEST."));
        // Showing writes nothing.
        QCOMPARE(processStore().bytes(), store);
    }

    void buttons_data()
    {
        QTest::addColumn<QString>("button");
        QTest::addColumn<int>("index");
        QTest::addColumn<QString>("flag");
        QTest::addColumn<QStringList>("expected");
        QTest::newRow("btnGB") << "btnGB" << 1 << "ChineseGB" << kSimplified;
        QTest::newRow("btnBIG5") << "btnBIG5" << 2 << "ChineseBIG5" << kTraditional;
        QTest::newRow("btnEng") << "btnEng" << 0 << "English" << kEnglish;
    }

    void buttons()
    {
        QFETCH(QString, button);
        QFETCH(int, index);
        QFETCH(QString, flag);
        QFETCH(QStringList, expected);
        // A store with other values and a flag the buttons must replace.
        QVERIFY(processStore().write("[General]\nScanCommNo=4\nScanBaudRate=\"9600,e,8,1\"\nScanBaudRateNo=3\n"
                                     "LanguageFlag=chinesegb\n"));
        TfrmModule window;
        window.show();

        // As after a successful scan: these must give way to the placeholders.
        ModuleFound = true;
        window.setPanelText(ops::Field::Serial, QStringLiteral("S/N : 12345678"));
        window.setPanelText(ops::Field::Version, QStringLiteral("VER : 03.20-01"));
        window.setPanelText(ops::Field::Msg, QStringLiteral("Get Module Info Ok. (COM : #4)"));
        window.setIdPosition(23);

        QTest::mouseClick(window.findChild<QPushButton *>(button), Qt::LeftButton);
        QCOMPARE(LanguageIndex, index);
        QCOMPARE(LanguageFlag, flag);
        QCOMPARE(captions(window), expected);
        QVERIFY(ModuleFound);
        QCOMPARE(part<Panel>(window, "pnID")->text(), QStringLiteral("23"));
        QCOMPARE(processStore().value(QStringLiteral("LanguageFlag")).toString(), flag);
        QCOMPARE(processStore().value(QStringLiteral("ScanCommNo")).toString(), QStringLiteral("4"));
        QCOMPARE(processStore().value(QStringLiteral("ScanBaudRate")).toString(), QStringLiteral("9600,e,8,1"));

        // Pressing it again saves and applies again, whatever the store holds meanwhile.
        QVERIFY(processStore().write("[General]\nLanguageFlag=Other\n"));
        window.setPanelText(ops::Field::Msg, QStringLiteral("something else"));
        QTest::mouseClick(window.findChild<QPushButton *>(button), Qt::LeftButton);
        QCOMPARE(captions(window), expected);
        QCOMPARE(processStore().value(QStringLiteral("LanguageFlag")).toString(), flag);

        // And the next start comes up in it.
        TfrmModule next;
        QCOMPARE(LanguageIndex, index);
        next.show();
        QCOMPARE(captions(next), expected);
        ModuleFound = false;
    }

    void messagesFollowTheCurrentLanguage()
    {
        TfrmModule window;
        window.show();
        QCOMPARE(window.uiText(Text::NotFound), QStringLiteral("Module Not Find"));
        QTest::mouseClick(part<QPushButton>(window, "btnBIG5"), Qt::LeftButton);
        QCOMPARE(window.uiText(Text::NotFound), QStringLiteral("模組沒有連線"));
        QCOMPARE(window.uiText(Text::CancelProcess), QStringLiteral("取消連線(空白鍵)"));
        QTest::mouseClick(part<QPushButton>(window, "btnGB"), Qt::LeftButton);
        QCOMPARE(window.uiText(Text::InfoOk), QStringLiteral("读取模组资讯完成. (串口"));
        QTest::mouseClick(part<QPushButton>(window, "btnEng"), Qt::LeftButton);
        QCOMPARE(window.uiText(Text::PrintError), QStringLiteral("Print Text Error"));
    }
};

TELMAX_TEST_MAIN_IN_TEMPORARY_STORE(TestLanguages)
#include "tst_languages.moc"
