// The settings store: loading with its defaults and early ends, the writes, the port map,
// and a store the user may read but not write. Everything happens in a temporary store.

#include <QDir>
#include <QFile>
#include <QSettings>
#include <QTemporaryDir>
#include <QtTest>
#include <functional>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "link/seams.h"
#include "settings/settings.h"
#include "settings/settings_key.h"

class TestSettings : public QObject {
    Q_OBJECT

private:
    QTemporaryDir m_root;
    QString storeDir() const { return m_root.path() + QStringLiteral("/VOREX"); }
    QString storePath() const { return storeDir() + QStringLiteral("/PRINTConfig.conf"); }

    void writeStore(const QByteArray &content)
    {
        QDir().mkpath(storeDir());
        QFile file(storePath());
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(content);
    }
    QByteArray readStoreBytes() const
    {
        QFile file(storePath());
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }
    // A fresh reader, independent of the code under test.
    QVariant stored(const QString &name) const
    {
        QSettings reader(storePath(), QSettings::IniFormat);
        return reader.value(name);
    }
    // Failed writes stay pending in Qt's per-process cache of the file, so every case that
    // makes the store refuse a write runs in a child; its exit code says which check failed.
    static int inChild(const std::function<int()> &body)
    {
        const pid_t child = fork();
        if (child < 0)
            return -1;
        if (child == 0)
            _exit(body());
        int status = 0;
        if (waitpid(child, &status, 0) != child || !WIFEXITED(status))
            return -2;
        return WEXITSTATUS(status);
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
        QVERIFY(m_root.isValid());
        // Before the first QSettings of the process: the system scope is fixed from here on.
        qputenv("XDG_CONFIG_DIRS", QFile::encodeName(m_root.path()));
        QCOMPARE(SettingsKey::location(), storePath());
    }

    void init()
    {
        chmod(QFile::encodeName(storeDir()).constData(), 0755);
        chmod(QFile::encodeName(storePath()).constData(), 0644);
        QDir(storeDir()).removeRecursively();
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
        QVERIFY(!QFile::exists(storePath()));
        QVERIFY(!QDir(storeDir()).exists());
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
        QTest::newRow("ScanBaudRateNo out of range with unknown line settings")
            << QByteArray("[General]\nScanBaudRate=\"1200,n,8,1\"\nScanBaudRateNo=4000\n") << 0 << "1200,n,8,1"
            << 5 << "English" << false;
        QTest::newRow("ScanBaudRateNo in range is not checked against the line settings")
            << QByteArray("[General]\nScanBaudRate=\"1200,n,8,1\"\nScanBaudRateNo=11\n") << 0 << "1200,n,8,1"
            << 11 << "English" << false;
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

    void portMap()
    {
        writeStore("[General]\nScanCommNo=3\n[Ports]\nCOM3=/dev/pts/7\nCOM12=/dev/serial/by-id/usb-FTDI_A\n"
                   "com4=/dev/ttyX4\nCOMx=/dev/bad\nCOM0=/dev/zero-port\nCOM5=\n");
        LoadSettings();
        const std::map<int, std::string> expected = {
            {3, "/dev/pts/7"}, {4, "/dev/ttyX4"}, {12, "/dev/serial/by-id/usb-FTDI_A"}};
        QCOMPARE(serial::portMap(), expected);
        QCOMPARE(serial::resolvePort(3), std::string("/dev/pts/7"));
        QCOMPARE(serial::resolvePort(1), std::string("/dev/ttyS0"));

        // Saving rewrites the values, never the map.
        ScanCommNo = 12;
        SaveScanSettings();
        QCOMPARE(stored(QStringLiteral("Ports/COM3")).toString(), QStringLiteral("/dev/pts/7"));
        QCOMPARE(stored(QStringLiteral("ScanCommNo")).toString(), QStringLiteral("12"));
    }

    void portMapFollowsTheStoreEvenWhenAValueIsBad()
    {
        writeStore("[General]\nScanCommNo=bad\n[Ports]\nCOM2=/dev/pts/3\n");
        LoadSettings();
        QCOMPARE(serial::resolvePort(2), std::string("/dev/pts/3"));
    }

    void saveScanSettingsCreatesTheKey()
    {
        ScanCommNo = 7;
        ScanBaudRateNo = 10;
        ScanBaudRate = "115200,n,8,1";
        SaveScanSettings();
        QVERIFY(QFile::exists(storePath()));
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

    void failedWritesAreSilent()
    {
        // A folder where the file belongs: no one, root included, can write the store.
        QVERIFY(QDir().mkpath(storePath()));
        const int result = inChild([] {
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
        });
        QCOMPARE(result, 0);
        QVERIFY(QFileInfo(storePath()).isDir());
    }

    void readOnlyStoreStillLoads()
    {
        const QByteArray content("[General]\nScanCommNo=6\nScanBaudRate=\"38400,n,8,1\"\nScanBaudRateNo=6\n"
                                 "LanguageFlag=ChineseBIG5\n");
        writeStore(content);
        QVERIFY(chmod(QFile::encodeName(m_root.path()).constData(), 0755) == 0);
        QVERIFY(chmod(QFile::encodeName(storeDir()).constData(), 0555) == 0);
        QVERIFY(chmod(QFile::encodeName(storePath()).constData(), 0444) == 0);

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
            LanguageFlag = QStringLiteral("English");
            SaveLanguage();
            ScanCommNo = 1;
            SaveScanSettings();
            return 0;
        });
        QCOMPARE(result, 0);
        QCOMPARE(readStoreBytes(), content);
    }
};

QTEST_GUILESS_MAIN(TestSettings)
#include "tst_settings.moc"
