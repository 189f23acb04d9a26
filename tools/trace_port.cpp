#include "tools/trace_port.h"

#include <cerrno>
#include <algorithm>
#include <chrono>
#include <cstring>

#ifndef _WIN32
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#include "link/frame.h"
#include "link/seams.h"
#include "link/wire_text.h"

namespace tools {

namespace {

// The port a device is known by, labelled as everywhere else: COMn, else the device path.
std::string portLabelOf(const std::string &device)
{
    const std::optional<int> number = serial::numberOfDevice(device);
    return number ? serial::portLabel(*number) : device;
}

long long nowMs()
{
    using namespace std::chrono;
    return duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count();
}

// The characters between the start byte and the checksum digits (all of a partial reply's).
std::string textOf(const std::vector<unsigned char> &bytes)
{
    const bool whole = bytes.size() >= 4 && bytes.back() == kFrameEnd;
    const std::size_t begin = !bytes.empty() && (bytes[0] == kCommandStart || bytes[0] == kReplyStart) ? 1 : 0;
    const std::size_t end = whole ? bytes.size() - 3 : bytes.size();
    return std::string(bytes.begin() + std::ptrdiff_t(begin), bytes.begin() + std::ptrdiff_t(std::max(begin, end)));
}

#ifndef _WIN32
// stdout or stderr when fd is the same file: the trace then goes through that stream. Two
// streams on one file each keep an offset of their own (the trace's appends, a shell's "> file"
// does not), and the results would be written over the trace's first lines.
std::FILE *standardStreamOf(int fd)
{
    struct stat trace {};
    if (::fstat(fd, &trace) != 0)
        return nullptr;
    for (std::FILE *stream : {stdout, stderr}) {
        struct stat standard {};
        if (::fstat(::fileno(stream), &standard) == 0 && standard.st_dev == trace.st_dev
            && standard.st_ino == trace.st_ino)
            return stream;
    }
    return nullptr;
}

// Why a path that open() refused with ENXIO takes no trace.
std::string notWritable(const std::string &path)
{
    struct stat st {};
    const bool found = ::stat(path.c_str(), &st) == 0;
    if (found && S_ISSOCK(st.st_mode))
        return path + ": a socket; a trace goes to a file or a FIFO";
    if (found && S_ISFIFO(st.st_mode))
        return path + ": a FIFO that no program reads";
    return path + ": " + std::strerror(ENXIO);
}
#endif

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
        if (std::FILE *standard = standardStreamOf(fd)) {
            ::close(fd);
            return standard;
        }
        file = ::fdopen(fd, "a");
        if (!file)
            ::close(fd);
    } else if (errno == ENXIO) {
        error = notWritable(path);
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
    // stdout or stderr, when the trace shares it, stays open for the program's own words.
    std::FILE *file = m_out.file();
    if (file == stdout || file == stderr)
        m_out.check();
    else if (std::fclose(file) != 0)
        m_out.fail(std::strerror(errno));
}

// Callers hold m_mutex.
void TracePort::note(const std::string &json)
{
    m_out.write("{\"t\":" + std::to_string(nowMs()) + "," + json + "}\n");
}

void TracePort::event(const Port &port, const char *dir, const std::vector<unsigned char> &bytes, const std::string &extra)
{
    note(std::string("\"dir\":\"") + dir + "\"" + port.tag + ",\"hex\":\"" + wire::hex(bytes)
         + "\",\"text\":" + wire::jsonString(textOf(bytes)) + extra);
}

serial::OpenResult TracePort::open(const std::string &device)
{
    const serial::OpenResult r = m_inner.open(device);
    const std::string tag =
        ",\"port\":" + wire::jsonString(portLabelOf(device)) + ",\"device\":" + wire::jsonString(device);
    const std::lock_guard<std::mutex> lock(m_mutex);
    note("\"event\":\"open\"" + tag + ",\"ok\":" + (r.handle != INVALID_COMM_HANDLE ? "true" : "false"));
    if (r.handle != INVALID_COMM_HANDLE)
        m_ports[r.handle] = Port{tag, {}, {}, {}};
    return r;
}

bool TracePort::applyLineSettings(CommHandleType handle, const std::string &settings)
{
    {
        const std::lock_guard<std::mutex> lock(m_mutex);
        m_ports[handle].settings = settings;
    }
    return m_inner.applyLineSettings(handle, settings);
}

void TracePort::received(CommHandleType handle, unsigned char byte)
{
    const std::lock_guard<std::mutex> lock(m_mutex);
    Port &port = m_ports[handle];
    if (byte == kReplyStart)
        flushPartial(port);
    port.reply.push_back(byte);
    if (byte == kFrameEnd && port.reply.front() == kReplyStart) {
        event(port, "rx", port.reply);
        port.reply.clear();
    }
}

int TracePort::readByte(CommHandleType handle, unsigned char *byte)
{
    const int got = m_inner.readByte(handle, byte);
    if (got == 1)
        received(handle, *byte);
    return got;
}

int TracePort::readByteWithin(CommHandleType handle, unsigned char *byte, std::uint32_t ms)
{
    const int got = m_inner.readByteWithin(handle, byte, ms);
    if (got == 1)
        received(handle, *byte);
    return got;
}

void TracePort::write(CommHandleType handle, const unsigned char *data, std::size_t count)
{
    m_inner.write(handle, data, count);
    const std::lock_guard<std::mutex> lock(m_mutex);
    Port &port = m_ports[handle];
    for (std::size_t i = 0; i < count; ++i) {
        if (data[i] == kCommandStart)
            port.frame.clear();
        port.frame.push_back(data[i]);
        if (data[i] == kFrameEnd && port.frame.front() == kCommandStart) {
            event(port, "tx", port.frame, ",\"line\":" + wire::jsonString(port.settings));
            port.frame.clear();
        }
    }
}

int TracePort::outputPending(CommHandleType handle) { return m_inner.outputPending(handle); }

void TracePort::flushPartial(Port &port)
{
    // Bytes that never made a reply (a late or cut-off one, noise) matter most in a support case.
    if (!port.reply.empty())
        event(port, "rx", port.reply, ",\"complete\":false");
    port.reply.clear();
}

void TracePort::discardInput(CommHandleType handle)
{
    // What the link is about to drop (a reply that came after its window, noise) is read here
    // first so the trace shows it; a bounded amount, as the link's own discard.
    std::vector<unsigned char> stale;
    unsigned char byte = 0;
    while (stale.size() < 1024 && m_inner.readByte(handle, &byte) == 1)
        stale.push_back(byte);
    {
        const std::lock_guard<std::mutex> lock(m_mutex);
        Port &port = m_ports[handle];
        flushPartial(port);
        if (!stale.empty())
            event(port, "rx", stale, ",\"stale\":true");
    }
    m_inner.discardInput(handle);
}

void TracePort::close(CommHandleType handle)
{
    {
        const std::lock_guard<std::mutex> lock(m_mutex);
        Port &port = m_ports[handle];
        flushPartial(port);
        note("\"event\":\"close\"" + port.tag);
        m_ports.erase(handle);
    }
    m_inner.close(handle);
}

} // namespace tools
