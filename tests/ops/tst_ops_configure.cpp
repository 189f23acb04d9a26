// Set Module ID, Set Module BaudRate and Factory Default inside the frame.

#include <QtTest>

#include "ops/operations.h"
#include "ops/state.h"
#include "ops_fakes.h"
#include "settings/settings.h"
#include "support/temporary_store.h"

using namespace opstest;
using testsupport::processStore;
using testsupport::hexBytes;

class TestOpsConfigure : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { QVERIFY(processStore().isValid()); }

    void setIdUsesSerialOfSameTry()
    {
        Fixture f;
        moduleKnown();
        f.view.panels[ops::Field::Id] = "42";
        f.module.replyNext["E00B"] = {"B07-AAAAAAAA", "B07-BBBBBBBB"};
        f.module.silentNext["E00C"] = 1;
        ops::setModuleId(f.view);
        QCOMPARE(f.module.commands(),
                 std::vector<std::string>({"E00B", "E00CAAAAAAAA42", "E00B", "E00CBBBBBBBB42"}));
        QCOMPARE(f.view.events({"msg"}), QStringList({"msg:Set Module ID = 42", "msg:Set Module ID Ok"}));
        QCOMPARE(f.view.panels[ops::Field::Id], QString("42"));
    }

    void setIdFails()
    {
        Fixture f;
        moduleKnown();
        f.view.panels[ops::Field::Id] = "07";
        f.module.silentNext["E00C"] = 2;
        ops::setModuleId(f.view);
        QCOMPARE(f.view.events({"lamp", "msg", "tone"}),
                 QStringList({"msg:Set Module ID = 07", "lamp:red", "msg:Set Module ID Error", "tone:300"}));
    }

    void baudRate_data()
    {
        QTest::addColumn<int>("index");
        QTest::addColumn<QString>("progress");
        QTest::addColumn<QByteArray>("commandFrame");
        QTest::addColumn<QString>("settings");
        QTest::newRow("0") << 0 << "Set Module BaudRate = 4800,n,8,1" << QByteArray("09 45 30 30 45 30 33 39 0D")
                           << "4800,n,8,1";
        QTest::newRow("6") << 6 << "Set Module BaudRate = 38400,n,8,1" << QByteArray("09 45 30 30 45 36 33 46 0D")
                           << "38400,n,8,1";
        QTest::newRow("10") << 10 << "Set Module BaudRate = 115200,n,8,1"
                            << QByteArray("09 45 30 30 45 41 34 38 0D") << "115200,n,8,1";
        QTest::newRow("11") << 11 << "Set Module BaudRate = 115200,e,8,1"
                            << QByteArray("09 45 30 30 45 42 34 42 0D") << "115200,e,8,1";
    }

    void baudRate()
    {
        QFETCH(int, index);
        QFETCH(QString, progress);
        QFETCH(QByteArray, commandFrame);
        QFETCH(QString, settings);
        Fixture f;
        moduleKnown();
        f.view.selected = index;
        ops::setModuleBaudRate(f.view);

        QCOMPARE(f.view.events({"msg"}), QStringList({"msg:" + progress, "msg:Set Module BaudRate Ok"}));
        const auto written = f.link.port.written();
        const auto expected = hexBytes(commandFrame.toStdString());
        QCOMPARE(std::vector<unsigned char>(written.end() - expected.size(), written.end()), expected);
        QCOMPARE(ScanBaudRateNo, index);
        QCOMPARE(QString::fromStdString(ScanBaudRate), settings);
        QCOMPARE(processStore().valueText("ScanBaudRate"), QString("<none>"));   // only a scan stores

        // The module now listens at the new settings, and so does the next operation.
        f.module.settings = settings.toStdString();
        ops::getPrintStatus(f.view);
        QCOMPARE(QString::fromStdString(f.link.port.settings.back()), settings);
        QCOMPARE(f.view.panels[ops::Field::Msg], QString("Get Module Status Ok"));
    }

    void baudRateFailureKeepsSettings()
    {
        Fixture f;
        moduleKnown();
        f.view.selected = 6;
        f.module.silentNext["E00E"] = 2;
        ops::setModuleBaudRate(f.view);
        QCOMPARE(f.view.panels[ops::Field::Msg], QString("Set Module BaudRate Error"));
        QCOMPARE(ScanBaudRateNo, 5);
        QCOMPARE(ScanBaudRate, std::string("19200,e,8,1"));
        ops::getPrintStatus(f.view);
        QCOMPARE(f.link.port.settings.back(), std::string("19200,e,8,1"));
    }

    void baudRateWithoutSelection_data()
    {
        QTest::addColumn<int>("selected");
        QTest::newRow("none") << -1;
        QTest::newRow("past the list") << 12;
    }

    void baudRateWithoutSelection()
    {
        QFETCH(int, selected);
        Fixture f;
        moduleKnown();
        f.view.selected = selected;
        ops::setModuleBaudRate(f.view);
        QCOMPARE(f.view.log, QStringList({"cursor:busy", "window:off", "lamp:red", "msg:Set Module BaudRate Error",
                                          "tone:300", "window:on", "cursor:default"}));
        QVERIFY(f.link.port.opened.empty());
        QCOMPARE(ScanBaudRateNo, 5);
    }

    void factoryDefault()
    {
        Fixture f;
        moduleKnown();
        ScanBaudRate = "9600,e,8,1";
        ScanBaudRateNo = 3;
        f.module.settings = "9600,e,8,1";
        f.view.idPosition = 42;
        f.view.selected = 3;
        ops::factoryDefault(f.view);

        QCOMPARE(f.view.log, QStringList({"cursor:busy", "window:off", "sbID:1", "id:01", "combo:5",
                                          "msg:Set Factory Default", "lamp:yellow", "msg:Set Factory Default Ok",
                                          "tone:1000", "window:on", "cursor:default"}));
        QCOMPARE(f.link.port.written(),
                 hexBytes("09 45 30 30 42 30 45 0D "
                          "09 45 30 30 43 41 31 42 32 43 33 44 34 30 31 30 45 0D "
                          "09 45 30 30 45 35 33 43 0D"));
        QCOMPARE(f.sleeps(), std::vector<std::uint32_t>({100, 1, 5, 1, 1, 1, 100, 1, 5, 1, 1, 1, 100, 1, 5, 1, 1, 1}));
        // As after Set Module BaudRate, the next operation opens the port at the module's new setting.
        QCOMPARE(ScanBaudRateNo, 5);
        QCOMPARE(ScanBaudRate, std::string("19200,e,8,1"));
    }

    void factoryDefaultAtPositionOne()
    {
        Fixture f;
        moduleKnown();
        f.view.panels[ops::Field::Id] = "07";
        ops::factoryDefault(f.view);
        QCOMPARE(f.view.log.mid(2, 3), QStringList({"sbID:1", "combo:5", "msg:Set Factory Default"}));
        QCOMPARE(f.view.panels[ops::Field::Id], QString("07"));
    }

    void factoryDefaultUnplugged()
    {
        Fixture f(std::set<int>{});
        moduleKnown();
        f.view.idPosition = 42;
        f.view.selected = 0;
        ops::factoryDefault(f.view);
        QCOMPARE(f.view.idPosition, 1);
        QCOMPARE(f.view.panels[ops::Field::Id], QString("01"));
        QCOMPARE(f.view.selected, 5);
        QCOMPARE(f.view.panels[ops::Field::Msg], QString("Set Factory Default Error"));
        QCOMPARE(f.view.lamp, QString("red"));
    }

    void factoryDefaultSecondCommandFails()
    {
        Fixture f;
        moduleKnown();
        f.module.silentNext["E00E5"] = 1;
        ops::factoryDefault(f.view);
        QCOMPARE(f.module.commands(), std::vector<std::string>({"E00B", "E00CA1B2C3D401", "E00E5", "E00B",
                                                                "E00CA1B2C3D401", "E00E5"}));
        QCOMPARE(f.view.panels[ops::Field::Msg], QString("Set Factory Default Ok"));
    }
};

QTEST_GUILESS_MAIN(TestOpsConfigure)
#include "tst_ops_configure.moc"
