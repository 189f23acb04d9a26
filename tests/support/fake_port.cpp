#include "fake_port.h"

#include <algorithm>
#include <cstdlib>

#include "link/comm.h"
#include <sstream>

namespace testsupport {

void FakePort::queueAt(std::uint32_t at, const std::vector<unsigned char> &bytes)
{
    for (unsigned char b : bytes)
        m_input.push_back({at, b});
}

serial::OpenResult FakePort::open(const std::string &device)
{
    opened.push_back(device);
    serial::OpenResult r;
    if (refuseOpen) {
        r.failure = serial::OpenFailure::Missing;
        return r;
    }
    r.handle = 7;
    r.latencyTimerMs = latencyTimerMs;
    r.latencyLowered = latencyLowered;
    return r;
}

bool FakePort::applyLineSettings(CommHandleType, const std::string &s)
{
    settings.push_back(s);
    return true;
}

int FakePort::readByte(CommHandleType, unsigned char *byte)
{
    ++reads;
    if (!m_input.empty() && m_input.front().at != kAfterNextFrame && m_input.front().at <= m_clock.now) {
        *byte = m_input.front().byte;
        m_input.pop_front();
        m_clock.now += m_clock.byteStep;
        return 1;
    }
    m_clock.now += m_clock.readStep;
    return 0;
}

void FakePort::write(CommHandleType, const unsigned char *data, std::size_t count)
{
    trace.push_back({TraceEntry::Write, std::vector<unsigned char>(data, data + count), 0, m_clock.now});
    const std::uint64_t nowUs = std::uint64_t(m_clock.now) * 1000u;
    m_wireFreeAtUs = std::max(m_wireFreeAtUs, nowUs) + std::uint64_t(count) * usPerByte;
    for (std::size_t i = 0; i < count; ++i) {
        m_frame.push_back(data[i]);
        if (data[i] == 0x0D && m_frame.front() == 0x09) {
            auto frame = m_frame;
            m_frame.clear();
            if (onFrame)
                onFrame(frame);
            for (Pending &p : m_input)
                if (p.at == kAfterNextFrame)
                    p.at = m_clock.now;
        }
    }
}

int FakePort::outputPending(CommHandleType)
{
    const std::uint64_t nowUs = std::uint64_t(m_clock.now) * 1000u;
    if (usPerByte == 0 || nowUs >= m_wireFreeAtUs)
        return 0;
    return int((m_wireFreeAtUs - nowUs + usPerByte - 1) / usPerByte);
}

void FakePort::discardInput(CommHandleType)
{
    while (!m_input.empty() && m_input.front().at != kAfterNextFrame && m_input.front().at <= m_clock.now) {
        m_input.pop_front();
        ++discarded;
    }
}

void FakePort::close(CommHandleType) { ++closes; }

bool FakePort::lineErrors(CommHandleType, serial::LineErrors &out)
{
    if (!lineCounts)
        return false;
    out = *lineCounts;
    return true;
}

void FakePort::recordSleep(std::uint32_t ms)
{
    trace.push_back({TraceEntry::Sleep, {}, ms, m_clock.now});
    m_clock.now += ms;
}

std::vector<unsigned char> FakePort::written() const
{
    std::vector<unsigned char> all;
    for (const auto &t : trace)
        if (t.kind == TraceEntry::Write)
            all.insert(all.end(), t.bytes.begin(), t.bytes.end());
    return all;
}

FakeLink::FakeLink()
    : m_hooks(platform::Hooks{
          [this] {
              const std::uint32_t t = clock.now;
              clock.now += clock.tickPerReading;
              return t;
          },
          [this](std::uint32_t ms) { port.recordSleep(ms); },
          [this] { ++pumps; },
          [](int, int) {},
      })
    , m_seams(serial::Seams{&port, [](int n) { return "COM" + std::to_string(n); }})
{
}

FakeLink::~FakeLink()
{
    CloseComm();
}

std::vector<unsigned char> hexBytes(const std::string &spaced)
{
    std::vector<unsigned char> out;
    std::istringstream in(spaced);
    std::string token;
    while (in >> token)
        out.push_back(static_cast<unsigned char>(std::strtoul(token.c_str(), nullptr, 16)));
    return out;
}

std::vector<unsigned char> textBytes(const std::string &text)
{
    return std::vector<unsigned char>(text.begin(), text.end());
}

} // namespace testsupport
