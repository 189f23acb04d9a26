#pragma once
// One command/reply exchange with the module over the open port, by the system's names.
//
// Command frame: 09, the command bytes, two checksum digits, 0D.
// Reply frame:   0A, the reply characters, two checksum digits, 0D.
// Checksum: exclusive-or from the start byte through the last character, as two
// upper-case hexadecimal digits, high nibble first.

#include <cstdint>
#include <string>

#include "link.h"

// The bytes that frame an exchange: a command starts with 09, a reply with 0A, and both end
// with 0D.
inline constexpr unsigned char kCommandStart = 0x09;
inline constexpr unsigned char kReplyStart = 0x0A;
inline constexpr unsigned char kFrameEnd = 0x0D;

// Of the default link (serial::defaultLink): the reply being received, its length (wraps to 0
// at 1024), and the last complete reply, line feed through carriage return (up to a zero byte).
extern unsigned char (&ReplyBuffer)[kReplyBufferSize];
extern std::int32_t &ReplyLength;
extern std::string &LastReply;

// Frames the command, writes it, collects the reply within the window and verifies it.
// Bytes that arrived before the frame's end byte is written are dropped: only what comes
// after it can be its reply. Bytes arriving without a gap extend the window, but never past
// the window plus the wire time of a full buffer. A command beginning "00" expects no reply:
// true after 10 ms. A command longer than 255 bytes is refused: false, nothing written, ReplyLength 0,
// LastReply unchanged. On the default link.
bool SendCommand(const std::string &command);
// Tests the checksum digits of the reply in ReplyBuffer / ReplyLength.
bool VerifyReply();

namespace serial {
// SendCommand, with what came back as a value: the names above are the link's own, and the
// next exchange's.
Reply exchange(const std::string &command);
} // namespace serial

// The frame of a command as the line carries it: 09, the command, two checksum digits, 0D.
std::string commandFrame(const std::string &command);
// A command beginning "00" is answered by nothing.
bool expectsReply(const std::string &command);

// kCommandStart exclusive-or the first count bytes of text (none when count <= 0).
unsigned char CommandChecksum(const char *text, int count);
// Writes the two upper-case hexadecimal digits of value, high nibble first.
void ByteToHex(unsigned char value, char out[2]);
// Busy-waits until at least ms have passed on the millisecond clock; handles no messages.
void WaitMs(int ms);
