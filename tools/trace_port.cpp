#include "tools/trace_port.h"

#include <chrono>

namespace tools {

std::string hexOf(const unsigned char *data, std::size_t count)
{
    std::string out;
    char buf[4];
    for (std::size_t i = 0; i < count; ++i) {
        std::snprintf(buf, sizeof buf, i ? " %02X" : "%02X", data[i]);
        out += buf;
    }
    return out;
}

namespace {

long long nowMs()
{
    using namespace std::chrono;
    return duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count();
}

// The characters between the start byte and the checksum digits (all of a partial reply's),
// as JSON string content.
std::string textOf(const std::vector<unsigned char> &bytes)
{
    std::string out;
    const bool whole = bytes.size() >= 4 && bytes.back() == 0x0D;
    const std::size_t begin = !bytes.empty() && (bytes[0] == 0x09 || bytes[0] == 0x0A) ? 1 : 0;
    const std::size_t end = whole ? bytes.size() - 3 : bytes.size();
    for (std::size_t i = begin; i < end; ++i) {
        const unsigned char c = bytes[i];
        if (c == '"' || c == '\\') {
            out += '\\';
            out += char(c);
        } else if (c < 0x20 || c >= 0x7F) {
            char buf[8];
            std::snprintf(buf, sizeof buf, "\\u%04x", c);
            out += buf;
        } else {
            out += char(c);
        }
    }
    return out;
}

std::string quoted(const std::string &s)
{
    std::string out = "\"";
    for (unsigned char c : s) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += char(c);
        } else if (c < 0x20) {
            char buf[8];
            std::snprintf(buf, sizeof buf, "\\u%04x", c);
            out += buf;
        } else {
            out += char(c);
        }
    }
    return out + "\"";
}

} // namespace

TracePort::TracePort(std::FILE *file, serial::PortBackend &inner) : m_file(file), m_inner(inner) {}

TracePort::~TracePort()
{
    if (m_file)
        std::fclose(m_file);
}

void TracePort::note(const std::string &json)
{
    std::fprintf(m_file, "{\"t\":%lld,%s}\n", nowMs(), json.c_str());
    std::fflush(m_file);
}

void TracePort::event(const char *dir, const std::vector<unsigned char> &bytes, const std::string &extra)
{
    note(std::string("\"dir\":\"") + dir + "\",\"hex\":\"" + hexOf(bytes.data(), bytes.size()) + "\",\"text\":\"" + textOf(bytes) + "\""
         + extra);
}

serial::OpenResult TracePort::open(const std::string &device)
{
    const serial::OpenResult r = m_inner.open(device);
    note("\"event\":\"open\",\"device\":" + quoted(device) + ",\"ok\":" + (r.handle != INVALID_COMM_HANDLE ? "true" : "false"));
    m_out.clear();
    m_in.clear();
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
        m_in.push_back(*byte);
        if (*byte == 0x0D && m_in.front() == 0x0A) {
            event("rx", m_in);
            m_in.clear();
        }
    }
    return got;
}

void TracePort::write(CommHandleType handle, const unsigned char *data, std::size_t count)
{
    m_inner.write(handle, data, count);
    for (std::size_t i = 0; i < count; ++i) {
        if (data[i] == 0x09)
            m_out.clear();
        m_out.push_back(data[i]);
        if (data[i] == 0x0D && m_out.front() == 0x09) {
            event("tx", m_out, ",\"line\":" + quoted(m_settings));
            m_out.clear();
        }
    }
}

int TracePort::outputPending(CommHandleType handle) { return m_inner.outputPending(handle); }

void TracePort::flushPartial()
{
    // Bytes that never made a reply (a late or cut-off one, noise) matter most in a support case.
    if (!m_in.empty())
        event("rx", m_in, ",\"complete\":false");
    m_in.clear();
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
