#pragma once
// --trace FILE: every frame written and every reply received, one JSON object per line with a
// millisecond timestamp, in the simulator's log format, for support cases. It sits between
// the link and the real port backend, so it sees exactly what went over the line.

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "link/port_backend.h"
#include "tools/output.h"

namespace tools {

// The trace file opened for appending without waiting: a FIFO that no program reads fails at
// once instead of holding the run. Null, with the reason in error, when it cannot be opened;
// stdout or stderr itself when the path is the same file (--trace /dev/stdout).
std::FILE *openTraceFile(const std::string &path, std::string &error);

// Safe to use from several threads at once (the side-by-side search): each port keeps its own
// frame and reply, and every line names its port.
class TracePort final : public serial::PortBackend {
public:
    // Writes to file (owned, unless it is stdout or stderr); traces what passes to and from inner.
    TracePort(std::FILE *file, serial::PortBackend &inner);
    ~TracePort() override;

    // Whether every trace line was written; the reason when one was not.
    const Output &output() const { return m_out; }

    serial::OpenResult open(const std::string &device) override;
    bool applyLineSettings(CommHandleType handle, const std::string &settings) override;
    int readByte(CommHandleType handle, unsigned char *byte) override;
    int readByteWithin(CommHandleType handle, unsigned char *byte, std::uint32_t ms) override;
    void write(CommHandleType handle, const unsigned char *data, std::size_t count) override;
    int outputPending(CommHandleType handle) override;
    void discardInput(CommHandleType handle) override;
    void close(CommHandleType handle) override;
    bool hungUp(CommHandleType handle) override { return m_inner.hungUp(handle); }
    bool lineErrors(CommHandleType handle, serial::LineErrors &out) override { return m_inner.lineErrors(handle, out); }

private:
    struct Port {
        std::string tag;                    // ,"port":"COM5","device":"/dev/ttyUSB0"
        std::string settings;
        std::vector<unsigned char> frame;   // frame being written
        std::vector<unsigned char> reply;   // reply being received
    };
    void received(CommHandleType handle, unsigned char byte);
    void event(const Port &port, const char *dir, const std::vector<unsigned char> &bytes, const std::string &extra = {});
    void note(const std::string &json);
    void flushPartial(Port &port);

    std::mutex m_mutex;   // the ports and the file
    Output m_out;
    serial::PortBackend &m_inner;
    std::map<CommHandleType, Port> m_ports;
};

} // namespace tools
