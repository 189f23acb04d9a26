#include "tools/trace_port.h"

#include <cerrno>
#include <algorithm>
#include <chrono>
#include <cstring>

#ifndef _WIN32
#include <fcntl.h>
#include <unistd.h>
#endif

#include "link/wire_text.h"

namespace tools {

namespace {

long long nowMs()
{
    using namespace std::chrono;
    return duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count();
}

// The characters between the start byte and the checksum digits (all of a partial reply's).
std::string textOf(const std::vector<unsigned char> &bytes)
{
    const bool whole = bytes.size() >= 4 && bytes.back() == 0x0D;
    const std::size_t begin = !bytes.empty() && (bytes[0] == 0x09 || bytes[0] == 0x0A) ? 1 : 0;
    const std::size_t end = whole ? bytes.size() - 3 : bytes.size();
    return std::string(bytes.begin() + std::ptrdiff_t(begin), bytes.begin() + std::ptrdiff_t(std::max(begin, end)));
}

} // namespace

std::FILE *openTraceFile(const std::string &path, std::string &error)
{
#ifdef _WIN32
    std::FILE *file = std::fopen(path.c_str(), "a");
#else
    std::FILE *file = nullptr;
    const int fd = ::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_NONBLOCK | O_CLOEXEC, 0644);
    if (fd >= 0) {
        // Open, the file is written as any other: a reader that is slow is waited for.
        ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
        file = ::fdopen(fd, "a");
        if (!file)
            ::close(fd);
    } else if (errno == ENXIO) {
        error = path + ": a FIFO that no program reads";
        return nullptr;
    }
#endif
    if (!file)
        error = path + ": " + std::strerror(errno);
    return file;
}

TracePort::TracePort(std::FILE *file, serial::PortBackend &inner) : m_out(file, "trace"), m_inner(inner) {}

TracePort::~TracePort()
{
    if (std::fclose(m_out.file()) != 0)
        m_out.fail(std::strerror(errno));
}

void TracePort::note(const std::string &json)
{
    m_out.write("{\"t\":" + std::to_string(nowMs()) + "," + json + "}\n");
}

void TracePort::event(const char *dir, const std::vector<unsigned char> &bytes, const std::string &extra)
{
    const std::string text = textOf(bytes);
    note(std::string("\"dir\":\"") + dir + "\",\"hex\":\"" + wire::hex(bytes) + "\",\"text\":" + wire::jsonString(text)
         + extra);
}

serial::OpenResult TracePort::open(const std::string &device)
{
    const serial::OpenResult r = m_inner.open(device);
    note("\"event\":\"open\",\"device\":" + wire::jsonString(device)
         + ",\"ok\":" + (r.handle != INVALID_COMM_HANDLE ? "true" : "false"));
    m_frame.clear();
    m_reply.clear();
    return r;
}

bool TracePort::applyLineSettings(CommHandleType handle, const std::string &settings)
{
    m_settings = settings;
    return m_inner.applyLineSettings(handle, settings);
}

int TracePort::readByte(CommHandleType handle, unsigned char *byte)
{
    const int got = m_inner.readByte(handle, byte);
    if (got == 1) {
        if (*byte == 0x0A)
            flushPartial();
        m_reply.push_back(*byte);
        if (*byte == 0x0D && m_reply.front() == 0x0A) {
            event("rx", m_reply);
            m_reply.clear();
        }
    }
    return got;
}

void TracePort::write(CommHandleType handle, const unsigned char *data, std::size_t count)
{
    m_inner.write(handle, data, count);
    for (std::size_t i = 0; i < count; ++i) {
        if (data[i] == 0x09)
            m_frame.clear();
        m_frame.push_back(data[i]);
        if (data[i] == 0x0D && m_frame.front() == 0x09) {
            event("tx", m_frame, ",\"line\":" + wire::jsonString(m_settings));
            m_frame.clear();
        }
    }
}

int TracePort::outputPending(CommHandleType handle) { return m_inner.outputPending(handle); }

void TracePort::flushPartial()
{
    // Bytes that never made a reply (a late or cut-off one, noise) matter most in a support case.
    if (!m_reply.empty())
        event("rx", m_reply, ",\"complete\":false");
    m_reply.clear();
}

void TracePort::discardInput(CommHandleType handle)
{
    flushPartial();
    // What the link is about to drop (a reply that came after its window, noise) is read here
    // first so the trace shows it; a bounded amount, as the link's own discard.
    std::vector<unsigned char> stale;
    unsigned char byte = 0;
    while (stale.size() < 1024 && m_inner.readByte(handle, &byte) == 1)
        stale.push_back(byte);
    if (!stale.empty())
        event("rx", stale, ",\"stale\":true");
    m_inner.discardInput(handle);
}

void TracePort::close(CommHandleType handle)
{
    flushPartial();
    note("\"event\":\"close\"");
    m_inner.close(handle);
}

} // namespace tools
