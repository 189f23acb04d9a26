// Fuzz target: the simulator's frame handling (sim::Module receive / next / replySent) on
// arbitrary bytes and port speeds, with the module's state and faults taken from the input.
//
// Input layout: byte 0 the module's line-settings index (mod 12), byte 1 its printer status
// (a printable character), byte 2 its ID (1..99), byte 3 faults (bit 0 silent, 1 corrupt
// checksum, 2 wrong info length, 3 stray byte, 4 no version, bits 5-6 drop the first 0..3
// replies), byte 4 drop every Nth reply (0..4); then chunks: a speed byte (bit 7 clear: the
// module's own speed; set: one of 16 speeds, some the module never uses), a length byte
// and that many bytes from the line.
//
// Invariants (a violation traps): only a frame with a right checksum, at the module's speed,
// is answered; every reply is 0A, the reply characters, two checksum digits, 0D (right digits
// unless the faults ask for wrong ones, one stray byte in front when they ask for it); the
// reply characters are "E", the ID, the command letter and printable data; the module's
// state stays one the module can be in.
//
// By hand: build-fuzz/fuzz/fuzz_sim_module corpus-copy/ fuzz/corpus/sim_module/

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "sim/module.h"

namespace {

[[noreturn]] void fail(const char *what)
{
    std::fprintf(stderr, "fuzz_sim_module: %s\n", what);
    std::fflush(stderr);
    __builtin_trap();
}

char hexDigit(unsigned nibble) { return "0123456789ABCDEF"[nibble & 0x0Fu]; }

bool checksumRight(const std::vector<unsigned char> &bytes, std::size_t first, std::size_t digitsAt)
{
    unsigned char sum = 0;
    for (std::size_t i = first; i < digitsAt; ++i)
        sum ^= bytes[i];
    return bytes[digitsAt] == static_cast<unsigned char>(hexDigit(sum >> 4))
        && bytes[digitsAt + 1] == static_cast<unsigned char>(hexDigit(sum));
}

void checkState(const sim::ModuleState &s)
{
    if (s.lineSetting < 0 || s.lineSetting >= int(sim::kLineSettings.size()))
        fail("the module's line setting left the list");
    if (s.id.size() != 2 || s.id < "01" || s.id > "99" || s.id[0] < '0' || s.id[0] > '9' || s.id[1] < '0'
        || s.id[1] > '9')
        fail("the module's ID is not 01..99");
}

// after: the module's state once the frame was handled; a new ID already answers as itself.
void checkOutcome(const sim::Outcome &out, const sim::Faults &faults, const sim::ModuleState &after,
                  int moduleBaud)
{
    const auto &r = out.received;
    if (r.empty())
        fail("an outcome of no bytes");
    if (out.isFrame) {
        if (r.front() != 0x09 || r.back() != 0x0D || r.size() > sim::kMaxFrameBytes)
            fail("a frame that is not 09 ... 0D within the longest frame");
        for (std::size_t i = 1; i + 1 < r.size(); ++i)
            if (r[i] == 0x09 || r[i] == 0x0D)
                fail("a frame with a start or end byte inside it");
    }
    if (!out.answered()) {
        if (!out.reply.empty())
            fail("reply bytes for an outcome without a reply");
        return;
    }
    if (!out.isFrame || r.size() < 4 || !checksumRight(r, 0, r.size() - 3))
        fail("an answer to bytes that are not a frame with a right checksum");
    if (out.baud != moduleBaud)
        fail("an answer to a frame at another speed");
    if (faults.silent)
        fail("an answer from a silent module");

    const std::string &chars = out.replyText;
    if (chars.size() < 4 || chars[0] != 'E' || chars.compare(1, 2, after.id) != 0 || chars[3] != char(r[4]))
        fail("reply characters are not E, the ID and the command letter");
    for (char c : chars)
        if (static_cast<unsigned char>(c) < 0x20 || static_cast<unsigned char>(c) > 0x7E)
            fail("a reply character that is not printable");

    std::vector<unsigned char> frame = out.reply;
    if (faults.strayByte) {
        if (frame.empty() || frame.front() != sim::kStrayByte)
            fail("no stray byte in front of the reply");
        frame.erase(frame.begin());
    }
    if (frame.size() != chars.size() + 4 || frame.front() != 0x0A || frame.back() != 0x0D
        || std::string(frame.begin() + 1, frame.end() - 3) != chars)
        fail("a reply frame that is not 0A, the characters, two digits, 0D");
    for (std::size_t i = frame.size() - 3; i < frame.size() - 1; ++i)
        if (std::string("0123456789ABCDEF").find(char(frame[i])) == std::string::npos)
            fail("reply checksum digits that are not upper-case hexadecimal");
    if (checksumRight(frame, 0, frame.size() - 3) == faults.corruptChecksum)
        fail(faults.corruptChecksum ? "a reply with right digits where they must be wrong"
                                    : "a reply with wrong checksum digits");
    if (!out.paper.empty() && chars[3] != 'G' && chars[3] != 'H')
        fail("paper from a command that does not print");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    if (size < 5)
        return 0;
    sim::ModuleState state;
    state.lineSetting = data[0] % int(sim::kLineSettings.size());
    state.status = static_cast<char>(0x20 + data[1] % 95);
    const int id = 1 + data[2] % 99;
    state.id = std::string(1, char('0' + id / 10)) + char('0' + id % 10);
    sim::Faults faults;
    faults.silent = data[3] & 0x01u;
    faults.corruptChecksum = data[3] & 0x02u;
    faults.wrongInfoLength = data[3] & 0x04u;
    faults.strayByte = data[3] & 0x08u;
    faults.noVersion = data[3] & 0x10u;
    faults.dropFirst = (data[3] >> 5) & 3;
    faults.dropEvery = data[4] % 5;

    static const int kSpeeds[16] = {4800, 9600, 19200, 38400, 57600, 115200, 0,      300,
                                    1200, 2400, 14400, 28800, 76800, 230400, -19200, 2147483647};
    sim::Module module(state, faults);
    std::size_t i = 5;
    int taken = 0;
    while (i + 1 < size) {
        const unsigned speed = data[i];
        const std::size_t length = std::min<std::size_t>(data[i + 1], size - i - 2);
        const unsigned char *chunk = data + i + 2;
        i += 2 + length;
        module.receive(chunk, length);
        for (std::size_t guard = 0;; ++guard) {
            if (guard > length + 1000)
                fail("next() keeps giving outcomes");
            const int moduleBaud = module.baud();
            const int portBaud = (speed & 0x80u) ? kSpeeds[speed & 0x0Fu] : moduleBaud;
            const auto out = module.next(portBaud);
            if (!out)
                break;
            checkOutcome(*out, faults, module.state(), moduleBaud);
            if (out->answered())
                module.replySent();
            checkState(module.state());
            if (module.commandsTaken() < taken)
                fail("the count of commands taken went down");
            taken = module.commandsTaken();
        }
    }
    return 0;
}
