#include "listening_port.h"

#include "frame.h"
#include "platform/hooks.h"

namespace serial {

namespace {

// What discardInput reads away before it drops: as much as the link's own discard may.
constexpr int kMostKeptBeforeDiscard = 4096;

} // namespace

// The first read after a frame's end byte begins its reply window, as the link's does.
void ListeningPort::reading(CommHandleType handle)
{
    const std::lock_guard<std::mutex> lock(m_mutex);
    Record &r = m_records[handle];
    if (r.endWritten) {
        r.endWritten = false;
        r.windowStart = platform::NowMs();
        r.started = true;
    }
}

void ListeningPort::kept(CommHandleType handle, unsigned char byte)
{
    const std::uint32_t now = platform::NowMs();
    const std::lock_guard<std::mutex> lock(m_mutex);
    m_records[handle].bytes.emplace_back(byte, now);
}

int ListeningPort::readByte(CommHandleType handle, unsigned char *byte)
{
    reading(handle);
    const int got = m_inner.readByte(handle, byte);
    if (got == 1)
        kept(handle, *byte);
    return got;
}

int ListeningPort::readByteWithin(CommHandleType handle, unsigned char *byte, std::uint32_t ms)
{
    reading(handle);
    const int got = m_inner.readByteWithin(handle, byte, ms);
    if (got == 1)
        kept(handle, *byte);
    return got;
}

void ListeningPort::write(CommHandleType handle, const unsigned char *data, std::size_t count)
{
    m_inner.write(handle, data, count);
    const std::lock_guard<std::mutex> lock(m_mutex);
    Record &r = m_records[handle];
    r.written.append(reinterpret_cast<const char *>(data), count);
    if (count > 0 && data[count - 1] == kFrameEnd)
        r.endWritten = true;
}

// What arrived before the frame's end: a loopback's copy of the frame, noise, a late reply to
// the frame before. Kept, then the link's own discard runs.
void ListeningPort::discardInput(CommHandleType handle)
{
    unsigned char byte = 0;
    for (int i = 0; i < kMostKeptBeforeDiscard && m_inner.readByteWithin(handle, &byte, 0) == 1; ++i)
        kept(handle, byte);
    m_inner.discardInput(handle);
}

void ListeningPort::close(CommHandleType handle)
{
    m_inner.close(handle);
    const std::lock_guard<std::mutex> lock(m_mutex);
    m_records.erase(handle);
}

Heard ListeningPort::take(CommHandleType handle)
{
    const std::lock_guard<std::mutex> lock(m_mutex);
    Record &r = m_records[handle];
    Heard heard;
    heard.written = std::move(r.written);
    for (const auto &[byte, at] : r.bytes)
        heard.bytes.push_back({byte, r.started ? std::int32_t(at - r.windowStart) : -1});
    r = Record{};
    return heard;
}

void ListeningPort::listenUntil(CommHandleType handle, std::uint32_t ms)
{
    std::uint32_t start = 0;
    {
        const std::lock_guard<std::mutex> lock(m_mutex);
        const Record &r = m_records[handle];
        if (!r.started)
            return;
        start = r.windowStart;
    }
    for (;;) {
        const std::uint32_t elapsed = platform::NowMs() - start;
        if (elapsed >= ms)
            return;
        unsigned char byte = 0;
        if (m_inner.readByteWithin(handle, &byte, ms - elapsed) == 1)
            kept(handle, byte);
    }
}

} // namespace serial
