#include "comm.h"

#include "line_settings.h"
#include "platform/hooks.h"
#include "seams.h"

CommHandleType CommHandle = INVALID_COMM_HANDLE;

namespace {
serial::OpenResult g_lastOpen;
std::string g_lastDevice;
bool g_portOpen = false;
// Bit times of one character, and the baud rate, of the line the open port runs at.
int g_bitsPerChar = 11;
int g_baud = 4800;

void rememberLine(const std::string &settings)
{
    const auto line = serial::parseLineSettings(settings);
    if (!line) {
        g_bitsPerChar = 11;   // 8 data bits, parity, one stop bit: the longest the module uses
        g_baud = 4800;        // and its slowest speed
        return;
    }
    g_bitsPerChar = 1 + line->dataBits + (line->parity == 'n' ? 0 : 1) + line->stopBits;
    g_baud = line->baud;
}

// A write has returned when the port took its bytes; the reply window must not start before
// they are on the wire, or a long frame at a low speed leaves the module no time to answer.
// Bounded, so a line whose other side never takes the bytes cannot hold the program.
void waitUntilSent(int count)
{
    serial::PortBackend &port = serial::backend();
    if (port.outputPending(CommHandle) <= 0)
        return;
    const std::uint32_t bound = serial::wireTimeMs(count) + serial::kDrainMarginMs;
    const std::uint32_t start = platform::NowMs();
    while (port.outputPending(CommHandle) > 0 && platform::NowMs() - start <= bound)
        platform::SleepMs(1);
}
} // namespace

bool OpenComm(int number, const std::string &settings)
{
    if (g_portOpen) {
        // One port at a time: the open one keeps its handle, and this open fails as a busy port.
        g_lastOpen = {INVALID_COMM_HANDLE, serial::OpenFailure::Busy, 0};
        return false;
    }
    g_lastDevice = serial::deviceForPort(number);
    if (g_lastDevice.empty()) {
        g_lastOpen = {INVALID_COMM_HANDLE, serial::OpenFailure::NoDevice, 0};
        CommHandle = INVALID_COMM_HANDLE;
        return false;
    }
    serial::PortBackend &b = serial::backend();
    g_lastOpen = b.open(g_lastDevice);
    CommHandle = g_lastOpen.handle;
    if (CommHandle == INVALID_COMM_HANDLE)
        return false;
    g_portOpen = true;
    // Once the port is open the result stands, whatever the platform made of the settings.
    rememberLine(b.applyLineSettings(CommHandle, settings) ? settings : std::string());
    return true;
}

void CloseComm()
{
    if (!g_portOpen)
        return;
    g_portOpen = false;
    serial::backend().close(CommHandle);
}

void SendByte(int value)
{
    const unsigned char byte = static_cast<unsigned char>(value & 0xFF);
    serial::backend().write(CommHandle, &byte, 1);
    waitUntilSent(1);
    platform::SleepMs(1);
}

void SendBlock(const unsigned char *data, int count)
{
    serial::backend().write(CommHandle, data, count > 0 ? static_cast<std::size_t>(count) : 0u);
    waitUntilSent(count);
    platform::SleepMs(5);
}

namespace serial {
OpenResult lastOpenResult() { return g_lastOpen; }
std::string lastOpenDevice() { return g_lastDevice; }

std::uint32_t wireTimeMs(int count)
{
    if (count <= 0)
        return 0;
    const std::uint64_t bits = std::uint64_t(count) * std::uint64_t(g_bitsPerChar) * 1000u;
    return static_cast<std::uint32_t>((bits + std::uint64_t(g_baud) - 1) / std::uint64_t(g_baud));
}
} // namespace serial
