// Serial port backend for Linux and other POSIX systems.
#ifndef _WIN32

#include "port_backend.h"
#include "termios_line.h"
#include "line_settings.h"

#include <atomic>
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <unistd.h>

namespace serial {

namespace {

struct SpeedEntry {
    int baud;
    speed_t speed;
};

constexpr SpeedEntry kSpeeds[] = {
    {50, B50},       {75, B75},         {110, B110},       {134, B134},       {150, B150},
    {200, B200},     {300, B300},       {600, B600},       {1200, B1200},     {1800, B1800},
    {2400, B2400},   {4800, B4800},     {9600, B9600},     {19200, B19200},   {38400, B38400},
    {57600, B57600}, {115200, B115200}, {230400, B230400},
#ifdef B460800
    {460800, B460800},
#endif
#ifdef B921600
    {921600, B921600},
#endif
};

} // namespace

speed_t speedFor(int baud)
{
    for (const auto &e : kSpeeds)
        if (e.baud == baud)
            return e.speed;
    return B0;
}

int baudFor(speed_t speed)
{
    for (const auto &e : kSpeeds)
        if (e.speed == speed)
            return e.baud;
    return 0;
}

void makeRaw(termios &t)
{
    t.c_iflag &= ~tcflag_t(IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL | IXON | IXOFF | IXANY);
    t.c_oflag &= ~tcflag_t(OPOST);
    t.c_lflag &= ~tcflag_t(ECHO | ECHONL | ICANON | ISIG | IEXTEN);
    t.c_cflag |= CLOCAL | CREAD;
#ifdef CRTSCTS
    t.c_cflag &= ~tcflag_t(CRTSCTS);
#endif
    t.c_cc[VMIN] = 0;
    t.c_cc[VTIME] = 0;
}

bool applyLineSettings(const std::string &settings, termios &t)
{
    const auto ls = parseLineSettings(settings);
    if (!ls)
        return false;
    const speed_t speed = speedFor(ls->baud);
    if (speed == B0)
        return false;
    if (ls->parity == 'm' || ls->parity == 's')
        return false;   // mark and space parity have no portable termios form

    termios n = t;
    cfsetispeed(&n, speed);
    cfsetospeed(&n, speed);
    n.c_cflag &= ~tcflag_t(CSIZE | PARENB | PARODD | CSTOPB);
    switch (ls->dataBits) {
    case 5: n.c_cflag |= CS5; break;
    case 6: n.c_cflag |= CS6; break;
    case 7: n.c_cflag |= CS7; break;
    default: n.c_cflag |= CS8; break;
    }
    if (ls->parity == 'e')
        n.c_cflag |= PARENB;
    else if (ls->parity == 'o')
        n.c_cflag |= PARENB | PARODD;
    if (ls->stopBits == 2)
        n.c_cflag |= CSTOPB;
    n.c_iflag &= ~tcflag_t(INPCK);
    if (ls->parity != 'n')
        n.c_iflag |= INPCK;
    t = n;
    return true;
}

namespace {

// The port this process holds, as a signal handler needs it: written before the port is
// changed and cleared after it is put back, so a signal at any moment restores what is due.
struct HeldPort {
    std::atomic<int> fd{-1};
    termios saved{};                       // valid whenever fd >= 0
    std::atomic<bool> exclusiveSet{false}; // TIOCEXCL is ours to clear
};
HeldPort g_held;

// Only async-signal-safe calls: put the port back, then end as the signal would have.
extern "C" void restoreAndEnd(int sig)
{
    const int fd = g_held.fd.exchange(-1);
    if (fd >= 0) {
        ::tcsetattr(fd, TCSANOW, &g_held.saved);
        if (g_held.exclusiveSet.load())
            ::ioctl(fd, TIOCNXCL);
        ::close(fd);   // drops the lock too
    }
    ::signal(sig, SIG_DFL);
    ::raise(sig);
}

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

class PosixBackend final : public PortBackend {
public:
    OpenResult open(const std::string &device) override
    {
        OpenResult r;
        const int fd = ::open(device.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0)
            return failed(errno);
        if (exclusiveElsewhere(fd)) {
            ::close(fd);
            return failed(EBUSY);
        }
        // flock keeps a second opener out even when it runs as root, which TIOCEXCL does not.
        if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
            const int err = errno;
            ::close(fd);
            return failed(err == EWOULDBLOCK ? EBUSY : err);
        }
        termios current{};
        if (::tcgetattr(fd, &current) != 0) {
            const int err = errno;
            ::close(fd);
            return failed(err);
        }
        g_held.saved = current;
        g_held.exclusiveSet = true;
        g_held.fd = fd;
        // Not fatal when refused: the lock above already keeps out programs that lock.
        if (::ioctl(fd, TIOCEXCL) != 0)
            g_held.exclusiveSet = false;
        makeRaw(current);
        ::tcsetattr(fd, TCSANOW, &current);
        r.handle = fd;
        return r;
    }

    bool applyLineSettings(CommHandleType handle, const std::string &settings) override
    {
        termios t{};
        if (handle < 0 || ::tcgetattr(int(handle), &t) != 0)
            return false;
        if (!serial::applyLineSettings(settings, t))
            return false;
        return ::tcsetattr(int(handle), TCSANOW, &t) == 0;
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
        const bool held = fd == g_held.fd.load();
        if (held) {
            ::tcsetattr(fd, TCSANOW, &g_held.saved);
            // The exclusive mode belongs to the tty, not to this descriptor: clear it, or the
            // next opener is refused while any other descriptor keeps the tty alive. Only
            // when it was set here: another program's protection is not ours to take away.
            if (g_held.exclusiveSet.load())
                ::ioctl(fd, TIOCNXCL);
            g_held.fd = -1;
        }
        ::flock(fd, LOCK_UN);
        ::close(fd);
    }

private:
    static OpenResult failed(int err)
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
};

} // namespace

PortBackend &nativeBackend()
{
    static PosixBackend backend;
    return backend;
}

void restorePortOnSignals()
{
    struct sigaction action {};
    action.sa_handler = restoreAndEnd;
    sigemptyset(&action.sa_mask);
    // The other two wait while one is handled, so the port is put back once.
    for (int sig : {SIGTERM, SIGINT, SIGHUP})
        sigaddset(&action.sa_mask, sig);
    for (int sig : {SIGTERM, SIGINT, SIGHUP})
        ::sigaction(sig, &action, nullptr);
}

} // namespace serial

#endif
