#pragma once
// What telmax-cmd's command line says: the verbs with their arguments and options, or the raw
// form, or a usage error naming what is wrong.
//
//   telmax-cmd [options] VERB [ARG] [verb options] [VERB ...]
//   telmax-cmd [--line SETTINGS] PORT COMMAND...

#include <optional>
#include <string>
#include <vector>

namespace tools {

enum class Verb { Scan, SetId, SetBaud, Factory, Status, Print, Test, Watch, Diagnose };

// A verb with its argument read as what it stands for.
struct VerbCall {
    Verb verb = Verb::Scan;
    std::string name;
    int id = 0;          // set-id: 1 to 99
    bool countUp = false;  // set-id NN+: the first of IDs given in turn (--all in port order, watch per unit)
    int lineIndex = -1;  // set-baud: the line setting, 0 to 11
    std::string text;    // print: the text, in the locale's code page as given
    bool lock = true;    // scan: only the remembered line setting on each port, as the window's default
    bool parallel = false;   // scan: the ports side by side
    int count = 0;       // test: stop after this many lines (0: until Ctrl+C or a failure)
};

struct Invocation {
    std::vector<VerbCall> verbs;
    bool json = false;
    int language = -1;       // -1: the language the window would use (the stored one)
    std::string trace;       // --trace FILE
    std::string port;        // --port COMn|DEVICE
    std::optional<int> line; // --line SETTINGS, with --port: the line setting, 0 to 11
    bool beep = false;
    bool listPorts = false;  // --ports
    // The production line's options.
    bool all = false;          // --all: every module found, each on its own
    bool watch = false;        // the verb watch came first: the verbs after it are each unit's
    bool again = false;        // --again: watch does a unit whose S/N it did already
    bool verify = false;       // --verify: a change read back from the module
    std::string audit;         // --audit FILE
    std::string station;       // --station NAME
    std::string operatorName;  // --operator NAME
};

enum class Form { Verbs, Raw };

// Which form the command line is in; nothing, with the reason in error, when it is neither: an
// unknown option, or a first word that is no verb, no COMn and no device path.
std::optional<Form> formOf(const std::vector<std::string> &args, std::string &error);

// The verb form parsed, or a message saying what is wrong with it.
std::optional<Invocation> parseVerbs(const std::vector<std::string> &args, std::string &error);

// The index of a line setting given as 0 to 11 or as its text ("57600,e,8,1"); nothing for
// anything else.
std::optional<int> lineIndex(const std::string &text);

// The --help text of the verb form: the verbs with one example each, the options.
std::string verbUsage();

} // namespace tools
