// Serial port backend for Linux and other POSIX systems.
#ifndef _WIN32

#include "port_backend.h"

#include "held_ports.h"
#include "latency_posix.h"
#include "termios_line.h"
#include "uucp_lock.h"

#include <cerrno>
#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>
#ifdef __linux__
#include <linux/serial.h>
#include <sys/sysmacros.h>
#endif

namespace serial {

namespace {

// Another program made the tty exclusive. Root is let through TIOCEXCL, but the port is
// no less that program's: count it as busy, as for a lock.
bool exclusiveElsewhere(int fd)
{
#ifdef TIOCGEXCL
    int exclusive = 0;
    return ::ioctl(fd, TIOCGEXCL, &exclusive) == 0 && exclusive != 0;
#else
    (void)fd;
    return false;
#endif
}

OpenResult failed(int err)
{
    OpenResult r;
    r.error = err;
    switch (err) {
    case ENOENT:
    case ENODEV:
    case ENXIO:
        r.failure = OpenFailure::Missing;
        break;
    case EBUSY:
        r.failure = OpenFailure::Busy;
        break;
    case EACCES:
    case EPERM:
        r.failure = OpenFailure::Permission;
        break;
    default:
        r.failure = OpenFailure::Other;
        break;
    }
    return r;
}

OpenResult notSerial()
{
    OpenResult r;
    r.failure = OpenFailure::NotSerial;
    r.error = ENOTTY;
    return r;
}

// The terminals of the machine itself, which are ttys but no serial line: the console,
// the virtual terminals, the process's own terminal, the pseudo-terminal multiplexer.
bool systemTerminal(const struct stat &st)
{
#ifdef __linux__
    const unsigned maj = major(st.st_rdev), min = minor(st.st_rdev);
    return (maj == 4 && min < 64) || (maj == 5 && min <= 2);
#else
    (void)st;
    return false;
#endif
}

// Looked at before the open, which has effects of its own on some of them (opening /dev/tty
// without a terminal fails as if nothing were there), and again on the descriptor opened.
bool serialLine(const struct stat &st) { return S_ISCHR(st.st_mode) && !systemTerminal(st); }

class PosixBackend final : public PortBackend {
public:
    OpenResult open(const std::string &device) override
    {
        // A signal is never handled on this thread in the middle of the port's set-up.
        const EndingSignalsHeld signalsHeld;
        if (held::ending())
            return failed(EINTR);
        struct stat st {};
        if (::stat(device.c_str(), &st) == 0 && !serialLine(st))
            return notSerial();
        // Looked at before the open, which raises the modem lines a program using the port
        // would see.
        const LockFile lock = uucp::look(device);
        if (lock.state == LockFile::State::Live) {
            OpenResult r = failed(EBUSY);
            r.lock = lock;
            return r;
        }
        const int fd = ::open(device.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0)
            return failed(errno);
        if (::fstat(fd, &st) != 0 || !serialLine(st) || !::isatty(fd)) {
            ::close(fd);
            return notSerial();
        }
        if (exclusiveElsewhere(fd)) {
            OpenResult r = failed(EBUSY);
            r.exclusiveLeftBy = held::exclusivityLeftBy(fd, r.ignoredMarker);
            ::close(fd);
            return r;
        }
        // flock keeps a second opener out even when it runs as root, which TIOCEXCL does not.
        if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
            const int err = errno;
            ::close(fd);
            return failed(err == EWOULDBLOCK ? EBUSY : err);
        }
        OpenResult r = takeHeld(fd, uucp::lockPath(device));
        if (r.opened())
            r.lock = lock;
        return r;
    }

    bool applyLineSettings(CommHandleType handle, const std::string &settings) override
    {
        termios t{};
        if (handle < 0 || ::tcgetattr(int(handle), &t) != 0)
            return false;
        if (!serial::applyLineSettings(settings, t))
            return false;
        // Through the table: once a signal has put the port back, nothing may change it again.
        return held::change(int(handle), [&] { return ::tcsetattr(int(handle), TCSANOW, &t) == 0; });
    }

    int readByte(CommHandleType handle, unsigned char *byte) override
    {
        if (handle < 0) {
            // Like a read on a dead handle: nothing, after the read time-out.
            ::poll(nullptr, 0, 1);
            return 0;
        }
        const int fd = int(handle);
        const ssize_t got = ::read(fd, byte, 1);
        if (got == 1)
            return 1;
        if (got < 0 && errno != EAGAIN && errno != EINTR) {
            // A hung-up or failed port: wait out the read time-out instead of spinning.
            ::poll(nullptr, 0, 1);
            return 0;
        }
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, 1) > 0 && (p.revents & POLLIN)) {
            if (::read(fd, byte, 1) == 1)
                return 1;
        }
        if (p.revents & (POLLHUP | POLLERR | POLLNVAL))
            ::poll(nullptr, 0, 1);
        return 0;
    }

    int readByteWithin(CommHandleType handle, unsigned char *byte, std::uint32_t ms) override
    {
        if (handle >= 0 && ::read(int(handle), byte, 1) == 1)
            return 1;
        pollfd p{int(handle), POLLIN, 0};
        if (handle >= 0 && ::poll(&p, 1, int(ms)) > 0 && (p.revents & POLLIN) && ::read(int(handle), byte, 1) == 1)
            return 1;
        // A hung-up or failed port answers poll at once: the time is waited out all the same.
        if (handle < 0 || (p.revents & (POLLHUP | POLLERR | POLLNVAL)))
            ::poll(nullptr, 0, int(ms));
        return 0;
    }

    void write(CommHandleType handle, const unsigned char *data, std::size_t count) override
    {
        if (handle < 0)
            return;
        const int fd = int(handle);
        std::size_t done = 0;
        int idle = 0;
        while (done < count) {
            const ssize_t n = ::write(fd, data + done, count - done);
            if (n > 0) {
                done += std::size_t(n);
                idle = 0;
                continue;
            }
            if (n < 0 && errno == EINTR)
                continue;
            if (n < 0 && errno != EAGAIN)
                return;   // the port has gone; the exchange fails for want of a reply
            // The port's output is full: wait for room, but not forever on a line nobody drains.
            pollfd p{fd, POLLOUT, 0};
            if (::poll(&p, 1, 10) <= 0 && ++idle >= 20)
                return;
            if (p.revents & (POLLHUP | POLLERR | POLLNVAL))
                return;
        }
    }

    int outputPending(CommHandleType handle) override
    {
        if (handle < 0)
            return 0;
        const int fd = int(handle);
        int queued = 0;
        if (::ioctl(fd, TIOCOUTQ, &queued) != 0)
            return 0;
        if (queued > 0)
            return queued;
#ifdef TIOCSERGETLSR
        // A UART's own FIFO is not in the queue count; its line status tells when the last
        // bit has gone. Drivers without it (USB adapters, ptys) refuse the call.
        unsigned int lsr = 0;
        if (::ioctl(fd, TIOCSERGETLSR, &lsr) == 0 && !(lsr & TIOCSER_TEMT))
            return 1;
#endif
        return 0;
    }

    void discardInput(CommHandleType handle) override
    {
        if (handle < 0)
            return;
        const int fd = int(handle);
        ::tcflush(fd, TCIFLUSH);
        // What arrived between the flush and now, read away; a bounded amount, for a device
        // that streams without pause.
        unsigned char sink[256];
        for (int i = 0; i < 16; ++i)
            if (::read(fd, sink, sizeof sink) <= 0)
                break;
    }

    void close(CommHandleType handle) override
    {
        if (handle < 0)
            return;
        const int fd = int(handle);
        // The exclusive mode belongs to the tty, not to this descriptor: it is cleared, or the
        // next opener is refused while any other descriptor keeps the tty alive. Only when it
        // was set here: another program's protection is not ours to take away.
        const EndingSignalsHeld signalsHeld;
        held::restore(fd);
        ::flock(fd, LOCK_UN);
        ::close(fd);
    }

    bool hungUp(CommHandleType handle) override
    {
        pollfd p{int(handle), 0, 0};
        return handle >= 0 && ::poll(&p, 1, 0) == 1 && (p.revents & (POLLHUP | POLLERR)) != 0;
    }

    bool lineErrors(CommHandleType handle, LineErrors &out) override
    {
#if defined(__linux__) && defined(TIOCGICOUNT)
        serial_icounter_struct counts{};
        if (handle < 0 || ::ioctl(int(handle), TIOCGICOUNT, &counts) != 0)
            return false;
        out = {counts.frame, counts.parity, long(counts.overrun) + counts.buf_overrun, counts.brk};
        return true;
#else
        (void)handle;
        (void)out;
        return false;
#endif
    }

private:
    // The port goes into the table before it is changed, so a signal from here on puts it back;
    // once the program is ending it is not changed at all.
    static OpenResult takeHeld(int fd, const std::string &lockPath)
    {
        termios current{};
        if (::tcgetattr(fd, &current) != 0) {
            const int err = errno;
            ::close(fd);
            return failed(err);
        }
        const int entry = held::add(fd, current);
        if (entry < 0) {
            ::close(fd);
            return failed(held::ending() ? EINTR : EMFILE);
        }
        // Not fatal when refused: the lock above already keeps out programs that lock.
        if (::ioctl(fd, TIOCEXCL) == 0)
            held::exclusiveSet(entry);
        held::writeLock(entry, lockPath);
        OpenResult r;
#ifdef __linux__
        // Read before it is lowered: what the lead does when the request is not taken.
        const int timer = latency::ftdiTimerMs(fd);
        if (timer >= 0) {
            r.latencyTimerMs = timer;
            r.latencyLowered = held::lowerLatency(entry);
        }
#endif
        makeRaw(current);
        ::tcsetattr(fd, TCSANOW, &current);
        held::publish(entry);
        r.handle = fd;
        return r;
    }
};

} // namespace

PortBackend &nativeBackend()
{
    static PosixBackend backend;
    return backend;
}

void restorePortOnSignals()
{
    held::installSignalHandlers();
}

} // namespace serial

#endif
