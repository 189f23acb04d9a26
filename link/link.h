#pragma once
// One serial line to a module: the port, opened by number for an operation and closed again with
// its earlier state restored, and the reply buffer of its frame exchange. The program's own link
// is the default instance (comm.h, frame.h give it the system's names); a search that runs on
// several ports at once drives one Link per port, each from its own thread.

#include <cstdint>
#include <string>

#include "port_backend.h"

inline constexpr int kReplyBufferSize = 1024;
inline constexpr std::uint32_t kReplyWindowMs = 120;
inline constexpr int kMaxCommandLength = 255;

namespace serial {

// What one exchange brought back, for the caller to keep: the link's buffer is the next
// exchange's.
struct Reply {
    bool verified = false;   // as sendCommand returns it
    bool complete = false;   // a whole reply came: line feed through carriage return
    std::string text;        // that reply, up to a zero byte in it (lastReply); empty when none came
    std::string received;    // every byte received for it, whole or not (replyBuffer, replyLength)
};

// Slack allowed over the wire time for a write to leave the port: the adapter's own latency.
inline constexpr std::uint32_t kDrainMarginMs = 50;

class Link {
public:
    // Opens "COM" + number (resolved to a device) exclusively with the given line settings,
    // and says what happened; an unreadable settings string does not make it fail. While a
    // port is open a second open fails as busy and leaves handle to the open port.
    OpenResult open(int number, const std::string &settings);
    // Restores the port state saved at open and releases the port (nothing when none is open).
    void close();
    bool isOpen() const { return m_open; }

    // One write of the low 8 bits of value, then a 1 ms pause once it has left the port.
    void sendByte(int value);
    // One write of count bytes, then a 5 ms pause once they have left the port.
    void sendBlock(const unsigned char *data, int count);
    // Frames the command, writes it, collects the reply within the window and verifies it
    // (frame.h, SendCommand, says how).
    bool sendCommand(const std::string &command);
    // sendCommand, and what came back.
    Reply exchange(const std::string &command);
    // Tests the checksum digits of the reply in replyBuffer / replyLength.
    bool verifyReply() const;

    // True when an exchange since the last open failed because the port had hung up (the device
    // went away: unplugged, the other side of a pseudo-terminal closed). Kept after close.
    bool wentAway() const { return m_wentAway; }
    // Milliseconds that count characters take on the wire at the open port's line settings
    // (start, data, parity and stop bits), rounded up. An unreadable settings string left the
    // line as it was, at a speed unknown here: the slowest line setting of the module is assumed.
    std::uint32_t wireTimeMs(int count) const;

    // While a reply is awaited: hand the window its messages every millisecond (the program's
    // link), or wait for the next byte without waking (a link beside others, with no window).
    bool pumpWhileWaiting = true;

    // The platform handle of the port. Every open that gets as far as the device writes it,
    // so after a failed open it holds INVALID_COMM_HANDLE; close leaves it as it is.
    CommHandleType handle = INVALID_COMM_HANDLE;
    // Bytes of the reply being received, from position 0 in order of arrival.
    unsigned char replyBuffer[kReplyBufferSize] = {};
    // Count of bytes stored for the current reply (wraps to 0 at 1024).
    std::int32_t replyLength = 0;
    // The last complete reply, line feed through carriage return (up to a zero byte).
    std::string lastReply;

private:
    void rememberLine(const std::string &settings);
    void waitUntilSent(int count);
    // The reply to the frame just written, within the window; true when it verified.
    bool collectReply();
    int readReplyByte(unsigned char *byte, std::uint32_t start);

    bool m_open = false;
    bool m_replyComplete = false;   // the current exchange has received a whole reply
    bool m_wentAway = false;
    int m_bitsPerChar = 11;
    int m_baud = 4800;
};

// The program's own link, the one the system's names stand for.
extern Link defaultLink;

} // namespace serial
