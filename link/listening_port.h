#pragma once
// A port backend between the link and the real one that keeps every byte that came back from the
// line and when, also the bytes the link drops as stale before a frame's end byte: what a
// diagnosis needs to tell a loopback from noise, a late reply from none. The link itself runs
// its exchanges through it unchanged. Safe to use from several threads at once, each port with
// a record of its own.

#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "port_backend.h"

namespace serial {

struct HeardByte {
    unsigned char byte = 0;
    // When it was read, in ms from the start of the reply window of the last frame written
    // (the first read after its end byte); negative before that.
    std::int32_t ms = 0;
};

// What a port heard since its record was last taken.
struct Heard {
    std::string written;            // every byte written (the frames)
    std::vector<HeardByte> bytes;   // every byte read, in order
};

class ListeningPort final : public PortBackend {
public:
    explicit ListeningPort(PortBackend &inner) : m_inner(inner) {}

    // The record of handle, emptied.
    Heard take(CommHandleType handle);
    // Reads on, keeping what comes, until ms after the reply window of the last frame began.
    void listenUntil(CommHandleType handle, std::uint32_t ms);

    OpenResult open(const std::string &device) override { return m_inner.open(device); }
    bool applyLineSettings(CommHandleType handle, const std::string &settings) override
    {
        return m_inner.applyLineSettings(handle, settings);
    }
    int readByte(CommHandleType handle, unsigned char *byte) override;
    int readByteWithin(CommHandleType handle, unsigned char *byte, std::uint32_t ms) override;
    void write(CommHandleType handle, const unsigned char *data, std::size_t count) override;
    int outputPending(CommHandleType handle) override { return m_inner.outputPending(handle); }
    void discardInput(CommHandleType handle) override;
    void close(CommHandleType handle) override;
    bool hungUp(CommHandleType handle) override { return m_inner.hungUp(handle); }
    bool lineErrors(CommHandleType handle, LineErrors &out) override { return m_inner.lineErrors(handle, out); }

private:
    struct Record {
        std::string written;
        std::vector<std::pair<unsigned char, std::uint32_t>> bytes;   // with the clock's reading
        bool endWritten = false;          // a frame's end byte went out; its window starts at the next read
        std::uint32_t windowStart = 0;
        bool started = false;
    };
    void reading(CommHandleType handle);
    void kept(CommHandleType handle, unsigned char byte);

    PortBackend &m_inner;
    std::mutex m_mutex;
    std::map<CommHandleType, Record> m_records;
};

} // namespace serial
