// The module scan: display reset, quick check, search order with and without the lock box,
// storing what the search found, the version read and the three outcomes.

#include <QtTest>

#include "link/frame.h"
#include "ops/operations.h"
#include "ops/state.h"
#include "ops_fakes.h"
#include "settings/settings.h"
#include "support/temporary_store.h"

using namespace opstest;
using testsupport::processStore;

class TestOpsScan : public QObject {
    Q_OBJECT

private:
    // (device, line settings) of every "E00B" in order.
    static QStringList probes(const FakeModule &m)
    {
        QStringList out;
        for (const auto &r : m.received)
            if (r.command == "E00B")
                out << QString::fromStdString(r.device + " " + r.settings);
        return out;
    }

private slots:
    void initTestCase() { QVERIFY(processStore().isValid()); }
    void init() { processStore().clear(); }

    void foundByQuickCheck()
    {
        Fixture f({3});
        ScanCommNo = 3;
        ScanBaudRate = "19200,e,8,1";
        ScanBaudRateNo = 5;
        ops::scanModule(f.view);

        QCOMPARE(f.view.log.mid(0, 7),
                 QStringList({"cursor:busy", "busy:on", "msg:Scan Module ....", "serial:S/N : ________",
                              "version:VER : __.__-__", "id:__", "combo:5"}));
        QCOMPARE(f.view.log.mid(7),
                 QStringList({"msg:Scan COM : #3", "combo:5", "serial:S/N : A1B2C3D4", "id:07", "sbID:7",
                              "id:07", "version:VER : 03.20-01", "msg:Get Module Info Ok. (COM : #3)",
                              "busy:off", "lamp:yellow", "tone:1000", "cursor:default"}));
        QCOMPARE(f.module.commands(), std::vector<std::string>({"E00B", "E00V"}));
        QVERIFY(ModuleFound);
        // The quick check writes nothing.
        QCOMPARE(processStore().valueText("ScanCommNo"), QString("<none>"));
        QCOMPARE(f.link.port.closes, 2);
    }

    void quickCheckTriesThreeTimes()
    {
        Fixture f({3});
        ScanCommNo = 3;
        f.module.silentNext["E00B"] = 2;
        ops::scanModule(f.view);
        QCOMPARE(probes(f.module), QStringList({"COM3 19200,e,8,1", "COM3 19200,e,8,1", "COM3 19200,e,8,1"}));
        QVERIFY(ModuleFound);
        // Probes follow one another with no pause beyond the frame's own.
        const auto sleeps = f.sleeps();
        QCOMPARE(std::count(sleeps.begin(), sleeps.end(), 100u), 1);
    }

    void searchFindsModuleElsewhere()
    {
        Fixture f({3, 4});
        ScanCommNo = 3;
        f.view.lock = true;
        f.module.device = "COM4";
        QString storedAtVersion;
        f.module.onCommand = [&](const std::string &c) {
            const auto &store = processStore();
            if (c == "E00V")
                storedAtVersion = store.valueText("ScanCommNo") + "|" + store.valueText("ScanBaudRate") + "|"
                                + store.valueText("ScanBaudRateNo");
        };
        ops::scanModule(f.view);

        QCOMPARE(probes(f.module), QStringList({"COM3 19200,e,8,1", "COM3 19200,e,8,1", "COM3 19200,e,8,1",
                                                "COM3 19200,e,8,1", "COM3 19200,e,8,1", "COM4 19200,e,8,1"}));
        QCOMPARE(f.view.events({"msg"}).mid(1, 3),
                 QStringList({"msg:Scan COM : #3", "msg:Scan COM : #3", "msg:Scan COM : #4"}));
        // Stored as soon as the search found it, before the version was asked for.
        QCOMPARE(storedAtVersion, QString("4|19200,e,8,1|5"));
        QCOMPARE(ScanCommNo, 4);
        QCOMPARE(f.view.panels[ops::Field::Msg], QString("Get Module Info Ok. (COM : #4)"));
    }

    void lockBox_data()
    {
        QTest::addColumn<bool>("lock");
        QTest::addColumn<QStringList>("expectedProbes");
        QTest::addColumn<bool>("found");
        QStringList unlocked;
        const char *all[] = {"4800,n,8,1",  "4800,e,8,1",  "9600,n,8,1",  "9600,e,8,1",
                             "19200,n,8,1", "19200,e,8,1", "38400,n,8,1", "38400,e,8,1",
                             "57600,n,8,1", "57600,e,8,1", "115200,n,8,1", "115200,e,8,1"};
        for (const char *s : all)
            unlocked << QString("COM2 ") + s << QString("COM2 ") + s;
        unlocked << "COM4 4800,n,8,1" << "COM4 4800,n,8,1" << "COM4 4800,e,8,1" << "COM4 4800,e,8,1"
                 << "COM4 9600,n,8,1" << "COM4 9600,n,8,1" << "COM4 9600,e,8,1";
        QTest::newRow("off") << false << unlocked << true;
        QTest::newRow("on") << true
                            << QStringList({"COM2 19200,e,8,1", "COM2 19200,e,8,1", "COM4 19200,e,8,1",
                                            "COM4 19200,e,8,1"})
                            << false;
    }

    void lockBox()
    {
        QFETCH(bool, lock);
        QFETCH(QStringList, expectedProbes);
        QFETCH(bool, found);
        Fixture f({2, 4});
        f.view.lock = lock;
        f.module.device = "COM4";
        f.module.settings = "9600,e,8,1";
        ops::scanModule(f.view);

        QCOMPARE(probes(f.module), expectedProbes);
        QCOMPARE(ModuleFound, found);
        if (found) {
            QCOMPARE(processStore().valueText("ScanCommNo"), QString("4"));
            QCOMPARE(processStore().valueText("ScanBaudRate"), QString("9600,e,8,1"));
            QCOMPARE(processStore().valueText("ScanBaudRateNo"), QString("3"));
            QCOMPARE(f.view.selected, 3);
            QCOMPARE(ScanBaudRate, std::string("9600,e,8,1"));
        } else {
            QCOMPARE(processStore().valueText("ScanCommNo"), QString("<none>"));
            QCOMPARE(ScanCommNo, 0);
        }
    }

    void notFound()
    {
        Fixture f(std::set<int>{});
        ScanCommNo = 7;
        ScanBaudRateNo = 2;
        ScanBaudRate = "9600,n,8,1";
        ops::scanModule(f.view);
        QCOMPARE(f.view.log.mid(f.view.log.size() - 6),
                 QStringList({"busy:off", "lamp:red", "combo:5", "msg:Module Not Find", "tone:300", "cursor:default"}));
        QCOMPARE(f.view.panels[ops::Field::Serial], QString("S/N : ________"));
        QCOMPARE(f.view.panels[ops::Field::Id], QString("__"));
        QCOMPARE(ScanCommNo, 7);
        QCOMPARE(ScanBaudRate, std::string("9600,n,8,1"));
        QCOMPARE(processStore().valueText("ScanCommNo"), QString("<none>"));
    }

    void failedScanClosesGate()
    {
        Fixture f({3});
        ScanCommNo = 3;
        ops::scanModule(f.view);
        QVERIFY(ModuleFound);
        f.module.plugged = false;
        ops::scanModule(f.view);
        QVERIFY(!ModuleFound);
        QCOMPARE(f.view.panels[ops::Field::Msg], QString("Module Not Find"));
        QCOMPARE(ScanCommNo, 3);
    }

    void versionNotRead()
    {
        Fixture f({4});
        f.module.device = "COM4";
        f.module.answerVersion = false;
        ops::scanModule(f.view);

        QVERIFY(!ModuleFound);
        QCOMPARE(f.module.commands(), std::vector<std::string>({"E00B", "E00V", "E00V"}));
        QCOMPARE(f.view.log.mid(f.view.log.size() - 5),
                 QStringList({"msg:Get Module Info Error. (COM : #4)", "busy:off", "lamp:red", "tone:300",
                              "cursor:default"}));
        QCOMPARE(f.view.panels[ops::Field::Serial], QString("S/N : A1B2C3D4"));
        QCOMPARE(f.view.panels[ops::Field::Version], QString("VER : __.__-__"));
        QCOMPARE(processStore().valueText("ScanCommNo"), QString("4"));   // the search's find stays stored
        // The gate stays closed for the other operations.
        f.view.log.clear();
        ops::getPrintStatus(f.view);
        QCOMPARE(f.view.panels[ops::Field::Msg], QString("Start Scan Module!"));
    }

    void idField_data()
    {
        QTest::addColumn<QString>("id");
        QTest::addColumn<int>("startPosition");
        QTest::addColumn<QString>("shownId");
        QTest::addColumn<int>("position");
        QTest::newRow("07") << "07" << 1 << "07" << 7;
        QTest::newRow("99") << "99" << 1 << "99" << 99;
        QTest::newRow("00 from 1") << "00" << 1 << "00" << 1;
        QTest::newRow("00 from 42") << "00" << 42 << "01" << 1;
        QTest::newRow("letters") << "A7" << 42 << "A7" << 42;
        QTest::newRow("blank digit") << " 7" << 42 << " 7" << 42;
        QTest::newRow("sign") << "-1" << 42 << "-1" << 42;
    }

    void idField()
    {
        QFETCH(QString, id);
        QFETCH(int, startPosition);
        QFETCH(QString, shownId);
        QFETCH(int, position);
        Fixture f({3});
        ScanCommNo = 3;
        f.module.id = id.toStdString();
        f.view.idPosition = startPosition;
        ops::scanModule(f.view);
        QVERIFY(ModuleFound);
        QCOMPARE(f.view.panels[ops::Field::Id], shownId);
        QCOMPARE(f.view.idPosition, position);
    }

    void noQuickCheckWithoutRememberedPort_data()
    {
        QTest::addColumn<int>("remembered");
        QTest::newRow("zero") << 0;
        QTest::newRow("negative") << -4;
    }

    void noQuickCheckWithoutRememberedPort()
    {
        QFETCH(int, remembered);
        Fixture f({1});
        f.module.device = "COM1";
        ScanCommNo = remembered;
        ops::scanModule(f.view);
        QCOMPARE(f.view.events({"msg"}).at(1), QString("msg:Scan COM : #1"));
        QCOMPARE(ScanCommNo, 1);
    }

    void portAbove16OnlyByQuickCheck()
    {
        {
            Fixture f({20});
            f.module.device = "COM20";
            ScanCommNo = 20;
            ops::scanModule(f.view);
            QVERIFY(ModuleFound);
            QCOMPARE(f.view.panels[ops::Field::Msg], QString("Get Module Info Ok. (COM : #20)"));
        }
        Fixture f({17, 20});
        f.module.device = "COM17";
        f.view.lock = false;
        ops::scanModule(f.view);
        QVERIFY(!ModuleFound);
        QVERIFY(f.link.port.opened.empty());
    }

    void rememberedIndexOutsideList()
    {
        Fixture f({3});
        ScanCommNo = 0;
        ScanBaudRateNo = 42;
        f.view.lock = true;
        ops::scanModule(f.view);
        for (const QString &e : f.view.events({"combo"})) {
            const int i = e.mid(6).toInt();
            QVERIFY2(i >= 0 && i <= 11, qPrintable(e));
        }
        QVERIFY(ModuleFound);
        QCOMPARE(ScanBaudRateNo, 5);
    }
};

QTEST_GUILESS_MAIN(TestOpsScan)
#include "tst_ops_scan.moc"
