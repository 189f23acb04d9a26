#pragma once
// A scripted port backend and a fake millisecond clock for exchanges without a device.
//
// The clock advances by a fixed step on every read (the 1 ms read time-out) and by the
// requested amount on every sleep, so the reply window can be checked to the millisecond.

#include <cstdint>
#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "link/port_backend.h"
#include "link/seams.h"
#include "platform/hooks.h"

namespace testsupport {

struct FakeClock {
    std::uint32_t now = 1000;
    std::uint32_t readStep = 1;   // what one empty read costs
    std::uint32_t byteStep = 0;   // what a read that brings a byte costs
    std::uint32_t tickPerReading = 0;   // what reading the clock itself costs (busy waits need it)
};

// One entry of the write/sleep trace.
struct TraceEntry {
    enum Kind { Write, Sleep } kind;
    std::vector<unsigned char> bytes;   // Write
    std::uint32_t ms = 0;               // Sleep
    std::uint32_t at = 0;               // clock when it happened
};

class FakePort final : public serial::PortBackend {
public:
    explicit FakePort(FakeClock &clock) : m_clock(clock) {}

    // Bytes that arrive at the given clock reading (absolute; 0 is "already there").
    void queueAt(std::uint32_t at, const std::vector<unsigned char> &bytes);
    // Bytes that arrive as soon as the next frame has been written: its reply.
    void queue(const std::vector<unsigned char> &bytes) { queueAt(kAfterNextFrame, bytes); }
    static constexpr std::uint32_t kAfterNextFrame = 0xFFFFFFFFu;
    // Called after every frame written (at its 0x0D); may queue a reply.
    std::function<void(const std::vector<unsigned char> &frame)> onFrame;

    serial::OpenResult open(const std::string &device) override;
    bool applyLineSettings(CommHandleType, const std::string &settings) override;
    int readByte(CommHandleType, unsigned char *byte) override;
    void write(CommHandleType, const unsigned char *data, std::size_t count) override;
    int outputPending(CommHandleType) override;
    void discardInput(CommHandleType) override;
    void close(CommHandleType) override;
    bool lineErrors(CommHandleType, serial::LineErrors &out) override;

    // A line that takes this many microseconds per byte to send what was written (0: at once).
    std::uint32_t usPerByte = 0;
    // The clock reading by which everything written so far is on the wire.
    std::uint32_t sentBy() const { return std::uint32_t((m_wireFreeAtUs + 999u) / 1000u); }

    // Observations.
    std::vector<TraceEntry> trace;
    std::vector<unsigned char> written() const;
    std::vector<std::string> opened;         // devices opened
    std::vector<std::string> settings;       // line settings applied
    int closes = 0;
    int reads = 0;
    int discarded = 0;                       // bytes dropped as stale before frames
    bool refuseOpen = false;
    // What an open says of the lead: an FTDI latency timer, and whether the driver lowered it.
    int latencyTimerMs = 0;
    bool latencyLowered = false;
    // The kernel's error counts, where the driver keeps them (none: it does not).
    std::optional<serial::LineErrors> lineCounts;
    void recordSleep(std::uint32_t ms);

private:
    FakeClock &m_clock;
    struct Pending {
        std::uint32_t at;
        unsigned char byte;
    };
    std::deque<Pending> m_input;
    std::vector<unsigned char> m_frame;
    std::uint64_t m_wireFreeAtUs = 0;   // when the last byte written is off the wire
};

// Installs the fake port, the fake clock and a sleep that advances it, for one test.
class FakeLink {
public:
    FakeLink();
    ~FakeLink();   // closes a port a test left open
    FakeClock clock;
    FakePort port{clock};
    int pumps = 0;

private:
    platform::HooksGuard m_hooks;
    serial::SeamsGuard m_seams;
};

// Bytes from "09 45 30 ..." notation.
std::vector<unsigned char> hexBytes(const std::string &spaced);
// Bytes of a text.
std::vector<unsigned char> textBytes(const std::string &text);

} // namespace testsupport
