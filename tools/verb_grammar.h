#pragma once
// The verb form of telmax-cmd: the window's operations from a shell, run by ops/ against a
// console view, with the window's frames, pauses, tries and stored settings.
//
//   telmax-cmd [options] VERB [ARG] [verb options] [VERB ...]

#include <optional>
#include <string>
#include <vector>

namespace tools {

enum class Verb { Scan, SetId, SetBaud, Factory, Status, Print, Test };

struct VerbCall {
    Verb verb = Verb::Scan;
    std::string name;
    std::string arg;     // set-id NN, set-baud INDEX|SETTINGS, print TEXT
    bool lock = true;    // scan: only the remembered line setting on each port, as the window's default
    int count = 0;       // test: stop after this many lines (0: until Ctrl+C or a failure)
};

struct Invocation {
    std::vector<VerbCall> verbs;
    bool json = false;
    int language = -1;       // -1: the language the window would use (the stored one)
    std::string trace;       // --trace FILE
    std::string port;        // --port COMn|DEVICE
    std::string line;        // --line SETTINGS, with --port
    bool beep = false;
    bool listPorts = false;  // --ports
};

// True when the command line names a verb (or --ports) rather than a port and raw commands.
bool isVerbForm(const std::vector<std::string> &args);

// The verb form parsed, or a message saying what is wrong with it.
std::optional<Invocation> parseVerbs(const std::vector<std::string> &args, std::string &error);

// Runs the verbs in order, stopping at the first that fails. Exit status: 0 every verb
// succeeded, 1 a verb failed, 2 no module to work on or a port that does not open.
int runVerbs(const Invocation &invocation);

// The --help text: the verbs with one example each, the options, the exit status.
std::string verbUsage();

} // namespace tools
