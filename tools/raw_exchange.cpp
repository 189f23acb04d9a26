#include "tools/raw_exchange.h"

#include <cstdio>

#include "link/comm.h"
#include "link/commands.h"
#include "link/frame.h"
#include "link/seams.h"
#include "settings/settings.h"
#include "tools/port_report.h"
#include "tools/trace_port.h"

namespace tools {

const char kRawUsage[] =
    "Given a PORT, telmax-cmd makes one exchange per module command on that port and\n"
    "prints each reply as text and hex, whether it verified, and its named fields:\n"
    "  telmax-cmd COM3 E00B E00V E00F \"E00GHello\" E00H0D0A\n"
    "PORT is COMn (through VOREX/ports.conf, then the default table) or a device\n"
    "path; --line defaults to 19200,e,8,1.\n";

namespace {

std::string printable(const std::string &s)
{
    std::string out;
    for (unsigned char c : s) {
        if (c == '\n') out += "\\n";
        else if (c == '\r') out += "\\r";
        else if (c == '\\') out += "\\\\";
        else if (c < 32 || c == 127) {
            char buf[8];
            std::snprintf(buf, sizeof buf, "\\x%02X", c);
            out += buf;
        } else out += char(c);
    }
    return out;
}

std::string frameOf(const std::string &command)
{
    char digits[2];
    ByteToHex(CommandChecksum(command.c_str(), int(command.size())), digits);
    std::string f = "\x09" + command;
    f += digits[0];
    f += digits[1];
    f += '\r';
    return f;
}

void printFields(const std::string &command)
{
    if (command == cmd::moduleInfo()) {
        if (ReplyLength == cmd::kInfoReplyLength) {
            std::printf("  S/N     %s\n", printable(cmd::infoSerial(LastReply)).c_str());
            std::printf("  ID      %s\n", printable(cmd::infoId(LastReply)).c_str());
        } else {
            std::printf("  info reply is %d bytes, not 16: not accepted as the module\n", int(ReplyLength));
        }
    } else if (command == cmd::firmwareVersion()) {
        std::printf("  version %s\n", printable(cmd::versionText(LastReply)).c_str());
    } else if (command == cmd::printerStatus()) {
        const std::string c = cmd::statusChar(LastReply);
        const std::string text = cmd::statusText(c);
        std::printf("  status  %s%s\n", printable(c).c_str(), text.empty() ? " (no status text)" : (" " + text).c_str());
    }
}

} // namespace

int runRawExchanges(const std::vector<std::string> &all)
{
    std::string line = BaudRateList[kDefaultBaudRateNo];
    std::vector<std::string> args;
    for (std::size_t i = 0; i < all.size(); ++i) {
        if (all[i] == "--line") {
            if (i + 1 >= all.size()) {
                std::fputs("telmax-cmd: --line needs a value such as 19200,e,8,1\n", stderr);
                return 2;
            }
            line = all[++i];
            if (baudRateIndex(line) < 0)
                std::fprintf(stderr, "telmax-cmd: note: %s is not one of the module's twelve line settings\n", line.c_str());
            continue;
        }
        args.push_back(all[i]);
    }
    if (args.size() < 2) {
        std::fputs("Usage: telmax-cmd [--line SETTINGS] PORT COMMAND...\n", stderr);
        std::fputs(kRawUsage, stderr);
        return 2;
    }

    const std::string port = args[0];
    LoadPortMap();   // the port map, as the program reads it at start
    const int number = portNumberFor(port);
    const std::string device = serial::resolvePort(number);

    if (!OpenComm(number, line)) {
        std::fprintf(stderr, "telmax-cmd: %s\n", openFailureText(port, device).c_str());
        return 2;
    }
    std::printf("%s = %s at %s\n", port.c_str(), device.c_str(), line.c_str());

    bool allVerified = true;
    for (std::size_t i = 1; i < args.size(); ++i) {
        const std::string &command = args[i];
        std::printf("> %s\n", printable(command).c_str());
        if (command.size() > std::size_t(kMaxCommandLength)) {
            std::printf("  refused: %zu bytes, a command holds at most %d\n", command.size(), kMaxCommandLength);
            allVerified = false;
            continue;
        }
        const std::string frame = frameOf(command);
        std::printf("  sent    %s\n", hexOf(reinterpret_cast<const unsigned char *>(frame.data()), frame.size()).c_str());
        const bool ok = SendCommand(command);
        if (command.size() >= 2 && command[0] == '0' && command[1] == '0') {
            std::printf("  no reply expected\n");
            continue;
        }
        const bool complete = ReplyLength >= 2 && ReplyBuffer[0] == 0x0A && ReplyBuffer[ReplyLength - 1] == 0x0D;
        if (complete) {
            std::printf("  reply   \"%s\"\n", printable(LastReply).c_str());
            std::printf("  hex     %s\n", hexOf(reinterpret_cast<const unsigned char *>(LastReply.data()), LastReply.size()).c_str());
        } else if (ReplyLength > 0) {
            std::printf("  partial %s\n", hexOf(ReplyBuffer, std::size_t(ReplyLength)).c_str());
        }
        if (ok) {
            std::printf("  verified (%d bytes)\n", int(ReplyLength));
            printFields(command);
        } else if (complete) {
            std::printf("  NOT verified: checksum digits wrong or reply too short (%d bytes)\n", int(ReplyLength));
            allVerified = false;
        } else {
            std::printf("  NOT verified: no complete reply within %u ms\n", unsigned(kReplyWindowMs));
            allVerified = false;
        }
    }
    CloseComm();
    return allVerified ? 0 : 1;
}

} // namespace tools
