// The settings store: loading with its defaults and early ends, the writes, the user's store
// over the machine-wide one, the port map, and stores that cannot be read or written.
// Everything happens in temporary stores.

#include <QDir>
#include <QFile>
#include <QSettings>
#include <QTemporaryDir>
#include <QtTest>
#include <functional>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

#include "link/seams.h"
#include "settings/settings.h"
#include "settings/settings_key.h"
#include "support/temporary_store.h"

class TestSettings : public QObject {
    Q_OBJECT

private:
    using Store = testsupport::TemporaryStore;
    // Made before the first QSettings of the process: the scopes are fixed from there on.
    Store &m_store = testsupport::processStore();
    QString storeDir() const { return m_store.folder(); }
    QString storePath() const { return m_store.file(); }
    QString userDir() const { return m_store.folder(Store::User); }
    QString userPath() const { return m_store.file(Store::User); }

    static void writeFile(const QString &path, const QByteArray &content)
    {
        QDir().mkpath(QFileInfo(path).absolutePath());
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(content);
    }
    static QByteArray readBytes(const QString &path)
    {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }
    void writeStore(const QByteArray &content) { QVERIFY(m_store.write(content)); }
    QByteArray readStoreBytes() const { return m_store.bytes(); }
    // A fresh reader, independent of the code under test.
    static QVariant stored(const QString &path, const QString &name)
    {
        QSettings reader(path, QSettings::IniFormat);
        return reader.value(name);
    }
    QVariant stored(const QString &name) const { return m_store.value(name); }
    // Failed writes stay pending in Qt's per-process cache of the file, so every case that
    // makes the store refuse a write runs in a child; its exit code says which check failed.
    // Its stderr goes to errPath when given; a child still running after a minute is ended,
    // which guards the suite against a hang.
    static int inChild(const std::function<int()> &body, const QString &errPath = QString())
    {
        const pid_t child = fork();
        if (child < 0)
            return -1;
        if (child == 0) {
            alarm(60);
            if (!errPath.isEmpty()) {
                const int fd = ::open(QFile::encodeName(errPath).constData(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
                if (fd < 0 || dup2(fd, 2) < 0)
                    _exit(100);
            }
            _exit(body());
        }
        int status = 0;
        if (waitpid(child, &status, 0) != child || !WIFEXITED(status))
            return -2;
        return WEXITSTATUS(status);
    }
    static uid_t ownerOf(const QString &path)
    {
        struct stat st {};
        return lstat(QFile::encodeName(path).constData(), &st) == 0 ? st.st_uid : uid_t(-1);
    }
    static bool own(const QString &path, uid_t uid)
    {
        return lchown(QFile::encodeName(path).constData(), uid, uid) == 0;
    }
    static void scramble()
    {
        ScanCommNo = 99;
        ScanBaudRate = "junk";
        ScanBaudRateNo = 77;
        LanguageFlag = QStringLiteral("junk");
    }

private slots:
    void initTestCase()
    {
        QVERIFY(m_store.isValid());
        // The two stores are where Qt itself puts them.
        QCOMPARE(SettingsKey::location(StoreScope::Machine), storePath());
        QCOMPARE(SettingsKey::location(StoreScope::User), userPath());
        QCOMPARE(SettingsKey::location(StoreScope::Machine),
                 QSettings(QSettings::NativeFormat, QSettings::SystemScope, "VOREX", "PRINTConfig").fileName());
        QCOMPARE(SettingsKey::location(StoreScope::User),
                 QSettings(QSettings::NativeFormat, QSettings::UserScope, "VOREX", "PRINTConfig").fileName());
    }

    void init()
    {
        chmod(QFile::encodeName(storeDir()).constData(), 0755);
        chmod(QFile::encodeName(storePath()).constData(), 0644);
        if (QFileInfo(storeDir()).isSymLink())
            QFile::remove(storeDir());
        m_store.clear();
        QFile::remove(m_store.root() + QStringLiteral("/VOREX.conf"));
        QFile::remove(m_store.root(Store::User) + QStringLiteral("/VOREX.conf"));
        serial::setPortMap({});
        SetDefaultSettings();
    }

    void defaults()
    {
        scramble();
        SetDefaultSettings();
        QCOMPARE(ScanCommNo, 0);
        QCOMPARE(ScanBaudRate, std::string("19200,e,8,1"));
        QCOMPARE(ScanBaudRateNo, 5);
        QCOMPARE(LanguageFlag, QStringLiteral("English"));
    }

    void noKeyKeepsDefaultsAndCreatesNothing()
    {
        QVERIFY(!LoadSettings());
        QCOMPARE(ScanCommNo, 0);
        QCOMPARE(ScanBaudRate, std::string("19200,e,8,1"));
        QCOMPARE(ScanBaudRateNo, 5);
        QCOMPARE(LanguageFlag, QStringLiteral("English"));
        QVERIFY(!QDir(storeDir()).exists());
        QVERIFY(!QDir(userDir()).exists());
    }

    void load_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<int>("commNo");
        QTest::addColumn<QString>("baudRate");
        QTest::addColumn<int>("baudRateNo");
        QTest::addColumn<QString>("flag");
        QTest::addColumn<bool>("flagRead");

        QTest::newRow("all four")
            << QByteArray("[General]\nScanCommNo=3\nScanBaudRate=\"9600,n,8,1\"\nScanBaudRateNo=2\n"
                          "LanguageFlag=ChineseGB\n")
            << 3 << "9600,n,8,1" << 2 << "ChineseGB" << true;
        QTest::newRow("only traditional Chinese")
            << QByteArray("[General]\nLanguageFlag=ChineseBIG5\n") << 0 << "19200,e,8,1" << 5 << "ChineseBIG5"
            << true;
        QTest::newRow("flag in other letter case kept as stored")
            << QByteArray("[General]\nLanguageFlag=chinesegb\n") << 0 << "19200,e,8,1" << 5 << "chinesegb" << true;
        QTest::newRow("no flag stored")
            << QByteArray("[General]\nScanCommNo=12\n") << 12 << "19200,e,8,1" << 5 << "English" << false;
        QTest::newRow("line settings written by hand without quotes")
            << QByteArray("[General]\nScanBaudRate=38400,e,8,1\nScanBaudRateNo=7\n") << 0 << "38400,e,8,1" << 7
            << "English" << false;
        QTest::newRow("ScanCommNo not a number ends the load")
            << QByteArray("[General]\nScanCommNo=three\nScanBaudRate=\"4800,n,8,1\"\nScanBaudRateNo=0\n"
                          "LanguageFlag=ChineseGB\n")
            << 0 << "19200,e,8,1" << 5 << "English" << false;
        QTest::newRow("ScanCommNo a fraction ends the load")
            << QByteArray("[General]\nScanCommNo=3.5\nLanguageFlag=ChineseGB\n") << 0 << "19200,e,8,1" << 5
            << "English" << false;
        QTest::newRow("ScanCommNo beyond 32 bits ends the load")
            << QByteArray("[General]\nScanCommNo=4294967296\nLanguageFlag=ChineseGB\n") << 0 << "19200,e,8,1"
            << 5 << "English" << false;
        QTest::newRow("ScanCommNo as a list ends the load")
            << QByteArray("[General]\nScanCommNo=3,4\nLanguageFlag=ChineseGB\n") << 0 << "19200,e,8,1" << 5
            << "English" << false;
        QTest::newRow("wrong ScanBaudRateNo keeps the steps before it")
            << QByteArray("[General]\nScanCommNo=4\nScanBaudRate=\"57600,e,8,1\"\nScanBaudRateNo=nine\n"
                          "LanguageFlag=ChineseGB\n")
            << 4 << "57600,e,8,1" << 5 << "English" << false;
        QTest::newRow("ScanBaudRateNo past the list follows the line settings")
            << QByteArray("[General]\nScanBaudRate=\"57600,e,8,1\"\nScanBaudRateNo=12\n") << 0 << "57600,e,8,1"
            << 9 << "English" << false;
        QTest::newRow("negative ScanBaudRateNo follows the line settings")
            << QByteArray("[General]\nScanBaudRate=\"4800,n,8,1\"\nScanBaudRateNo=-1\n") << 0 << "4800,n,8,1" << 0
            << "English" << false;
        // A line setting the module lacks opened the port with nothing applied: it gives way to
        // the entry ScanBaudRateNo selects, else the default.
        QTest::newRow("ScanBaudRateNo out of range with unknown line settings")
            << QByteArray("[General]\nScanBaudRate=\"1200,n,8,1\"\nScanBaudRateNo=4000\n") << 0 << "19200,e,8,1"
            << 5 << "English" << false;
        QTest::newRow("unknown line settings give way to ScanBaudRateNo's entry")
            << QByteArray("[General]\nScanBaudRate=\"1200,n,8,1\"\nScanBaudRateNo=11\n") << 0 << "115200,e,8,1"
            << 11 << "English" << false;
        QTest::newRow("unknown line settings give way even when the load ends early")
            << QByteArray("[General]\nScanBaudRate=\"1200,n,8,1\"\nScanBaudRateNo=nine\n") << 0 << "19200,e,8,1"
            << 5 << "English" << false;
    }

    void load()
    {
        QFETCH(QByteArray, content);
        QFETCH(int, commNo);
        QFETCH(QString, baudRate);
        QFETCH(int, baudRateNo);
        QFETCH(QString, flag);
        QFETCH(bool, flagRead);

        writeStore(content);
        QCOMPARE(LoadSettings(), flagRead);
        QCOMPARE(ScanCommNo, commNo);
        QCOMPARE(QString::fromStdString(ScanBaudRate), baudRate);
        QCOMPARE(ScanBaudRateNo, baudRateNo);
        QCOMPARE(LanguageFlag, flag);
        // Loading never writes.
        QCOMPARE(readStoreBytes(), content);
    }

    void storedInteger_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("ok");
        QTest::addColumn<int>("value");
        QTest::newRow("plain") << "5" << true << 5;
        QTest::newRow("zero") << "0" << true << 0;
        QTest::newRow("largest signed") << "2147483647" << true << 2147483647;
        QTest::newRow("smallest signed") << "-2147483648" << true << int(-2147483647 - 1);
        QTest::newRow("largest DWORD reads as -1") << "4294967295" << true << -1;
        QTest::newRow("past 32 bits") << "4294967296" << false << 0;
        QTest::newRow("below 32 bits") << "-2147483649" << false << 0;
        QTest::newRow("hexadecimal") << "0x10" << false << 0;
        QTest::newRow("exponent") << "1e3" << false << 0;
        QTest::newRow("fraction") << "1.0" << false << 0;
        QTest::newRow("empty") << "" << false << 0;
        QTest::newRow("sign alone") << "-" << false << 0;
        QTest::newRow("sign inside") << "1-2" << false << 0;
        QTest::newRow("non-ASCII digits") << QString::fromUtf8("\xd9\xa3") << false << 0;
    }

    void storedInteger()
    {
        QFETCH(QString, text);
        QFETCH(bool, ok);
        QFETCH(int, value);
        int parsed = 0;
        QCOMPARE(parseStoredInteger(text, parsed), ok);
        QCOMPARE(parsed, value);
    }

    // The port map used to live in PRINTConfig.conf, and every save rewrote that file without the
    // administrator's comments; it is now ports.conf, read per entry and never written.
    void portMap()
    {
        const QByteArray machinePorts(
            "# Serial adapters of bench 4: keep in step with the cabling sheet\n"
            "[Ports]\n"
            "; the FTDI lead\n"
            "COM3=/dev/pts/7\n"
            "COM12=/dev/serial/by-id/usb-FTDI_A\n"
            "com4=/dev/ttyX4\n"
            "COMx=/dev/bad\n"
            "COM0=/dev/zero-port\n"
            "COM5=\n"
            "COM6=\"/dev/odd;name\\\\with\\\"all,four\"\n"
            "this line is not an entry\n"
            "COM7=/dev/machine-7\n");
        const QByteArray userPorts("[Ports]\nCOM7=/dev/user-7\nCOM3=\n");
        QVERIFY(m_store.writePorts(machinePorts));
        QVERIFY(m_store.writePorts(userPorts, Store::User));
        // No longer read from here, and a bad value does not keep the map from loading.
        writeStore("[General]\nScanCommNo=bad\n[Ports]\nCOM2=/dev/stale\n");

        LoadSettings();
        const std::map<int, std::string> expected = {{3, "/dev/pts/7"},
                                                     {4, "/dev/ttyX4"},
                                                     {6, "/dev/odd;name\\with\"all,four"},
                                                     {7, "/dev/user-7"},
                                                     {12, "/dev/serial/by-id/usb-FTDI_A"}};
        QCOMPARE(serial::portMap(), expected);
        QCOMPARE(serial::resolvePort(2), std::string("/dev/ttyS1"));

        ScanCommNo = 12;
        SaveScanSettings();
        LanguageFlag = QStringLiteral("ChineseGB");
        SaveLanguage();
        QCOMPARE(stored(QStringLiteral("ScanCommNo")).toString(), QStringLiteral("12"));
        QCOMPARE(readBytes(m_store.portsFile()), machinePorts);
        QCOMPARE(readBytes(m_store.portsFile(Store::User)), userPorts);
    }

    void saveScanSettingsCreatesTheKey()
    {
        ScanCommNo = 7;
        ScanBaudRateNo = 10;
        ScanBaudRate = "115200,n,8,1";
        SaveScanSettings();
        QVERIFY(QFile::exists(storePath()));
        QVERIFY(!QDir(userDir()).exists());
        QCOMPARE(stored(QStringLiteral("ScanCommNo")).toString(), QStringLiteral("7"));
        QCOMPARE(stored(QStringLiteral("ScanBaudRateNo")).toString(), QStringLiteral("10"));
        QCOMPARE(stored(QStringLiteral("ScanBaudRate")).toString(), QStringLiteral("115200,n,8,1"));
        QVERIFY(!stored(QStringLiteral("LanguageFlag")).isValid());

        // And the next run reads them back.
        scramble();
        SetDefaultSettings();
        QVERIFY(!LoadSettings());
        QCOMPARE(ScanCommNo, 7);
        QCOMPARE(ScanBaudRateNo, 10);
        QCOMPARE(ScanBaudRate, std::string("115200,n,8,1"));
    }

    void saveLanguageKeepsOtherValues()
    {
        writeStore("[General]\nScanCommNo=2\nScanBaudRate=\"9600,e,8,1\"\nScanBaudRateNo=3\n");
        LanguageFlag = QStringLiteral("ChineseBIG5");
        SaveLanguage();
        QCOMPARE(stored(QStringLiteral("LanguageFlag")).toString(), QStringLiteral("ChineseBIG5"));
        QCOMPARE(stored(QStringLiteral("ScanCommNo")).toString(), QStringLiteral("2"));
        QCOMPARE(stored(QStringLiteral("ScanBaudRate")).toString(), QStringLiteral("9600,e,8,1"));
        SetDefaultSettings();
        QVERIFY(LoadSettings());
        QCOMPARE(LanguageFlag, QStringLiteral("ChineseBIG5"));
    }

    // The user's store was never read, and a value saved machine-wide stayed shadowed by the
    // user's older copy; Qt's organisation-wide VOREX.conf must not count either.
    void userStoreOverMachineWide()
    {
        writeStore("[General]\nScanCommNo=2\nScanBaudRate=\"9600,e,8,1\"\n");
        writeFile(userPath(), "[General]\nScanCommNo=4\nLanguageFlag=ChineseBIG5\n");
        writeFile(m_store.root() + QStringLiteral("/VOREX.conf"), "[General]\nScanBaudRateNo=11\n");
        writeFile(m_store.root(Store::User) + QStringLiteral("/VOREX.conf"), "[General]\nScanBaudRateNo=10\n");

        QVERIFY(LoadSettings());
        QCOMPARE(ScanCommNo, 4);
        QCOMPARE(ScanBaudRate, std::string("9600,e,8,1"));
        QCOMPARE(ScanBaudRateNo, 5);
        QCOMPARE(LanguageFlag, QStringLiteral("ChineseBIG5"));

        ScanCommNo = 9;
        SaveScanSettings();
        QCOMPARE(stored(QStringLiteral("ScanCommNo")).toString(), QStringLiteral("9"));
        QVERIFY(!stored(userPath(), QStringLiteral("ScanCommNo")).isValid());
        QCOMPARE(stored(userPath(), QStringLiteral("LanguageFlag")).toString(), QStringLiteral("ChineseBIG5"));
        SetDefaultSettings();
        QVERIFY(LoadSettings());
        QCOMPARE(ScanCommNo, 9);
        QCOMPARE(LanguageFlag, QStringLiteral("ChineseBIG5"));
    }

    // A technician who is not root could never save: the machine-wide store refused the write
    // and the language and the port found were lost at every start.
    void nonRootSaveGoesToUsersStore()
    {
        const QByteArray content("[General]\nScanCommNo=6\nScanBaudRate=\"38400,n,8,1\"\nScanBaudRateNo=6\n"
                                 "LanguageFlag=ChineseBIG5\n");
        writeStore(content);
        QVERIFY(chmod(QFile::encodeName(m_store.root()).constData(), 0755) == 0);
        QVERIFY(chmod(QFile::encodeName(storeDir()).constData(), 0555) == 0);
        QVERIFY(chmod(QFile::encodeName(storePath()).constData(), 0444) == 0);
        QVERIFY(chown(QFile::encodeName(m_store.root(Store::User)).constData(), 65534, 65534) == 0);

        // Only without root do the file permissions hold, so the child gives root up.
        const int result = inChild([this] {
            if (geteuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0))
                return 10;
            if (access(QFile::encodeName(storePath()).constData(), W_OK) == 0)
                return 11;
            if (!LoadSettings())
                return 1;
            if (ScanCommNo != 6 || ScanBaudRate != "38400,n,8,1" || ScanBaudRateNo != 6
                || LanguageFlag != QStringLiteral("ChineseBIG5"))
                return 2;
            LanguageFlag = QStringLiteral("ChineseGB");
            SaveLanguage();
            ScanCommNo = 1;
            SaveScanSettings();
            return 0;
        });
        QCOMPARE(result, 0);
        QCOMPARE(readStoreBytes(), content);

        // The next start reads the user's values over the machine-wide ones.
        SetDefaultSettings();
        QVERIFY(LoadSettings());
        QCOMPARE(ScanCommNo, 1);
        QCOMPARE(ScanBaudRate, std::string("38400,n,8,1"));
        QCOMPARE(ScanBaudRateNo, 6);
        QCOMPARE(LanguageFlag, QStringLiteral("ChineseGB"));
    }

    // A FIFO in place of the store hung start-up with no window; nor may a save write into it.
    void fifoInPlaceOfStore()
    {
        QVERIFY(QDir().mkpath(storeDir()));
        QVERIFY(QDir().mkpath(userDir()));
        QVERIFY(mkfifo(QFile::encodeName(storePath()).constData(), 0644) == 0);
        const QString userPorts = userDir() + QStringLiteral("/ports.conf");
        QVERIFY(mkfifo(QFile::encodeName(userPorts).constData(), 0644) == 0);
        const QString err = m_store.root(Store::User) + QStringLiteral("/stderr.txt");

        const int result = inChild(
            [] {
                if (LoadSettings())
                    return 1;
                if (ScanCommNo != 0 || ScanBaudRate != "19200,e,8,1" || ScanBaudRateNo != 5
                    || LanguageFlag != QStringLiteral("English") || !serial::portMap().empty())
                    return 2;
                LanguageFlag = QStringLiteral("ChineseGB");
                SaveLanguage();
                return 0;
            },
            err);
        QCOMPARE(result, 0);
        const QString lines = QString::fromLocal8Bit(readBytes(err));
        QVERIFY2(lines.contains(storePath() + QStringLiteral(" is not a regular file")), qPrintable(lines));
        QVERIFY2(lines.contains(userPorts + QStringLiteral(" is not a regular file")), qPrintable(lines));
        struct stat st {};
        QVERIFY(stat(QFile::encodeName(storePath()).constData(), &st) == 0 && S_ISFIFO(st.st_mode));
        QCOMPARE(stored(userPath(), QStringLiteral("LanguageFlag")).toString(), QStringLiteral("ChineseGB"));
    }

    // A save that no store took passed without a word.
    // The printer's code page is read whatever becomes of the four (here an unreadable
    // "ScanCommNo" ends their load); one whose bytes break a command frame (UTF-16 puts a 00,
    // the end of the command, after every letter) or that the system lacks is refused aloud.
    void printCodePage_data()
    {
        QTest::addColumn<QByteArray>("stored");
        QTest::addColumn<QString>("used");
        QTest::newRow("GBK") << QByteArray("GBK") << "GBK";
        QTest::newRow("unknown") << QByteArray("NO-SUCH-PAGE") << "";
        QTest::newRow("UTF-16") << QByteArray("UTF-16") << "";
    }

    void printCodePage()
    {
        QFETCH(QByteArray, stored);
        QFETCH(QString, used);
        writeStore("[General]\nScanCommNo=junk\nPrintCodePage=" + stored + "\n");
        const QString err = m_store.root() + QStringLiteral("/stderr.txt");
        const std::string expected = used.toStdString();
        QCOMPARE(inChild([&expected] { return LoadSettings() || ScanCommNo != 0 ? 1 : PrintCodePage == expected ? 0 : 2; },
                         err),
                 0);
        const QStringList told = QString::fromLocal8Bit(readBytes(err)).split(u'\n', Qt::SkipEmptyParts);
        QCOMPARE(told.size(), used.isEmpty() ? 1 : 0);
        if (used.isEmpty())
            QVERIFY2(told.first().contains(QString::fromLatin1(stored)), qPrintable(told.first()));
    }

    void saveRefusedEverywhereIsReported()
    {
        // Folders where the files belong: no one, root included, can write either store.
        QVERIFY(QDir().mkpath(storePath()));
        QVERIFY(QDir().mkpath(userPath()));
        const QString err = m_store.root() + QStringLiteral("/stderr.txt");
        const int result = inChild(
            [] {
                LanguageFlag = QStringLiteral("ChineseGB");
                SaveLanguage();
                ScanCommNo = 9;
                SaveScanSettings();
                if (LanguageFlag != QStringLiteral("ChineseGB") || ScanCommNo != 9)
                    return 1;
                SetDefaultSettings();
                if (LoadSettings() || ScanCommNo != 0)
                    return 2;
                return 0;
            },
            err);
        QCOMPARE(result, 0);
        QVERIFY(QFileInfo(storePath()).isDir());
        QVERIFY(QFileInfo(userPath()).isDir());
        const QStringList lines = QString::fromLocal8Bit(readBytes(err)).split(u'\n', Qt::SkipEmptyParts);
        const QStringList saves = lines.filter(QStringLiteral("not saved"));
        QCOMPARE(saves.size(), 2);   // one line per save
        for (const QString &line : saves) {
            QVERIFY2(line.contains(storePath() + QStringLiteral(" is not a regular file")), qPrintable(line));
            QVERIFY2(line.contains(userPath() + QStringLiteral(" is not a regular file")), qPrintable(line));
        }
    }
    // Run as root with a store someone else controls, a save wrote through a symbolic link (the
    // file or its folder), replacing another file's contents and making root its owner, or took
    // over another user's file. Such a store is read, and the save goes to the user's store.
    void unsafeStoreIsNeverWritten_data()
    {
        QTest::addColumn<int>("kind");
        QTest::addColumn<QString>("reason");
        QTest::newRow("store is a symbolic link") << 0 << "is a symbolic link";
        QTest::newRow("folder is a symbolic link") << 1 << "is in a folder that is a symbolic link";
        QTest::newRow("store belongs to another user") << 2 << "belongs to another user";
    }

    void unsafeStoreIsNeverWritten()
    {
        QFETCH(int, kind);
        QFETCH(QString, reason);
        QCOMPARE(geteuid(), uid_t(0));
        const QString elsewhere = m_store.root() + QStringLiteral("/elsewhere");
        // The file a save could reach: another file the link points at, the store beside the
        // folder the link points at, or the other user's store itself.
        const QString victim = kind == 0   ? elsewhere + QStringLiteral("/shadow")
                               : kind == 1 ? elsewhere + QStringLiteral("/PRINTConfig.conf")
                                           : storePath();
        const QByteArray content("[General]\nScanCommNo=5\n");
        QDir(elsewhere).removeRecursively();
        writeFile(victim, content);
        // Root's own file, where only the folder's link is wrong.
        const uid_t owner = kind == 1 ? 0 : 65534;
        QVERIFY(own(victim, owner));
        if (kind == 0) {
            QVERIFY(QDir().mkpath(storeDir()));
            QVERIFY(QFile::link(victim, storePath()));
        } else if (kind == 1) {
            QVERIFY(QFile::link(elsewhere, storeDir()));
        }
        const QString err = m_store.root() + QStringLiteral("/stderr.txt");

        const int result = inChild(
            [] {
                LoadSettings();
                if (ScanCommNo != 5)   // read all the same
                    return 1;
                LanguageFlag = QStringLiteral("ChineseGB");
                SaveLanguage();
                return 0;
            },
            err);
        QCOMPARE(result, 0);
        QCOMPARE(readBytes(victim), content);
        QCOMPARE(ownerOf(victim), owner);
        QCOMPARE(QFileInfo(kind == 1 ? storeDir() : storePath()).isSymLink(), kind != 2);
        QCOMPARE(stored(userPath(), QStringLiteral("LanguageFlag")).toString(), QStringLiteral("ChineseGB"));
        const QStringList lines = QString::fromLocal8Bit(readBytes(err)).split(u'\n', Qt::SkipEmptyParts);
        QCOMPARE(lines.size(), 1);
        QVERIFY2(lines.first().contains(storePath() + u' ' + reason) && lines.first().contains(userPath()),
                 qPrintable(lines.first()));
        if (kind == 1)
            QVERIFY(QFile::remove(storeDir()));
    }

    // A save checked its text in TMPDIR even when another user owns it (root with sudo -E and
    // pam_tmpdir): that user could swap the private folder for a link and have Qt's writer
    // write where they liked. Such a folder is not used at all.
    void saveIsCheckedOnlyWhereNoOtherUserCanChange()
    {
        QTemporaryDir theirs;
        QVERIFY(own(theirs.path(), 65534));
        const QByteArray savedTmp = qgetenv("TMPDIR");
        struct Restore {
            QByteArray value;
            ~Restore() { value.isNull() ? qunsetenv("TMPDIR") : qputenv("TMPDIR", value); }
        } restore{savedTmp};
        qputenv("TMPDIR", QFile::encodeName(theirs.path()));
        // Any entry made in the folder and removed again moves its time on from this one.
        const QByteArray folder = QFile::encodeName(theirs.path());
        const timespec past[2] = {{1000000, 0}, {1000000, 0}};
        QVERIFY(utimensat(AT_FDCWD, folder.constData(), past, 0) == 0);

        LanguageFlag = QStringLiteral("ChineseGB");
        SaveLanguage();
        QCOMPARE(stored(QStringLiteral("LanguageFlag")).toString(), QStringLiteral("ChineseGB"));
        struct stat st {};
        QVERIFY(stat(folder.constData(), &st) == 0);
        QCOMPARE(st.st_mtim.tv_sec, time_t(1000000));
    }

    // Only the first folder of XDG_CONFIG_DIRS was read: a desktop that puts its own folder first
    // hid the administrator's store and port map under /etc/xdg.
    void everyConfigFolderIsRead_data()
    {
        QTest::addColumn<bool>("desktopStore");
        QTest::newRow("desktop folder without a store") << false;
        QTest::newRow("desktop folder with a store") << true;
    }

    void everyConfigFolderIsRead()
    {
        QFETCH(bool, desktopStore);
        QTemporaryDir desktop, work;
        const QByteArray savedDirs = qgetenv("XDG_CONFIG_DIRS");
        const QString savedCwd = QDir::currentPath();
        struct Restore {
            std::function<void()> undo;
            ~Restore() { undo(); }
        } restore{[&] {
            qputenv("XDG_CONFIG_DIRS", savedDirs);
            QDir::setCurrent(savedCwd);
        }};
        // Relative paths and empty entries do not count; a relative one must not be read from
        // (or saved to) the current folder.
        QVERIFY(QDir::setCurrent(work.path()));
        const QByteArray relativeStore("[General]\nLanguageFlag=relative\n");
        writeFile(work.path() + QStringLiteral("/relative/VOREX/PRINTConfig.conf"), relativeStore);
        writeFile(work.path() + QStringLiteral("/relative/VOREX/ports.conf"), "[Ports]\nCOM7=/dev/relative-7\n");
        qputenv("XDG_CONFIG_DIRS", QFile::encodeName(desktop.path() + QStringLiteral("::relative:") + m_store.root() + u':'));

        const QString desktopPath = desktop.path() + QStringLiteral("/VOREX/PRINTConfig.conf");
        const QByteArray machineStore("[General]\nScanCommNo=6\nScanBaudRate=\"9600,n,8,1\"\nScanBaudRateNo=9\n"
                                      "LanguageFlag=ChineseBIG5\n");
        writeStore(machineStore);
        QVERIFY(m_store.writePorts("[Ports]\nCOM3=/dev/admin-3\nCOM7=/dev/admin-7\n"));
        writeFile(desktop.path() + QStringLiteral("/VOREX/ports.conf"), "[Ports]\nCOM3=/dev/desktop-3\n");
        if (desktopStore)
            writeFile(desktopPath, "[General]\nScanBaudRateNo=2\n");
        writeFile(userPath(), "[General]\nScanCommNo=8\n");

        QVERIFY(LoadSettings());
        const std::map<int, std::string> ports = {{3, "/dev/desktop-3"}, {7, "/dev/admin-7"}};
        QCOMPARE(serial::portMap(), ports);
        QCOMPARE(ScanCommNo, 8);
        QCOMPARE(ScanBaudRate, std::string("9600,n,8,1"));
        QCOMPARE(ScanBaudRateNo, desktopStore ? 2 : 9);
        QCOMPARE(LanguageFlag, QStringLiteral("ChineseBIG5"));

        // Saves go to the first folder that holds a store.
        const QString target = desktopStore ? desktopPath : storePath();
        QCOMPARE(SettingsKey::location(StoreScope::Machine), target);
        LanguageFlag = QStringLiteral("ChineseGB");
        SaveLanguage();
        QCOMPARE(stored(target, QStringLiteral("LanguageFlag")).toString(), QStringLiteral("ChineseGB"));
        if (desktopStore)
            QCOMPARE(readStoreBytes(), machineStore);
        else
            QVERIFY(!QFileInfo::exists(desktopPath));
        QCOMPARE(readBytes(work.path() + QStringLiteral("/relative/VOREX/PRINTConfig.conf")), relativeStore);
    }

    // A value saved machine-wide came back at the next start without a word when the user's
    // own store kept an older copy it could not drop (a read-only file).
    void readOnlyUserCopyIsTold()
    {
        writeStore("[General]\nScanCommNo=2\n");
        const QByteArray userContent("[General]\nScanCommNo=4\nLanguageFlag=ChineseBIG5\n");
        writeFile(userPath(), userContent);
        QVERIFY(chmod(QFile::encodeName(m_store.root()).constData(), 0755) == 0);
        for (const QString &path : {storeDir(), storePath(), m_store.root(Store::User), userDir(), userPath()})
            QVERIFY(own(path, 65534));
        QVERIFY(chmod(QFile::encodeName(userPath()).constData(), 0444) == 0);
        const QString err = m_store.root() + QStringLiteral("/stderr.txt");

        const int result = inChild(
            [] {
                if (geteuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0))
                    return 10;
                ScanCommNo = 9;
                SaveScanSettings();
                return 0;
            },
            err);
        QCOMPARE(result, 0);
        QCOMPARE(stored(QStringLiteral("ScanCommNo")).toString(), QStringLiteral("9"));
        QCOMPARE(readBytes(userPath()), userContent);
        const QStringList lines = QString::fromLocal8Bit(readBytes(err)).split(u'\n', Qt::SkipEmptyParts);
        QCOMPARE(lines.size(), 1);
        QVERIFY2(lines.first().contains(QStringLiteral("ScanCommNo")) && lines.first().contains(storePath())
                     && lines.first().contains(userPath() + QStringLiteral(" (it is not writable)")),
                 qPrintable(lines.first()));
    }

    // Every save rewrote the administrator's machine-wide store without its comments and the
    // lines the program does not know, and could leave a torn file behind.
    void saveKeepsCommentsAndUnknownLines()
    {
        writeStore("; Bench 4: set when the bench was commissioned\n"
                   "[General]\n"
                   "ScanCommNo=3\n"
                   "; the adapter on the left\n"
                   "ScanBaudRate=38400,e,8,1\n"
                   "Unknown=kept\n"
                   "this line is not an entry\n"
                   "\n"
                   "[Site]\n"
                   "Owner=Lab 2\n");
        ScanCommNo = 7;
        ScanBaudRateNo = 10;
        ScanBaudRate = "115200,n,8,1";
        SaveScanSettings();
        LanguageFlag = QStringLiteral("ChineseGB");
        SaveLanguage();
        QCOMPARE(readStoreBytes(), QByteArray("; Bench 4: set when the bench was commissioned\n"
                                              "[General]\n"
                                              "ScanCommNo=7\n"
                                              "; the adapter on the left\n"
                                              "ScanBaudRate=\"115200,n,8,1\"\n"
                                              "Unknown=kept\n"
                                              "ScanBaudRateNo=10\n"
                                              "LanguageFlag=ChineseGB\n"
                                              "this line is not an entry\n"
                                              "\n"
                                              "[Site]\n"
                                              "Owner=Lab 2\n"));
        QCOMPARE(stored(QStringLiteral("ScanBaudRate")), QVariant(QStringLiteral("115200,n,8,1")));
        QCOMPARE(QDir(storeDir()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
                 QStringList{QStringLiteral("PRINTConfig.conf")});
    }

    // A value whose quotes ran over two lines made a save write the store anew through Qt's
    // writer, without the administrator's comments. One entry is one line now: the open quote
    // closes at the line's end, that line is changed in place and every other line stays.
    void quoteOpenAtLineEndIsChangedInPlace()
    {
        writeStore("[General]\nScanBaudRate=\"9600,n,\n8,1\"\nLanguageFlag=ChineseBIG5\n; set by hand\n");
        const QString err = m_store.root() + QStringLiteral("/stderr.txt");
        const int result = inChild(
            [] {
                ScanCommNo = 4;
                ScanBaudRateNo = 10;
                ScanBaudRate = "115200,n,8,1";
                return SaveScanSettings().saved ? 0 : 1;
            },
            err);
        QCOMPARE(result, 0);
        QCOMPARE(readStoreBytes(), QByteArray("[General]\nScanBaudRate=\"115200,n,8,1\"\n8,1\"\n"
                                              "LanguageFlag=ChineseBIG5\nScanCommNo=4\nScanBaudRateNo=10\n"
                                              "; set by hand\n"));
        QCOMPARE(readBytes(err), QByteArray());
        QVERIFY(LoadSettings());
        QCOMPARE(ScanCommNo, 4);
        QCOMPARE(ScanBaudRate, std::string("115200,n,8,1"));
        QCOMPARE(ScanBaudRateNo, 10);
        QCOMPARE(LanguageFlag, QStringLiteral("ChineseBIG5"));
    }

    // Qt's reader decoded a value written as one of its serialized types: the store a fuzzer
    // found (its first entry) made it ask for 26 GB, and "@ByteArray(...)" or "@Rect(...)"
    // ended the load. Such a value is the text it is, with the fallbacks of any unusable one.
    void serializedFormsAreText()
    {
        writeStore("[General]\n"
                   "ScanCo#mmNo=@Variant(\\0\\0\\0\\t2\\0\\0\\0\\x5)\n"
                   "ScanCommNo=7\n"
                   "ScanBaudRate=@ByteArray(9600,n,8,1)\n"
                   "ScanBaudRateNo=2\n"
                   "LanguageFlag=@Rect(1 2 3 4)\n");
        const QString err = m_store.root() + QStringLiteral("/stderr.txt");
        const int result = inChild(
            [] {
                if (!LoadSettings())
                    return 1;
                return ScanCommNo == 7 && ScanBaudRate == "9600,n,8,1" && ScanBaudRateNo == 2
                            && LanguageFlag == QStringLiteral("@Rect(1 2 3 4)")
                         ? 0
                         : 2;
            },
            err);
        QCOMPARE(result, 0);
        QCOMPARE(readBytes(err), QByteArray("settings: ScanBaudRate \"@ByteArray(9600,n,8,1)\" is not one of the"
                                            " module's line settings; using 9600,n,8,1\n"));
    }

    // Any user could flock the machine-wide store's folder, which everyone may open, and push
    // root's saves into root's own store. The lock is a file only the saver can open.
    void unprivilegedUserCannotHoldTheLock()
    {
        QCOMPARE(geteuid(), uid_t(0));
        writeStore("[General]\nScanCommNo=2\n");
        QVERIFY(chmod(QFile::encodeName(m_store.root()).constData(), 0755) == 0);
        int ready[2], done[2];
        QVERIFY(pipe(ready) == 0 && pipe(done) == 0);
        const QByteArray folder = QFile::encodeName(storeDir());
        const QByteArray lock = QFile::encodeName(storeDir() + QStringLiteral("/.PRINTConfig.conf.lock"));
        const pid_t holder = fork();
        if (holder == 0) {
            // As nobody: hold every lock within reach until the parent is done.
            if (setgid(65534) != 0 || setuid(65534) != 0)
                _exit(10);
            const int dir = ::open(folder.constData(), O_RDONLY | O_DIRECTORY);
            const bool folderHeld = dir >= 0 && flock(dir, LOCK_EX | LOCK_NB) == 0;
            const int file = ::open(lock.constData(), O_RDONLY | O_CREAT, 0644);
            const char held = file >= 0 ? 'F' : folderHeld ? 'D' : 'N';
            (void)!write(ready[1], &held, 1);
            char c;
            (void)!read(done[0], &c, 1);
            _exit(0);
        }
        char held = 0;
        QCOMPARE(read(ready[0], &held, 1), ssize_t(1));
        QCOMPARE(held, 'D');   // the folder, as before; the lock file it cannot even make
        const QString err = m_store.root() + QStringLiteral("/stderr.txt");
        const int result = inChild(
            [] {
                LanguageFlag = QStringLiteral("ChineseGB");
                return SaveLanguage().saved ? 0 : 1;
            },
            err);
        (void)!write(done[1], "x", 1);
        int status = 0;
        waitpid(holder, &status, 0);
        for (int fd : {ready[0], ready[1], done[0], done[1]})
            ::close(fd);
        QCOMPARE(result, 0);
        QCOMPARE(readBytes(err), QByteArray());
        QCOMPARE(stored(QStringLiteral("LanguageFlag")).toString(), QStringLiteral("ChineseGB"));
        QVERIFY(!QFileInfo::exists(userPath()));
        QVERIFY(!QFileInfo::exists(QFile::decodeName(lock)));
    }
};

QTEST_GUILESS_MAIN(TestSettings)
#include "tst_settings.moc"
