// telmax-cmd as a technician runs it: against telmax-sim, a silent module, a missing device,
// a busy port and a COM number mapped in the settings store.
#include <QtTest>

#include <cstring>
#include <optional>

#include <csignal>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/inotify.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include "support/sim_fixture.h"
#include "support/temporary_store.h"

namespace {

struct Run {
    int exitCode = -1;
    QString out;
    QString err;
};

// telmax-cmd run with a settings store of the test's (env); its stdout read, or sent to a file
// (/dev/full), or with an empty file name closed.
Run runCmd(const QStringList &args, const QProcessEnvironment &env, const std::optional<QString> &stdoutFile = {})
{
    Run r;
    QProcess p;
    p.setProcessEnvironment(env);
    if (stdoutFile && stdoutFile->isEmpty()) {
        p.start("/bin/sh", QStringList{"-c", "exec \"$0\" \"$@\" >&-", qEnvironmentVariable("TELMAX_CMD")} + args);
    } else {
        if (stdoutFile)
            p.setStandardOutputFile(*stdoutFile);
        p.start(qEnvironmentVariable("TELMAX_CMD"), args);
    }
    if (!p.waitForFinished(10000)) {
        p.kill();
        p.waitForFinished();
        return r;
    }
    r.exitCode = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    r.out = QString::fromLocal8Bit(p.readAllStandardOutput());
    r.err = QString::fromLocal8Bit(p.readAllStandardError());
    return r;
}

// Whether process pid has path open.
bool hasOpen(qint64 pid, const QString &path)
{
    const QDir fds(QStringLiteral("/proc/%1/fd").arg(pid));
    for (const QFileInfo &fd : fds.entryInfoList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot))
        if (fd.symLinkTarget() == path)
            return true;
    return false;
}

// The entries of the store's folder that a save may leave: its temporary files and its lock.
QStringList saveLeftovers(const testsupport::TemporaryStore &store, testsupport::TemporaryStore::Scope scope)
{
    return QDir(store.folder(scope)).entryList({".PRINTConfig.conf.*"}, QDir::AllEntries | QDir::Hidden | QDir::System);
}

QStringList frameTexts(const testsupport::SimProcess &sim)
{
    QStringList frames;
    for (const QJsonObject &o : sim.received())
        frames << o.value("text").toString();
    return frames;
}

} // namespace

class TestTelmaxCmd : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { QVERIFY(!qEnvironmentVariable("TELMAX_CMD").isEmpty()); }

    void everyExchangeVerified()
    {
        TELMAX_START_SIM(sim, 5, {"--serial", "AB345678", "--id", "42", "--firmware", "01.02-03", "--status", "P"});
        const Run r = runCmd({QString::fromStdString(sim.device()), "E00B", "E00V", "E00F", "E00GHi", "E00H0D0A"},
                             sim.environment());
        QCOMPARE(r.exitCode, 0);
        QVERIFY(r.out.contains("sent    09 45 30 30 42 30 45 0D"));
        QVERIFY(r.out.contains("S/N     AB345678"));
        QVERIFY(r.out.contains("ID      42"));
        QVERIFY(r.out.contains("version 01.02-03"));
        QVERIFY(r.out.contains("status  P Print paper out!"));
        QCOMPARE(r.out.count("verified ("), 5);
        QCOMPARE(sim.paper(), QByteArray("Hi\r\n"));
    }

    void wrongLineSettingsFail()
    {
        TELMAX_START_SIM(sim, 5);
        const Run r = runCmd({"--line", "9600,n,8,1", QString::fromStdString(sim.device()), "E00B"}, sim.environment());
        QCOMPARE(r.exitCode, 1);
        QVERIFY(r.out.contains("NOT verified: no complete reply"));
    }

    void wrongLengthInfoIsNotTheModule()
    {
        TELMAX_START_SIM(sim, 5, {"--wrong-info-length"});
        const Run r = runCmd({QString::fromStdString(sim.device()), "E00B"}, sim.environment());
        QCOMPARE(r.exitCode, 0);
        QVERIFY(r.out.contains("not 16"));
    }

    void overlongCommandRefused()
    {
        TELMAX_START_SIM(sim, 5);
        const Run r = runCmd({QString::fromStdString(sim.device()), "E00G" + QString(252, 'x')}, sim.environment());
        QCOMPARE(r.exitCode, 1);
        QVERIFY(r.out.contains("refused: 256 bytes"));
        QVERIFY(sim.received().isEmpty());
    }

    // A port that cannot be used is a station's fault (exit 4), a usage error the caller's (2).
    void portsThatDoNotOpen_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QString>("reason");
        QTest::addColumn<int>("exitCode");
        QTest::newRow("missing device") << QStringList{"/dev/telmax-no-such-port", "E00B"} << "no such device" << 4;
        QTest::newRow("COM without a device") << QStringList{"COM40", "E00B"} << "names no device" << 4;
        // The console, a virtual terminal and the program's own terminal were opened, made raw
        // and sent frames, or refused as missing; a file that is no terminal as "cannot open".
        QTest::newRow("the console") << QStringList{"/dev/console", "E00B"} << "/dev/console: not a serial line" << 4;
        QTest::newRow("a virtual terminal") << QStringList{"/dev/tty1", "E00B"} << "/dev/tty1: not a serial line" << 4;
        QTest::newRow("the program's terminal") << QStringList{"/dev/tty", "E00B"} << "/dev/tty: not a serial line" << 4;
        QTest::newRow("no terminal") << QStringList{"/dev/null", "E00B"} << "/dev/null: not a serial line" << 4;
        QTest::newRow("no command") << QStringList{"COM3"} << "Usage:" << 2;
        QTest::newRow("no arguments") << QStringList{} << "Usage:" << 2;
        QTest::newRow("--line without value") << QStringList{"--line"} << "--line needs a value" << 2;
    }
    void portsThatDoNotOpen()
    {
        QFETCH(QStringList, args);
        QFETCH(QString, reason);
        QFETCH(int, exitCode);
        if (reason.contains("not a serial line") && !QFile::exists(args.first()))
            QSKIP("this machine has no such device");
        testsupport::TemporaryStore empty;   // no port map
        const Run r = runCmd(args, empty.environment());
        QCOMPARE(r.exitCode, exitCode);
        QVERIFY2(r.err.contains(reason), qPrintable(r.err));
        if (reason != "Usage:")
            QCOMPARE(r.err.count('\n'), 1);   // one line of reason
    }

    void busyPortNamed()
    {
        TELMAX_START_SIM(sim, 5);
        const int fd = ::open(sim.device().c_str(), O_RDWR | O_NOCTTY);
        QVERIFY(fd >= 0);
        QCOMPARE(::flock(fd, LOCK_EX | LOCK_NB), 0);
        const Run r = runCmd({QString::fromStdString(sim.device()), "E00B"}, sim.environment());
        ::close(fd);
        QCOMPARE(r.exitCode, 4);
        QVERIFY2(r.err.contains("busy"), qPrintable(r.err));
    }

    // COMn goes through the port map in ports.conf, as in the program.
    void comNumberThroughTheSettingsStore()
    {
        TELMAX_START_SIM(sim, 3, {"--id", "07"});
        const Run r = runCmd({"COM3", "E00B"}, sim.environment());
        QCOMPARE(r.exitCode, 0);
        QVERIFY(r.out.contains("ID      07"));
    }

    // The verbs run the window's operations: a scan that searches and stores what it found,
    // then further operations at the found port, as the window runs them.
    void scanFindsAndStores()
    {
        TELMAX_START_SIM(sim, 5, {"--line", "2", "--serial", "SN000005"});
        const Run r = runCmd({"scan", "--no-lock"}, sim.environment());
        QCOMPARE(r.exitCode, 0);
        QVERIFY2(r.out.contains("port     COM5") && r.out.contains("line     9600,n,8,1")
                     && r.out.contains("serial   SN000005") && r.out.contains("version  03.10-07"),
                 qPrintable(r.out));
        QVERIFY(r.err.contains("Scan COM : #5"));
        QCOMPARE(sim.store().value("ScanCommNo").toInt(), 5);
        QCOMPARE(sim.store().value("ScanBaudRateNo").toInt(), 2);
    }

    // A module at COM16 alone, nothing remembered, was not found: both searches stopped at COM15.
    void scanReachesTheLastPort_data()
    {
        QTest::addColumn<QStringList>("options");
        QTest::newRow("one at a time") << QStringList();
        QTest::newRow("side by side") << QStringList{"--parallel"};
    }
    void scanReachesTheLastPort()
    {
        QFETCH(QStringList, options);
        TELMAX_START_SIM(sim, 16, {"--serial", "SN000016"});
        const Run r = runCmd(QStringList{"scan"} + options, sim.environment());
        QCOMPARE(r.exitCode, 0);
        QVERIFY2(r.out.contains("port     COM16") && r.out.contains("serial   SN000016"), qPrintable(r.out + r.err));
        QCOMPARE(sim.store().value("ScanCommNo").toInt(), 16);
    }

    // A --lang code that picks another language's texts (its code and column apart) goes unseen
    // until a technician reads the messages: each code gives its own language, as its button does.
    void langCodeChoosesItsLanguage_data()
    {
        QTest::addColumn<QString>("code");
        QTest::addColumn<QString>("message");
        QTest::newRow("en") << "en" << "Get Module Status Ok";
        QTest::newRow("gb") << "gb" << QString::fromUtf8("读取模组状态完成");
        QTest::newRow("big5") << "big5" << QString::fromUtf8("讀取模組狀態完成");
    }
    void langCodeChoosesItsLanguage()
    {
        QFETCH(QString, code);
        QFETCH(QString, message);
        TELMAX_START_SIM(sim, 5);
        QProcessEnvironment env = sim.environment();
        env.insert("LC_ALL", "C.UTF-8");
        const Run r = runCmd({"--lang", code, "--port", "COM5", "status"}, env);
        QCOMPARE(r.exitCode, 0);
        QVERIFY2(r.out.contains(message), qPrintable(r.out));
    }

    void verbsInOrderAsJson()
    {
        TELMAX_START_SIM(sim, 5, {"--serial", "TQ123456"});
        const Run r = runCmd({"scan", "set-id", "42", "status", "--json"}, sim.environment());
        QCOMPARE(r.exitCode, 0);
        const QStringList lines = r.out.split('\n', Qt::SkipEmptyParts);
        QCOMPARE(lines.size(), 3);
        QStringList verbs;
        for (const QString &line : lines) {
            QJsonParseError error;
            const QJsonObject o = QJsonDocument::fromJson(line.toUtf8(), &error).object();
            QCOMPARE(error.error, QJsonParseError::NoError);
            QVERIFY(o.value("ok").toBool());
            verbs << o.value("verb").toString();
        }
        QCOMPARE(verbs, QStringList({"scan", "set-id", "status"}));
        QVERIFY(lines[1].contains("\"message\":\"Set Module ID Ok\""));
        QVERIFY(lines[2].contains("\"status\":\"Print ok.\""));
        QStringList frames;
        for (const QJsonObject &o : sim.received())
            frames << o.value("text").toString();
        QCOMPARE(frames, QStringList({"E00B", "E00V", "E00B", "E00CTQ12345642", "E00B", "E00F"}));
    }

    // A lost reply to the line end made the retry send the text again: the paper held it twice.
    void lostLineEndReplyPrintsTheTextOnce()
    {
        TELMAX_START_SIM(sim, 5, {"--drop-every", "3"});
        const Run r = runCmd({"--port", "COM5", "print", "abc"}, sim.environment());
        QCOMPARE(r.exitCode, 0);
        QCOMPARE(frameTexts(sim), QStringList({"E00B", "E00Gabc", "E00H0D0A", "E00B", "E00H0D0A"}));
        QCOMPARE(sim.paper(), QByteArray("abc\r\n"));
    }

    // A print text no command can carry failed as "Print Text Error" after two presence tests,
    // with no reason; and --json showed the raw argument rather than what went out.
    void printTextCheckedBeforeAnyFrame()
    {
        TELMAX_START_SIM(sim, 5);
        const Run tooLong = runCmd({"--port", "COM5", "print", QString(252, 'x')}, sim.environment());
        QCOMPARE(tooLong.exitCode, 2);
        QVERIFY2(tooLong.err.contains("252 bytes") && tooLong.err.contains("at most 251"), qPrintable(tooLong.err));
        QVERIFY(sim.received().isEmpty());

        const Run shown = runCmd({"--port", "COM5", "--json", "print", " a\tb\n"}, sim.environment());
        QCOMPARE(shown.exitCode, 0);
        QVERIFY2(shown.out.contains("\"text\":\"a b\""), qPrintable(shown.out));
        QCOMPARE(sim.paper(), QByteArray("a b\r\n"));
    }

    // Results that reach no one (a full disk, a closed stdout, a trace that cannot be written)
    // gave exit 0: a production line would record the module as done.
    void unwrittenResultsFail_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QString>("stdoutFile");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("said");
        QTest::newRow("stdout on a full disk") << QStringList{"--port", "COM5", "status"} << "/dev/full" << 1
                                               << "stdout: No space left on device";
        QTest::newRow("stdout closed") << QStringList{"--port", "COM5", "status"} << "" << 1 << "stdout: closed";
        QTest::newRow("trace on a full disk") << QStringList{"--trace", "/dev/full", "--port", "COM5", "status"}
                                              << "/dev/null" << 1 << "trace: No space left on device";
        QTest::newRow("raw exchanges on a full disk") << QStringList{"COM5", "E00B"} << "/dev/full" << 1
                                                      << "stdout: No space left on device";
        QTest::newRow("no trace file named") << QStringList{"--trace", "", "--port", "COM5", "status"} << "/dev/null"
                                             << 2 << "--trace needs a file name";
    }
    void unwrittenResultsFail()
    {
        QFETCH(QStringList, args);
        QFETCH(QString, stdoutFile);
        QFETCH(int, exitCode);
        QFETCH(QString, said);
        TELMAX_START_SIM(sim, 5);
        const Run r = runCmd(args, sim.environment(), stdoutFile);
        QCOMPARE(r.exitCode, exitCode);
        QVERIFY2(r.err.contains(said), qPrintable(r.err));
    }

    // A trace to a FIFO that nobody reads held the run for good; a device path or a reply with
    // bytes that are not text made trace lines that were not JSON.
    void traceNeverBlocksAndStaysJson()
    {
        TELMAX_START_SIM(sim, 5);
        QTemporaryDir dir;
        const QByteArray fifo = QFile::encodeName(dir.path() + "/trace.fifo");
        QCOMPARE(::mkfifo(fifo.constData(), 0600), 0);
        const Run blocked = runCmd(
            {"--trace", QString::fromLocal8Bit(fifo), "--port", QString::fromStdString(sim.device()), "status"},
            sim.environment());
        QCOMPARE(blocked.exitCode, 2);
        QVERIFY2(blocked.err.contains("a FIFO that no program reads"), qPrintable(blocked.err));

        const QByteArray odd = QFile::encodeName(dir.path()) + "/tty\"\\\xff\x01";
        QCOMPARE(::symlink(sim.device().c_str(), odd.constData()), 0);
        // QTemporaryDir leaves a folder behind with a name in it that is not text.
        const auto unlinkOdd = qScopeGuard([&odd] { ::unlink(odd.constData()); });
        const QString trace = dir.path() + "/trace.jsonl";
        // Through the shell: the path is not text, and QProcess would pass it as text.
        QProcess p;
        p.setProcessEnvironment(sim.environment());
        p.start("/bin/sh", {"-c", "exec \"$0\" --trace \"$1\" --port \"$2$(printf '/tty\"\\\\\\377\\001')\" status",
                            qEnvironmentVariable("TELMAX_CMD"), trace, dir.path()});
        QVERIFY(p.waitForFinished(10000));
        QVERIFY2(p.exitCode() == 0, p.readAllStandardError().constData());
        QFile file(trace);
        QVERIFY(file.open(QIODevice::ReadOnly));
        int lines = 0;
        for (const QByteArray &line : file.readAll().split('\n')) {
            if (line.isEmpty())
                continue;
            QJsonParseError error;
            QJsonDocument::fromJson(line, &error);
            QVERIFY2(error.error == QJsonParseError::NoError, line.constData());
            ++lines;
        }
        QCOMPARE(lines, 6);   // open, two frames and their replies, close
    }

    // A line setting the module does not have, a misspelt verb or an unknown option ran anyway,
    // with a "note", "no such device" or the usage; a stored line setting that is not one of the
    // twelve opened the port with nothing applied.
    void usageErrorsSendNothing_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QString>("said");
        QTest::newRow("raw --line unreadable") << QStringList{"--line", "abc", "COM5", "E00B"} << "--line abc is not";
        QTest::newRow("raw --line unknown speed") << QStringList{"--line", "12345,n,8,1", "COM5", "E00B"}
                                                  << "not one of the module's twelve line settings";
        QTest::newRow("verbs --line mark parity") << QStringList{"--port", "COM5", "--line", "19200,m,8,1", "status"}
                                                  << "not one of the module's twelve line settings";
        QTest::newRow("unknown option") << QStringList{"--bogus"} << "unknown option --bogus";
        QTest::newRow("misspelt verb") << QStringList{"scna", "status"} << "unknown verb 'scna' (did you mean scan?)";
        QTest::newRow("--count past its limit named no limit")
            << QStringList{"scan", "test", "--count", "1000000"} << "--count takes a number of lines from 1 to 999999";
        QTest::newRow("--port empty ran a scan") << QStringList{"--port", "", "scan"} << "--port needs a port";
        // An ID or line setting the module does not have went out: set-id 0 gave the module ID 01
        // and a result of "00" with exit 0.
        for (const char *id : {"0", "100", "-1", "007x", "abc", ""})
            QTest::newRow(qPrintable(QStringLiteral("set-id '%1'").arg(id)))
                << QStringList{"--port", "COM5", "set-id", id}
                << QStringLiteral("set-id: '%1' is not an ID from 1 to 99").arg(id);
        for (const char *line : {"12", "-1", "abc", "57600,x,8,1", "57600,e,8", "57600,e,8,1,", ""})
            QTest::newRow(qPrintable(QStringLiteral("set-baud '%1'").arg(line)))
                << QStringList{"--port", "COM5", "set-baud", line}
                << QStringLiteral("set-baud: '%1' is not a line setting").arg(line);
        QTest::newRow("--lang naming no language") << QStringList{"--lang", "fr", "--port", "COM5", "status"}
                                                   << "--lang takes en, gb or big5";
    }
    void usageErrorsSendNothing()
    {
        QFETCH(QStringList, args);
        QFETCH(QString, said);
        TELMAX_START_SIM(sim, 5);
        const Run r = runCmd(args, sim.environment());
        QCOMPARE(r.exitCode, 2);
        QVERIFY2(r.err.contains(said), qPrintable(r.err));
        QVERIFY(sim.received().isEmpty());
    }

    // A trace to a socket was called "a FIFO that no program reads".
    void traceToASocketNamedSo()
    {
        TELMAX_START_SIM(sim, 5);
        QTemporaryDir dir;
        const QByteArray path = QFile::encodeName(dir.path() + "/trace.sock");
        const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
        QVERIFY(fd >= 0);
        const auto closeSocket = qScopeGuard([fd] { ::close(fd); });
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        QVERIFY(std::size_t(path.size()) < sizeof address.sun_path);
        std::memcpy(address.sun_path, path.constData(), std::size_t(path.size()));
        QCOMPARE(::bind(fd, reinterpret_cast<const sockaddr *>(&address), sizeof address), 0);
        const Run r = runCmd({"--trace", QString::fromLocal8Bit(path), "--port", "COM5", "status"}, sim.environment());
        QCOMPARE(r.exitCode, 2);
        QVERIFY2(r.err.contains(": a socket;"), qPrintable(r.err));
    }

    // With --trace /dev/stdout and stdout sent to a file, the results were written over the
    // trace's first lines: two streams on one file, each at an offset of its own.
    void traceSharingStdoutKeepsEveryLine()
    {
        TELMAX_START_SIM(sim, 5);
        QTemporaryDir dir;
        const QString file = dir.filePath("out.jsonl");
        const Run r =
            runCmd({"--json", "--trace", "/dev/stdout", "--port", "COM5", "scan", "status"}, sim.environment(), file);
        QCOMPARE(r.exitCode, 0);
        QFile out(file);
        QVERIFY(out.open(QIODevice::ReadOnly));
        QStringList verbs, traced;
        for (const QByteArray &line : out.readAll().split('\n')) {
            if (line.isEmpty())
                continue;
            QJsonParseError error;
            const QJsonObject o = QJsonDocument::fromJson(line, &error).object();
            QVERIFY2(error.error == QJsonParseError::NoError, line.constData());
            if (o.contains("verb"))
                verbs << o.value("verb").toString();
            else
                traced << o.value("event").toString() + o.value("dir").toString();
        }
        QCOMPARE(verbs, QStringList({"scan", "status"}));
        // The quick check, the version read, and the status with its presence test.
        const QStringList exchange = {"open", "tx", "rx", "close"};
        QCOMPARE(traced, exchange + exchange + QStringList({"open", "tx", "rx", "tx", "rx", "close"}));
    }

    // "telmax-cmd scan test" printed "lines    2 characters the printer's code page (UTF-8)
    // lacks, printed as ?": every number field was worded as the count of replaced characters.
    void everyVerbsFieldLines()
    {
        TELMAX_START_SIM(sim, 5);
        const Run r = runCmd({"scan", "set-id", "42", "set-baud", "57600,e,8,1", "factory", "status", "print", "Hi",
                              "test", "--count", "2"},
                             sim.environment());
        QCOMPARE(r.exitCode, 0);
        const QString device = QString::fromStdString(sim.device());
        const QStringList expected = {
            "scan     ok     Get Module Info Ok. (COM : #5)  [yellow]",
            "  port     COM5",
            "  device   " + device,
            "  line     19200,e,8,1",
            "  serial   TQ123456",
            "  id       01",
            "  version  03.10-07",
            "set-id   ok     Set Module ID Ok  [yellow]",
            "  id       42",
            "set-baud ok     Set Module BaudRate Ok  [yellow]",
            "  line     57600,e,8,1",
            "factory  ok     Set Factory Default Ok  [yellow]",
            "  id       01",
            "  line     19200,e,8,1",
            "status   ok     Get Module Status Ok  [yellow]",
            "  status   Print ok.",
            "print    ok     Print Text Ok  [yellow]",
            "  text     Hi",
            "  line 1 printed",
            "  line 2 printed",
            "test     ok     Print Text Ok  [yellow]",
            "  lines    2",
        };
        QCOMPARE(r.out.split('\n', Qt::SkipEmptyParts), expected);
    }

    // "telmax-cmd --port /dev/pts/4 scan" reported "port":"COM1000000" and "(COM : #/dev/pts/4)":
    // a made-up number for a device no COM number names.
    void portNamedByItsPathLabelledByIt()
    {
        TELMAX_START_SIM(sim, 5);
        QTemporaryDir dir;
        const QString path = dir.filePath("module");
        QVERIFY(QFile::link(QString::fromStdString(sim.device()), path));
        const QString trace = dir.filePath("trace.jsonl");
        const Run r = runCmd({"--json", "--trace", trace, "--port", path, "scan"}, sim.environment());
        QCOMPARE(r.exitCode, 0);
        const QJsonObject o = QJsonDocument::fromJson(r.out.toUtf8()).object();
        QCOMPARE(o.value("port").toString(), path);
        QCOMPARE(o.value("message").toString(), "Get Module Info Ok. (COM : " + path + ")");
        QVERIFY2(r.err.contains("Scan COM : " + path + "\n"), qPrintable(r.err));
        QFile file(trace);
        QVERIFY(file.open(QIODevice::ReadOnly));
        for (const QByteArray &line : file.readAll().split('\n'))
            if (!line.isEmpty())
                QCOMPARE(QJsonDocument::fromJson(line).object().value("port").toString(), path);
    }

    // A module whose version was ESC ] 2 ; p w n BEL set the terminal's title through telmax-cmd.
    void textFromTheLineShownVisible()
    {
        const QString version = QStringLiteral("\x1b]2;pwn\a");
        TELMAX_START_SIM(sim, 5, {"--firmware", version});
        const Run shown = runCmd({"scan"}, sim.environment());
        QCOMPARE(shown.exitCode, 0);
        QVERIFY2(!shown.out.contains(QChar(0x1B)) && shown.out.contains("  version  \\x1b]2;pwn\\x07\n"),
                 qPrintable(shown.out));
        const Run raw = runCmd({"COM5", "E00V"}, sim.environment());
        QCOMPARE(raw.exitCode, 0);
        QVERIFY2(!raw.out.contains(QChar(0x1B)) && raw.out.contains("  version \\x1b]2;pwn\\x07\n"),
                 qPrintable(raw.out));
        const Run json = runCmd({"--json", "scan"}, sim.environment());
        QCOMPARE(json.exitCode, 0);
        QVERIFY2(json.out.contains("\"version\":\"\\u001b]2;pwn\\u0007\""), qPrintable(json.out));
        QCOMPARE(QJsonDocument::fromJson(json.out.toUtf8()).object().value("version").toString(), version);
    }

    // A newline in a device path of ports.conf printed a line of its own in --ports, one that
    // looked like a port.
    void portListingShowsControlCharacters()
    {
        TELMAX_START_SIM(sim, 5);
        QVERIFY(sim.store().writePorts("[Ports]\nCOM9=\"/dev/telmax-x\\nFORGED free\"\n",
                                       testsupport::TemporaryStore::User));
        const Run r = runCmd({"--ports"}, sim.environment());
        QCOMPARE(r.exitCode, 0);
        QVERIFY2(r.out.contains("/dev/telmax-x\\x0aFORGED free") && !r.out.contains("\nFORGED"), qPrintable(r.out));
    }

    // A newline in a device path of ports.conf reached stderr raw in the reason a port did not
    // open: a line of its own, one that could pass for telmax-cmd's.
    void openFailureShowsControlCharacters()
    {
        TELMAX_START_SIM(sim, 5);
        QVERIFY(sim.store().writePorts("[Ports]\nCOM9=\"/dev/telmax-x\\ntelmax-cmd: FORGED\"\n",
                                       testsupport::TemporaryStore::User));
        for (const QStringList &args : {QStringList{"--port", "COM9", "status"}, QStringList{"COM9", "E00B"}}) {
            const Run r = runCmd(args, sim.environment());
            QCOMPARE(r.exitCode, 4);
            QVERIFY2(r.err.contains("/dev/telmax-x\\x0atelmax-cmd: FORGED: no such device")
                         && !r.err.contains("\ntelmax-cmd: FORGED"),
                     qPrintable(r.err));
        }
    }

    void storedLineSettingNotOneOfTheTwelve()
    {
        TELMAX_START_SIM(sim, 5, {"--line", "2"});
        QVERIFY(sim.store().write("[General]\nScanCommNo=5\nScanBaudRateNo=2\nScanBaudRate=\"12345,q,8,1\"\n"));
        const Run r = runCmd({"--json", "scan"}, sim.environment());
        QCOMPARE(r.exitCode, 0);
        QCOMPARE(r.err.count("ScanBaudRate \"12345,q,8,1\" is not one of the module's line settings; using 9600,n,8,1"), 1);
        QVERIFY2(r.out.contains("\"line\":\"9600,n,8,1\""), qPrintable(r.out));
    }

    // After set-baud or factory the next invocation's locked scan looked for the module at the
    // old line setting and found nothing.
    void nextRunFindsTheModuleAtItsNewLineSetting_data()
    {
        QTest::addColumn<QStringList>("change");
        QTest::addColumn<QString>("line");
        QTest::newRow("set-baud") << QStringList{"scan", "set-baud", "57600,e,8,1"} << "57600,e,8,1";
        QTest::newRow("factory") << QStringList{"scan", "factory"} << "19200,e,8,1";
    }
    void nextRunFindsTheModuleAtItsNewLineSetting()
    {
        QFETCH(QStringList, change);
        QFETCH(QString, line);
        TELMAX_START_SIM(sim, 5, {"--line", "2"});
        QVERIFY(sim.store().write("[General]\nScanCommNo=5\nScanBaudRateNo=2\nScanBaudRate=\"9600,n,8,1\"\n"));
        QCOMPARE(runCmd(change, sim.environment()).exitCode, 0);
        QCOMPARE(sim.store().value("ScanBaudRate").toString(), line);
        const Run next = runCmd({"scan", "status"}, sim.environment());
        QCOMPARE(next.exitCode, 0);
        QVERIFY2(next.out.contains("line     " + line), qPrintable(next.out));
    }

    // set-baud into a store that could not take the new line setting said ok and exited 0: the
    // module ran at 57600 and the next run looked for it at the old setting.
    void unsavedLineSettingFails_data()
    {
        QTest::addColumn<bool>("json");
        QTest::newRow("json") << true;
        QTest::newRow("text") << false;
    }
    void unsavedLineSettingFails()
    {
        QFETCH(bool, json);
        using Store = testsupport::TemporaryStore;
        TELMAX_START_SIM(sim, 5);
        // Neither store can be written, by root either: a folder where the machine-wide file
        // belongs, a file where the user's folder belongs.
        const Store &store = sim.store();
        QVERIFY(QDir().mkpath(store.file(Store::Machine)));
        QVERIFY(store.writePorts("", Store::User) && QDir(store.folder(Store::User)).removeRecursively());
        QFile userFolder(store.folder(Store::User));
        QVERIFY(userFolder.open(QIODevice::WriteOnly));
        userFolder.close();
        QStringList args{"--port", "COM5", "set-baud", "57600,e,8,1"};
        if (json)
            args.prepend("--json");
        const Run r = runCmd(args, sim.environment());
        QCOMPARE(r.exitCode, 1);
        const QString reason = store.file(Store::Machine) + " is not a regular file; " + store.file(Store::User)
                               + " cannot be made (" + store.folder(Store::User) + " is not a writable folder)";
        if (json) {
            const QJsonObject o = QJsonDocument::fromJson(r.out.toUtf8()).object();
            QVERIFY2(o.value("ok").toBool() && o.contains("saved") && !o.value("saved").toBool(), qPrintable(r.out));
            QCOMPARE(o.value("save_error").toString(), reason);
        } else {
            QVERIFY2(r.out.contains("  saved    no: " + reason + "; the module now runs at 57600,e,8,1\n"),
                     qPrintable(r.out));
        }
    }

    // A set-baud ended in the middle of its save left ScanBaudRateNo without its ScanBaudRate
    // (each value was a replace of its own) and temporary files beside the store for good. The
    // pair is one replace, and the next save clears what a killed one left.
    void lineSettingIsOneReplace()
    {
        using Store = testsupport::TemporaryStore;
        TELMAX_START_SIM(sim, 5);
        QVERIFY(sim.store().write("[General]\nScanCommNo=5\nScanBaudRateNo=5\nScanBaudRate=\"19200,e,8,1\"\n"));
        const QString killed = sim.store().folder() + "/.PRINTConfig.conf.tmp-k1ll3d";
        QFile leftover(killed);
        QVERIFY(leftover.open(QIODevice::WriteOnly) && leftover.write("[General]\nScanBaudRateNo=9\n") > 0);
        leftover.close();
        const int watch = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
        QVERIFY(watch >= 0);
        // Both halves of a rename: alone, two renames onto one name can come out as one event.
        QVERIFY(inotify_add_watch(watch, QFile::encodeName(sim.store().folder()).constData(),
                                  IN_MOVED_FROM | IN_MOVED_TO) >= 0);

        const Run r = runCmd({"--port", "COM5", "set-baud", "57600,e,8,1"}, sim.environment());
        QCOMPARE(r.exitCode, 0);
        int replaces = 0;
        alignas(inotify_event) char buffer[4096];
        for (ssize_t got; (got = ::read(watch, buffer, sizeof buffer)) > 0;)
            for (ssize_t at = 0; at < got;) {
                const auto *event = reinterpret_cast<const inotify_event *>(buffer + at);
                replaces += (event->mask & IN_MOVED_TO) && event->len && QByteArray(event->name) == "PRINTConfig.conf";
                at += ssize_t(sizeof(inotify_event) + event->len);
            }
        ::close(watch);
        QCOMPARE(replaces, 1);
        QCOMPARE(sim.store().valueText("ScanBaudRateNo"), QString("9"));
        QCOMPARE(sim.store().valueText("ScanBaudRate"), QString("57600,e,8,1"));
        QCOMPARE(saveLeftovers(sim.store(), Store::Machine), QStringList());
    }

    // SIGTERM or Ctrl+C during set-baud's save ended it half done. The save, once begun, is
    // finished first: here the signal comes while the save waits for the store's lock.
    void endingSignalWaitsForTheSave()
    {
        using Store = testsupport::TemporaryStore;
        TELMAX_START_SIM(sim, 5);
        const Store &store = sim.store();
        QVERIFY(store.write("[General]\nScanCommNo=5\nScanBaudRateNo=5\nScanBaudRate=\"19200,e,8,1\"\n"));
        const QString lockPath = store.folder() + "/.PRINTConfig.conf.lock";
        const int lock = ::open(QFile::encodeName(lockPath).constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
        QVERIFY(lock >= 0);
        QCOMPARE(::flock(lock, LOCK_EX), 0);

        QProcess p;
        p.setProcessEnvironment(sim.environment());
        p.start(qEnvironmentVariable("TELMAX_CMD"), {"--port", "COM5", "set-baud", "57600,e,8,1"});
        QVERIFY(p.waitForStarted());
        bool waiting = false;
        for (int i = 0; i < 5000 && !waiting && p.state() == QProcess::Running; ++i) {
            waiting = hasOpen(p.processId(), lockPath);
            if (!waiting)
                QTest::qSleep(2);
        }
        if (waiting)
            ::kill(pid_t(p.processId()), SIGTERM);
        ::close(lock);
        QVERIFY2(waiting, "telmax-cmd never waited for the store's lock");
        QVERIFY(p.waitForFinished(10000));
        QCOMPARE(p.exitStatus(), QProcess::CrashExit);   // ended by the signal, after the save
        // Saved whole, machine-wide, or in the user's store had the lock been kept too long.
        const Store::Scope where = QFileInfo::exists(store.file(Store::User)) ? Store::User : Store::Machine;
        QCOMPARE(store.valueText("ScanBaudRateNo", where), QString("9"));
        QCOMPARE(store.valueText("ScanBaudRate", where), QString("57600,e,8,1"));
        QCOMPARE(saveLeftovers(store, Store::Machine), QStringList());
        QCOMPARE(saveLeftovers(store, Store::User), QStringList());
    }

    // A device path in ports.conf that is not UTF-8 went through a QString and named a device
    // that does not exist. It is kept as its bytes.
    void deviceNameThatIsNotUtf8()
    {
        TELMAX_START_SIM(sim, 3, {"--id", "07"});
        const QByteArray link = QFile::encodeName(sim.store().root()) + "/tty-caf\xe9-\xff";
        QCOMPARE(::symlink(sim.device().c_str(), link.constData()), 0);
        // Qt's removal of the temporary folder cannot name it.
        const struct Unlink {
            QByteArray path;
            ~Unlink() { ::unlink(path.constData()); }
        } unlinkAtEnd{link};
        QVERIFY(sim.store().writePorts("[Ports]\nCOM3=" + link + "\n"));
        const Run r = runCmd({"COM3", "E00B"}, sim.environment());
        QCOMPARE(r.exitCode, 0);
        QVERIFY2(r.out.contains("ID      07"), qPrintable(r.out + r.err));
    }

    // The continuous test named a port given by its path "1000000"; a scan that found nothing
    // said nothing of a port it could not open because another program held it.
    void messagesNameWhatATechnicianCanAct()
    {
        TELMAX_START_SIM(sim, 5);
        const Run open = runCmd({"--port", "/dev/telmax-no-such-port", "test"}, sim.environment());
        QCOMPARE(open.exitCode, 4);
        QVERIFY2(open.err.contains("Open COM : /dev/telmax-no-such-port Error"), qPrintable(open.err));

        const int fd = ::open(sim.device().c_str(), O_RDWR | O_NOCTTY);
        QVERIFY(fd >= 0);
        QCOMPARE(::flock(fd, LOCK_EX | LOCK_NB), 0);
        const Run scan = runCmd({"scan"}, sim.environment());
        ::close(fd);
        QCOMPARE(scan.exitCode, 3);   // no module found; the busy port is named
        QVERIFY2(scan.err.contains(QString("COM5 not searched: %1: busy").arg(QString::fromStdString(sim.device()))),
                 qPrintable(scan.err));
        QVERIFY(!scan.err.contains("COM6 not searched"));   // missing: the normal case of a search
    }

    // In a Big5 locale an argument was read as UTF-8 and printed as "????" with success; the
    // messages for people came out in UTF-8, unreadable on that terminal.
    void localeCodePageForArgumentsAndOutput()
    {
        QTemporaryDir locales;
        QProcess localedef;
        localedef.start("localedef", {"-i", "zh_TW", "-f", "BIG5", locales.path() + "/zh_TW.BIG5"});
        if (!localedef.waitForFinished(30000) || localedef.exitCode() != 0)
            QSKIP("no Big5 locale can be made here (localedef and the locales package)");
        TELMAX_START_SIM(sim, 5);
        QProcessEnvironment env = sim.environment();
        env.insert("LOCPATH", locales.path());
        env.insert("LC_ALL", "zh_TW.BIG5");
        // "中文" as a Big5 terminal passes it; the printer's code page is the locale's.
        QProcess p;
        p.setProcessEnvironment(env);
        p.start("/bin/sh", {"-c", "exec \"$0\" --port COM5 --lang big5 print \"$(printf '\\244\\244\\244\\345')\"",
                            qEnvironmentVariable("TELMAX_CMD")});
        QVERIFY(p.waitForFinished(10000));
        QCOMPARE(p.exitCode(), 0);
        QCOMPARE(sim.paper(), QByteArray("\xA4\xA4\xA4\xE5\r\n"));
        const QByteArray out = p.readAllStandardOutput();
        // "中文" shown back in Big5, never as UTF-8 bytes.
        QVERIFY2(out.contains("\xA4\xA4\xA4\xE5") && !out.contains("\xE4\xB8\xAD"), out.constData());

        // A character the printer's code page lacks is sent as "?", and the result counts it.
        QVERIFY(sim.store().write("[General]\nPrintCodePage=BIG5\n"));
        QProcessEnvironment utf8 = sim.environment();   // the argument's bytes are UTF-8 whatever the caller's locale
        utf8.insert("LC_ALL", "C.UTF-8");
        const Run json = runCmd({"--port", "COM5", "--json", "print", QString::fromUtf8("中\uD55C")}, utf8);
        QCOMPARE(json.exitCode, 0);
        QVERIFY2(json.out.contains("\"replaced\":1"), qPrintable(json.out));
        QVERIFY(sim.paper().endsWith("\xA4\xA4?\r\n"));
    }

    void continuousTestCounted()
    {
        TELMAX_START_SIM(sim, 5);
        const Run r = runCmd({"scan", "test", "--count", "3"}, sim.environment());
        QCOMPARE(r.exitCode, 0);
        QCOMPARE(r.out.count(QRegularExpression("line \\d printed")), 3);
        QCOMPARE(sim.paper(), QByteArray("VOREX PRINT TEST.\r\n").repeated(3));
    }

    // Exit status 2 for no module to work on, 1 for a module that does not answer, 4 for a port
    // that cannot be used.
    void verbsThatCannotSucceed_data()
    {
        QTest::addColumn<QStringList>("simOptions");
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("said");
        QTest::newRow("no scan before status") << QStringList() << QStringList({"status"}) << 2 << "no module found yet";
        QTest::newRow("module unplugged") << QStringList({"--silent"}) << QStringList({"--port", "COM5", "status"}) << 1
                                          << "Get Module Status Error";
        QTest::newRow("port missing") << QStringList() << QStringList({"--port", "COM6", "print", "x"}) << 4
                                      << "/nonexistent/tty6: no such device";
    }
    void verbsThatCannotSucceed()
    {
        QFETCH(QStringList, simOptions);
        QFETCH(QStringList, args);
        QFETCH(int, exitCode);
        QFETCH(QString, said);
        TELMAX_START_SIM(sim, 5, simOptions);
        const Run r = runCmd(args, sim.environment());
        QCOMPARE(r.exitCode, exitCode);
        QVERIFY2((r.out + r.err).contains(said), qPrintable(r.out + r.err));
    }
};

QTEST_GUILESS_MAIN(TestTelmaxCmd)
#include "tst_telmax_cmd.moc"
