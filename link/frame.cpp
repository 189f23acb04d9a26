#include "frame.h"

#include <cstring>

#include "comm.h"
#include "platform/hooks.h"
#include "seams.h"

unsigned char (&ReplyBuffer)[kReplyBufferSize] = serial::defaultLink.replyBuffer;
std::int32_t &ReplyLength = serial::defaultLink.replyLength;
std::string &LastReply = serial::defaultLink.lastReply;

unsigned char CommandChecksum(const char *text, int count)
{
    unsigned char sum = kCommandStart;
    for (int i = 0; i < count; ++i)
        sum ^= static_cast<unsigned char>(text[i]);
    return sum;
}

void ByteToHex(unsigned char value, char out[2])
{
    const auto digit = [](unsigned nibble) {
        return static_cast<char>(nibble < 10 ? 0x30 + nibble : 0x37 + nibble);
    };
    out[0] = digit(value >> 4);
    out[1] = digit(value & 0x0Fu);
}

std::string commandFrame(const std::string &command)
{
    char digits[2];
    ByteToHex(CommandChecksum(command.data(), int(command.size())), digits);
    std::string frame = char(kCommandStart) + command;
    frame += digits[0];
    frame += digits[1];
    frame += char(kFrameEnd);
    return frame;
}

bool expectsReply(const std::string &command)
{
    return !(command.size() >= 2 && command[0] == '0' && command[1] == '0');
}

bool VerifyReply() { return serial::defaultLink.verifyReply(); }

bool SendCommand(const std::string &command) { return serial::defaultLink.sendCommand(command); }

serial::Reply serial::exchange(const std::string &command) { return defaultLink.exchange(command); }

void WaitMs(int ms)
{
    const std::uint32_t start = platform::NowMs();
    while (platform::NowMs() - start < static_cast<std::uint32_t>(ms)) {
    }
}

namespace serial {

bool Link::verifyReply() const
{
    const std::int32_t length = replyLength;
    if (length < 4)
        return false;
    unsigned char sum = 0;
    for (std::int32_t i = 0; i <= length - 4; ++i)
        sum ^= replyBuffer[i];
    char expected[2];
    ByteToHex(sum, expected);
    return replyBuffer[length - 3] == static_cast<unsigned char>(expected[0])
        && replyBuffer[length - 2] == static_cast<unsigned char>(expected[1]);
}

// The window's link looks for a byte every millisecond and handles the window's messages in
// between; a link beside others waits for the next byte, at most until the window started at
// start would end.
int Link::readReplyByte(unsigned char *byte, std::uint32_t start)
{
    if (pumpWhileWaiting)
        return backend().readByte(handle, byte);
    const std::uint32_t elapsed = platform::NowMs() - start;
    return backend().readByteWithin(handle, byte, elapsed >= kReplyWindowMs ? 1 : kReplyWindowMs - elapsed + 1);
}

bool Link::sendCommand(const std::string &command)
{
    std::memset(replyBuffer, 0, sizeof replyBuffer);
    m_replyComplete = false;

    // The command text ends at its first zero byte, as a zero-terminated text does.
    const std::size_t textLength = std::strlen(command.c_str());
    if (textLength > static_cast<std::size_t>(kMaxCommandLength)) {
        // Cutting it to fit would print a different text and still report success.
        replyLength = 0;
        return false;
    }
    const int n = static_cast<int>(textLength);

    char digits[2];
    ByteToHex(CommandChecksum(command.c_str(), n), digits);

    sendByte(kCommandStart);
    sendBlock(reinterpret_cast<const unsigned char *>(command.c_str()), n);
    sendByte(digits[0]);
    sendByte(digits[1]);
    // The module answers a frame only once it has its end: whatever has arrived by now came
    // before (a reply after its window had closed, also one still arriving while this frame was
    // written; noise) and taken as the answer to this command would be the wrong reply.
    backend().discardInput(handle);
    sendByte(kFrameEnd);

    replyLength = 0;

    if (!expectsReply(command.substr(0, textLength))) {
        WaitMs(10);
        return true;
    }

    const bool verified = collectReply();
    if (!verified && backend().hungUp(handle))
        m_wentAway = true;
    return verified;
}

Reply Link::exchange(const std::string &command)
{
    Reply reply;
    reply.verified = sendCommand(command);
    reply.complete = m_replyComplete;
    if (m_replyComplete)
        reply.text = lastReply;
    reply.received.assign(reinterpret_cast<const char *>(replyBuffer), std::size_t(replyLength));
    return reply;
}

bool Link::collectReply()
{
    // A device that keeps sending without ever completing a reply (a scale, a GPS, a terminal
    // on the wrong port) would keep the window open for good: an exchange ends at the latest
    // when a whole buffer's worth of bytes could have arrived after the window.
    const std::uint32_t limit = kReplyWindowMs + wireTimeMs(kReplyBufferSize);
    const std::uint32_t start = platform::NowMs();
    std::uint32_t elapsed = 0;
    for (;;) {
        unsigned char byte = 0;
        if (readReplyByte(&byte, start) == 1) {
            replyBuffer[replyLength] = byte;
            ++replyLength;
            if (replyLength == kReplyBufferSize)
                replyLength = 0;
            if (byte == kFrameEnd && replyBuffer[0] == kReplyStart) {
                replyBuffer[replyLength] = 0;
                lastReply.assign(reinterpret_cast<const char *>(replyBuffer),
                                 std::strlen(reinterpret_cast<const char *>(replyBuffer)));
                m_replyComplete = true;
                return verifyReply();
            }
            // The window is measured only after a read that brought nothing; the limit always.
            if (platform::NowMs() - start > limit)
                return false;
            continue;
        }
        if (pumpWhileWaiting)
            platform::PumpMessages();
        elapsed = platform::NowMs() - start;
        if (elapsed > kReplyWindowMs)
            return false;
    }
}

} // namespace serial
