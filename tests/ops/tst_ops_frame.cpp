// The frame shared by the five single-shot operations: the gate, the order of the steps,
// the two tries with their presence test, and the result signal.

#include <QtTest>

#include "link/frame.h"
#include "ops/operations.h"
#include "ops/state.h"
#include "ops_fakes.h"
#include "settings/settings.h"
#include "support/temporary_store.h"

using namespace opstest;
using testsupport::processStore;
using testsupport::hexBytes;

Q_DECLARE_METATYPE(std::function<void(ops::ModuleView &)>)
using Operation = std::function<void(ops::ModuleView &)>;

class TestOpsFrame : public QObject {
    Q_OBJECT

private:
    static void moduleKnown(int port = 3)
    {
        ModuleFound = true;
        ScanCommNo = port;
        ScanBaudRate = "19200,e,8,1";
        ScanBaudRateNo = 5;
    }

private slots:
    void initTestCase() { QVERIFY(processStore().isValid()); }

    void gateBeforeScan_data()
    {
        QTest::addColumn<Operation>("operation");
        QTest::newRow("set id") << Operation(ops::setModuleId);
        QTest::newRow("set baud rate") << Operation(ops::setModuleBaudRate);
        QTest::newRow("factory default") << Operation(ops::factoryDefault);
        QTest::newRow("status") << Operation(ops::getPrintStatus);
        QTest::newRow("print") << Operation(ops::printText);
    }

    void gateBeforeScan()
    {
        QFETCH(Operation, operation);
        Fixture f;
        ScanCommNo = 3;
        f.view.idPosition = 42;
        operation(f.view);

        // Factory default must not reset its controls either: the gate comes first.
        QCOMPARE(f.view.log, QStringList({"cursor:busy", "window:off", "lamp:red", "msg:Start Scan Module!",
                                          "tone:300", "window:on", "cursor:default"}));
        QVERIFY(f.link.port.opened.empty());
        QVERIFY(f.link.port.written().empty());
        QVERIFY(!ModuleFound);
    }

    void successInOrder()
    {
        Fixture f;
        moduleKnown();
        f.view.panels[ops::Field::Id] = "07";
        ops::setModuleId(f.view);

        QCOMPARE(f.view.log, QStringList({"cursor:busy", "window:off", "msg:Set Module ID = 07", "lamp:yellow",
                                          "msg:Set Module ID Ok", "tone:1000", "window:on", "cursor:default"}));
        QCOMPARE(f.link.port.opened, std::vector<std::string>({"COM3"}));
        QCOMPARE(f.link.port.settings, std::vector<std::string>({"19200,e,8,1"}));
        QCOMPARE(f.link.port.closes, 1);
        // 100 ms, the presence frame's pauses, 100 ms, the command frame's pauses; nothing after.
        QCOMPARE(f.sleeps(), std::vector<std::uint32_t>({100, 1, 5, 1, 1, 1, 100, 1, 5, 1, 1, 1}));
        QCOMPARE(f.link.port.written(),
                 hexBytes("09 45 30 30 42 30 45 0D "
                          "09 45 30 30 43 41 31 42 32 43 33 44 34 30 37 30 38 0D"));
        QCOMPARE(f.tones, (std::vector<std::pair<int, int>>{{1000, 300}}));
        QVERIFY(f.pumps >= 1);
    }

    void portDoesNotOpen()
    {
        Fixture f(std::set<int>{});
        moduleKnown();
        ops::getPrintStatus(f.view);

        QCOMPARE(f.view.log, QStringList({"cursor:busy", "window:off", "lamp:red", "msg:Get Module Status Error",
                                          "tone:300", "window:on", "cursor:default"}));
        QVERIFY(f.sleeps().empty());   // no pauses without a port
        QCOMPARE(f.link.port.closes, 0);
        QVERIFY(ModuleFound);
    }

    // An FTDI lead whose driver would not lower its latency timer, and whose timer holds the
    // reply past the window, failed the operation without a word of why.
    void leadWithTooLongALatencyNoted_data()
    {
        QTest::addColumn<int>("timerMs");
        QTest::addColumn<bool>("lowered");
        QTest::addColumn<bool>("noted");
        QTest::newRow("200 ms, not lowered") << 200 << false << true;
        QTest::newRow("200 ms, lowered by the driver") << 200 << true << false;
        QTest::newRow("16 ms, not lowered: the window leaves room") << 16 << false << false;
    }
    void leadWithTooLongALatencyNoted()
    {
        QFETCH(int, timerMs);
        QFETCH(bool, lowered);
        QFETCH(bool, noted);
        Fixture f;
        moduleKnown();
        f.link.port.latencyTimerMs = timerMs;
        f.link.port.latencyLowered = lowered;
        ops::getPrintStatus(f.view);
        const QStringList notes = f.view.events({"note"});
        QCOMPARE(notes.size(), noted ? 1 : 0);
        if (noted)
            QVERIFY2(notes[0].contains("latency timer is 200 ms and its driver did not lower it"), qPrintable(notes[0]));
    }

    void secondTry_data()
    {
        QTest::addColumn<QString>("firstReply");   // reply characters, or "lost"
        QTest::newRow("lost") << "lost";
        QTest::newRow("15 bytes") << "B07-A1B2C3D";
        QTest::newRow("17 bytes") << "B07-A1B2C3D4X";
    }

    void secondTry()
    {
        QFETCH(QString, firstReply);
        Fixture f;
        moduleKnown();
        if (firstReply == "lost")
            f.module.silentNext["E00B"] = 1;
        else
            f.module.replyNext["E00B"] = {firstReply.toStdString()};
        ops::getPrintStatus(f.view);

        QCOMPARE(f.module.commands(), std::vector<std::string>({"E00B", "E00B", "E00F"}));
        QCOMPARE(f.view.panels[ops::Field::Msg], QString("Get Module Status Ok"));
        QCOMPARE(f.view.lamp, QString("yellow"));
        QCOMPARE(f.link.port.closes, 1);
    }

    void failedBodyRepeatsPresenceTest()
    {
        Fixture f;
        moduleKnown();
        f.module.silentNext["E00F"] = 1;
        ops::getPrintStatus(f.view);
        QCOMPARE(f.module.commands(), std::vector<std::string>({"E00B", "E00F", "E00B", "E00F"}));
        QCOMPARE(f.view.panels[ops::Field::Msg], QString("Get Module Status Ok"));
    }

    void bothTriesFail()
    {
        Fixture f;
        moduleKnown();
        f.module.plugged = false;
        ops::getPrintStatus(f.view);

        QCOMPARE(f.module.commands(), std::vector<std::string>({"E00B", "E00B"}));
        QCOMPARE(f.view.events({"lamp", "msg", "tone"}),
                 QStringList({"lamp:red", "msg:Get Module Status Error", "tone:300"}));
        QCOMPARE(f.link.port.closes, 1);
        QVERIFY(f.view.windowEnabled);
        QVERIFY(!f.view.busyCursor);
        // A failure leaves the gate open: the next operation tries again.
        QVERIFY(ModuleFound);
        f.module.plugged = true;
        ops::getPrintStatus(f.view);
        QCOMPARE(f.view.panels[ops::Field::Msg], QString("Get Module Status Ok"));
    }
};

QTEST_GUILESS_MAIN(TestOpsFrame)
#include "tst_ops_frame.moc"
