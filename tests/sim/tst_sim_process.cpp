// telmax-sim as a program: its options, its device line, its link and a clean end.

#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <unistd.h>

#include "support/fake_port.h"
#include "support/pty_util.h"
#include "support/sim_fixture.h"

using testsupport::SimProcess;

class TestSimProcess : public QObject {
    Q_OBJECT

private slots:
    void initTestCase()
    {
        if (SimProcess::executable().isEmpty())
            QSKIP("TELMAX_SIM is not set; run through ctest");
    }

    void badOptions_data()
    {
        QTest::addColumn<QStringList>("options");
        QTest::newRow("id 0") << QStringList{"--id", "0"};
        QTest::newRow("id 100") << QStringList{"--id", "100"};
        QTest::newRow("short serial") << QStringList{"--serial", "TQ12345"};
        QTest::newRow("long firmware version") << QStringList{"--firmware", "03.10-077"};
        QTest::newRow("line 12") << QStringList{"--line", "12"};
        QTest::newRow("two status characters") << QStringList{"--status", "OK"};
        QTest::newRow("negative delay") << QStringList{"--delay", "-5"};
        QTest::newRow("drop every 0") << QStringList{"--drop-every", "0"};
        QTest::newRow("hangup after x") << QStringList{"--hangup-after", "x"};
        QTest::newRow("missing value") << QStringList{"--trickle"};
        QTest::newRow("unknown option") << QStringList{"--baud", "9600"};
    }

    void badOptions()
    {
        QFETCH(QStringList, options);
        QProcess p;
        p.start(SimProcess::executable(), options);
        QVERIFY(p.waitForFinished(5000));
        QCOMPARE(p.exitStatus(), QProcess::NormalExit);
        QCOMPARE(p.exitCode(), 2);
        QVERIFY(p.readAllStandardOutput().isEmpty());
        const QByteArray err = p.readAllStandardError();
        QCOMPARE(err.count('\n'), 1);
        QVERIFY(err.startsWith("telmax-sim: "));
    }

    void helpSaysParityIsNotChecked()
    {
        QProcess p;
        p.start(SimProcess::executable(), {"--help"});
        QVERIFY(p.waitForFinished(5000));
        QCOMPARE(p.exitCode(), 0);
        QVERIFY(p.readAllStandardOutput().contains("parity"));
    }

    void linkAndCleanEnd()
    {
        QTemporaryDir dir;
        const QString link = dir.filePath("module");
        SimProcess sim({"--link", link, "--line", "9600,n,8,1"});
        QVERIFY2(sim.started(), qPrintable(sim.errorString()));
        QVERIFY(QString::fromStdString(sim.device()).startsWith("/dev/pts/"));
        QCOMPARE(QFileInfo(link).symLinkTarget(), QString::fromStdString(sim.device()));

        // Through the link, at the baud of the line setting given by its text.
        const int fd = testsupport::openRaw(link.toStdString(), 9600);
        QVERIFY(fd >= 0);
        QVERIFY(testsupport::writeAll(fd, testsupport::hexBytes("09 45 30 30 46 30 41 0D")));
        QCOMPARE(testsupport::readUntil(fd, 0x0D, 2000), testsupport::hexBytes("0A 45 30 31 46 4F 34 37 0D"));
        ::close(fd);

        QCOMPARE(sim.stop(), 0);
        QVERIFY(!QFileInfo::exists(link) && !QFileInfo(link).isSymLink());
        QCOMPARE(sim.log().last().value("event").toString(), QStringLiteral("stop"));
    }

    void staleLinkIsReplacedOtherFilesAreNot()
    {
        QTemporaryDir dir;
        const QString stale = dir.filePath("stale");
        QVERIFY(QFile::link(dir.filePath("gone"), stale));
        SimProcess replaced({"--link", stale});
        QVERIFY2(replaced.started(), qPrintable(replaced.errorString()));
        QCOMPARE(QFileInfo(stale).symLinkTarget(), QString::fromStdString(replaced.device()));

        const QString plain = dir.filePath("plain");
        QFile f(plain);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("keep");
        f.close();
        SimProcess refused({"--link", plain});
        QVERIFY(!refused.started());
        QVERIFY(!QFileInfo(plain).isSymLink());
    }

    void interruptEndsCleanly()
    {
        SimProcess sim;
        QVERIFY2(sim.started(), qPrintable(sim.errorString()));
        QVERIFY(sim.waitForLog([](const QList<QJsonObject> &log) { return !log.isEmpty(); }));
        const QJsonObject start = sim.log().first();
        QCOMPARE(start.value("event").toString(), QStringLiteral("start"));
        QCOMPARE(start.value("id").toString(), QStringLiteral("01"));
        QCOMPARE(start.value("settings").toString(), QStringLiteral("19200,e,8,1"));
        QVERIFY(sim.pid() > 0);
        QCOMPARE(::kill(pid_t(sim.pid()), SIGINT), 0);
        QVERIFY(sim.waitForExit(3000));
        QCOMPARE(sim.stop(), 0);
        QCOMPARE(sim.log().last().value("event").toString(), QStringLiteral("stop"));
    }
};

QTEST_GUILESS_MAIN(TestSimProcess)
#include "tst_sim_process.moc"
