// telmax-cmd as a technician runs it: against telmax-sim, a silent module, a missing device,
// a busy port and a COM number mapped in the settings store.
#include <QtTest>

#include <optional>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
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

    void portsThatDoNotOpen_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QString>("reason");
        QTest::newRow("missing device") << QStringList{"/dev/telmax-no-such-port", "E00B"} << "no such device";
        QTest::newRow("COM without a device") << QStringList{"COM40", "E00B"} << "names no device";
        QTest::newRow("no command") << QStringList{"COM3"} << "Usage:";
        QTest::newRow("no arguments") << QStringList{} << "Usage:";
        QTest::newRow("--line without value") << QStringList{"--line"} << "--line needs a value";
    }
    void portsThatDoNotOpen()
    {
        QFETCH(QStringList, args);
        QFETCH(QString, reason);
        testsupport::TemporaryStore empty;   // no port map
        const Run r = runCmd(args, empty.environment());
        QCOMPARE(r.exitCode, 2);
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
        QCOMPARE(r.exitCode, 2);
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

    // The continuous test named a port given by its path "1000000"; a scan that found nothing
    // said nothing of a port it could not open because another program held it.
    void messagesNameWhatATechnicianCanAct()
    {
        TELMAX_START_SIM(sim, 5);
        const Run open = runCmd({"--port", "/dev/telmax-no-such-port", "test"}, sim.environment());
        QCOMPARE(open.exitCode, 2);
        QVERIFY2(open.err.contains("Open COM : /dev/telmax-no-such-port Error"), qPrintable(open.err));

        const int fd = ::open(sim.device().c_str(), O_RDWR | O_NOCTTY);
        QVERIFY(fd >= 0);
        QCOMPARE(::flock(fd, LOCK_EX | LOCK_NB), 0);
        const Run scan = runCmd({"scan"}, sim.environment());
        ::close(fd);
        QCOMPARE(scan.exitCode, 1);
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
        const Run json = runCmd({"--port", "COM5", "--json", "print", QString::fromUtf8("中\uD55C")}, sim.environment());
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

    // Exit status 2 for no module to work on, 1 for a module that does not answer.
    void verbsThatCannotSucceed_data()
    {
        QTest::addColumn<QStringList>("simOptions");
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("said");
        QTest::newRow("no scan before status") << QStringList() << QStringList({"status"}) << 2 << "no module found yet";
        QTest::newRow("module unplugged") << QStringList({"--silent"}) << QStringList({"--port", "COM5", "status"}) << 1
                                          << "Get Module Status Error";
        QTest::newRow("port missing") << QStringList() << QStringList({"--port", "COM6", "print", "x"}) << 2
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
