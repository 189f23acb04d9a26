// The programs' real start-up in a child process. Ended by a signal while it holds the serial
// port, a program must leave the port as it was before it opened it. Killed during the
// continuous test, the window used to leave the pty raw (VMIN 0) and exclusive, and a real port
// "busy" for every later user; a lock file left in /run/lock would keep minicom and cu out.
//
// The window is the real start-up (app::runMain) in a child process: this test runs itself
// with --as-program, scans the simulator on COM3 and starts the continuous test; telmax-cmd
// is the real program, exchanging with a silent simulator.

#include <QtTest>

#include <QProcess>
#include <QPushButton>
#include <QTimer>

#include <csignal>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <termios.h>
#include <unistd.h>

#include "app/frm_module.h"
#include "app/startup.h"
#include "support/sim_fixture.h"
#include "support/temporary_store.h"

namespace {

int exclusiveFlag(int fd)
{
    int exclusive = -1;
    return ::ioctl(fd, TIOCGEXCL, &exclusive) == 0 ? exclusive : -1;
}

bool sameTermios(const termios &a, const termios &b)
{
    return a.c_iflag == b.c_iflag && a.c_oflag == b.c_oflag && a.c_cflag == b.c_cflag && a.c_lflag == b.c_lflag
        && cfgetospeed(&a) == cfgetospeed(&b) && a.c_cc[VMIN] == b.c_cc[VMIN] && a.c_cc[VTIME] == b.c_cc[VTIME];
}

// The exclusivity marker's path for the device of fd. No marker is there while the test runs
// but what it puts there, nor after it: a run killed by a test leaves its marker behind.
struct MarkerPath {
    QByteArray path;
    explicit MarkerPath(int fd)
    {
        struct stat st {};
        if (::fstat(fd, &st) == 0)
            path = QStringLiteral("/run/lock/telmax-exclusive.%1.%2")
                       .arg(major(st.st_rdev))
                       .arg(minor(st.st_rdev))
                       .toLocal8Bit();
        ::unlink(path.constData());
    }
    ~MarkerPath() { ::unlink(path.constData()); }
};

// The lock file of the old convention for a pseudo-terminal (/dev/pts/3: LCK..pts_3), and the
// process id in it (0: none there).
QByteArray lockFileOf(const std::string &device)
{
    return "/run/lock/LCK.." + QByteArray::fromStdString(device.substr(5)).replace('/', '_');
}
qint64 lockPid(const QByteArray &path)
{
    QFile f(QString::fromLocal8Bit(path));
    return f.open(QIODevice::ReadOnly) ? f.readAll().trimmed().toLongLong() : 0;
}
QByteArray programOf(qint64 pid)
{
    QFile f(QStringLiteral("/proc/%1/comm").arg(pid));
    return f.open(QIODevice::ReadOnly) ? f.readAll().trimmed() : QByteArray();
}

// The program side of the test: the window with a user who scans, then starts the continuous test.
int runAsProgram(int argc, char **argv)
{
    return app::runMain(argc, argv, [](TfrmModule &window) {
        QTimer::singleShot(0, &window, [&window] {
            window.findChild<QPushButton *>(QStringLiteral("btnScan"))->click();
            window.findChild<QPushButton *>(QStringLiteral("btnProcess"))->click();
        });
    });
}

} // namespace

class TestSignalRestore : public QObject {
    Q_OBJECT

private slots:
    void portPutBackWhenEndedBySignal_data()
    {
        QTest::addColumn<QString>("program");
        QTest::addColumn<int>("signal");
        QTest::newRow("telmax-config, SIGTERM in the continuous test") << "telmax-config" << SIGTERM;
        QTest::newRow("telmax-config, SIGINT in the continuous test") << "telmax-config" << SIGINT;
        QTest::newRow("telmax-config, SIGHUP in the continuous test") << "telmax-config" << SIGHUP;
        QTest::newRow("telmax-cmd, SIGTERM during an exchange") << "telmax-cmd" << SIGTERM;
        // Ctrl+\ and a closed pipe (telmax-cmd ... | head -1) left the port raw and exclusive.
        QTest::newRow("telmax-cmd, SIGQUIT during an exchange") << "telmax-cmd" << SIGQUIT;
        QTest::newRow("telmax-cmd, its stdout pipe closed") << "telmax-cmd" << SIGPIPE;
    }
    void portPutBackWhenEndedBySignal()
    {
        QFETCH(QString, program);
        QFETCH(int, signal);
        const bool window = program == "telmax-config";
        TELMAX_START_SIM(sim, 3, window ? QStringList() : QStringList{"--silent"});

        // A descriptor of the test's own on the port, opened before the program, to look at it.
        const int fd = ::open(sim.device().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
        QVERIFY(fd >= 0);
        termios before{};
        QCOMPARE(::tcgetattr(fd, &before), 0);
        QCOMPARE(exclusiveFlag(fd), 0);

        QVERIFY(sim.store().write("[General]\nScanCommNo=3\nScanBaudRateNo=5\nScanBaudRate=\"19200,e,8,1\"\n"));

        QProcess child;
        QProcessEnvironment env = sim.environment();
        env.insert("QT_QPA_PLATFORM", "offscreen");
        child.setProcessEnvironment(env);
        child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        if (window) {
            child.start(QCoreApplication::applicationFilePath(), {"--as-program"});
        } else {
            const QString cmd = qEnvironmentVariable("TELMAX_CMD");
            if (cmd.isEmpty())
                QSKIP("TELMAX_CMD is not set (run through ctest)");
            QStringList args{"COM3"};
            for (int i = 0; i < 100; ++i)
                args << "E00B";
            if (signal == SIGPIPE)
                child.start("/bin/bash", QStringList{"-c", "set -o pipefail; \"$0\" \"$@\" | head -1", cmd} + args);
            else
                child.start(cmd, args);
        }
        QVERIFY(child.waitForStarted());

        // Held: frames of the continuous test (or the first exchange) are arriving.
        const QString awaited = window ? "E00GVOREX PRINT TEST." : "E00B";
        QVERIFY(sim.waitForLog(
            [&](const QList<QJsonObject> &log) {
                for (const QJsonObject &o : log)
                    if (o.value("dir") == "rx" && o.value("text") == awaited)
                        return true;
                return false;
            },
            15000));
        QCOMPARE(exclusiveFlag(fd), 1);
        // Terminal programs see the port as ours: a lock file names the process that holds it
        // (under the pipe, telmax-cmd is the shell's child).
        const QByteArray lock = lockFileOf(sim.device());
        const bool locks = ::access("/run/lock", W_OK) == 0;
        if (locks) {
            const qint64 holder = lockPid(lock);
            QVERIFY2(holder == child.processId() || programOf(holder) == "telmax-cmd", lock.constData());
        }

        if (signal == SIGPIPE) {
            // head has gone after its line: the next result line is a failed write, and the run ends.
            QVERIFY2(child.waitForFinished(5000), "the program did not end");
            QCOMPARE(child.exitStatus(), QProcess::NormalExit);
            QCOMPARE(child.exitCode(), 1);
        } else {
            ::kill(pid_t(child.processId()), signal);
            QVERIFY2(child.waitForFinished(5000), "the program did not end");
        }

        termios after{};
        QCOMPARE(::tcgetattr(fd, &after), 0);
        QVERIFY2(sameTermios(before, after), "the port's settings were not put back");
        QCOMPARE(exclusiveFlag(fd), 0);
        QCOMPARE(::flock(fd, LOCK_EX | LOCK_NB), 0);
        ::close(fd);
        if (locks)
            QVERIFY2(!QFile::exists(QString::fromLocal8Bit(lock)), "the lock file stayed");
    }

    // After a kill -9 the exclusivity stays on the tty while another program keeps it open; the
    // next run said "another program holds the port" of what its own earlier run left.
    void exclusivityLeftByAKilledRunIsNamed()
    {
        const QString cmd = qEnvironmentVariable("TELMAX_CMD");
        if (cmd.isEmpty())
            QSKIP("TELMAX_CMD is not set (run through ctest)");
        TELMAX_START_SIM(sim, 3, {"--silent"});
        const int fd = ::open(sim.device().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
        QVERIFY(fd >= 0);
        const MarkerPath marker(fd);
        QProcess first;
        first.setProcessEnvironment(sim.environment());
        first.start(cmd, {QString::fromStdString(sim.device()), "E00B", "E00B", "E00B", "E00B", "E00B", "E00B"});
        QVERIFY(first.waitForStarted());
        QVERIFY(sim.waitForLog([](const QList<QJsonObject> &log) { return !log.isEmpty() && log.last().value("dir") == "rx"; }, 5000));
        const qint64 pid = first.processId();
        ::kill(pid_t(pid), SIGKILL);
        QVERIFY(first.waitForFinished(5000));
        QCOMPARE(exclusiveFlag(fd), 1);

        QProcess second;
        second.setProcessEnvironment(sim.environment());
        second.start(cmd, {QString::fromStdString(sim.device()), "E00B"});
        QVERIFY(second.waitForFinished(5000));
        const QString said = QString::fromLocal8Bit(second.readAllStandardError());
        ::ioctl(fd, TIOCNXCL);
        ::close(fd);
        QCOMPARE(second.exitCode(), 4);   // a port that cannot be used
        QVERIFY2(said.contains(QString("an earlier run of this program (pid %1) was killed").arg(pid)), qPrintable(said));
        QVERIFY2(said.contains("telmax-sim"), qPrintable(said));
    }

    // /run/lock is anyone's to write in: a FIFO under the marker's name hung every run that found
    // the port exclusive, and another user's file naming a live process made the run blame "an
    // earlier run of this program" on that process.
    void plantedMarkerIsIgnoredAndNamed_data()
    {
        QTest::addColumn<bool>("fifo");
        QTest::newRow("a FIFO") << true;
        QTest::newRow("another user's file naming a running sleep") << false;
    }
    void plantedMarkerIsIgnoredAndNamed()
    {
        QFETCH(bool, fifo);
        const QString cmd = qEnvironmentVariable("TELMAX_CMD");
        if (cmd.isEmpty())
            QSKIP("TELMAX_CMD is not set (run through ctest)");
        TELMAX_START_SIM(sim, 3, {"--silent"});
        const int fd = ::open(sim.device().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
        QVERIFY(fd >= 0);
        QCOMPARE(::ioctl(fd, TIOCEXCL), 0);   // another program holds the port exclusive
        const MarkerPath marker(fd);
        QProcess sleeper;
        if (fifo) {
            QCOMPARE(::mkfifo(marker.path.constData(), 0666), 0);
        } else {
            sleeper.start("sleep", {"60"});
            QVERIFY(sleeper.waitForStarted());
            QFile file(QString::fromLocal8Bit(marker.path));
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write(QByteArray::number(sleeper.processId()) + "\n");
            file.close();
            QCOMPARE(::chown(marker.path.constData(), 65534, 65534), 0);
        }

        QProcess run;
        run.setProcessEnvironment(sim.environment());
        run.start(cmd, {QString::fromStdString(sim.device()), "E00B"});
        const bool ended = run.waitForFinished(5000);
        if (!ended)
            run.kill();
        ::ioctl(fd, TIOCNXCL);
        ::close(fd);
        sleeper.kill();
        sleeper.waitForFinished();
        QVERIFY2(ended, "the run hung on the marker");
        const QString said = QString::fromLocal8Bit(run.readAllStandardError());
        QCOMPARE(run.exitCode(), 4);
        QVERIFY2(said.contains("busy, another program holds the port"), qPrintable(said));
        QVERIFY2(said.contains(QString::fromLocal8Bit(marker.path) + " was ignored"), qPrintable(said));
    }

    // Started without a display, the window aborted with Qt's "Reinstalling the application may
    // fix this problem" and status 134.
    void startedWithoutADisplay()
    {
        const testsupport::TemporaryStore store;
        QProcess child;
        QProcessEnvironment env = store.environment();
        for (const char *name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
            env.remove(name);
        child.setProcessEnvironment(env);
        child.start(QCoreApplication::applicationFilePath(), {"--as-program"});
        QVERIFY(child.waitForFinished(10000));
        const QString said = QString::fromLocal8Bit(child.readAllStandardError());
        QCOMPARE(child.exitStatus(), QProcess::NormalExit);
        QCOMPARE(child.exitCode(), 1);
        QCOMPARE(said.count('\n'), 1);
        QVERIFY2(said.contains("no display found") && said.contains("telmax-cmd"), qPrintable(said));
    }

    // Started without XDG_RUNTIME_DIR (root on a console or after su, as scripts/demo runs it),
    // the window printed Qt's "QStandardPaths: XDG_RUNTIME_DIR not set, defaulting to ..." each
    // time: a normal start, scan and continuous test, ended by SIGTERM, prints nothing.
    void normalRunPrintsNothing()
    {
        TELMAX_START_SIM(sim, 3, QStringList());
        const QTemporaryDir tmp;   // where Qt makes its own runtime folder, whatever /tmp holds
        QProcess child;
        QProcessEnvironment env = sim.environment();
        env.insert("QT_QPA_PLATFORM", "offscreen");
        env.remove("XDG_RUNTIME_DIR");
        env.insert("TMPDIR", tmp.path());
        child.setProcessEnvironment(env);
        child.start(QCoreApplication::applicationFilePath(), {"--as-program"});
        QVERIFY(child.waitForStarted());
        QVERIFY(sim.waitForLog(
            [](const QList<QJsonObject> &log) {
                for (const QJsonObject &o : log)
                    if (o.value("dir") == "rx" && o.value("text") == "E00GVOREX PRINT TEST.")
                        return true;
                return false;
            },
            15000));
        ::kill(pid_t(child.processId()), SIGTERM);
        QVERIFY2(child.waitForFinished(5000), "the program did not end");
        QCOMPARE(QString::fromLocal8Bit(child.readAllStandardError()), QString());
    }
};

int main(int argc, char **argv)
{
    if (argc > 1 && qstrcmp(argv[1], "--as-program") == 0)
        return runAsProgram(argc, argv);
    QCoreApplication app(argc, argv);
    TestSignalRestore test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}

#include "tst_signal_restore.moc"
