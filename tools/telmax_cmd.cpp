// telmax-cmd: the module from a shell. Two forms:
//
//   telmax-cmd [options] VERB [ARG] [VERB ...]     the window's operations (tools/verb_runner.h)
//   telmax-cmd [--line SETTINGS] PORT COMMAND...   raw exchanges (tools/raw_exchange.h)
//
// Exit status (tools/exit_status.h): 0 done, 1 the module refused or failed (or results could
// not be written), 2 usage or configuration, 3 no module found, 4 a port could not be used.

#include <cstdio>
#include <string>
#include <vector>

#include <QCoreApplication>

#include "ops/start_up.h"
#include "tools/output.h"
#include "tools/raw_exchange.h"
#include "tools/verb_grammar.h"
#include "tools/verb_runner.h"

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
    std::fputs("  --help                print this help and end\n"
               "  --version             print the program's name and version and end\n"
               "\n"
               "Exit status:\n"
               "  0  done\n"
               "  1  the module refused or an operation failed (a unit fault), or the results\n"
               "     could not be written\n"
               "  2  usage or configuration: a misspelt verb, a file that cannot be written, no\n"
               "     module found yet before an operation\n"
               "  3  no module found: a scan found none (reconnect and retry)\n"
               "  4  a port could not be used: missing, busy, denied, not serial, excluded (a\n"
               "     station fault; the reason on stderr)\n"
               "--all and watch give the worst (the highest) of their units.\n",
               to);
}

int usageError(const std::string &error)
{
    std::fprintf(stderr, "telmax-cmd: %s (telmax-cmd --help lists the verbs)\n", error.c_str());
    return 2;
}

} // namespace

int main(int argc, char **argv)
{
    tools::guardStandardStreams();           // before anything opens a descriptor
    const ops::ProgramRun program;           // a Ctrl+C, a kill or a closed pipe leaves the port as it was found
    QCoreApplication app(argc, argv);        // for reading the settings and the port map

    std::vector<std::string> args(argv + 1, argv + argc);
    for (const std::string &a : args) {
        if (a == "-h" || a == "--help") {
            printUsage(stdout);
            return 0;
        }
        if (a == "--version")
            return std::fputs("telmax-cmd " TELMAX_VERSION "\n", stdout) < 0 || std::fflush(stdout) != 0 ? 1 : 0;
    }
    if (args.empty()) {
        printUsage(stderr);
        return 2;
    }
    std::string error;
    const auto form = tools::formOf(args, error);
    if (!form)
        return usageError(error);
    if (*form == tools::Form::Raw)
        return tools::runRawExchanges(args);

    const auto invocation = tools::parseVerbs(args, error);
    if (!invocation)
        return usageError(error);
    return tools::runVerbs(*invocation);
}
