#include "tools/raw_exchange.h"

#include <cstdio>

#include "link/comm.h"
#include "link/commands.h"
#include "link/frame.h"
#include "link/seams.h"
#include "link/wire_text.h"
#include "ops/operations.h"
#include "ops/port_messages.h"
#include "ops/start_up.h"
#include "ops/visible_text.h"
#include "tools/exit_status.h"
#include "tools/output.h"
#include "tools/verb_grammar.h"

namespace tools {

const char kRawUsage[] =
    "Given a PORT, telmax-cmd makes one exchange per module command on that port and\n"
    "prints each reply as text and hex, whether it verified, and its named fields:\n"
    "  telmax-cmd COM3 E00B E00V E00F \"E00GHello\" E00H0D0A\n"
    "PORT is COMn (through VOREX/ports.conf, then the default table) or a device\n"
    "path; --line is one of the twelve line settings, by default 19200,e,8,1.\n";

namespace {

// A reply as people are shown it: its bytes as the module's characters (Latin-1, as the window
// reads them), control bytes visible.
std::string printable(const std::string &reply)
{
    return local(ops::visibleText(QString::fromLatin1(reply.data(), qsizetype(reply.size()))));
}

std::string fieldsOf(const std::string &command, const serial::Reply &reply)
{
    const std::string &text = reply.text;
    if (command == cmd::moduleInfo()) {
        const std::size_t length = reply.received.size();
        if (length != std::size_t(cmd::kInfoReplyLength))
            return "  info reply is " + std::to_string(length) + " bytes, not 16: not accepted as the module\n";
        return "  S/N     " + printable(cmd::infoSerial(text)) + "\n  ID      " + printable(cmd::infoId(text)) + "\n";
    }
    if (command == cmd::firmwareVersion())
        return "  version " + printable(cmd::versionText(text)) + "\n";
    if (command == cmd::printerStatus()) {
        const std::string c = cmd::statusChar(text);
        const std::string words = ops::statusText(c);
        return "  status  " + printable(c) + (words.empty() ? " (no status text)" : " " + words) + "\n";
    }
    return {};
}

// One exchange and what it showed; false when it did not verify.
bool exchangeShown(const std::string &command, std::string &out)
{
    out = "> " + local(ops::visibleText(fromLocal(command))) + "\n";   // as typed
    if (command.size() > std::size_t(kMaxCommandLength)) {
        out += "  refused: " + std::to_string(command.size()) + " bytes, a command holds at most "
               + std::to_string(kMaxCommandLength) + "\n";
        return false;
    }
    out += "  sent    " + wire::hex(commandFrame(command)) + "\n";
    const serial::Reply reply = serial::exchange(command);
    if (!expectsReply(command)) {
        out += "  no reply expected\n";
        return true;
    }
    const std::string length = std::to_string(reply.received.size());
    if (reply.complete)
        out += "  reply   \"" + printable(reply.text) + "\"\n  hex     " + wire::hex(reply.text) + "\n";
    else if (!reply.received.empty())
        out += "  partial " + wire::hex(reply.received) + "\n";
    if (reply.verified)
        out += "  verified (" + length + " bytes)\n" + fieldsOf(command, reply);
    else if (reply.complete)
        out += "  NOT verified: checksum digits wrong or reply too short (" + length + " bytes)\n";
    else
        out += "  NOT verified: no complete reply within " + std::to_string(kReplyWindowMs) + " ms\n";
    return reply.verified;
}

int usage(const std::string &error)
{
    std::fprintf(stderr, "telmax-cmd: %s\nUsage: telmax-cmd [--line SETTINGS] PORT COMMAND...\n%s", error.c_str(),
                 kRawUsage);
    return 2;
}

} // namespace

int runRawExchanges(const std::vector<std::string> &all)
{
    std::string line = BaudRateList[kDefaultBaudRateNo];
    std::vector<std::string> args;
    for (std::size_t i = 0; i < all.size(); ++i) {
        const std::string &a = all[i];
        if (a == "--line") {
            if (i + 1 >= all.size())
                return usage("--line needs a value such as 19200,e,8,1");
            const auto index = lineIndex(all[++i]);
            if (!index)
                return usage("--line " + all[i] + " is not one of the module's twelve line settings"
                             " (0 to 11, or 4800,n,8,1 ... 115200,e,8,1)");
            line = BaudRateList[std::size_t(*index)];
            continue;
        }
        if (args.empty() && a.rfind("-", 0) == 0 && a.size() > 1)
            return usage(a + " goes with the verbs, not with raw exchanges");
        args.push_back(a);
    }
    if (args.size() < 2)
        return usage(args.empty() ? "no port given" : "no command given");

    const std::string port = args[0];
    ops::loadPortMap();   // as the program reads it at start
    const int number = serial::portNumberFor(port);
    const std::string device = serial::resolvePort(number);

    const serial::OpenResult opened = serial::defaultLink.open(number, line);
    if (!opened.opened()) {
        tell(QStringLiteral("telmax-cmd: ") + ops::openFailureText(port, opened));
        return kExitPortUnusable;
    }
    const QString named = fromLocal(port + " = " + device);
    results().write(local(ops::visibleText(named, ops::Backslash::Kept)) + " at " + line + "\n");

    bool allVerified = true;
    for (std::size_t i = 1; i < args.size() && results().ok(); ++i) {
        std::string shown;
        allVerified = exchangeShown(args[i], shown) && allVerified;
        results().write(shown);
    }
    CloseComm();
    if (!results().ok()) {
        std::fprintf(stderr, "telmax-cmd: %s\n", results().error().c_str());
        return 1;
    }
    return allVerified ? 0 : 1;
}

} // namespace tools
