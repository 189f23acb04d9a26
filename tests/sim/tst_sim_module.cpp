// The simulated module on its own: bytes in, reply bytes, paper and state out.

#include <QTest>

#include "sim/module.h"
#include "support/fake_port.h"

using testsupport::hexBytes;

namespace {

QString hex(const std::vector<unsigned char> &bytes)
{
    QString s;
    for (unsigned char b : bytes) {
        if (!s.isEmpty())
            s += QLatin1Char(' ');
        s += QStringLiteral("%1").arg(b, 2, 16, QLatin1Char('0')).toUpper();
    }
    return s;
}

// Feeds the bytes and takes every outcome they make, at the given port baud.
std::vector<sim::Outcome> feed(sim::Module &m, const std::string &spaced, int baud = 19200)
{
    const auto bytes = hexBytes(spaced);
    m.receive(bytes.data(), bytes.size());
    std::vector<sim::Outcome> out;
    while (auto o = m.next(baud)) {
        if (o->answered())
            m.replySent();
        out.push_back(std::move(*o));
    }
    return out;
}

// The reply to one frame; empty when none.
QString replyTo(sim::Module &m, const std::string &spaced, int baud = 19200)
{
    const auto out = feed(m, spaced, baud);
    return out.size() == 1 ? hex(out[0].reply) : QStringLiteral("<%1 outcomes>").arg(out.size());
}

const std::string kInfo = "09 45 30 30 42 30 45 0D";          // E00B
const std::string kVersion = "09 45 30 30 56 31 41 0D";       // E00V
const std::string kStatus = "09 45 30 30 46 30 41 0D";        // E00F
const std::string kInfoReply = "0A 45 30 31 42 54 51 31 32 33 34 35 36 30 45 0D";  // E01BTQ123456

} // namespace

class TestSimModule : public QObject {
    Q_OBJECT

private slots:
    void answers_data()
    {
        QTest::addColumn<QString>("frame");
        QTest::addColumn<QString>("reply");
        QTest::addColumn<QByteArray>("paper");
        QTest::newRow("info") << QString::fromStdString(kInfo) << QString::fromStdString(kInfoReply) << QByteArray();
        QTest::newRow("version") << QString::fromStdString(kVersion)
                                 << "0A 45 30 31 56 30 33 2E 31 30 2D 30 37 31 45 0D" << QByteArray();
        QTest::newRow("status") << QString::fromStdString(kStatus) << "0A 45 30 31 46 4F 34 37 0D" << QByteArray();
        QTest::newRow("print text") << "09 45 30 30 47 48 65 6C 6C 6F 34 39 0D" << "0A 45 30 31 47 30 39 0D"
                                    << QByteArray("Hello");
        // "E00G" alone: an empty line of text is still a print command.
        QTest::newRow("print nothing") << "09 45 30 30 47 30 42 0D" << "0A 45 30 31 47 30 39 0D" << QByteArray();
        QTest::newRow("print bytes") << "09 45 30 30 48 30 44 30 41 30 31 0D" << "0A 45 30 31 48 30 36 0D"
                                     << QByteArray("\r\n");
        // E00H41620d0a: lower-case hex digits are still hex.
        QTest::newRow("print bytes lower case") << "09 45 30 30 48 34 31 36 32 30 64 30 61 30 30 0D"
                                                << "0A 45 30 31 48 30 36 0D" << QByteArray("Ab\r\n");
        QTest::newRow("line settings") << "09 45 30 30 45 35 33 43 0D" << "0A 45 30 31 45 30 42 0D" << QByteArray();
        QTest::newRow("set id") << "09 45 30 30 43 54 51 31 32 33 34 35 36 30 37 30 41 0D"
                                << "0A 45 30 37 43 30 42 0D" << QByteArray();
    }

    void answers()
    {
        QFETCH(QString, frame);
        QFETCH(QString, reply);
        QFETCH(QByteArray, paper);
        sim::Module m;
        const auto out = feed(m, frame.toStdString());
        QCOMPARE(out.size(), std::size_t(1));
        QVERIFY2(out[0].answered(), out[0].reason.c_str());
        QVERIFY(out[0].checksumOk);
        QCOMPARE(hex(out[0].reply), reply);
        QCOMPARE(QByteArray::fromStdString(out[0].paper), paper);
    }

    void refuses_data()
    {
        QTest::addColumn<QString>("frame");
        QTest::addColumn<QString>("reason");
        QTest::newRow("lower-case checksum digit") << "09 45 30 30 46 30 61 0D" << "bad checksum";
        QTest::newRow("wrong checksum") << "09 45 30 30 42 30 46 0D" << "bad checksum";
        QTest::newRow("empty frame") << "09 0D" << "too short";
        QTest::newRow("empty command") << "09 30 39 0D" << "unknown command";
        QTest::newRow("unknown letter") << "09 45 30 30 5A 31 36 0D" << "unknown command";
        QTest::newRow("other address") << "09 45 30 31 42 30 46 0D" << "unknown command";
        QTest::newRow("info with argument") << "09 45 30 30 42 31 33 46 0D" << "unknown command";
        QTest::newRow("set id, other S/N") << "09 45 30 30 43 58 58 31 32 33 34 35 36 30 37 30 46 0D"
                                           << "S/N does not match";
        QTest::newRow("set id 00") << "09 45 30 30 43 54 51 31 32 33 34 35 36 30 30 30 44 0D" << "bad ID";
        QTest::newRow("set id not digits") << "09 45 30 30 43 54 51 31 32 33 34 35 36 41 34 37 38 0D" << "bad ID";
        QTest::newRow("set id one digit") << "09 45 30 30 43 54 51 31 32 33 34 35 36 37 33 41 0D" << "bad argument";
        QTest::newRow("index C") << "09 45 30 30 45 43 34 41 0D" << "bad line-settings index";
        QTest::newRow("index lower-case b") << "09 45 30 30 45 62 36 42 0D" << "bad line-settings index";
        QTest::newRow("index two digits") << "09 45 30 30 45 31 30 30 38 0D" << "bad line-settings index";
        QTest::newRow("odd hex") << "09 45 30 30 48 30 44 30 34 30 0D" << "bad hex";
        QTest::newRow("not hex") << "09 45 30 30 48 30 47 30 41 30 32 0D" << "bad hex";
    }

    void refuses()
    {
        QFETCH(QString, frame);
        QFETCH(QString, reason);
        sim::Module m;
        const auto out = feed(m, frame.toStdString());
        QCOMPARE(out.size(), std::size_t(1));
        QVERIFY(out[0].isFrame);
        QCOMPARE(QString::fromStdString(out[0].reason), reason);
        QVERIFY(out[0].reply.empty());
        QVERIFY(out[0].paper.empty());
        QCOMPARE(m.state().id, std::string("01"));
        QCOMPARE(m.state().lineSetting, 5);
    }

    void noReplyAtAnotherBaud()
    {
        sim::Module m;
        auto out = feed(m, kInfo, 9600);
        QCOMPARE(out.size(), std::size_t(1));
        QVERIFY(out[0].checksumOk);
        QCOMPARE(out[0].reason, std::string("baud mismatch"));
        QVERIFY(out[0].reply.empty());
        QCOMPARE(replyTo(m, kInfo, 19200), QString::fromStdString(kInfoReply));
    }

    void newIdInEveryLaterReply()
    {
        sim::ModuleState s;
        s.serial = "AB-00017";
        sim::Module m(s);
        // E00CAB-0001742
        QCOMPARE(replyTo(m, "09 45 30 30 43 41 42 2D 30 30 30 31 37 34 32 31 31 0D"), QStringLiteral("0A 45 34 32 43 30 41 0D"));
        QCOMPARE(m.state().id, std::string("42"));
        // E42BAB-00017
        QCOMPARE(replyTo(m, kInfo), QStringLiteral("0A 45 34 32 42 41 42 2D 30 30 30 31 37 31 33 0D"));
    }

    void lineSettingsChangeAfterTheReply()
    {
        sim::Module m;
        // E00E3 (9600) followed at once by E00B, both in one read.
        const auto bytes = hexBytes("09 45 30 30 45 33 33 41 0D " + kInfo);
        m.receive(bytes.data(), bytes.size());
        auto set = m.next(19200);
        QVERIFY(set && set->answered());
        QCOMPARE(hex(set->reply), QStringLiteral("0A 45 30 31 45 30 42 0D"));
        // Until the reply is out the module still runs at 19200.
        QCOMPARE(m.baud(), 19200);
        m.replySent();
        QCOMPARE(m.baud(), 9600);
        QCOMPARE(m.state().lineSetting, 3);
        auto info = m.next(19200);
        QVERIFY(info);
        QCOMPARE(info->reason, std::string("baud mismatch"));
        QCOMPARE(replyTo(m, kInfo, 9600), QString::fromStdString(kInfoReply));
        // Index 11 is "B", one character.
        QCOMPARE(replyTo(m, "09 45 30 30 45 42 34 42 0D", 9600), QStringLiteral("0A 45 30 31 45 30 42 0D"));
        QCOMPARE(m.baud(), 115200);
    }

    void framesResynchroniseAtEachStartByte()
    {
        sim::Module m;
        // Noise, a frame cut off by a new start byte, then a whole frame split over two reads.
        auto out = feed(m, "41 0D 0A 09 45 30 30 09 45 30 30");
        QCOMPARE(out.size(), std::size_t(2));
        QCOMPARE(out[0].reason, std::string("no start byte"));
        QCOMPARE(hex(out[0].received), QStringLiteral("41 0D 0A"));
        QCOMPARE(out[1].reason, std::string("cut off by a new start byte"));
        QCOMPARE(hex(out[1].received), QStringLiteral("09 45 30 30"));
        out = feed(m, "42 30 45 0D");
        QCOMPARE(out.size(), std::size_t(1));
        QCOMPARE(hex(out[0].received), QString::fromStdString(kInfo));
        QCOMPARE(hex(out[0].reply), QString::fromStdString(kInfoReply));
    }

    void overlongFrameIsDropped()
    {
        sim::Module m;
        std::string frame = "09";
        for (int i = 0; i < 400; ++i)
            frame += " 41";
        frame += " 0D";
        auto out = feed(m, frame);
        QVERIFY(!out.empty());
        QCOMPARE(out[0].reason, std::string("overlong frame"));
        for (const auto &o : out)
            QVERIFY(o.reply.empty());
        QCOMPARE(replyTo(m, kInfo), QString::fromStdString(kInfoReply));
    }

    void printKeepsHighBytes()
    {
        sim::Module m;
        // E00G + C4 E3 BA C3 (GBK text), checksum 0B ^ C4 ^ E3 ^ BA ^ C3 = 55
        const auto out = feed(m, "09 45 30 30 47 C4 E3 BA C3 35 35 0D");
        QCOMPARE(out.size(), std::size_t(1));
        QVERIFY2(out[0].answered(), out[0].reason.c_str());
        QCOMPARE(QByteArray::fromStdString(out[0].paper), QByteArray("\xC4\xE3\xBA\xC3"));
    }

    void contentFaults_data()
    {
        QTest::addColumn<QString>("fault");
        QTest::addColumn<QString>("frame");
        QTest::addColumn<QString>("reply");
        QTest::newRow("silent") << "silent" << QString::fromStdString(kInfo) << QString();
        QTest::newRow("corrupt checksum") << "corrupt" << QString::fromStdString(kInfo)
                                          << "0A 45 30 31 42 54 51 31 32 33 34 35 36 31 45 0D";
        QTest::newRow("stray byte") << "stray" << QString::fromStdString(kStatus) << "55 0A 45 30 31 46 4F 34 37 0D";
        QTest::newRow("wrong info length") << "length" << QString::fromStdString(kInfo)
                                           << "0A 45 30 31 42 54 51 31 32 33 34 35 36 58 35 36 0D";
        QTest::newRow("wrong info length, version untouched") << "length" << QString::fromStdString(kVersion)
                                           << "0A 45 30 31 56 30 33 2E 31 30 2D 30 37 31 45 0D";
        QTest::newRow("no version") << "noversion" << QString::fromStdString(kVersion) << QString();
        QTest::newRow("no version, info answered") << "noversion" << QString::fromStdString(kInfo)
                                                   << QString::fromStdString(kInfoReply);
    }

    void contentFaults()
    {
        QFETCH(QString, fault);
        QFETCH(QString, frame);
        QFETCH(QString, reply);
        sim::Faults f;
        f.silent = fault == "silent";
        f.corruptChecksum = fault == "corrupt";
        f.strayByte = fault == "stray";
        f.wrongInfoLength = fault == "length";
        f.noVersion = fault == "noversion";
        sim::Module m({}, f);
        const auto out = feed(m, frame.toStdString());
        QCOMPARE(out.size(), std::size_t(1));
        QCOMPARE(hex(out[0].reply), reply);
        QCOMPARE(out[0].answered(), !reply.isEmpty());
    }

    void droppedReplies_data()
    {
        QTest::addColumn<int>("first");
        QTest::addColumn<int>("every");
        QTest::addColumn<QString>("pattern");   // one letter per E00B: a answered, d dropped
        QTest::newRow("first 2") << 2 << 0 << "ddaaaa";
        QTest::newRow("every 3rd") << 0 << 3 << "aadaadaad";
        QTest::newRow("every one") << 0 << 1 << "ddd";
        QTest::newRow("both") << 1 << 2 << "ddadad";
    }

    void droppedReplies()
    {
        QFETCH(int, first);
        QFETCH(int, every);
        QFETCH(QString, pattern);
        sim::Faults f;
        f.dropFirst = first;
        f.dropEvery = every;
        sim::Module m({}, f);
        QString seen;
        for (int i = 0; i < pattern.size(); ++i) {
            const auto out = feed(m, kInfo);
            QCOMPARE(out.size(), std::size_t(1));
            seen += out[0].answered() ? QLatin1Char('a') : QLatin1Char('d');
            QCOMPARE(out[0].reply.empty(), !out[0].answered());
        }
        QCOMPARE(seen, pattern);
    }

    void droppedCommandChangesNothing()
    {
        sim::Faults f;
        f.dropFirst = 3;
        sim::Module m({}, f);
        feed(m, "09 45 30 30 43 54 51 31 32 33 34 35 36 30 37 30 41 0D");   // E00CTQ12345607
        feed(m, "09 45 30 30 45 33 33 41 0D");                               // E00E3
        const auto print = feed(m, "09 45 30 30 47 48 65 6C 6C 6F 34 39 0D"); // E00GHello
        QCOMPARE(print.size(), std::size_t(1));
        QVERIFY(print[0].paper.empty());
        QCOMPARE(m.state().id, std::string("01"));
        QCOMPARE(m.baud(), 19200);
        QCOMPARE(replyTo(m, kInfo), QString::fromStdString(kInfoReply));
    }

    void optionValues_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("result");   // empty: refused
        QTest::newRow("id 1") << "id" << "1" << "01";
        QTest::newRow("id 07") << "id" << "07" << "07";
        QTest::newRow("id 99") << "id" << "99" << "99";
        QTest::newRow("id 0") << "id" << "0" << "";
        QTest::newRow("id 00") << "id" << "00" << "";
        QTest::newRow("id 100") << "id" << "100" << "";
        QTest::newRow("id -1") << "id" << "-1" << "";
        QTest::newRow("id x") << "id" << "x1" << "";
        QTest::newRow("line 0") << "line" << "0" << "0";
        QTest::newRow("line 11") << "line" << "11" << "11";
        QTest::newRow("line 12") << "line" << "12" << "";
        QTest::newRow("line text") << "line" << "57600,e,8,1" << "9";
        QTest::newRow("line bad text") << "line" << "57600,o,8,1" << "";
        QTest::newRow("line empty") << "line" << "" << "";
        QTest::newRow("field 8") << "field" << "TQ 12345" << "ok";
        QTest::newRow("field 7") << "field" << "TQ12345" << "";
        QTest::newRow("field 9") << "field" << "TQ1234567" << "";
        QTest::newRow("field control") << "field" << "TQ1234\r6" << "";
    }

    void optionValues()
    {
        QFETCH(QString, kind);
        QFETCH(QString, text);
        QFETCH(QString, result);
        const std::string t = text.toStdString();
        QString got;
        if (kind == "id") {
            if (auto v = sim::parseId(t))
                got = QString::fromStdString(*v);
        } else if (kind == "line") {
            if (auto v = sim::parseLineSetting(t))
                got = QString::number(*v);
        } else if (sim::isFieldText(t, 8)) {
            got = QStringLiteral("ok");
        }
        QCOMPARE(got, result);
    }
};

QTEST_GUILESS_MAIN(TestSimModule)
#include "tst_sim_module.moc"
