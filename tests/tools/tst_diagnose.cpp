// telmax-cmd diagnose against telmax-sim playing each fault a bench meets, and the lock files of
// the old convention that terminal programs keep in /run/lock. Catches a cause named wrongly (a
// loopback or an RS-485 echo taken for a silent module or for noise, a reply with a bad checksum
// or one after the window taken for garbage, noise taken for silence), a wrong exit status, and
// a port that another program holds by its lock file opened anyway, or a stale lock obeyed.
#include <QtTest>

#include <csignal>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "support/sim_fixture.h"

namespace {

struct Run {
    int exitCode = -1;
    QString out;
    QString err;
};

Run runCmd(const QStringList &args, const QProcessEnvironment &env)
{
    Run r;
    QProcess p;
    p.setProcessEnvironment(env);
    p.start(qEnvironmentVariable("TELMAX_CMD"), args);
    if (!p.waitForFinished(60000)) {
        p.kill();
        p.waitForFinished();
        return r;
    }
    r.exitCode = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    r.out = QString::fromLocal8Bit(p.readAllStandardOutput());
    r.err = QString::fromLocal8Bit(p.readAllStandardError());
    return r;
}

QJsonObject onlyObject(const QString &out)
{
    const QStringList lines = out.split('\n', Qt::SkipEmptyParts);
    return lines.size() == 1 ? QJsonDocument::fromJson(lines[0].toUtf8()).object() : QJsonObject();
}

// The lock file of the old convention for a pseudo-terminal: /dev/pts/3 is LCK..pts_3.
QByteArray lockPathOf(const std::string &device)
{
    return "/run/lock/LCK.." + QByteArray::fromStdString(device.substr(5)).replace('/', '_');
}

// A lock file the test puts in place for the time of one case, and takes away after it.
class PlantedLock {
public:
    explicit PlantedLock(const std::string &device) : path(lockPathOf(device)) { ::unlink(path.constData()); }
    ~PlantedLock() { ::unlink(path.constData()); }
    bool write(const QByteArray &content) const
    {
        QFile f(QString::fromLocal8Bit(path));
        return f.open(QIODevice::WriteOnly) && f.write(content) == content.size();
    }
    bool exists() const
    {
        struct stat st {};
        return ::lstat(path.constData(), &st) == 0;
    }
    const QByteArray path;
};

bool lockFolderWritable() { return ::access("/run/lock", W_OK) == 0; }

} // namespace

class TestDiagnose : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { QVERIFY(!qEnvironmentVariable("TELMAX_CMD").isEmpty()); }

    void findingOfEachFault_data()
    {
        QTest::addColumn<QStringList>("faults");
        QTest::addColumn<QString>("finding");
        QTest::addColumn<QString>("line");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("heard");
        QTest::newRow("module at 9600,n,8,1, not the first setting that opens")
            << QStringList{"--line", "9600,n,8,1"} << "module" << "9600,n,8,1" << 0 << "S/N TQ123456, ID 01";
        QTest::newRow("silence at every setting: told apart from noise")
            << QStringList{"--silent"} << "silence" << "" << 3 << "nothing came back at any of the 12 line settings";
        QTest::newRow("noise at every setting: not silence")
            << QStringList{"--noise"} << "garbage" << "4800,n,8,1" << 3 << "(F0 8C 66 E6 00 78 FE 80)";
        QTest::newRow("a loopback plug: not a silent module")
            << QStringList{"--echo", "--silent"} << "echo" << "4800,n,8,1" << 3 << "the frame sent came back";
        QTest::newRow("RS-485 echo before the module's reply: not the module")
            << QStringList{"--echo", "--line", "0"} << "echo" << "4800,n,8,1" << 3 << "the frame sent came back";
        QTest::newRow("replies with a wrong checksum: not garbage")
            << QStringList{"--corrupt-checksum", "--line", "0"} << "checksum" << "4800,n,8,1" << 3 << "wrong checksum";
        QTest::newRow("a reply 200 ms after the frame: late, not garbage or silence")
            << QStringList{"--delay", "200", "--line", "0"} << "late" << "4800,n,8,1" << 3 << "after the 120 ms reply window";
    }
    void findingOfEachFault()
    {
        QFETCH(QStringList, faults);
        QFETCH(QString, finding);
        QFETCH(QString, line);
        QFETCH(int, exitCode);
        QFETCH(QString, heard);
        TELMAX_START_SIM(sim, 5, faults);
        const Run r = runCmd({"--json", "diagnose", "--port", "COM5"}, sim.environment());
        QCOMPARE(r.exitCode, exitCode);
        const QJsonObject o = onlyObject(r.out);
        QVERIFY2(!o.isEmpty(), qPrintable(r.out + r.err));
        QCOMPARE(o.value("port").toString(), QString("COM5"));
        QCOMPARE(o.value("device").toString(), QString::fromStdString(sim.device()));
        QCOMPARE(o.value("finding").toString(), finding);
        QCOMPARE(o.value("line").toString(), line);
        QVERIFY2(o.value("heard").toString().contains(heard), qPrintable(o.value("heard").toString()));
        QVERIFY(!o.value("advice").toString().isEmpty());
        if (finding == "late") {
            // How late, as it was heard: after the window, before the next frame.
            const int lateMs = o.value("lateMs").toInt();
            QVERIFY2(lateMs > 120 && lateMs < 500, qPrintable(QString::number(lateMs)));
        }
        // A pseudo-terminal keeps no error counts: none are made up.
        QVERIFY(!o.contains("framingErrors"));
    }

    // The text form: the port's line with its finding, then what was heard and the fix.
    void findingAsText()
    {
        TELMAX_START_SIM(sim, 5, {"--echo", "--silent"});
        const Run r = runCmd({"diagnose", "--port", "COM5"}, sim.environment());
        QCOMPARE(r.exitCode, 3);
        const QStringList lines = r.out.split('\n', Qt::SkipEmptyParts);
        QCOMPARE(lines.size(), 3);
        QVERIFY2(lines[0].startsWith("COM5 ") && lines[0].endsWith("  echo 4800,n,8,1"), qPrintable(lines[0]));
        QVERIFY(lines[1].startsWith("       heard: the frame sent came back"));
        QVERIFY(lines[2].startsWith("       fix:   a loopback plug, or an RS-485 adapter"));
        QVERIFY2(r.err.contains("diagnose: COM5 at 4800,n,8,1"), qPrintable(r.err));
    }

    // diagnose with the production line's options ran, and --audit's record was silently
    // left out.
    void diagnoseGoesAlone_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QString>("said");
        QTest::newRow("another verb") << QStringList{"diagnose", "--port", "COM5", "status"} << "diagnose goes alone";
        QTest::newRow("--audit") << QStringList{"--audit", "units.jsonl", "diagnose", "--port", "COM5"}
                                 << "--verify and --audit do not go with it";
        QTest::newRow("--all") << QStringList{"--all", "diagnose"} << "leave out --all";
    }
    void diagnoseGoesAlone()
    {
        QFETCH(QStringList, args);
        QFETCH(QString, said);
        TELMAX_START_SIM(sim, 5);
        const Run r = runCmd(args, sim.environment());
        QCOMPARE(r.exitCode, 2);
        QVERIFY2(r.err.contains(said), qPrintable(r.err));
        QVERIFY(sim.received().isEmpty());
    }

    // minicom, cu and others mark a port they use with /run/lock/LCK..<name>: a port whose lock
    // names a running process was opened (its modem lines raised under that program) and used.
    void liveLockFileMakesThePortBusy_data()
    {
        QTest::addColumn<QString>("form");
        QTest::newRow("ten ASCII characters and a newline") << "ascii10";
        QTest::newRow("a plain decimal, as older programs wrote it") << "decimal";
        QTest::newRow("a binary int, as older programs wrote it") << "binary";
    }
    void liveLockFileMakesThePortBusy()
    {
        QFETCH(QString, form);
        if (!lockFolderWritable())
            QSKIP("/run/lock is not writable here");
        TELMAX_START_SIM(sim, 5);
        QProcess holder;
        holder.start("sleep", {"60"});
        QVERIFY(holder.waitForStarted());
        const int pid = int(holder.processId());
        const PlantedLock lock(sim.device());
        QByteArray content = form == "ascii10" ? QByteArray::number(pid).rightJustified(10, ' ') + "\n"
                                               : QByteArray::number(pid) + "\n";
        if (form == "binary")
            content = QByteArray(reinterpret_cast<const char *>(&pid), sizeof pid);
        QVERIFY(lock.write(content));
        const Run status = runCmd({"--port", "COM5", "status"}, sim.environment());
        const Run diagnosed = runCmd({"--json", "diagnose", "--port", "COM5"}, sim.environment());
        holder.kill();
        holder.waitForFinished();
        QCOMPARE(status.exitCode, 4);
        const QString said = QString("sleep (pid %1) holds the port (its lock file %2)").arg(pid).arg(QString(lock.path));
        QVERIFY2(status.err.contains(said), qPrintable(status.err));
        QCOMPARE(diagnosed.exitCode, 4);
        const QJsonObject o = onlyObject(diagnosed.out);
        QCOMPARE(o.value("finding").toString(), QString("busy"));
        QVERIFY2(o.value("heard").toString().contains(said), qPrintable(diagnosed.out));
        QVERIFY(sim.received().isEmpty());
        QVERIFY(lock.exists());   // another program's lock is not ours to take away
    }

    // ModemManager opens modem-like ports to probe them: a port it holds was reported as held by
    // "another program", with no word of what keeps ModemManager away.
    void portHeldByModemManager()
    {
        TELMAX_START_SIM(sim, 5);
        int ready[2];
        QCOMPARE(::pipe(ready), 0);
        const pid_t probe = ::fork();
        if (probe == 0) {
            ::prctl(PR_SET_NAME, "ModemManager");
            const int fd = ::open(sim.device().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
            ::flock(fd, LOCK_EX | LOCK_NB);
            (void)!::write(ready[1], "x", 1);
            ::pause();
            ::_exit(0);
        }
        char c = 0;
        QCOMPARE(::read(ready[0], &c, 1), ssize_t(1));
        const Run status = runCmd({"--port", "COM5", "status"}, sim.environment());
        const Run diagnosed = runCmd({"--json", "diagnose", "--port", "COM5"}, sim.environment());
        ::kill(probe, SIGKILL);
        ::waitpid(probe, nullptr, 0);
        ::close(ready[0]);
        ::close(ready[1]);
        QCOMPARE(status.exitCode, 4);
        QVERIFY2(status.err.contains(QString("ModemManager (pid %1)").arg(probe))
                     && status.err.contains("ModemManager probes it (telmax-cmd --ports gives the udev rule"),
                 qPrintable(status.err));
        QCOMPARE(diagnosed.exitCode, 4);
        QCOMPARE(onlyObject(diagnosed.out).value("finding").toString(), QString("busy"));
    }

    // A lock file whose process has ended kept the port busy for good; one that is no regular
    // file (a FIFO, a link someone placed) hung the run or was believed.
    void lockFileNotObeyed_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("named");
        QTest::newRow("stale: its process has ended") << "stale" << "which has ended, was ignored";
        QTest::newRow("a FIFO") << "fifo" << "was ignored: not a lock file";
        QTest::newRow("a symbolic link to a lock file") << "link" << "was ignored: not a lock file";
    }
    void lockFileNotObeyed()
    {
        QFETCH(QString, kind);
        QFETCH(QString, named);
        if (!lockFolderWritable())
            QSKIP("/run/lock is not writable here");
        TELMAX_START_SIM(sim, 5);
        const PlantedLock lock(sim.device());
        QTemporaryDir dir;
        if (kind == "stale") {
            QProcess ended;
            ended.start("true");
            QVERIFY(ended.waitForStarted());
            const qint64 pid = ended.processId();
            QVERIFY(ended.waitForFinished());
            QVERIFY(lock.write(QByteArray::number(pid).rightJustified(10, ' ') + "\n"));
        } else if (kind == "fifo") {
            QCOMPARE(::mkfifo(lock.path.constData(), 0666), 0);
        } else {
            const QByteArray target = QFile::encodeName(dir.filePath("lock"));
            QFile f(QString::fromLocal8Bit(target));
            QVERIFY(f.open(QIODevice::WriteOnly) && f.write(QByteArray::number(::getppid()) + "\n") > 0);
            f.close();
            QCOMPARE(::symlink(target.constData(), lock.path.constData()), 0);
        }
        const Run listed = runCmd({"--ports"}, sim.environment());
        QCOMPARE(listed.exitCode, 0);
        const QString com5 = listed.out.split('\n').filter(QRegularExpression("^COM5 ")).value(0);
        QVERIFY2(com5.contains("free; ") && com5.contains(QString(lock.path)) && com5.contains(named), qPrintable(com5));
        const Run status = runCmd({"--port", "COM5", "status"}, sim.environment());
        QCOMPARE(status.exitCode, 0);
        // The stale one is gone, so the next program that looks takes the port as free.
        QCOMPARE(lock.exists(), kind != "stale");
    }
};

QTEST_GUILESS_MAIN(TestDiagnose)
#include "tst_diagnose.moc"
