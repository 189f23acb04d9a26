// Runs in the guest: whether the link's output-queue wait works on a real serial driver.
//
//   uart_queue_probe DEVICE SETTINGS TRIES temt|outq [held]
//   uart_queue_probe --serial-flags DEVICE
//
// Reports what the driver offers (TIOCOUTQ, the bytes it still holds; TIOCSERGETLSR, whether
// the transmitter itself is empty), what a bare write() leaves behind, whether the link's
// outputPending says the same as the driver, and whether SendBlock ever returns while bytes are
// still queued.
// "temt": the transmitter must also be empty at every return (the 8250, whose line status is
// the UART's own). "outq": the queue count alone is checked; ftdi_sio answers TIOCSERGETLSR
// from the status bytes the chip sends, which QEMU's emulated chip never marks empty, so there
// the link waits out its bound (wire time plus margin) and the line status is only reported.
//
// QEMU takes a UART's bytes as fast as the guest writes them, so the queue is empty again before
// anyone looks. "held" makes it hold bytes for real: the probe asks the host, on the console, to
// stop the simulator behind the line ("@@STOP uart"), writes until the pseudo-terminal behind
// QEMU, the UART and the driver's queue are full, checks that outputPending sees the queue, then
// asks for the simulator to go on ("@@CONT uart") and sends a block at once: SendBlock must not
// return before the driver has let the last byte go.
//
// Exit 0 when every check held; 1 otherwise; 2 when the port does not open.
//
// --serial-flags prints whether the driver keeps the port at low latency (ASYNC_LOW_LATENCY from
// TIOCGSERIAL), also while another process holds it: "low_latency yes (flags 0x...)".

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include <fcntl.h>
#include <linux/serial.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include "link/comm.h"
#include "link/seams.h"
#include "platform/hooks.h"

namespace {

bool g_temt = true;   // the line status counts as well as the queue

int queued(int fd)
{
    int n = -1;
    return ::ioctl(fd, TIOCOUTQ, &n) == 0 ? n : -1;
}

// 1: the transmitter is empty, 0: it is not, -1: the driver does not say.
int transmitterEmpty(int fd)
{
    unsigned int lsr = 0;
    if (::ioctl(fd, TIOCSERGETLSR, &lsr) != 0)
        return -1;
    return (lsr & TIOCSER_TEMT) ? 1 : 0;
}

bool drained(int fd)
{
    return queued(fd) == 0 && (!g_temt || transmitterEmpty(fd) != 0);
}

void settle(int fd)
{
    for (int i = 0; i < 2000 && !drained(fd); ++i)
        ::poll(nullptr, 0, 1);
}

// A line for the host, past the redirections of the probe's own output.
void tellHost(const char *line)
{
    const int console = ::open("/dev/console", O_WRONLY | O_NOCTTY);
    if (console < 0)
        return;
    const std::string text = std::string(line) + "\n";
    (void)!::write(console, text.data(), text.size());
    ::close(console);
}

// Counts the link's 1 ms polls while a write waits, and looks at the driver when the frame's
// own pause (the first longer sleep) starts: the moment the write has returned.
struct WaitWatch {
    int fd;
    int polls = 0;
    bool sampled = false;
    bool emptyAtReturn = false;
    bool temtAtReturn = false;

    platform::Hooks hooks()
    {
        platform::Hooks h;
        h.sleep = [this](std::uint32_t ms) {
            if (ms > 1 && !sampled) {
                sampled = true;
                emptyAtReturn = drained(fd);
                temtAtReturn = transmitterEmpty(fd) == 1;
            } else if (ms == 1 && !sampled) {
                ++polls;
            }
            platform::realSleepMs(ms);
        };
        return h;
    }
};

// The held queue: see the head of the file. True when outputPending saw the bytes the driver
// held and SendBlock, whose bytes went in behind them, returned only once all had gone.
bool heldQueue(int fd)
{
    tellHost("@@STOP uart");
    // Blocks go out one at a time until one stays in the driver: the line has stopped, and the
    // queue still has room for the block SendBlock is to send.
    const std::vector<unsigned char> junk(256, 'U');
    const std::uint32_t start = platform::NowMs();
    long total = 0;
    bool stopped = false;
    while (!stopped && platform::NowMs() - start < 20000) {
        if (::write(fd, junk.data(), junk.size()) > 0)
            total += long(junk.size());
        const std::uint32_t wrote = platform::NowMs();
        while (!(stopped = !drained(fd) && platform::NowMs() - wrote > 300) && !drained(fd))
            ::poll(nullptr, 0, 5);
    }
    const int held = queued(fd);
    const int lineStatus = transmitterEmpty(fd);
    const int pending = serial::backend().outputPending(CommHandle);
    std::printf("  held: the line stopped taking bytes after %ld; the driver holds %d, line status TEMT %s;"
                " the link's outputPending says %d\n",
                total, held, lineStatus == 1 ? "set" : lineStatus == 0 ? "clear" : "unknown", pending);
    if (!stopped)
        return false;

    // The host lets the line go on once the link is waiting on the driver.
    const std::vector<unsigned char> block(2000, 'U');
    WaitWatch watch{fd};
    platform::Hooks hooks = watch.hooks();
    bool told = false;
    hooks.sleep = [&, inner = hooks.sleep](std::uint32_t ms) {
        if (ms == 1 && !told) {
            told = true;
            tellHost("@@CONT uart");
        }
        inner(ms);
    };
    const std::uint32_t sent = platform::NowMs();
    {
        platform::HooksGuard guard(hooks);
        SendBlock(block.data(), int(block.size()));
    }
    if (!told)
        tellHost("@@CONT uart");
    const std::uint32_t took = platform::NowMs() - sent;
    std::printf("  released: SendBlock of %zu bytes returned after %u ms (bound: wire time %u ms plus %u),"
                " %d polls of the driver; queue empty at return: %s\n",
                block.size(), unsigned(took), unsigned(serial::wireTimeMs(int(block.size()))),
                unsigned(serial::kDrainMarginMs), watch.polls, watch.emptyAtReturn ? "yes" : "NO");
    return held > 0 && pending > 0 && watch.polls > 0 && watch.emptyAtReturn;
}

} // namespace

int printSerialFlags(const char *device)
{
    const int fd = ::open(device, O_RDONLY | O_NOCTTY | O_NONBLOCK);
    serial_struct flags{};
    if (fd < 0 || ::ioctl(fd, TIOCGSERIAL, &flags) != 0) {
        std::printf("%s: TIOCGSERIAL: %s\n", device, std::strerror(errno));
        return 2;
    }
    ::close(fd);
    std::printf("low_latency %s (flags 0x%x)\n", (flags.flags & ASYNC_LOW_LATENCY) ? "yes" : "no", unsigned(flags.flags));
    return 0;
}

int main(int argc, char **argv)
{
    if (argc == 3 && std::strcmp(argv[1], "--serial-flags") == 0)
        return printSerialFlags(argv[2]);
    if (argc != 5 && argc != 6) {
        std::fprintf(stderr, "usage: uart_queue_probe DEVICE SETTINGS TRIES temt|outq [held]\n");
        return 2;
    }
    const std::string device = argv[1];
    const std::string settings = argv[2];
    const int tries = std::atoi(argv[3]);
    g_temt = std::strcmp(argv[4], "temt") == 0;
    const bool held = argc == 6 && std::strcmp(argv[5], "held") == 0;

    serial::SeamsGuard seams(serial::Seams{nullptr, [&](int) { return device; }});
    const serial::OpenResult opened = serial::defaultLink.open(1, settings);
    if (!opened.opened()) {
        std::printf("%s: does not open: %s\n", device.c_str(), std::strerror(opened.error));
        return 2;
    }
    const int fd = int(CommHandle);
    const bool outqAnswered = queued(fd) >= 0;
    const bool lsrAnswered = transmitterEmpty(fd) >= 0;
    std::printf("%s at %s: TIOCOUTQ %s, TIOCSERGETLSR %s\n", device.c_str(), settings.c_str(),
                outqAnswered ? "answered" : "refused", lsrAnswered ? "answered" : "refused");

    // A print frame's length of plain bytes: the module's simulator takes them for noise.
    const std::vector<unsigned char> block(240, 'U');

    // Right after a bare write: the link's outputPending must say what the driver says, from
    // TIOCOUTQ and, where the driver answers it, TIOCSERGETLSR.
    int busy = 0, temtClear = 0, mostHeld = 0, agreed = 0;
    for (int i = 0; i < tries; ++i) {
        settle(fd);
        if (::write(fd, block.data(), block.size()) != ssize_t(block.size()))
            break;
        const int bytes = queued(fd);
        const bool clear = transmitterEmpty(fd) == 0;
        const bool driverBusy = bytes > 0 || clear;
        const bool linkBusy = serial::backend().outputPending(CommHandle) > 0;
        // The driver may finish between the two looks: either of its answers will do.
        const bool driverBusyAfter = queued(fd) > 0 || transmitterEmpty(fd) == 0;
        busy += driverBusy ? 1 : 0;
        temtClear += clear ? 1 : 0;
        agreed += linkBusy == driverBusy || linkBusy == driverBusyAfter ? 1 : 0;
        mostHeld = bytes > mostHeld ? bytes : mostHeld;
    }
    std::printf("  bare write() of %zu bytes, %d times: the driver still busy %d times (up to %d bytes queued,"
                " TEMT clear %d times); the link's outputPending agreed %d times\n",
                block.size(), tries, busy, mostHeld, temtClear, agreed);

    int emptyAtReturn = 0, temtAtReturn = 0, polls = 0;
    std::uint32_t spent = 0;
    for (int i = 0; i < tries; ++i) {
        settle(fd);
        WaitWatch watch{fd};
        platform::HooksGuard guard(watch.hooks());
        const std::uint32_t start = platform::NowMs();
        SendBlock(block.data(), int(block.size()));
        spent += platform::NowMs() - start;
        emptyAtReturn += watch.emptyAtReturn ? 1 : 0;
        temtAtReturn += watch.temtAtReturn ? 1 : 0;
        polls += watch.polls;
    }
    std::printf("  SendBlock of %zu bytes: queue empty when the write returned %d of %d times,"
                " line status TEMT %d times; %d ms a write on average (wire time %u ms), %d polls\n",
                block.size(), emptyAtReturn, tries, temtAtReturn, tries > 0 ? int(spent) / tries : 0,
                unsigned(serial::wireTimeMs(int(block.size()))), polls);

    const bool heldOk = !held || heldQueue(fd);
    CloseComm();

    const bool ok = outqAnswered && (lsrAnswered || !g_temt) && agreed == tries && emptyAtReturn == tries && heldOk;
    return ok ? 0 : 1;
}
