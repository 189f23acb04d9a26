// Command texts and reply fields of the module's command set.
#include <QtTest>

#include "link/commands.h"

class TestCommands : public QObject {
    Q_OBJECT

private slots:
    // Each line setting by its index in BaudRateList, and the command that selects it.
    void lineSettings_data()
    {
        QTest::addColumn<int>("index");
        QTest::addColumn<QString>("line");
        QTest::addColumn<QString>("command");
        QTest::newRow("0") << 0 << "4800,n,8,1" << "E00E0";
        QTest::newRow("5") << 5 << "19200,e,8,1" << "E00E5";
        QTest::newRow("6") << 6 << "38400,n,8,1" << "E00E6";
        QTest::newRow("9") << 9 << "57600,e,8,1" << "E00E9";
        QTest::newRow("10 is one character") << 10 << "115200,n,8,1" << "E00EA";
        QTest::newRow("11") << 11 << "115200,e,8,1" << "E00EB";
        // No index, and no entry for a text in other letter case or none.
        QTest::newRow("-1 refused") << -1 << "38400,N,8,1" << "";
        QTest::newRow("12 refused") << 12 << "" << "";
    }
    void lineSettings()
    {
        QFETCH(int, index);
        QFETCH(QString, line);
        QFETCH(QString, command);
        QCOMPARE(QString::fromStdString(cmd::setLineSettings(index)), command);
        if (command.isEmpty()) {
            QCOMPARE(baudRateIndex(line.toStdString()), -1);
            return;
        }
        QCOMPARE(QString(BaudRateList[std::size_t(index)]), line);
        QCOMPARE(baudRateIndex(line.toStdString()), index);
    }

    void printTextTrimming_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<QByteArray>("command");
        QTest::newRow("blanks around") << QByteArray("  abc  ") << QByteArray("E00Gabc");
        QTest::newRow("tabs and CR LF") << QByteArray("\t\r\nabc\t\n") << QByteArray("E00Gabc");
        QTest::newRow("inside untouched") << QByteArray(" a \t b ") << QByteArray("E00Ga \t b");
        QTest::newRow("blanks only") << QByteArray("   \t ") << QByteArray("E00G");
        QTest::newRow("empty") << QByteArray("") << QByteArray("E00G");
        QTest::newRow("high bytes kept") << QByteArray("\xB2\xE2\xCA\xD4 ") << QByteArray("E00G\xB2\xE2\xCA\xD4");
        QTest::newRow("DEL kept") << QByteArray("\x7f") << QByteArray("E00G\x7f");
    }
    void printTextTrimming()
    {
        QFETCH(QByteArray, text);
        QFETCH(QByteArray, command);
        QCOMPARE(QByteArray::fromStdString(cmd::printText(text.toStdString())), command);
    }

    void fixedCommands()
    {
        QCOMPARE(cmd::moduleInfo(), std::string("E00B"));
        QCOMPARE(cmd::firmwareVersion(), std::string("E00V"));
        QCOMPARE(cmd::printerStatus(), std::string("E00F"));
        QCOMPARE(cmd::printTestLine(), std::string("E00GVOREX PRINT TEST."));
        QCOMPARE(cmd::lineEnd(), std::string("E00H0D0A"));
        QCOMPARE(cmd::setModuleId("TQ123456", "07"), std::string("E00CTQ12345607"));
    }

    void infoReplyFields()
    {
        // LF, filler, ID "42", filler, S/N "AB345678", checksum digits, CR: 16 bytes.
        const std::string reply = "\nX42YAB345678ZZ\r";
        QCOMPARE(int(reply.size()), 16);
        QCOMPARE(cmd::infoId(reply), std::string("42"));
        QCOMPARE(cmd::infoSerial(reply), std::string("AB345678"));
    }

    void versionOfAShortReply()
    {
        // Five reply characters: the version takes the fifth, the digits and the CR.
        const std::string reply = "\nabcde12\r";
        QCOMPARE(int(reply.size()), 9);
        QCOMPARE(cmd::versionText(reply), std::string("e12\r"));
    }

    void replyFieldBounds_data()
    {
        QTest::addColumn<QString>("reply");
        QTest::addColumn<int>("start");
        QTest::addColumn<int>("count");
        QTest::addColumn<QString>("field");
        QTest::newRow("inside") << "\nabcdefg" << 2 << 3 << "abc";
        QTest::newRow("cut at the end") << "\nabc" << 3 << 8 << "bc";
        QTest::newRow("start is the last") << "\nabc" << 4 << 1 << "c";
        QTest::newRow("start beyond the end") << "\nabc" << 5 << 1 << "";
        QTest::newRow("empty reply") << "" << 6 << 1 << "";
    }
    void replyFieldBounds()
    {
        QFETCH(QString, reply);
        QFETCH(int, start);
        QFETCH(int, count);
        QFETCH(QString, field);
        QCOMPARE(QString::fromStdString(cmd::replyField(reply.toStdString(), start, count)), field);
    }
};

QTEST_GUILESS_MAIN(TestCommands)
#include "tst_commands.moc"
