// The frame exchange over a scripted port and a fake millisecond clock.
#include <QtTest>

#include "link/comm.h"
#include "link/frame.h"
#include "support/fake_port.h"

using testsupport::FakeLink;
using testsupport::hexBytes;
using testsupport::textBytes;
using testsupport::TraceEntry;

Q_DECLARE_METATYPE(std::vector<unsigned char>)

namespace {
QByteArray bytes(const std::vector<unsigned char> &v)
{
    return QByteArray(reinterpret_cast<const char *>(v.data()), qsizetype(v.size()));
}
QByteArray hex(const char *spaced) { return bytes(hexBytes(spaced)); }
} // namespace

class TestFrame : public QObject {
    Q_OBJECT

private slots:
    void init()
    {
        LastReply.clear();
        ReplyLength = 0;
    }

    void checksumDigits_data()
    {
        QTest::addColumn<QByteArray>("command");
        QTest::addColumn<QByteArray>("digits");
        QTest::newRow("E00B") << QByteArray("E00B") << QByteArray("0E");
        QTest::newRow("E00V") << QByteArray("E00V") << QByteArray("1A");
        QTest::newRow("E00F") << QByteArray("E00F") << QByteArray("0A");
        QTest::newRow("E00H0D0A") << QByteArray("E00H0D0A") << QByteArray("01");
        QTest::newRow("E00E0") << QByteArray("E00E0") << QByteArray("39");
        QTest::newRow("E00E1") << QByteArray("E00E1") << QByteArray("38");
        QTest::newRow("E00E2") << QByteArray("E00E2") << QByteArray("3B");
        QTest::newRow("E00E3") << QByteArray("E00E3") << QByteArray("3A");
        QTest::newRow("E00E4") << QByteArray("E00E4") << QByteArray("3D");
        QTest::newRow("E00E5") << QByteArray("E00E5") << QByteArray("3C");
        QTest::newRow("E00E6") << QByteArray("E00E6") << QByteArray("3F");
        QTest::newRow("E00E7") << QByteArray("E00E7") << QByteArray("3E");
        QTest::newRow("E00E8") << QByteArray("E00E8") << QByteArray("31");
        QTest::newRow("E00E9") << QByteArray("E00E9") << QByteArray("30");
        QTest::newRow("E00EA") << QByteArray("E00EA") << QByteArray("48");
        QTest::newRow("E00EB") << QByteArray("E00EB") << QByteArray("4B");
        QTest::newRow("empty") << QByteArray("") << QByteArray("09");
    }
    void checksumDigits()
    {
        QFETCH(QByteArray, command);
        QFETCH(QByteArray, digits);
        char out[2];
        ByteToHex(CommandChecksum(command.constData(), int(command.size())), out);
        QCOMPARE(QByteArray(out, 2), digits);
    }

    void checksumIgnoresNonPositiveCount()
    {
        QCOMPARE(int(CommandChecksum("E00B", 0)), 0x09);
        QCOMPARE(int(CommandChecksum("E00B", -3)), 0x09);
    }

    void commandFrameOnTheWire()
    {
        FakeLink link;
        QVERIFY(OpenComm(1, "19200,e,8,1"));
        SendCommand("E00B");
        QCOMPARE(bytes(link.port.written()), hex("09 45 30 30 42 30 45 0D"));
    }

    // Five writes, each followed by its pause: 1, 5, 1, 1, 1 ms.
    void writeSequence()
    {
        FakeLink link;
        QVERIFY(OpenComm(1, "19200,e,8,1"));
        SendCommand("E00V");
        const auto &t = link.port.trace;
        QCOMPARE(int(t.size()), 10);
        const std::uint32_t pauses[] = {1, 5, 1, 1, 1};
        const char *writes[] = {"09", "45 30 30 56", "31", "41", "0D"};
        for (int i = 0; i < 5; ++i) {
            QCOMPARE(t[2 * i].kind, TraceEntry::Write);
            QCOMPARE(bytes(t[2 * i].bytes), hex(writes[i]));
            QCOMPARE(t[2 * i + 1].kind, TraceEntry::Sleep);
            QCOMPARE(t[2 * i + 1].ms, pauses[i]);
        }
    }

    void replyVerification_data()
    {
        QTest::addColumn<QByteArray>("reply");
        QTest::addColumn<bool>("ok");
        QTest::addColumn<int>("length");
        QTest::addColumn<QByteArray>("lastReply");
        QTest::newRow("shortest valid") << hex("0A 30 41 0D") << true << 4 << hex("0A 30 41 0D");
        QTest::newRow("lower-case digit") << hex("0A 30 61 0D") << false << 4 << hex("0A 30 61 0D");
        QTest::newRow("LF CR only") << hex("0A 0D") << false << 2 << hex("0A 0D");
        QTest::newRow("one character") << hex("0A 41 0D") << false << 3 << hex("0A 41 0D");
        QTest::newRow("three characters") << hex("0A 41 42 43 34 41 0D") << true << 7 << hex("0A 41 42 43 34 41 0D");
        QTest::newRow("wrong digits") << hex("0A 41 42 43 34 42 0D") << false << 7 << hex("0A 41 42 43 34 42 0D");
        // A carriage return among the characters ends the reply there: 0A 41 0D is too short.
        QTest::newRow("CR inside") << hex("0A 41 0D 42 34 41 0D") << false << 3 << hex("0A 41 0D");
        // A zero byte counts for the checksum (0A^41^00^42 = 09) but ends LastReply.
        QTest::newRow("zero byte") << hex("0A 41 00 42 30 39 0D") << true << 7 << hex("0A 41");
    }
    void replyVerification()
    {
        QFETCH(QByteArray, reply);
        QFETCH(bool, ok);
        QFETCH(int, length);
        QFETCH(QByteArray, lastReply);
        FakeLink link;
        QVERIFY(OpenComm(1, "19200,e,8,1"));
        link.port.queue(std::vector<unsigned char>(reply.begin(), reply.end()));
        QCOMPARE(SendCommand("E00B"), ok);
        QCOMPARE(int(ReplyLength), length);
        QCOMPARE(QByteArray::fromStdString(LastReply), lastReply);
    }

    void strayByteBeforeLineFeedNeverCompletes()
    {
        FakeLink link;
        LastReply = "previous";
        QVERIFY(OpenComm(1, "19200,e,8,1"));
        link.port.queue(hexBytes("FF 0A 30 41 0D"));
        QVERIFY(!SendCommand("E00B"));
        QCOMPARE(int(ReplyLength), 5);
        QCOMPARE(LastReply, std::string("previous"));
    }

    // The window is 120 ms from the end of the frame; the first empty read after it ends the exchange.
    void replyWindowBoundary_data()
    {
        QTest::addColumn<int>("arrivesAfter");
        QTest::addColumn<bool>("ok");
        QTest::newRow("at once") << 0 << true;
        QTest::newRow("119 ms") << 119 << true;
        QTest::newRow("120 ms") << 120 << true;    // the read at 120 elapsed is still inside
        QTest::newRow("121 ms") << 121 << false;
        QTest::newRow("500 ms") << 500 << false;
    }
    void replyWindowBoundary()
    {
        QFETCH(int, arrivesAfter);
        QFETCH(bool, ok);
        FakeLink link;
        QVERIFY(OpenComm(1, "19200,e,8,1"));
        link.port.onFrame = [&](const std::vector<unsigned char> &) {
            // The frame's last write is followed by a 1 ms pause: the window starts after it.
            link.port.queueAt(link.clock.now + 1 + std::uint32_t(arrivesAfter), hexBytes("0A 30 41 0D"));
        };
        QCOMPARE(SendCommand("E00B"), ok);
    }

    void silentPortCostsTheWindowAndPumpsEachEmptyRead()
    {
        FakeLink link;
        QVERIFY(OpenComm(1, "19200,e,8,1"));
        const std::uint32_t before = link.clock.now;
        QVERIFY(!SendCommand("E00B"));
        // 9 ms of pauses, then empty reads of 1 ms each until 121 ms have elapsed.
        QCOMPARE(link.clock.now - before, 9u + 121u);
        QCOMPARE(link.pumps, 121);
        QCOMPARE(int(ReplyLength), 0);
    }

    void bytesWithoutGapReadPastTheWindow()
    {
        FakeLink link;
        link.clock.byteStep = 1;   // every byte takes 1 ms to arrive
        QVERIFY(OpenComm(1, "19200,e,8,1"));
        // The first byte comes at 110 ms, the rest back to back: 304 bytes in all, ending near 414 ms.
        // 300 'A's cancel out in pairs, so the checksum digits are "0A".
        link.port.onFrame = [&](const std::vector<unsigned char> &) {
            link.port.queueAt(link.clock.now + 1 + 110, hexBytes("0A"));
            link.port.queueAt(0, std::vector<unsigned char>(300, 0x41));
            link.port.queueAt(0, hexBytes("30 41 0D"));
        };
        const std::uint32_t before = link.clock.now;
        QVERIFY(SendCommand("E00B"));
        QCOMPARE(int(ReplyLength), 304);
        QVERIFY(link.clock.now - before > 9u + 400u);
    }

    void gapAfterTheWindowEndsAPartialReply()
    {
        FakeLink link;
        link.clock.byteStep = 1;
        QVERIFY(OpenComm(1, "19200,e,8,1"));
        link.port.onFrame = [&](const std::vector<unsigned char> &) {
            const std::uint32_t s = link.clock.now + 1;
            link.port.queueAt(s + 100, hexBytes("0A 41 41 41 41 41 41 41 41 41 41 41 41 41 41 41 41 41 41 41 41 41"));
            link.port.queueAt(s + 200, hexBytes("30 41 0D"));   // after a gap that falls past 120 ms
        };
        QVERIFY(!SendCommand("E00B"));
        QCOMPARE(int(ReplyLength), 22);
    }

    void clockWrapDoesNotChangeTheWindow_data()
    {
        QTest::addColumn<std::uint32_t>("start");
        QTest::newRow("no wrap") << std::uint32_t(1000);
        QTest::newRow("wraps during window") << std::uint32_t(0xFFFFFFFFu - 60u);
        QTest::newRow("wraps at the frame's end") << std::uint32_t(0xFFFFFFFFu - 9u);
    }
    void clockWrapDoesNotChangeTheWindow()
    {
        QFETCH(std::uint32_t, start);
        FakeLink link;
        link.clock.now = start;
        QVERIFY(OpenComm(1, "19200,e,8,1"));
        QVERIFY(!SendCommand("E00B"));
        QCOMPARE(std::uint32_t(link.clock.now - start), 9u + 121u);
        QCOMPARE(link.pumps, 121);
    }

    // The reply window started while a long frame was still in the port's output queue: at
    // 4800 baud a 200-character print text had failed before its last byte left.
    void windowStartsWhenTheFrameIsOnTheWire()
    {
        FakeLink link;
        link.port.usPerByte = 2292;   // 11 bits at 4800 baud
        QVERIFY(OpenComm(1, "4800,e,8,1"));
        link.port.onFrame = [&](const std::vector<unsigned char> &) {
            link.port.queueAt(link.port.sentBy() + 100, hexBytes("0A 30 41 0D"));
        };
        QVERIFY(SendCommand("E00G" + std::string(196, 'x')));
    }

    // A device that streams text without ever completing a reply held one exchange for as long
    // as it kept sending.
    void streamingDeviceEndsTheExchange()
    {
        FakeLink link;
        link.clock.byteStep = 1;   // a byte on every read: the window never sees an empty one
        QVERIFY(OpenComm(1, "19200,e,8,1"));
        std::vector<unsigned char> stream;
        while (stream.size() < 100000)
            for (unsigned char c : std::string("W  12.5 kg\r\n"))
                stream.push_back(c);
        link.port.queue(stream);
        const std::uint32_t before = link.clock.now;
        QVERIFY(!SendCommand("E00B"));
        // 9 ms of pauses, the 120 ms window and 1024 bytes at 19200 baud with 11 bits each (587 ms).
        QVERIFY2(link.clock.now - before <= 9u + 120u + 587u + 2u, qPrintable(QString::number(link.clock.now - before)));
    }

    // A reply that came after its window had closed, while the next frame was being written,
    // was taken for the next command's: Get Status showed the info reply's status.
    void lateReplyArrivingDuringTheNextFrameIsNotItsReply()
    {
        FakeLink link;
        QVERIFY(OpenComm(1, "19200,e,8,1"));
        // 3 ms into the frame: after its 09, while the command's bytes go out.
        link.port.queueAt(link.clock.now + 3, hexBytes("0A 30 41 0D"));
        link.port.queue(hexBytes("0A 31 33 42 0D"));   // this command's own reply: "1"
        QVERIFY(SendCommand("E00F"));
        QCOMPARE(QByteArray::fromStdString(LastReply), hex("0A 31 33 42 0D"));
    }

    void timeoutKeepsPreviousReply()
    {
        FakeLink link;
        QVERIFY(OpenComm(1, "19200,e,8,1"));
        link.port.queue(hexBytes("0A 30 41 0D"));
        QVERIFY(SendCommand("E00B"));
        link.port.queue(hexBytes("0A 41 42"));   // incomplete
        QVERIFY(!SendCommand("E00B"));
        QCOMPARE(int(ReplyLength), 3);
        QCOMPARE(QByteArray::fromStdString(LastReply), hex("0A 30 41 0D"));
    }

    void badChecksumStillReplacesLastReply()
    {
        FakeLink link;
        LastReply = "previous";
        QVERIFY(OpenComm(1, "19200,e,8,1"));
        link.port.queue(hexBytes("0A 30 42 0D"));
        QVERIFY(!SendCommand("E00B"));
        QCOMPARE(QByteArray::fromStdString(LastReply), hex("0A 30 42 0D"));
    }

    // After 1024 bytes without completion, storing restarts at position 0.
    void bufferWrap()
    {
        FakeLink link;
        QVERIFY(OpenComm(1, "19200,e,8,1"));
        std::vector<unsigned char> junk(1024, 0x0A);   // fills the buffer exactly, position 0 holds 0A
        link.port.queue(junk);
        link.port.queue(hexBytes("30 41 0D"));          // lands at 0..2 after the wrap: 30 41 0D
        QVERIFY(!SendCommand("E00B"));                  // byte 0 is '0', not a line feed: no completion
        QCOMPARE(int(ReplyLength), 3);

        std::vector<unsigned char> again(1024, 0x55);
        again[0] = 0x0A;
        link.port.queue(again);
        link.port.queue(hexBytes("0A 30 41 0D"));       // after the wrap: a whole valid reply at 0..3
        QVERIFY(SendCommand("E00B"));
        QCOMPARE(int(ReplyLength), 4);
        QCOMPARE(QByteArray::fromStdString(LastReply), hex("0A 30 41 0D"));
    }

    void carriageReturnAsThe1024thByte()
    {
        FakeLink link;
        LastReply = "previous";
        QVERIFY(OpenComm(1, "19200,e,8,1"));
        std::vector<unsigned char> reply(1024, 0x41);
        reply[0] = 0x0A;
        reply[1023] = 0x0D;
        link.port.queue(reply);
        QVERIFY(!SendCommand("E00B"));
        QCOMPARE(int(ReplyLength), 0);
        QVERIFY(LastReply.empty());
    }

    void commandBeginning00ReadsNothing()
    {
        FakeLink link;
        link.clock.tickPerReading = 1;
        LastReply = "previous";
        QVERIFY(OpenComm(1, "19200,e,8,1"));
        link.port.queue(hexBytes("0A 30 41 0D"));
        const std::uint32_t before = link.clock.now;
        QVERIFY(SendCommand("00XY"));
        QCOMPARE(link.port.reads, 0);
        QCOMPARE(int(ReplyLength), 0);
        QCOMPARE(LastReply, std::string("previous"));
        QCOMPARE(bytes(link.port.written()), hex("09 30 30 58 59 30 38 0D"));
        QVERIFY(link.clock.now - before >= 9u + 10u);
        QCOMPARE(link.pumps, 0);
    }

    void commandLengthLimit()
    {
        FakeLink link;
        QVERIFY(OpenComm(1, "19200,e,8,1"));
        const std::string longest = "E00G" + std::string(251, 'x');   // 255 bytes: sent whole
        SendCommand(longest);
        const auto sent = link.port.written();
        QCOMPARE(int(sent.size()), 255 + 4);
        QCOMPARE(int(sent.front()), 0x09);
        QCOMPARE(int(sent.back()), 0x0D);
    }

    // One byte more would be cut to its length modulo 256 and print another text: refused.
    void overlongCommandRefused_data()
    {
        QTest::addColumn<int>("length");
        QTest::newRow("256") << 256;
        QTest::newRow("257") << 257;
        QTest::newRow("600") << 600;
    }
    void overlongCommandRefused()
    {
        QFETCH(int, length);
        FakeLink link;
        QVERIFY(OpenComm(1, "19200,e,8,1"));
        link.port.queue(hexBytes("0A 30 41 0D"));
        QVERIFY(SendCommand("E00B"));
        QCOMPARE(int(ReplyLength), 4);
        const auto writtenBefore = link.port.written().size();
        QVERIFY(!SendCommand("E00G" + std::string(std::size_t(length - 4), 'x')));
        QCOMPARE(link.port.written().size(), writtenBefore);
        QCOMPARE(int(ReplyLength), 0);
        QCOMPARE(QByteArray::fromStdString(LastReply), hex("0A 30 41 0D"));
    }

    void waitMsBusyWaitsOnTheClock()
    {
        std::uint32_t now = 0xFFFFFFFAu;
        int reads = 0;
        platform::HooksGuard g({[&] { ++reads; return now++; }, {}, {}, {}});
        WaitMs(10);
        QCOMPARE(reads, 11);   // the start, then one reading per millisecond until 10 have passed
    }
};

QTEST_GUILESS_MAIN(TestFrame)
#include "tst_frame.moc"
