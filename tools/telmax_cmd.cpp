// telmax-cmd: the module from a shell. Two forms:
//
//   telmax-cmd [options] VERB [ARG] [VERB ...]     the window's operations (tools/verbs.h)
//   telmax-cmd [--line SETTINGS] PORT COMMAND...   raw exchanges (tools/raw_exchange.h)
//
// Exit status: 0 success, 1 an operation or exchange failed, 2 bad usage, no module to work
// on, or a port that does not open (with the reason).

#include <cstdio>
#include <string>
#include <vector>

#include <QCoreApplication>

#include "link/port_backend.h"
#include "platform/hooks.h"
#include "tools/raw_exchange.h"
#include "tools/verbs.h"

namespace {

// GNU's layout, which help2man turns into the manual page at build time.
void printUsage(std::FILE *to)
{
    std::fputs("Usage: telmax-cmd [OPTION]... VERB [ARG] [VERB [ARG]]...\n"
               "  or:  telmax-cmd [--line SETTINGS] PORT COMMAND...\n"
               "Runs the window's operations on a TELMAX-3Q printer module from a shell: the\n"
               "verbs, in order, stopping at the first that fails.\n"
               "\n",
               to);
    std::fputs(tools::kRawUsage, to);
    std::fputs("\n", to);
    std::fputs(tools::verbUsage().c_str(), to);
    std::fputs("\n"
               "Exit status: 0 success, 1 an operation or exchange failed, 2 bad usage, no\n"
               "module found before an operation, or a port that does not open (the reason on\n"
               "stderr).\n",
               to);
}

} // namespace

int main(int argc, char **argv)
{
    const platform::TimerResolution timer;   // 1 ms pauses and polls, not the system's default tick
    QCoreApplication app(argc, argv);        // for reading the settings and the port map
    serial::restorePortOnSignals();          // a Ctrl+C leaves the port as it was found

    std::vector<std::string> args(argv + 1, argv + argc);
    for (const std::string &a : args)
        if (a == "-h" || a == "--help") {
            printUsage(stdout);
            return 0;
        }
    if (args.empty()) {
        printUsage(stderr);
        return 2;
    }
    if (!tools::isVerbForm(args))
        return tools::runRawExchanges(args);

    std::string error;
    const auto invocation = tools::parseVerbs(args, error);
    if (!invocation) {
        std::fprintf(stderr, "telmax-cmd: %s (telmax-cmd --help lists the verbs)\n", error.c_str());
        return 2;
    }
    return tools::runVerbs(*invocation);
}
