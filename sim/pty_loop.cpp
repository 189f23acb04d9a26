#include "pty_loop.h"

#include "link/termios_line.h"
#include "link/wire_text.h"

#include <cerrno>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

namespace sim {

namespace {

volatile std::sig_atomic_t g_stop = 0;

void onStopSignal(int) { g_stop = 1; }

double monotonicMs()
{
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return double(ts.tv_sec) * 1000.0 + double(ts.tv_nsec) / 1e6;
}

class Log {
public:
    explicit Log(FILE *file) : m_file(file), m_start(monotonicMs()) {}
    ~Log()
    {
        if (m_file)
            std::fclose(m_file);
    }
    Log(const Log &) = delete;
    Log &operator=(const Log &) = delete;

    void line(const std::string &fields)
    {
        if (!m_file)
            return;
        std::fprintf(m_file, "{\"t\":%.1f,%s}\n", monotonicMs() - m_start, fields.c_str());
        std::fflush(m_file);
    }

private:
    FILE *m_file;
    double m_start;
};

class Simulator {
public:
    Simulator(const LoopOptions &o, Log &log, FILE *paper)
        : m_o(o), m_log(log), m_paper(paper), m_module(o.state, o.faults)
    {
        sigemptyset(&m_runMask);
    }

    ~Simulator() { hangUp(); }

    bool openPty(std::string &slavePath)
    {
        m_master = posix_openpt(O_RDWR | O_NOCTTY);
        if (m_master < 0 || grantpt(m_master) != 0 || unlockpt(m_master) != 0)
            return false;
        const char *name = ptsname(m_master);
        if (!name)
            return false;
        slavePath = name;
        // Held for the whole run: without a slave open, the master reads EIO between the
        // program's close and its next open.
        m_slave = ::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
        if (m_slave < 0)
            return false;
        // Raw from the start, so the state the program saves and restores never echoes.
        termios t{};
        if (tcgetattr(m_slave, &t) == 0) {
            cfmakeraw(&t);
            cfsetispeed(&t, serial::speedFor(m_module.baud()));
            cfsetospeed(&t, serial::speedFor(m_module.baud()));
            tcsetattr(m_slave, TCSANOW, &t);
        }
        fcntl(m_master, F_SETFL, fcntl(m_master, F_GETFL) | O_NONBLOCK);
        fcntl(m_master, F_SETFD, FD_CLOEXEC);
        return true;
    }

    void setRunMask(const sigset_t &mask) { m_runMask = mask; }

    void run()
    {
        unsigned char buf[512];
        while (!g_stop && m_master >= 0) {
            pollfd p{m_master, POLLIN, 0};
            const int r = ppoll(&p, 1, nullptr, &m_runMask);
            if (r < 0)
                continue;   // a signal; the loop condition decides
            if (p.revents & POLLIN) {
                const ssize_t n = ::read(m_master, buf, sizeof buf);
                if (n > 0) {
                    m_module.receive(buf, std::size_t(n));
                    handleOutcomes();
                    continue;
                }
            }
            pause(10);   // nothing readable after all: do not spin
        }
    }

private:
    int portBaud() const
    {
        termios t{};
        if (tcgetattr(m_slave, &t) != 0)
            return 0;
        return serial::baudFor(cfgetospeed(&t));
    }

    void handleOutcomes()
    {
        while (m_master >= 0 && !g_stop) {
            auto out = m_module.next(portBaud());
            if (!out)
                return;
            std::string fields = "\"dir\":\"rx\",\"hex\":\"" + wire::hex(out->received) + "\"";
            if (out->isFrame)
                fields += ",\"text\":" + wire::jsonString(out->command);
            fields += ",\"baud\":" + std::to_string(out->baud);
            fields += std::string(",\"ok\":") + (out->answered() ? "true" : "false");
            if (!out->answered())
                fields += ",\"reason\":" + wire::jsonString(out->reason);
            m_log.line(fields);
            if (!sendFault(out->echo, "echo") || !sendFault(out->noise, "noise"))
                return;

            if (out->answered()) {
                if (!out->paper.empty() && m_paper) {
                    std::fwrite(out->paper.data(), 1, out->paper.size(), m_paper);
                    std::fflush(m_paper);
                }
                const int before = m_module.state().lineSetting;
                if (m_o.delayMs > 0 && !pause(m_o.delayMs))
                    return;
                const bool sent = send(out->reply);
                if (g_stop)
                    return;
                // A reply the line would not take is still one the module believes it sent.
                m_log.line("\"dir\":\"tx\",\"hex\":\"" + wire::hex(out->reply) + "\",\"text\":"
                           + wire::jsonString(out->replyText) + (sent ? "" : ",\"ok\":false,\"reason\":\"not taken by the line\""));
                m_module.replySent();
                const int after = m_module.state().lineSetting;
                if (after != before)
                    m_log.line("\"event\":\"line\",\"index\":" + std::to_string(after) + ",\"settings\":\""
                               + kLineSettings[std::size_t(after)].text + "\"");
            }
            if (m_o.hangupAfter > 0 && m_module.commandsTaken() >= m_o.hangupAfter) {
                // A hang-up takes the slave's unread input with it, so the last reply is let
                // through first, as it would already be on the wire.
                waitDelivered(1000);
                m_log.line("\"event\":\"hangup\"");
                hangUp();
                return;
            }
        }
    }

    // The echo or noise of a fault, sent and logged as such; false once told to stop.
    bool sendFault(const std::vector<unsigned char> &bytes, const char *fault)
    {
        if (bytes.empty())
            return true;
        const bool sent = send(bytes);
        if (g_stop)
            return false;
        m_log.line("\"dir\":\"tx\",\"hex\":\"" + wire::hex(bytes) + "\",\"fault\":\"" + fault + "\""
                   + (sent ? "" : ",\"ok\":false,\"reason\":\"not taken by the line\""));
        return true;
    }

    // Waits until the program has read what was sent to it, or ms have passed.
    void waitDelivered(int ms)
    {
        const double end = monotonicMs() + ms;
        pause(2);   // bytes just written reach the slave's queue a moment later
        int queued = 0;
        while (monotonicMs() < end && ioctl(m_slave, FIONREAD, &queued) == 0 && queued > 0)
            pause(1);
    }

    // Waits ms, or less when told to stop; false then.
    bool pause(int ms)
    {
        const double end = monotonicMs() + ms;
        while (!g_stop) {
            const double left = end - monotonicMs();
            if (left <= 0)
                return true;
            timespec ts{time_t(left / 1000), long(std::fmod(left, 1000.0) * 1e6)};
            ppoll(nullptr, 0, &ts, &m_runMask);
        }
        return false;
    }

    bool writeAll(const unsigned char *data, std::size_t count)
    {
        std::size_t done = 0;
        int idle = 0;
        while (done < count && !g_stop) {
            const ssize_t n = ::write(m_master, data + done, count - done);
            if (n > 0) {
                done += std::size_t(n);
                continue;
            }
            if (n < 0 && errno != EAGAIN && errno != EINTR)
                return false;
            // Nobody is draining the line: give up on the reply rather than wedge the module.
            pollfd p{m_master, POLLOUT, 0};
            timespec ts{0, 10'000'000};
            if (ppoll(&p, 1, &ts, &m_runMask) <= 0 && ++idle >= 50)
                return false;
        }
        return done == count;
    }

    bool send(const std::vector<unsigned char> &reply)
    {
        if (m_o.trickleMs <= 0)
            return writeAll(reply.data(), reply.size());
        for (std::size_t i = 0; i < reply.size(); ++i) {
            if (i > 0 && !pause(m_o.trickleMs))
                return false;
            if (!writeAll(&reply[i], 1))
                return false;
        }
        return true;
    }

    void hangUp()
    {
        if (m_master >= 0)
            ::close(m_master);
        if (m_slave >= 0)
            ::close(m_slave);
        m_master = m_slave = -1;
    }

    const LoopOptions &m_o;
    Log &m_log;
    FILE *m_paper;
    Module m_module;
    int m_master = -1;
    int m_slave = -1;
    sigset_t m_runMask;
};

} // namespace

namespace {

// The stop signals stay blocked except inside ppoll, so none slips in between a test and the
// wait; the mask to wait with is returned.
sigset_t blockStopSignals()
{
    sigset_t stopSignals, runMask;
    sigemptyset(&stopSignals);
    for (int sig : {SIGTERM, SIGINT, SIGHUP})
        sigaddset(&stopSignals, sig);
    sigprocmask(SIG_BLOCK, &stopSignals, &runMask);
    struct sigaction sa {};
    sa.sa_handler = onStopSignal;
    sigemptyset(&sa.sa_mask);
    for (int sig : {SIGTERM, SIGINT, SIGHUP}) {
        sigdelset(&runMask, sig);
        sigaction(sig, &sa, nullptr);
    }
    return runMask;
}

// --link PATH: a link left by a simulator that was killed outright is replaced; anything else
// at PATH is kept, and the link is not made.
bool makeLink(const std::string &path, const std::string &slavePath)
{
    struct stat st {};
    if (lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode))
        ::unlink(path.c_str());
    if (::symlink(slavePath.c_str(), path.c_str()) == 0)
        return true;
    std::fprintf(stderr, "telmax-sim: cannot make the link %s: %s\n", path.c_str(), std::strerror(errno));
    return false;
}

} // namespace

int runSimulator(const LoopOptions &options)
{
    FILE *logFile = nullptr;
    if (!options.logPath.empty() && !(logFile = std::fopen(options.logPath.c_str(), "w"))) {
        std::fprintf(stderr, "telmax-sim: cannot write the log %s: %s\n", options.logPath.c_str(), std::strerror(errno));
        return 1;
    }
    Log log(logFile);
    FILE *paper = nullptr;
    if (!options.paperPath.empty() && !(paper = std::fopen(options.paperPath.c_str(), "ab"))) {
        std::fprintf(stderr, "telmax-sim: cannot write the paper %s: %s\n", options.paperPath.c_str(), std::strerror(errno));
        return 1;
    }

    const sigset_t runMask = blockStopSignals();
    int status = 0;
    {
        Simulator sim(options, log, paper);
        sim.setRunMask(runMask);
        std::string slavePath;
        if (!sim.openPty(slavePath)) {
            std::fprintf(stderr, "telmax-sim: cannot create a pseudo-terminal: %s\n", std::strerror(errno));
            status = 1;
        } else {
            const bool linked = !options.linkPath.empty() && makeLink(options.linkPath, slavePath);
            if (!options.linkPath.empty() && !linked)
                status = 1;
            if (status == 0) {
                std::printf("%s\n", slavePath.c_str());
                std::fflush(stdout);
                const auto &s = options.state;
                log.line("\"event\":\"start\",\"device\":" + wire::jsonString(slavePath) + ",\"sn\":" + wire::jsonString(s.serial)
                         + ",\"id\":\"" + s.id + "\",\"version\":" + wire::jsonString(s.version)
                         + ",\"index\":" + std::to_string(s.lineSetting) + ",\"settings\":\""
                         + kLineSettings[std::size_t(s.lineSetting)].text + "\"");
                sim.run();
                log.line(g_stop ? "\"event\":\"stop\"" : "\"event\":\"end\"");
            }
            if (linked)
                ::unlink(options.linkPath.c_str());
        }
    }
    if (paper)
        std::fclose(paper);
    return status;
}

} // namespace sim
