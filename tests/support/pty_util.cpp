#include "pty_util.h"

#include "link/termios_line.h"

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

namespace testsupport {

namespace {

using Clock = std::chrono::steady_clock;

int msLeft(Clock::time_point end)
{
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - Clock::now()).count();
    return left > 0 ? int(left) : 0;
}

} // namespace

PtyPair::PtyPair()
{
    m_master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (m_master < 0)
        return;
    if (grantpt(m_master) != 0 || unlockpt(m_master) != 0 || !ptsname(m_master)) {
        ::close(m_master);
        m_master = -1;
        return;
    }
    m_slavePath = ptsname(m_master);
    m_slave = ::open(m_slavePath.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC | O_NONBLOCK);
    if (m_slave >= 0) {
        termios t{};
        tcgetattr(m_slave, &t);
        cfmakeraw(&t);
        tcsetattr(m_slave, TCSANOW, &t);
    }
    fcntl(m_master, F_SETFL, fcntl(m_master, F_GETFL) | O_NONBLOCK);
}

PtyPair::~PtyPair()
{
    closeSlave();
    if (m_master >= 0)
        ::close(m_master);
}

void PtyPair::closeSlave()
{
    if (m_slave >= 0)
        ::close(m_slave);
    m_slave = -1;
}

std::vector<unsigned char> readFor(int fd, int ms)
{
    std::vector<unsigned char> got;
    const auto end = Clock::now() + std::chrono::milliseconds(ms);
    while (msLeft(end) > 0) {
        pollfd p{fd, POLLIN, 0};
        const int r = ::poll(&p, 1, msLeft(end));
        if (r <= 0)
            continue;
        unsigned char buf[256];
        const ssize_t n = (p.revents & POLLIN) ? ::read(fd, buf, sizeof buf) : -1;
        if (n > 0)
            got.insert(got.end(), buf, buf + n);
        else
            ::poll(nullptr, 0, msLeft(end));   // hung up or failed: nothing more will come
    }
    return got;
}

std::vector<unsigned char> readUntil(int fd, unsigned char end, int ms)
{
    std::vector<unsigned char> got;
    const auto deadline = Clock::now() + std::chrono::milliseconds(ms);
    while (msLeft(deadline) > 0) {
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, msLeft(deadline)) <= 0 || !(p.revents & POLLIN))
            break;
        unsigned char b;
        if (::read(fd, &b, 1) == 1) {
            got.push_back(b);
            if (b == end)
                break;
        }
    }
    return got;
}

bool writeAll(int fd, const std::vector<unsigned char> &bytes)
{
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n > 0) {
            done += std::size_t(n);
        } else if (n < 0 && (errno == EAGAIN || errno == EINTR)) {
            pollfd p{fd, POLLOUT, 0};
            if (::poll(&p, 1, 1000) <= 0)
                return false;
        } else {
            return false;
        }
    }
    return true;
}

int openRaw(const std::string &device, int baud)
{
    const int fd = ::open(device.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return -1;
    termios t{};
    if (tcgetattr(fd, &t) != 0) {
        ::close(fd);
        return -1;
    }
    cfmakeraw(&t);
    tcsetattr(fd, TCSANOW, &t);
    if (!setBaud(fd, baud)) {
        ::close(fd);
        return -1;
    }
    return fd;
}

bool setBaud(int fd, int baud)
{
    const speed_t s = serial::speedFor(baud);
    termios t{};
    if (s == B0 || tcgetattr(fd, &t) != 0)
        return false;
    cfsetispeed(&t, s);
    cfsetospeed(&t, s);
    return tcsetattr(fd, TCSANOW, &t) == 0;
}

} // namespace testsupport
