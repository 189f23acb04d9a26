// Catches a diagnosis that guesses what only the kernel and the driver know: framing and parity
// counts made up, summed over the device's life instead of counted over the diagnosis, or shown
// for a driver that keeps none; an FTDI lead whose latency timer the driver would not lower,
// blamed when it was lowered, or not named when it holds the reply past the window; and a port
// ModemManager holds without the udev rule, for that lead's vendor:product, that keeps it away.
// Against a scripted port on the fake clock; the findings themselves are tested end to end in
// tests/tools/tst_diagnose.cpp.
#include <QtTest>

#include "link/commands.h"
#include "ops/diagnosis.h"
#include "support/fake_port.h"

using testsupport::FakeLink;
using testsupport::hexBytes;

namespace {

// The module's info reply at ID 01, S/N TQ123456.
const char kInfoReply[] = "0A 45 30 31 42 54 51 31 32 33 34 35 36 30 45 0D";

ops::PortDiagnosis diagnoseCom5()
{
    return ops::diagnosePorts({5}, {}).front();
}

} // namespace

class TestOpsDiagnosis : public QObject {
    Q_OBJECT

private slots:
    void kernelCountsAsTheDriverKeepsThem_data()
    {
        QTest::addColumn<bool>("driverCounts");
        QTest::addColumn<QString>("said");
        // 24 frames (12 line settings, two tries each), each met with 3 framing and 1 parity error;
        // the device had counted 100 and 40 before.
        QTest::newRow("a UART that counts") << true << "the kernel counted 72 framing and 24 parity errors";
        QTest::newRow("a driver that keeps no counts") << false << "";
    }
    void kernelCountsAsTheDriverKeepsThem()
    {
        QFETCH(bool, driverCounts);
        QFETCH(QString, said);
        FakeLink link;
        if (driverCounts)
            link.port.lineCounts = serial::LineErrors{100, 40, 0, 0};
        link.port.onFrame = [&link](const std::vector<unsigned char> &) {
            link.port.queueAt(link.clock.now + 20, hexBytes("F0 8C 66"));
            if (link.port.lineCounts) {
                link.port.lineCounts->framing += 3;
                link.port.lineCounts->parity += 1;
            }
        };
        const ops::PortDiagnosis d = diagnoseCom5();
        QCOMPARE(d.finding, ops::Finding::Garbage);
        QCOMPARE(int(d.garbageAt.size()), kBaudRateCount);
        const QString heard = ops::heardText(d);
        if (said.isEmpty())
            QVERIFY2(!heard.contains("kernel"), qPrintable(heard));
        else
            QVERIFY2(heard.contains(said), qPrintable(heard));
    }

    void ftdiLatencyTimerNamedOnlyWhenItStays_data()
    {
        QTest::addColumn<int>("timerMs");
        QTest::addColumn<bool>("lowered");
        QTest::addColumn<int>("replyAfterMs");
        QTest::addColumn<int>("finding");
        QTest::addColumn<QString>("advised");
        QTest::newRow("late, the timer not lowered")
            << 200 << false << 190 << int(ops::Finding::Late) << "latency timer is 200 ms and its driver did not lower it";
        QTest::newRow("late, the timer lowered")
            << 200 << true << 190 << int(ops::Finding::Late) << "something on the way holds the reply back";
        // At 4800 baud the reply takes 37 ms of the window: a 100 ms timer leaves it too little.
        QTest::newRow("answered, a timer too long for the window")
            << 100 << false << 10 << int(ops::Finding::Module) << "latency timer is 100 ms";
        QTest::newRow("answered, the default timer") << 16 << false << 10 << int(ops::Finding::Module)
                                                     << "scan finds it there";
    }
    void ftdiLatencyTimerNamedOnlyWhenItStays()
    {
        QFETCH(int, timerMs);
        QFETCH(bool, lowered);
        QFETCH(int, replyAfterMs);
        QFETCH(int, finding);
        QFETCH(QString, advised);
        FakeLink link;
        link.port.latencyTimerMs = timerMs;
        link.port.latencyLowered = lowered;
        link.port.onFrame = [&link, replyAfterMs](const std::vector<unsigned char> &) {
            if (link.port.settings.back() == "4800,n,8,1")
                link.port.queueAt(link.clock.now + std::uint32_t(replyAfterMs), hexBytes(kInfoReply));
        };
        const ops::PortDiagnosis d = diagnoseCom5();
        QCOMPARE(int(d.finding), finding);
        QCOMPARE(d.lineIndex, 0);
        const QString advice = ops::adviceText(d);
        QVERIFY2(advice.contains(advised), qPrintable(advice));
    }

    void modemManagerKeptAwayByItsRule()
    {
        ops::PortDiagnosis d;
        d.port = 13;
        d.device = "/dev/ttyACM0";
        d.finding = ops::Finding::Busy;
        d.open.failure = serial::OpenFailure::Busy;
        d.open.holders = {{"ModemManager", 812}};
        const QString advice = ops::adviceText(d, "2341:0043");
        QVERIFY2(advice.contains(R"(ATTRS{idVendor}=="2341", ATTRS{idProduct}=="0043", ENV{ID_MM_DEVICE_IGNORE}="1")"),
                 qPrintable(advice));
        d.open.holders = {{"minicom", 900}};
        QVERIFY(!ops::adviceText(d, "2341:0043").contains("ModemManager"));
    }
};

QTEST_GUILESS_MAIN(TestOpsDiagnosis)
#include "tst_ops_diagnosis.moc"
