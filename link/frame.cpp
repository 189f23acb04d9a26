#include "frame.h"

#include <cstring>

#include "comm.h"
#include "platform/hooks.h"
#include "seams.h"

unsigned char ReplyBuffer[kReplyBufferSize];
std::int32_t ReplyLength = 0;
std::string LastReply;

unsigned char CommandChecksum(const char *text, int count)
{
    unsigned char sum = 0x09;
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
    std::string frame = "\x09" + command;
    frame += digits[0];
    frame += digits[1];
    frame += '\r';
    return frame;
}

bool expectsReply(const std::string &command)
{
    return !(command.size() >= 2 && command[0] == '0' && command[1] == '0');
}

bool VerifyReply()
{
    const std::int32_t length = ReplyLength;
    if (length < 4)
        return false;
    unsigned char sum = 0;
    for (std::int32_t i = 0; i <= length - 4; ++i)
        sum ^= ReplyBuffer[i];
    char expected[2];
    ByteToHex(sum, expected);
    return ReplyBuffer[length - 3] == static_cast<unsigned char>(expected[0])
        && ReplyBuffer[length - 2] == static_cast<unsigned char>(expected[1]);
}

void WaitMs(int ms)
{
    const std::uint32_t start = platform::NowMs();
    while (platform::NowMs() - start < static_cast<std::uint32_t>(ms)) {
    }
}

bool SendCommand(const std::string &command)
{
    std::memset(ReplyBuffer, 0, sizeof ReplyBuffer);

    // The command text ends at its first zero byte, as a zero-terminated text does.
    const std::size_t textLength = std::strlen(command.c_str());
    if (textLength > static_cast<std::size_t>(kMaxCommandLength)) {
        // Cutting it to fit would print a different text and still report success.
        ReplyLength = 0;
        return false;
    }
    const int n = static_cast<int>(textLength);

    char digits[2];
    ByteToHex(CommandChecksum(command.c_str(), n), digits);

    serial::PortBackend &port = serial::backend();
    // Whatever is waiting now came before this frame (a reply after its window had closed,
    // noise); taken as the answer to this command it would be read as the wrong reply.
    port.discardInput(CommHandle);

    SendByte(0x09);
    SendBlock(reinterpret_cast<const unsigned char *>(command.c_str()), n);
    SendByte(digits[0]);
    SendByte(digits[1]);
    SendByte(0x0D);

    ReplyLength = 0;

    if (!expectsReply(command.substr(0, textLength))) {
        WaitMs(10);
        return true;
    }

    // A device that keeps sending without ever completing a reply (a scale, a GPS, a terminal
    // on the wrong port) would keep the window open for good: an exchange ends at the latest
    // when a whole buffer's worth of bytes could have arrived after the window.
    const std::uint32_t limit = kReplyWindowMs + serial::wireTimeMs(kReplyBufferSize);
    const std::uint32_t start = platform::NowMs();
    std::uint32_t elapsed = 0;
    for (;;) {
        unsigned char byte = 0;
        if (port.readByte(CommHandle, &byte) == 1) {
            ReplyBuffer[ReplyLength] = byte;
            ++ReplyLength;
            if (ReplyLength == kReplyBufferSize)
                ReplyLength = 0;
            if (byte == 0x0D && ReplyBuffer[0] == 0x0A) {
                ReplyBuffer[ReplyLength] = 0;
                LastReply.assign(reinterpret_cast<const char *>(ReplyBuffer),
                                 std::strlen(reinterpret_cast<const char *>(ReplyBuffer)));
                return VerifyReply();
            }
            // The window is measured only after a read that brought nothing; the limit always.
            if (platform::NowMs() - start > limit)
                return false;
            continue;
        }
        platform::PumpMessages();
        elapsed = platform::NowMs() - start;
        if (elapsed > kReplyWindowMs)
            return false;
    }
}
