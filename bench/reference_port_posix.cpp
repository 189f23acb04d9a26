// The reference exchange on POSIX: termios and poll().
#ifndef _WIN32

#include "reference_port.h"

#include <cerrno>
#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

#include "bench_support.h"
#include "link/termios_line.h"

namespace bench {

struct ReferencePort::Saved {
    termios state;
};

namespace {

void sleepMs(int ms)
{
    timespec req{0, long(ms) * 1000000L};
    while (nanosleep(&req, &req) != 0 && errno == EINTR) {
    }
}

} // namespace

ReferencePort::ReferencePort() = default;
ReferencePort::~ReferencePort() { close(); }

bool ReferencePort::open(const std::string &device, const std::string &settings)
{
    close();
    const int fd = ::open(device.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (fd < 0)
        return false;
    termios t{};
    tcgetattr(fd, &t);
    m_saved = std::make_unique<Saved>(Saved{t});
    serial::makeRaw(t);
    serial::applyLineSettings(settings, t);
    tcsetattr(fd, TCSANOW, &t);
    m_handle = fd;
    return true;
}

bool ReferencePort::exchange()
{
    const int fd = int(m_handle);
    for (const FrameWrite &w : kFrameWrites) {
        if (write(fd, kInfoFrame + w.from, std::size_t(w.count)) != ssize_t(w.count))
            return false;
        sleepMs(w.pauseMs);
    }
    unsigned char buf[64];
    std::size_t got = 0;
    const double start = nowMs();
    while (nowMs() - start < kReplyWindowMs) {
        pollfd p{fd, POLLIN, 0};
        if (poll(&p, 1, int(kReplyWindowMs)) > 0) {
            const ssize_t n = read(fd, buf + got, sizeof buf - got);
            if (n > 0) {
                got += std::size_t(n);
                if (buf[got - 1] == 0x0D)
                    return buf[0] == 0x0A;
            }
        }
    }
    return false;
}

void ReferencePort::close()
{
    if (m_handle < 0)
        return;
    tcsetattr(int(m_handle), TCSANOW, &m_saved->state);
    ::close(int(m_handle));
    m_saved.reset();
    m_handle = -1;
}

} // namespace bench

#endif
