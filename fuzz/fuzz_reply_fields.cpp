// Fuzz target: the reply-field readers of the command set on arbitrary reply texts, the
// line-settings reader and the list lookup, the print-text trimming.
//
// Input layout: byte 0 a field start (signed), byte 1 a field length (signed), byte 2 a
// line-settings index (signed); the rest is the reply text, zero bytes and all. The same
// text is also read as a line-settings string and trimmed as a print text.
//
// Invariants (a violation traps): every field is the reply's characters at its 1-based
// position, never longer than asked; a status text exists only for the six status characters;
// a line-settings string that reads gives fields in their ranges and reads again the same
// when written back; a string found in BaudRateList is that entry and reads; a trimmed text
// has no byte of 32 or less at either end and sits inside the original.
//
// By hand: build-fuzz/fuzz/fuzz_reply_fields corpus-copy/ fuzz/corpus/reply_fields/

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

#include "link/commands.h"
#include "link/line_settings.h"
#include "ops/operations.h"

namespace {

[[noreturn]] void fail(const char *what)
{
    std::fprintf(stderr, "fuzz_reply_fields: %s\n", what);
    std::fflush(stderr);
    __builtin_trap();
}

void checkField(const std::string &reply, int start, int count, const std::string &field)
{
    if (start < 1 || count <= 0 || std::size_t(start) > reply.size()) {
        if (!field.empty())
            fail("a field outside the reply is not empty");
        return;
    }
    const std::size_t available = reply.size() - std::size_t(start - 1);
    const std::size_t expected = std::min<std::size_t>(available, std::size_t(count));
    if (field.size() != expected)
        fail("a field has the wrong length");
    if (reply.compare(std::size_t(start - 1), expected, field) != 0)
        fail("a field is not the reply's characters at its position");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    if (size < 3)
        return 0;
    const int start = static_cast<std::int8_t>(data[0]);
    const int count = static_cast<std::int8_t>(data[1]);
    const int index = static_cast<std::int8_t>(data[2]);
    const std::string reply(reinterpret_cast<const char *>(data + 3), size - 3);

    checkField(reply, start, count, cmd::replyField(reply, start, count));
    checkField(reply, 6, 8, cmd::infoSerial(reply));
    checkField(reply, 3, 2, cmd::infoId(reply));
    checkField(reply, 6, 8, cmd::versionText(reply));
    const std::string status = cmd::statusChar(reply);
    checkField(reply, 6, 1, status);
    const std::string text = ops::statusText(status);
    const bool known = status.size() == 1 && std::string("OPENBF").find(status[0]) != std::string::npos;
    if (text.empty() == known)
        fail("a status text for a character that has none, or none for one that has");
    if (!ops::statusText(reply).empty() && reply.size() != 1)
        fail("a status text for more than one character");

    if (const auto line = serial::parseLineSettings(reply)) {
        if (line->baud <= 0 || line->dataBits < 5 || line->dataBits > 8
            || (line->stopBits != 1 && line->stopBits != 2)
            || std::string("neoms").find(line->parity) == std::string::npos)
            fail("line settings read with a field out of range");
        const std::string again = std::to_string(line->baud) + ',' + line->parity + ','
                                + std::to_string(line->dataBits) + ',' + std::to_string(line->stopBits);
        const auto reread = serial::parseLineSettings(again);
        if (!reread || reread->baud != line->baud || reread->parity != line->parity
            || reread->dataBits != line->dataBits || reread->stopBits != line->stopBits)
            fail("line settings do not read back as they were written");
    }
    const int listed = baudRateIndex(reply);
    if (listed != -1) {
        if (listed < 0 || listed >= kBaudRateCount || reply != BaudRateList[std::size_t(listed)])
            fail("baudRateIndex names an entry that is not the string");
        if (!serial::parseLineSettings(reply))
            fail("a listed line-settings string does not read");
    }

    const std::string line = cmd::setLineSettings(index);
    if ((index >= 0 && index < kBaudRateCount) != (line.size() == 5))
        fail("setLineSettings accepted an index outside the list, or refused one inside it");

    const std::string trimmed = cmd::trimControl(reply);
    if (!trimmed.empty()
        && (static_cast<unsigned char>(trimmed.front()) <= 32 || static_cast<unsigned char>(trimmed.back()) <= 32))
        fail("a trimmed text still starts or ends with a control byte or space");
    if (reply.find(trimmed) == std::string::npos)
        fail("a trimmed text is not part of the original");
    if (cmd::printText(reply) != "E00G" + trimmed)
        fail("a print command is not E00G and the trimmed text");
    return 0;
}
