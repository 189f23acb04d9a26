#pragma once
// The platform side of the serial port: one backend per operating system
// (port_posix.cpp, port_win32.cpp), replaceable by tests through SeamsGuard.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

using CommHandleType = std::intptr_t;
inline constexpr CommHandleType INVALID_COMM_HANDLE = -1;

namespace serial {

// Why an open failed, for tools that tell a technician (the window itself never says).
// NoDevice: the number names no device. NotSerial: a device that is no serial line (the
// console, a virtual terminal, /dev/tty, a file). Excluded: a device the port map's Exclude=
// names, refused before it is touched (link/exclusion.h).
enum class OpenFailure { None, NoDevice, Missing, Busy, Permission, NotSerial, Other, Excluded };

// A process that holds a device open: its name as the system gives it (empty when unknown).
struct Holder {
    std::string name;
    int pid = 0;
};

// The lock file of the old convention that terminal programs (minicom, cu) keep for a port they
// use, /run/lock/LCK..<name>, as an open found it. Live: its process runs (the port is busy).
// Stale: its process has ended; the file was removed. NotBelieved: not a regular file, or no
// process id in it; left alone and not obeyed.
struct LockFile {
    enum class State { None, Live, Stale, NotBelieved };
    State state = State::None;
    std::string path;
    Holder holder;   // Live and Stale: the process id in the file (Live: with its name)
};

// What the kernel counted on a port's input: bytes that came with a wrong stop bit (framing),
// a wrong parity bit, that the port had no room for (overrun), and line breaks.
struct LineErrors {
    long framing = 0;
    long parity = 0;
    long overrun = 0;
    long breaks = 0;
};

// What became of an open: the facts, worded for people above the link (ops/port_messages.h).
struct OpenResult {
    CommHandleType handle = INVALID_COMM_HANDLE;
    OpenFailure failure = OpenFailure::None;
    int error = 0;          // errno or GetLastError()
    // Busy only: the process id of an ended run of this program whose exclusivity is still
    // on the port (it was killed before it could put the port back); 0 when not provably ours.
    int exclusiveLeftBy = 0;
    // Busy only: a file under the exclusivity marker's name that was not believed (not a regular
    // file, or owned by neither root nor this user); empty when there was none.
    std::string ignoredMarker = {};
    // Filled in by Link::open: the device the port stands for (empty: none), and with a failure
    // what a technician can act on: who holds a busy device, the group that may use a denied one
    // when joining it would help.
    std::string device = {};
    std::vector<Holder> holders = {};
    std::string group = {};
    // Excluded only: the Exclude= entry that names the device, as written.
    std::string excludedBy = {};
    // Permission only: this user is a member of group in the group file, but this process does
    // not have it yet (added since the session began).
    bool groupPending = false;
    // A lock file found under the port's name (Busy: a live one).
    LockFile lock = {};
    // An FTDI lead: its latency timer (ms) as sysfs gives it, and whether the driver took the
    // request for low latency while the port is held; 0 and false for other devices.
    int latencyTimerMs = 0;
    bool latencyLowered = false;

    bool opened() const { return handle != INVALID_COMM_HANDLE; }
};

class PortBackend {
public:
    virtual ~PortBackend() = default;
    // Exclusive open of a device, saving its port state and setting the read behaviour:
    // a one-byte read returns within about 1 ms, writes have no time-out.
    virtual OpenResult open(const std::string &device) = 0;
    // Baud rate, parity, data and stop bits from a string such as "19200,e,8,1", no flow control.
    // A string it cannot read leaves the line state as it was and returns false.
    virtual bool applyLineSettings(CommHandleType handle, const std::string &settings) = 0;
    // One byte within about 1 ms: 1 when one came, 0 when none (or on error).
    virtual int readByte(CommHandleType handle, unsigned char *byte) = 0;
    // One byte within ms milliseconds, without waking in between: 1 when one came, 0 when none
    // (or on error, after the ms). This one reads byte by byte on the platform clock.
    virtual int readByteWithin(CommHandleType handle, unsigned char *byte, std::uint32_t ms);
    // Hands every byte to the port before returning (nothing when the port has gone).
    virtual void write(CommHandleType handle, const unsigned char *data, std::size_t count) = 0;
    // Bytes handed to the port that have not yet left it on the wire; 0 when none or unknown.
    virtual int outputPending(CommHandleType handle) = 0;
    // Drops what has arrived and not been read: at most a bounded amount, so a device that
    // never stops sending cannot hold the caller.
    virtual void discardInput(CommHandleType handle) = 0;
    // Puts back the port state saved at open and releases the port.
    virtual void close(CommHandleType handle) = 0;
    // True when the port has hung up: the device went away (unplugged, the other side of a
    // pseudo-terminal closed). False while it is there, and where the platform cannot tell.
    virtual bool hungUp(CommHandleType) { return false; }
    // What the kernel has counted on the port's input since the device appeared; false where the
    // driver does not count (pseudo-terminals, most USB adapters but FTDI's) or the platform
    // cannot tell.
    virtual bool lineErrors(CommHandleType, LineErrors &) { return false; }
};

// The backend of the platform this program was built for.
PortBackend &nativeBackend();

// Makes every signal that would end the program (SIGTERM, SIGINT, SIGHUP, SIGQUIT, ...) put
// back the ports the native backend holds (their saved state, their exclusivity) first, and
// SIGPIPE ignored, so that a closed pipe shows as a failed write. Nothing to do on Windows,
// where the system releases a handle at exit.
void restorePortOnSignals();

// For its lifetime, the signals that end the program wait while the calling thread runs;
// threads started meanwhile keep them waiting for good. The side-by-side search starts its
// port threads so, and the handler runs on the thread that waits for them. Nothing on Windows.
class EndingSignalsHeld {
public:
    EndingSignalsHeld();
    ~EndingSignalsHeld();
    EndingSignalsHeld(const EndingSignalsHeld &) = delete;
    EndingSignalsHeld &operator=(const EndingSignalsHeld &) = delete;

private:
    alignas(8) unsigned char m_saved[128] = {};   // the thread's signal mask before
};

} // namespace serial
