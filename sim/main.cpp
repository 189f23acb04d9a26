// telmax-sim: a TELMAX-3Q module on a pseudo-terminal, for trying the utility without hardware.

#include <cstdio>
#include <cstdlib>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <functional>
#include <optional>
#include <string>

#include "module.h"
#include "pty_loop.h"
#include "link/wire_text.h"

namespace {

const char kHelp[] = R"(Usage: telmax-sim [options]
A TELMAX-3Q printer module on a pseudo-terminal. Prints the slave device's path as its
first line, then answers command frames on it until SIGTERM, SIGINT or SIGHUP.

Module:
  --serial TEXT        S/N, 8 printable characters (default TQ123456)
  --id NN              module ID, 1 to 99 (default 01)
  --firmware TEXT      firmware version, 8 printable characters (default 03.10-07)
  --line N             line setting, index 0 to 11 or its text, e.g. 19200,e,8,1 (default 5)
  --status C           printer status character (default O)
Only frames with a right checksum are answered, and only while the port runs at the baud
rate of the module's line setting. A pseudo-terminal carries no parity, so the parity of
the line setting is not enforced.
Reply characters are "E", the module's ID, the command letter and the data: "E00B" at
ID 01 is answered with "E01BTQ123456"; "E00C", "E00E", "E00G" and "E00H" with no data.
A new line setting takes effect once its reply has been sent.
Refused commands ("E00C" with another S/N or a bad ID, a bad "E00E" index, bad hex in
"E00H", unknown commands) get no reply.
A TEXT may also hold control bytes, for a module that sends them, e.g. --serial $'TQ\e[2J45'
in bash; not 00, 09, 0A or 0D, which end or start a frame.

Output files:
  --link PATH          also make PATH a symlink to the slave (removed at exit)
  --paper FILE         append printed bytes to FILE
  --log FILE           one JSON object per line for every frame received and reply sent,
                       with the time in ms ("t") and the bytes in hex ("hex") and as text;
                       "ok" is false for a frame left unanswered, with a "reason"; events
                       (start, line, hangup, stop, end) carry "event" instead of "dir".
                       A frame and its reply, each line after "> ":

                       > {"t":ms,"dir":"rx",...,"text":"E00B","baud":19200,"ok":true}
                       > {"t":ms,"dir":"tx",...,"text":"E01BTQ123456"}

Faults:
  --silent             never answer
  --drop-first N       swallow the first N replies (the module does not act on those commands)
  --drop-every N       swallow every Nth reply (likewise)
  --delay MS           start each reply MS milliseconds after its frame
  --trickle MS         send reply bytes MS milliseconds apart
  --corrupt-checksum   send wrong checksum digits
  --wrong-info-length  answer "E00B" with one reply character too many (17 bytes)
  --stray-byte         send the byte 0x55 in front of every reply
  --no-version         never answer "E00V"
  --hangup-after N     after N commands with a right checksum, close the pty and end
  --ignore-set-id      acknowledge "E00C" and keep the ID as it was
  --echo               send every byte received straight back, before any reply (a
                       loopback plug, or an RS-485 adapter that echoes; with --silent,
                       a loopback alone)
  --noise              answer every frame, at any baud rate, with 8 bytes that are no
                       frame (F0 8C 66 E6 00 78 FE 80) and never with a reply: another
                       device, or one at another line setting
A late reply is --delay with more than the program's 120 ms reply window.

Program:
  --help               print this help and end
  --version            print the program's name and version and end

Exit status: 0 when stopped or hung up, 1 when the pty or a file cannot be set up,
2 for a bad option.
)";

[[noreturn]] void bad(const std::string &message)
{
    std::fprintf(stderr, "telmax-sim: %s\n", message.c_str());
    std::exit(2);
}

int number(const std::string &option, const std::string &text, int low, int high)
{
    const auto v = wire::decimal(text);
    if (!v || *v < low || *v > high)
        bad("bad value for " + option + ": '" + text + "' (expected " + std::to_string(low) + " to "
            + std::to_string(high) + ")");
    return int(*v);
}

// The module's own state: S/N, ID, firmware version, line setting, status. False when opt is none of them.
bool moduleOption(const std::string &opt, const std::function<std::string()> &value, sim::ModuleState &state)
{
    if (opt == "--serial") {
        const std::string v = value();
        if (!sim::isFieldText(v, 8))
            bad("bad value for --serial: '" + v + "' (expected 8 printable characters)");
        state.serial = v;
    } else if (opt == "--id") {
        const std::string v = value();
        const auto id = sim::parseId(v);
        if (!id)
            bad("bad value for --id: '" + v + "' (expected 1 to 99)");
        state.id = *id;
    } else if (opt == "--firmware") {
        const std::string v = value();
        if (!sim::isFieldText(v, 8))
            bad("bad value for --firmware: '" + v + "' (expected 8 printable characters)");
        state.version = v;
    } else if (opt == "--line") {
        const std::string v = value();
        const auto index = sim::parseLineSetting(v);
        if (!index)
            bad("bad value for --line: '" + v + "' (expected 0 to 11 or a line-settings text)");
        state.lineSetting = *index;
    } else if (opt == "--status") {
        const std::string v = value();
        if (!sim::isFieldText(v, 1))
            bad("bad value for --status: '" + v + "' (expected one printable character)");
        state.status = v[0];
    } else {
        return false;
    }
    return true;
}

// The faults to play and the files to write. False when opt is none of them.
bool loopOption(const std::string &opt, const std::function<std::string()> &value, sim::LoopOptions &o)
{
    if (opt == "--link") {
        o.linkPath = value();
    } else if (opt == "--paper") {
        o.paperPath = value();
    } else if (opt == "--log") {
        o.logPath = value();
    } else if (opt == "--silent") {
        o.faults.silent = true;
    } else if (opt == "--drop-first") {
        o.faults.dropFirst = number(opt, value(), 1, 1000000);
    } else if (opt == "--drop-every") {
        o.faults.dropEvery = number(opt, value(), 1, 1000000);
    } else if (opt == "--delay") {
        o.delayMs = number(opt, value(), 0, 60000);
    } else if (opt == "--trickle") {
        o.trickleMs = number(opt, value(), 0, 10000);
    } else if (opt == "--corrupt-checksum") {
        o.faults.corruptChecksum = true;
    } else if (opt == "--wrong-info-length") {
        o.faults.wrongInfoLength = true;
    } else if (opt == "--stray-byte") {
        o.faults.strayByte = true;
    } else if (opt == "--no-version") {
        o.faults.noVersion = true;
    } else if (opt == "--ignore-set-id") {
        o.faults.ignoreSetId = true;
    } else if (opt == "--echo") {
        o.faults.echo = true;
    } else if (opt == "--noise") {
        o.faults.noise = true;
    } else if (opt == "--hangup-after") {
        o.hangupAfter = number(opt, value(), 1, 1000000);
    } else {
        return false;
    }
    return true;
}

} // namespace

int main(int argc, char **argv)
{
    sim::LoopOptions o;
    for (int i = 1; i < argc; ++i) {
        const std::string opt = argv[i];
        const auto value = [&]() -> std::string {
            if (i + 1 >= argc)
                bad("option " + opt + " needs a value");
            return argv[++i];
        };
        if (opt == "--help" || opt == "-h") {
            std::fputs(kHelp, stdout);
            return 0;
        }
        if (opt == "--version")
            return std::fputs("telmax-sim " TELMAX_VERSION "\n", stdout) < 0 || std::fflush(stdout) != 0 ? 1 : 0;
        if (!moduleOption(opt, value, o.state) && !loopOption(opt, value, o))
            bad("unknown option '" + opt + "' (see --help)");
    }
    return sim::runSimulator(o);
}
