#pragma once
// A scripted port backend and a fake millisecond clock for exchanges without a device.
//
// The clock advances by a fixed step on every read (the 1 ms read time-out) and by the
// requested amount on every sleep, so the reply window can be checked to the millisecond.

#include <cstdint>
#include <deque>
#include <functional>
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

    // Bytes that arrive at the given clock reading (absolute), or at once.
    void queueAt(std::uint32_t at, const std::vector<unsigned char> &bytes);
    void queue(const std::vector<unsigned char> &bytes) { queueAt(0, bytes); }
    // Called after every frame written (at its 0x0D); may queue a reply.
    std::function<void(const std::vector<unsigned char> &frame)> onFrame;

    serial::OpenResult open(const std::string &device) override;
    bool applyLineSettings(CommHandleType, const std::string &settings) override;
    int readByte(CommHandleType, unsigned char *byte) override;
    void write(CommHandleType, const unsigned char *data, std::size_t count) override;
    void close(CommHandleType) override;

    // Observations.
    std::vector<TraceEntry> trace;
    std::vector<unsigned char> written() const;
    std::vector<std::string> opened;         // devices opened
    std::vector<std::string> settings;       // line settings applied
    int closes = 0;
    int reads = 0;
    bool refuseOpen = false;
    void recordSleep(std::uint32_t ms);

private:
    FakeClock &m_clock;
    struct Pending {
        std::uint32_t at;
        unsigned char byte;
    };
    std::deque<Pending> m_input;
    std::vector<unsigned char> m_frame;
};

// Installs the fake port, the fake clock and a sleep that advances it, for one test.
class FakeLink {
public:
    FakeLink();
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
