// Fuzz target: the reply receiver of SendCommand, over a fake port and a fake clock.
//
// Input layout (bytes):
//   0  which command is sent: 0 "E00B", 1 "E00V", 2 "E00F", 3 "E00C" + S/N + ID,
//      4 "E00E" + index, 5 the print test line, 6 "E00H0D0A", 7 "E00G" + text,
//      8 a command beginning "00", 9 a command of 255 bytes, 10 one of 256 bytes (refused)
//   1  line settings of the open port: index into BaudRateList (mod 12)
//   2  flags: bit 0 the reply bytes repeat for ever (a device that streams),
//             bit 1 the port never reports its output as sent,
//             bits 2-3 what an empty read costs: 1, 2, 5 or 16 ms,
//             bits 4-5 what handling the window's messages costs: 0, 1, 7 or 40 ms,
//             bit 6 the millisecond clock starts byte 3 ms before it wraps
//   3  see bit 6
//   4.. pairs (delay in ms after the previous byte, byte): the reply as it arrives, the first
//      delay counted from the frame's last write. A byte never arrives sooner after the one
//      before than its wire time at the port's line settings.
//
// Invariants (a violation traps): the exchange ends within the reply window plus a full
// buffer's wire time of its first read; ReplyLength stays within 0..1023; LastReply is at
// most 1024 bytes and only changes on a completed reply; a true result means a reply that
// starts with 0A, whose checksum digits are right, and whose LastReply runs to its 0D (or to
// a zero byte inside it, which the checksum cannot see); the frame on the wire is 09,
// command, checksum digits, 0D.
//
// By hand (from a fuzz build, see fuzz/README.md):
//   build-fuzz/fuzz/fuzz_reply -max_len=4096 corpus-copy/ fuzz/corpus/reply/

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "link/comm.h"
#include "link/commands.h"
#include "link/frame.h"
#include "link/seams.h"
#include "platform/hooks.h"

namespace {

[[noreturn]] void fail(const char *what)
{
    std::fprintf(stderr, "fuzz_reply: %s\n", what);
    std::fflush(stderr);
    __builtin_trap();
}

struct Event {
    std::uint32_t delayMs;
    unsigned char byte;
};

// Time in microseconds since the input began; the millisecond clock is derived from it.
struct Clock {
    std::uint64_t us = 0;
    std::uint32_t baseMs = 1000;
    std::uint32_t ms() const { return baseMs + static_cast<std::uint32_t>(us / 1000u); }
};

class FuzzPort final : public serial::PortBackend {
public:
    FuzzPort(Clock &clock, const std::vector<Event> &events, bool repeat, std::uint64_t byteUs,
             std::uint64_t emptyReadUs, bool stuckOutput)
        : m_clock(clock), m_events(events), m_repeat(repeat && !events.empty()), m_byteUs(byteUs),
          m_emptyReadUs(emptyReadUs), m_stuck(stuckOutput)
    {
    }

    serial::OpenResult open(const std::string &) override { return {7, serial::OpenFailure::None, 0}; }
    bool applyLineSettings(CommHandleType, const std::string &) override { return true; }

    int readByte(CommHandleType, unsigned char *byte) override
    {
        ++reads;
        if (reads == 1)
            firstReadUs = m_clock.us;
        if (ReplyLength < 0 || ReplyLength >= kReplyBufferSize)
            fail("ReplyLength outside 0..1023 while receiving");
        if (m_clock.us - firstReadUs > boundUs)
            fail("the exchange outlasted the window plus a full buffer's wire time");
        if (reads > 10'000'000)
            fail("the receiver does not end");
        if (haveNext()) {
            const std::uint64_t at = nextArrival();
            // A read returns as soon as a byte has arrived, or after its time-out without one.
            if (at <= m_clock.us + m_emptyReadUs) {
                if (at > m_clock.us)
                    m_clock.us = at;
                *byte = m_events[m_index].byte;
                m_lastArrivalUs = at;
                m_arrivalKnown = false;
                if (++m_index == m_events.size() && m_repeat)
                    m_index = 0;
                ++served;
                return 1;
            }
        }
        m_clock.us += m_emptyReadUs;
        return 0;
    }

    void write(CommHandleType, const unsigned char *data, std::size_t count) override
    {
        written.insert(written.end(), data, data + count);
        m_wireFreeUs = std::max(m_wireFreeUs, m_clock.us) + count * m_byteUs;
        // A frame is five writes: 09, the command, two digits, 0D. The reply can only follow
        // it; whatever was waiting before it has been discarded.
        if (++m_writes == 5) {
            m_serving = true;
            m_lastArrivalUs = m_clock.us;
        }
    }

    int outputPending(CommHandleType) override
    {
        if (m_stuck)
            return 1;
        if (m_clock.us >= m_wireFreeUs)
            return 0;
        return static_cast<int>((m_wireFreeUs - m_clock.us + m_byteUs - 1) / m_byteUs);
    }

    void discardInput(CommHandleType) override
    {
        if (m_serving)
            fail("input discarded after the frame was written");
    }
    void close(CommHandleType) override {}

    std::vector<unsigned char> written;
    std::uint64_t reads = 0;
    std::uint64_t served = 0;
    std::uint64_t firstReadUs = 0;
    std::uint64_t boundUs = UINT64_MAX;

private:
    bool haveNext() const { return m_serving && m_index < m_events.size(); }
    std::uint64_t nextArrival()
    {
        if (!m_arrivalKnown) {
            const std::uint64_t gap = std::max<std::uint64_t>(m_events[m_index].delayMs * 1000u, m_byteUs);
            m_nextArrivalUs = m_lastArrivalUs + gap;
            m_arrivalKnown = true;
        }
        return m_nextArrivalUs;
    }

    Clock &m_clock;
    const std::vector<Event> &m_events;
    const bool m_repeat;
    const std::uint64_t m_byteUs;
    const std::uint64_t m_emptyReadUs;
    const bool m_stuck;
    bool m_serving = false;
    int m_writes = 0;
    std::size_t m_index = 0;
    std::uint64_t m_lastArrivalUs = 0;
    std::uint64_t m_nextArrivalUs = 0;
    bool m_arrivalKnown = false;
    std::uint64_t m_wireFreeUs = 0;
};

std::string commandFor(unsigned selector, unsigned lineIndex)
{
    switch (selector % 11) {
    case 0: return cmd::moduleInfo();
    case 1: return cmd::firmwareVersion();
    case 2: return cmd::printerStatus();
    case 3: return cmd::setModuleId("TQ123456", "42");
    case 4: return cmd::setLineSettings(int(lineIndex % kBaudRateCount));
    case 5: return cmd::printTestLine();
    case 6: return cmd::lineEnd();
    case 7: return cmd::printText("  label 0042\t");
    case 8: return "00X";
    case 9: return cmd::printText(std::string(251, 'x'));
    default: return cmd::printText(std::string(252, 'x'));
    }
}

char hexDigit(unsigned nibble) { return "0123456789ABCDEF"[nibble & 0x0Fu]; }

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    if (size < 4)
        return 0;
    const unsigned selector = data[0];
    const unsigned lineIndex = data[1] % kBaudRateCount;
    const unsigned flags = data[2];
    const bool repeat = flags & 0x01u;
    const bool stuck = flags & 0x02u;
    static const std::uint32_t kReadMs[] = {1, 2, 5, 16};
    static const std::uint32_t kPumpMs[] = {0, 1, 7, 40};
    const std::uint64_t emptyReadUs = kReadMs[(flags >> 2) & 3u] * 1000u;
    const std::uint64_t pumpUs = kPumpMs[(flags >> 4) & 3u] * 1000u;

    Clock clock;
    if (flags & 0x40u)
        clock.baseMs = 0xFFFFFFFFu - data[3];

    std::vector<Event> events;
    for (std::size_t i = 4; i + 1 < size; i += 2)
        events.push_back({data[i], data[i + 1]});

    const std::string settings = BaudRateList[lineIndex];
    // Start bit, 8 data bits, the parity bit of an "e" line, one stop bit.
    const std::uint64_t bits = settings.find(",e,") != std::string::npos ? 11u : 10u;
    const std::uint64_t baud = std::uint64_t(std::atoi(settings.c_str()));
    const std::uint64_t byteUs = (bits * 1'000'000u + baud - 1) / baud;
    const std::uint64_t fullBufferMs = (kReplyBufferSize * bits * 1000u + baud - 1) / baud;

    FuzzPort port(clock, events, repeat, byteUs, emptyReadUs, stuck);
    platform::HooksGuard hooks(platform::Hooks{
        [&clock] {
            clock.us += 10;   // reading the clock takes time, or a busy wait would never end
            return clock.ms();
        },
        [&clock](std::uint32_t ms) { clock.us += std::uint64_t(ms) * 1000u; },
        [&clock, pumpUs] { clock.us += pumpUs; },
        [](int, int) {},
    });
    serial::SeamsGuard seams(serial::Seams{&port, [](int) { return std::string("fuzz"); }});
    if (!OpenComm(1, settings))
        fail("the fake port did not open");

    const std::string command = commandFor(selector, lineIndex);
    const bool refused = command.size() > 255;
    const bool noReply = !refused && command.size() >= 2 && command[0] == '0' && command[1] == '0';
    // The window plus a full buffer's wire time, plus what one read, one message pump and the
    // millisecond truncation can add past the last test of the elapsed time.
    port.boundUs = (std::uint64_t(kReplyWindowMs) + fullBufferMs + 2u) * 1000u
                 + emptyReadUs + pumpUs + 1000u;

    static const std::string kBefore = "\nbefore41\r";
    LastReply = kBefore;
    ReplyLength = 77;
    const bool ok = SendCommand(command);
    CloseComm();

    if (ReplyLength < 0 || ReplyLength >= kReplyBufferSize)
        fail("ReplyLength outside 0..1023");
    if (LastReply.size() > std::size_t(kReplyBufferSize))
        fail("LastReply longer than the buffer");

    if (refused) {
        if (ok || !port.written.empty() || ReplyLength != 0 || LastReply != kBefore)
            fail("an overlong command was not refused cleanly");
        return 0;
    }

    // The frame: 09, the command, its checksum digits, 0D.
    unsigned char sum = 0x09;
    for (unsigned char c : command)
        sum ^= c;
    std::vector<unsigned char> frame{0x09};
    frame.insert(frame.end(), command.begin(), command.end());
    frame.push_back(static_cast<unsigned char>(hexDigit(sum >> 4)));
    frame.push_back(static_cast<unsigned char>(hexDigit(sum)));
    frame.push_back(0x0D);
    if (port.written != frame)
        fail("the frame on the wire is not 09, command, checksum digits, 0D");

    if (noReply) {
        if (!ok || port.reads != 0 || ReplyLength != 0 || LastReply != kBefore)
            fail("a command beginning \"00\" did not end at once as a success");
        return 0;
    }

    if (port.reads > 0 && clock.us - port.firstReadUs > port.boundUs)
        fail("the exchange outlasted the window plus a full buffer's wire time");
    // A completed reply ends in 0D and began with 0A, unless its 0D was the 1024th byte: then the
    // terminating zero went to position 0.
    const bool complete = port.served > 0
                       && ReplyBuffer[(ReplyLength + kReplyBufferSize - 1) % kReplyBufferSize] == 0x0D
                       && (ReplyBuffer[0] == 0x0A || (ReplyLength == 0 && ReplyBuffer[0] == 0));
    if (LastReply != kBefore && !complete)
        fail("LastReply changed without a completed reply");
    if (!ok)
        return 0;

    const std::int32_t length = ReplyLength;
    if (length < 4)
        fail("success with fewer than 4 reply bytes");
    if (ReplyBuffer[0] != 0x0A || ReplyBuffer[length - 1] != 0x0D)
        fail("success with a reply that is not 0A ... 0D");
    unsigned char replySum = 0;
    for (std::int32_t i = 0; i <= length - 4; ++i)
        replySum ^= ReplyBuffer[i];
    if (ReplyBuffer[length - 3] != static_cast<unsigned char>(hexDigit(replySum >> 4))
        || ReplyBuffer[length - 2] != static_cast<unsigned char>(hexDigit(replySum)))
        fail("success with wrong checksum digits");
    if (LastReply.empty() || static_cast<unsigned char>(LastReply.front()) != 0x0A)
        fail("success, but LastReply does not start with 0A");
    const std::size_t kept = LastReply.size();
    const bool toCarriageReturn = kept == std::size_t(length) && static_cast<unsigned char>(LastReply.back()) == 0x0D;
    const bool toZeroByte = kept < std::size_t(length) && ReplyBuffer[kept] == 0;
    if (!toCarriageReturn && !toZeroByte)
        fail("success, but LastReply does not run to the reply's 0D");
    for (std::size_t i = 0; i < kept; ++i)
        if (static_cast<unsigned char>(LastReply[i]) != ReplyBuffer[i])
            fail("LastReply differs from the bytes received");
    return 0;
}
