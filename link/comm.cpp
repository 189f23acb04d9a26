#include "comm.h"

#include "device_access.h"
#include "exclusion.h"
#include "line_settings.h"
#include "platform/hooks.h"
#include "seams.h"

namespace serial {

Link defaultLink;

void Link::rememberLine(const std::string &settings)
{
    const auto line = parseLineSettings(settings);
    if (!line) {
        m_bitsPerChar = 11;   // 8 data bits, parity, one stop bit: the longest the module uses
        m_baud = 4800;        // and its slowest speed
        return;
    }
    m_bitsPerChar = 1 + line->dataBits + (line->parity == 'n' ? 0 : 1) + line->stopBits;
    m_baud = line->baud;
}

// A write has returned when the port took its bytes; the reply window must not start before
// they are on the wire, or a long frame at a low speed leaves the module no time to answer.
// Bounded, so a line whose other side never takes the bytes cannot hold the program.
void Link::waitUntilSent(int count)
{
    PortBackend &port = backend();
    if (port.outputPending(handle) <= 0)
        return;
    const std::uint32_t bound = wireTimeMs(count) + kDrainMarginMs;
    const std::uint32_t start = platform::NowMs();
    while (port.outputPending(handle) > 0 && platform::NowMs() - start <= bound)
        platform::SleepMs(1);
}

OpenResult Link::open(int number, const std::string &settings)
{
    OpenResult result;
    if (m_open) {
        // One port at a time: the open one keeps its handle, and this open fails as a busy port.
        result.failure = OpenFailure::Busy;
        return result;
    }
    m_wentAway = false;
    const std::string device = deviceForPort(number);
    if (device.empty()) {
        result.failure = OpenFailure::NoDevice;
        handle = INVALID_COMM_HANDLE;
        return result;
    }
    if (const std::optional<ExclusionRule> rule = exclusionOf(device)) {
        result.failure = OpenFailure::Excluded;
        result.device = device;
        result.excludedBy = rule->text;
        handle = INVALID_COMM_HANDLE;
        return result;
    }
    PortBackend &b = backend();
    result = b.open(device);
    result.device = device;
    handle = result.handle;
    if (!result.opened()) {
        if (result.failure == OpenFailure::Busy)
            result.holders = holdersOf(result.device);
        else if (result.failure == OpenFailure::Permission) {
            result.group = groupToJoin(result.device);
            result.groupPending = groupPending(result.group);
        }
        return result;
    }
    m_open = true;
    // Once the port is open the result stands, whatever the platform made of the settings.
    rememberLine(b.applyLineSettings(handle, settings) ? settings : std::string());
    return result;
}

void Link::close()
{
    if (!m_open)
        return;
    m_open = false;
    backend().close(handle);
}

void Link::sendByte(int value)
{
    const unsigned char byte = static_cast<unsigned char>(value & 0xFF);
    backend().write(handle, &byte, 1);
    waitUntilSent(1);
    platform::SleepMs(1);
}

void Link::sendBlock(const unsigned char *data, int count)
{
    backend().write(handle, data, count > 0 ? static_cast<std::size_t>(count) : 0u);
    waitUntilSent(count);
    platform::SleepMs(5);
}

std::uint32_t Link::wireTimeMs(int count) const
{
    if (count <= 0)
        return 0;
    const std::uint64_t bits = std::uint64_t(count) * std::uint64_t(m_bitsPerChar) * 1000u;
    return static_cast<std::uint32_t>((bits + std::uint64_t(m_baud) - 1) / std::uint64_t(m_baud));
}

std::uint32_t wireTimeMs(int count) { return defaultLink.wireTimeMs(count); }

} // namespace serial

CommHandleType &CommHandle = serial::defaultLink.handle;

bool OpenComm(int number, const std::string &settings) { return serial::defaultLink.open(number, settings).opened(); }
void CloseComm() { serial::defaultLink.close(); }
void SendByte(int value) { serial::defaultLink.sendByte(value); }
void SendBlock(const unsigned char *data, int count) { serial::defaultLink.sendBlock(data, count); }
