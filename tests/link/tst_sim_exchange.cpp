// The real link against a real telmax-sim on a pseudo-terminal: every command, the baud
// check, the line-settings change and what each fault option does to an exchange.

#include <QScopeGuard>
#include <QTest>

#include <thread>
#include <unistd.h>

#include "link/commands.h"
#include "link/comm.h"
#include "link/frame.h"
#include "ops/operations.h"
#include "support/fake_port.h"
#include "support/pty_util.h"
#include "support/sim_fixture.h"

using testsupport::SimProcess;

namespace {

constexpr int kPort = 3;
const char kDefaultLine[] = "19200,e,8,1";

QByteArray lastReply() { return QByteArray::fromStdString(LastReply); }

// Starts a simulator with the options and opens it as COM3; the exchange functions then
// talk to it. The port is closed and the simulator ended when the session goes.
class Session {
public:
    explicit Session(const QStringList &options, const char *line = kDefaultLine)
        : sim(kPort, options)
    {
        if (sim.started())
            open = OpenComm(kPort, line);
    }
    ~Session()
    {
        if (open)
            CloseComm();
    }
    bool ready() const { return sim.started() && open; }
    QString why() const { return sim.started() ? QStringLiteral("OpenComm failed") : sim.errorString(); }

    testsupport::SimAtCom sim;
    bool open = false;
};

#define START_SESSION(name, ...)                                                                   \
    Session name(__VA_ARGS__);                                                                     \
    QVERIFY2(name.ready(), qPrintable(name.why()))

// Each exchange's result as a letter: t for true, f for false.
QString results(const std::vector<std::string> &commands)
{
    QString out;
    for (const auto &c : commands)
        out += SendCommand(c) ? QLatin1Char('t') : QLatin1Char('f');
    return out;
}

} // namespace

class TestSimExchange : public QObject {
    Q_OBJECT

private slots:
    void initTestCase()
    {
        if (SimProcess::executable().isEmpty())
            QSKIP("TELMAX_SIM is not set; run through ctest");
    }

    // The exchange state was global: a second port could not be driven while one was open, and
    // a search could only go one port at a time.
    void twoLinksSideBySide()
    {
        testsupport::SimProcess a({"--serial", "AAAA0001"});
        testsupport::SimProcess b({"--serial", "BBBB0002", "--line", "2"});
        QVERIFY2(a.started() && b.started(), qPrintable(a.errorString() + b.errorString()));
        testsupport::SimPorts ports({{3, a.device()}, {4, b.device()}});
        serial::Link links[2];
        const std::pair<int, const char *> where[2] = {{3, "19200,e,8,1"}, {4, "9600,n,8,1"}};
        std::string serials[2];
        int answered[2] = {0, 0};
        std::thread threads[2];
        for (int i = 0; i < 2; ++i) {
            threads[i] = std::thread([&, i] {
                serial::Link &link = links[i];
                link.pumpWhileWaiting = false;
                if (!link.open(where[i].first, where[i].second).opened())
                    return;
                for (int n = 0; n < 5; ++n)
                    if (link.sendCommand("E00B") && link.replyLength == 16)
                        ++answered[i];
                serials[i] = cmd::infoSerial(link.lastReply);
                link.close();
            });
        }
        for (std::thread &t : threads)
            t.join();
        QCOMPARE(answered[0], 5);
        QCOMPARE(answered[1], 5);
        QCOMPARE(serials[0], std::string("AAAA0001"));
        QCOMPARE(serials[1], std::string("BBBB0002"));
        QCOMPARE(a.received().size(), 5);
        QCOMPARE(b.received().size(), 5);
    }

    void everyCommand()
    {
        START_SESSION(s, {"--serial", "AB123456", "--id", "7", "--firmware", "04.02-11", "--status", "P"});

        QVERIFY(SendCommand(cmd::moduleInfo()));
        QCOMPARE(ReplyLength, 16);
        QCOMPARE(lastReply(), QByteArray("\x0A" "E07BAB123456" "0E\r"));
        QCOMPARE(cmd::infoSerial(LastReply), std::string("AB123456"));
        QCOMPARE(cmd::infoId(LastReply), std::string("07"));

        QVERIFY(SendCommand(cmd::firmwareVersion()));
        QCOMPARE(cmd::versionText(LastReply), std::string("04.02-11"));

        QVERIFY(SendCommand(cmd::printerStatus()));
        QCOMPARE(cmd::statusChar(LastReply), std::string("P"));
        QCOMPARE(ops::statusText(cmd::statusChar(LastReply)), std::string("Print paper out!"));

        QVERIFY(SendCommand(cmd::setModuleId("AB123456", "42")));
        QVERIFY(SendCommand(cmd::moduleInfo()));
        QCOMPARE(cmd::infoId(LastReply), std::string("42"));
        // Another module's S/N changes nothing and gets no answer.
        QVERIFY(!SendCommand(cmd::setModuleId("ZZ999999", "11")));
        QVERIFY(SendCommand(cmd::moduleInfo()));
        QCOMPARE(cmd::infoId(LastReply), std::string("42"));

        QVERIFY(SendCommand(cmd::printText("  abc  ")));
        QVERIFY(SendCommand(cmd::lineEnd()));
        QVERIFY(SendCommand(cmd::printTestLine()));
        QVERIFY(SendCommand(cmd::lineEnd()));
        QCOMPARE(s.sim.paper(), QByteArray("abc\r\nVOREX PRINT TEST.\r\n"));

        const auto rx = s.sim.received();
        QCOMPARE(rx.size(), 11);
        QCOMPARE(rx[0].value("hex").toString(), QStringLiteral("09 45 30 30 42 30 45 0D"));
        QCOMPARE(rx[0].value("text").toString(), QStringLiteral("E00B"));
        QCOMPARE(rx[0].value("baud").toInt(), 19200);
        QCOMPARE(rx[5].value("reason").toString(), QStringLiteral("S/N does not match"));
        QCOMPARE(s.sim.sent().size(), 10);
    }

    void otherBaudGetsNoReply()
    {
        START_SESSION(s, {}, "9600,e,8,1");
        QVERIFY(!SendCommand(cmd::moduleInfo()));
        QCOMPARE(ReplyLength, 0);
        const auto rx = s.sim.received();
        QCOMPARE(rx.size(), 1);
        QCOMPARE(rx[0].value("baud").toInt(), 9600);
        QCOMPARE(rx[0].value("reason").toString(), QStringLiteral("baud mismatch"));
        CloseComm();
        // Parity cannot be carried by a pty, so "n" at the right baud is answered.
        s.open = OpenComm(kPort, "19200,n,8,1");
        QVERIFY(s.open);
        QVERIFY(SendCommand(cmd::moduleInfo()));
    }

    void lineSettingsChange()
    {
        START_SESSION(s, {});
        QVERIFY(SendCommand(cmd::setLineSettings(10)));   // "E00EA": 115200, answered at 19200
        QVERIFY(!SendCommand(cmd::moduleInfo()));
        CloseComm();
        s.open = OpenComm(kPort, "115200,n,8,1");
        QVERIFY(s.open);
        QVERIFY(SendCommand(cmd::moduleInfo()));
        QVERIFY(SendCommand(cmd::setLineSettings(5)));
        CloseComm();
        s.open = OpenComm(kPort, kDefaultLine);
        QVERIFY(s.open);
        QVERIFY(SendCommand(cmd::moduleInfo()));
        const auto lines = s.sim.log();
        int changes = 0;
        for (const auto &e : lines)
            changes += e.value("event").toString() == QStringLiteral("line");
        QCOMPARE(changes, 2);
    }

    void ignoredFramesAreLogged()
    {
        TELMAX_START_SIM(sim, kPort);
        const int fd = testsupport::openRaw(sim.device(), 19200);
        QVERIFY(fd >= 0);
        auto closer = qScopeGuard([fd] { ::close(fd); });
        // Noise, then E00B with checksum digits 0F instead of 0E.
        QVERIFY(testsupport::writeAll(fd, testsupport::hexBytes("7E 7E 09 45 30 30 42 30 46 0D")));
        QVERIFY(sim.waitForLog([](const QList<QJsonObject> &log) { return log.size() >= 3; }));
        QVERIFY(testsupport::readFor(fd, 150).empty());
        const auto rx = sim.received();
        QCOMPARE(rx.size(), 2);
        QCOMPARE(rx[0].value("reason").toString(), QStringLiteral("no start byte"));
        QCOMPARE(rx[1].value("reason").toString(), QStringLiteral("bad checksum"));
        QCOMPARE(rx[1].value("ok").toBool(), false);
        // The same frame with its right digits is answered on the same line.
        QVERIFY(testsupport::writeAll(fd, testsupport::hexBytes("09 45 30 30 42 30 45 0D")));
        const auto reply = testsupport::readUntil(fd, 0x0D, 2000);
        QCOMPARE(reply, testsupport::hexBytes("0A 45 30 31 42 54 51 31 32 33 34 35 36 30 45 0D"));
    }

    void silent()
    {
        START_SESSION(s, {"--silent"});
        LastReply = "before";
        QVERIFY(!SendCommand(cmd::moduleInfo()));
        QCOMPARE(ReplyLength, 0);
        QCOMPARE(LastReply, std::string("before"));
    }

    void droppedReplies_data()
    {
        QTest::addColumn<QStringList>("options");
        QTest::addColumn<QString>("expected");
        QTest::newRow("first 2") << QStringList{"--drop-first", "2"} << "fftt";
        QTest::newRow("every 2nd") << QStringList{"--drop-every", "2"} << "tftf";
    }

    void droppedReplies()
    {
        QFETCH(QStringList, options);
        QFETCH(QString, expected);
        START_SESSION(s, options);
        QCOMPARE(results({cmd::moduleInfo(), cmd::moduleInfo(), cmd::moduleInfo(), cmd::moduleInfo()}), expected);
    }

    void delayedReplies_data()
    {
        QTest::addColumn<QString>("delay");
        QTest::addColumn<bool>("answered");
        QTest::newRow("inside the window") << "20" << true;
        QTest::newRow("beyond the window") << "300" << false;
    }

    void delayedReplies()
    {
        QFETCH(QString, delay);
        QFETCH(bool, answered);
        START_SESSION(s, {"--delay", delay});
        LastReply = "before";
        QCOMPARE(SendCommand(cmd::moduleInfo()), answered);
        QCOMPARE(LastReply == "before", !answered);
    }

    // The window is tested after every read that brings no byte, so a reply whose bytes
    // come with gaps completes only if its last byte beats the window's end.
    void trickledReplies_data()
    {
        QTest::addColumn<QString>("gap");
        QTest::addColumn<bool>("answered");
        QTest::newRow("done within the window") << "3" << true;
        QTest::newRow("running past the window") << "15" << false;
    }

    void trickledReplies()
    {
        QFETCH(QString, gap);
        QFETCH(bool, answered);
        START_SESSION(s, {"--trickle", gap});
        QCOMPARE(SendCommand(cmd::moduleInfo()), answered);
        if (answered)
            QCOMPARE(cmd::infoSerial(LastReply), std::string("TQ123456"));
        else
            QVERIFY(ReplyLength > 0 && ReplyLength < 16);
    }

    void corruptChecksum()
    {
        START_SESSION(s, {"--corrupt-checksum"});
        LastReply = "before";
        QVERIFY(!SendCommand(cmd::moduleInfo()));
        QCOMPARE(ReplyLength, 16);
        QCOMPARE(lastReply(), QByteArray("\x0A" "E01BTQ123456" "1E\r"));
    }

    void wrongInfoLength()
    {
        START_SESSION(s, {"--wrong-info-length"});
        QVERIFY(SendCommand(cmd::moduleInfo()));
        QVERIFY(ReplyLength != cmd::kInfoReplyLength);
        QCOMPARE(ReplyLength, 17);
    }

    void strayByte()
    {
        START_SESSION(s, {"--stray-byte"});
        LastReply = "before";
        QVERIFY(!SendCommand(cmd::printerStatus()));
        QCOMPARE(ReplyLength, 10);
        QCOMPARE(QByteArray(reinterpret_cast<const char *>(ReplyBuffer), 10), QByteArray("\x55\x0A" "E01FO47\r"));
        QCOMPARE(LastReply, std::string("before"));
    }

    void noVersion()
    {
        START_SESSION(s, {"--no-version"});
        QCOMPARE(results({cmd::moduleInfo(), cmd::firmwareVersion(), cmd::printerStatus()}), QStringLiteral("tft"));
    }

    void hangUp()
    {
        START_SESSION(s, {"--hangup-after", "2"});
        QCOMPARE(results({cmd::moduleInfo(), cmd::printerStatus()}), QStringLiteral("tt"));
        QVERIFY(s.sim.waitForExit(3000));
        QCOMPARE(s.sim.stop(), 0);
        // The line is dead: every exchange fails and returns, nothing hangs or crashes.
        QCOMPARE(results({cmd::moduleInfo(), cmd::printText("x")}), QStringLiteral("ff"));
        QCOMPARE(ReplyLength, 0);
        QStringList events;
        for (const auto &e : s.sim.log())
            if (e.contains("event"))
                events << e.value("event").toString();
        QCOMPARE(events, (QStringList{"start", "hangup", "end"}));
    }
};

QTEST_GUILESS_MAIN(TestSimExchange)
#include "tst_sim_exchange.moc"
