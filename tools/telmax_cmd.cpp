// telmax-cmd: one exchange per command with a module on a serial port, from the command line.
//
//   telmax-cmd [--line 19200,e,8,1] PORT COMMAND...
//
// PORT is COMn (resolved as the program resolves it: the Ports group of the settings store,
// then the default table) or a device path. Exit status: 0 when every exchange verified,
// 1 when one failed, 2 for bad usage or a port that does not open.

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#ifndef _WIN32
#include <grp.h>
#include <sys/stat.h>
#endif

#include <QCoreApplication>

#include "link/comm.h"
#include "link/commands.h"
#include "link/frame.h"
#include "link/seams.h"
#include "platform/hooks.h"
#include "settings/settings.h"

namespace {

const char kUsage[] =
    "usage: telmax-cmd [--line SETTINGS] PORT COMMAND...\n"
    "  PORT      COMn (through the Ports group of the settings store, then the default table)\n"
    "            or a device path such as /dev/ttyUSB0 or a simulator's pty\n"
    "  COMMAND   a module command text, e.g. E00B E00V E00F \"E00GHello\" E00H0D0A\n"
    "  --line    line settings, default 19200,e,8,1\n"
    "Prints each reply as text and hex, whether it verified, and its named fields.\n"
    "Exit status: 0 all verified, 1 an exchange failed, 2 bad usage or the port did not open.\n";

std::string hexOf(const unsigned char *data, std::size_t n)
{
    std::string out;
    char buf[4];
    for (std::size_t i = 0; i < n; ++i) {
        std::snprintf(buf, sizeof buf, i ? " %02X" : "%02X", data[i]);
        out += buf;
    }
    return out;
}

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

std::string groupOf(const std::string &device)
{
#ifdef _WIN32
    (void)device;
    return {};
#else
    struct stat st {};
    if (::stat(device.c_str(), &st) != 0)
        return {};
    if (const group *g = ::getgrgid(st.st_gid))
        return g->gr_name;
    return std::to_string(st.st_gid);
#endif
}

std::string openFailureText(const std::string &port, const std::string &device)
{
    const serial::OpenResult r = serial::lastOpenResult();
    switch (r.failure) {
    case serial::OpenFailure::NoDevice:
        return port + " names no device (add " + port + "=/dev/... to the Ports group of the settings store)";
    case serial::OpenFailure::Missing:
        return device + ": no such device (cable unplugged or wrong port?)";
    case serial::OpenFailure::Busy:
        return device + ": busy, another program holds the port";
    case serial::OpenFailure::Permission: {
        const std::string group = groupOf(device);
        return device + ": permission denied" +
               (group.empty() ? std::string() : " (the device belongs to group '" + group + "'; join it: sudo usermod -aG " + group + " $USER, then log in again)");
    }
    default:
        return device + ": cannot open: " + std::strerror(r.error);
    }
}

bool isComName(const std::string &s, int *number)
{
    if (s.size() < 4 || (s.compare(0, 3, "COM") != 0 && s.compare(0, 3, "com") != 0))
        return false;
    int n = 0;
    for (std::size_t i = 3; i < s.size(); ++i) {
        if (s[i] < '0' || s[i] > '9' || n > 100000)
            return false;
        n = n * 10 + (s[i] - '0');
    }
    *number = n;
    return n > 0;
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

int main(int argc, char **argv)
{
    const platform::TimerResolution timer;   // 1 ms pauses and polls, not the system's default tick
    QCoreApplication app(argc, argv);        // for the settings store's port map

    std::string line = BaudRateList[kDefaultBaudRateNo];
    std::vector<std::string> args;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "-h" || a == "--help") {
            std::fputs(kUsage, stdout);
            return 0;
        }
        if (a == "--line") {
            if (i + 1 >= argc) {
                std::fputs("telmax-cmd: --line needs a value such as 19200,e,8,1\n", stderr);
                return 2;
            }
            line = argv[++i];
            if (baudRateIndex(line) < 0)
                std::fprintf(stderr, "telmax-cmd: note: %s is not one of the module's twelve line settings\n", line.c_str());
            continue;
        }
        args.push_back(a);
    }
    if (args.size() < 2) {
        std::fputs(kUsage, stderr);
        return 2;
    }

    const std::string port = args[0];
    int number = 0;
    std::string device;
    if (isComName(port, &number)) {
        LoadSettings();   // brings the Ports group into the port map, as the program does at start
        device = serial::resolvePort(number);
    } else {
        // A device path stands for itself: give it a number no table uses.
        device = port;
        number = 1000000;
        serial::setPortMap({{number, device}});
    }

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
        const std::string before = LastReply;
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
        (void)before;
    }
    CloseComm();
    return allVerified ? 0 : 1;
}
