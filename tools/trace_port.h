#pragma once
// --trace FILE: every frame written and every reply received, one JSON object per line with a
// millisecond timestamp, in the simulator's log format, for support cases. It sits between
// the link and the real port backend, so it sees exactly what went over the line.

#include <memory>
#include <string>
#include <vector>

#include "link/port_backend.h"
#include "tools/output.h"

namespace tools {

// The trace file opened for appending without waiting: a FIFO that no program reads fails at
// once instead of holding the run. Null, with the reason in error, when it cannot be opened.
std::FILE *openTraceFile(const std::string &path, std::string &error);

class TracePort final : public serial::PortBackend {
public:
    // Writes to file (owned); traces what passes to and from inner.
    TracePort(std::FILE *file, serial::PortBackend &inner);
    ~TracePort() override;

    // Whether every trace line was written; the reason when one was not.
    const Output &output() const { return m_out; }

    serial::OpenResult open(const std::string &device) override;
    bool applyLineSettings(CommHandleType handle, const std::string &settings) override;
    int readByte(CommHandleType handle, unsigned char *byte) override;
    void write(CommHandleType handle, const unsigned char *data, std::size_t count) override;
    int outputPending(CommHandleType handle) override;
    void discardInput(CommHandleType handle) override;
    void close(CommHandleType handle) override;

private:
    void event(const char *dir, const std::vector<unsigned char> &bytes, const std::string &extra = {});
    void note(const std::string &json);
    void flushPartial();

    Output m_out;
    serial::PortBackend &m_inner;
    std::vector<unsigned char> m_frame;   // frame being written
    std::vector<unsigned char> m_reply;   // reply being received
    std::string m_settings;
};

} // namespace tools
