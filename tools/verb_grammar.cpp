#include "tools/verb_grammar.h"

#include <algorithm>

#include "link/commands.h"
#include "link/seams.h"
#include "link/wire_text.h"
#include "ops/start_up.h"

namespace tools {

namespace {

struct VerbSpec {
    const char *name;
    Verb verb;
    const char *argName;   // empty: the verb takes no argument
    const char *summary;
    const char *example;
};

constexpr VerbSpec kVerbs[] = {
    {"scan", Verb::Scan, "",
     "find the module as Scan Module does: the remembered port, then COM1-COM16 with the\n"
     "line settings; stores where it was found. --no-lock tries all twelve line settings\n"
     "on each port, --lock (the default) only the remembered one; --parallel searches the\n"
     "ports side by side",
     "telmax-cmd scan --no-lock --parallel"},
    {"set-id", Verb::SetId, "NN", "set the module's ID, 1 to 99; with --all or watch NN+ gives the next ID to each\n"
     "module, from NN up (--all in port order, watch unit by unit)",
     "telmax-cmd scan set-id 42"},
    {"set-baud", Verb::SetBaud, "INDEX|SETTINGS",
     "set the module's line setting, 0 to 11 or its text; stored, as a scan stores it",
     "telmax-cmd scan set-baud 57600,e,8,1"},
    {"factory", Verb::Factory, "",
     "restore the module's factory ID 01 and line setting 19200,e,8,1; the line setting is stored",
     "telmax-cmd scan factory"},
    {"status", Verb::Status, "", "read the printer status", "telmax-cmd --port COM3 status --json"},
    {"print", Verb::Print, "TEXT", "print one line of text (at most 251 bytes in the printer's code page)",
     "telmax-cmd scan print \"Bench 4 OK\""},
    {"test", Verb::Test, "",
     "the continuous print test: until Ctrl+C (which stops it as the window's button does),\n"
     "a failure, or N lines with --count N",
     "telmax-cmd scan test --count 3"},
    {"watch", Verb::Watch, "",
     "a station: wait until a module answers at --port, at each port with --all, or at the\n"
     "remembered port (a check each second), run the verbs after watch on it, signal the\n"
     "result, wait until it is gone, and so on until Ctrl+C, which ends it after the unit in\n"
     "progress; a unit whose S/N was done already in this run is refused (--again does it)",
     "telmax-cmd watch --port COM3 --audit line.jsonl set-id 10+"},
    {"diagnose", Verb::Diagnose, "",
     "why no module answers: the port of --port, else the remembered one, else every port,\n"
     "through the twelve line settings, listening to all that comes back; one finding per\n"
     "port with its fix: module, silence, garbage, echo, checksum, late, busy, missing,\n"
     "denied or excluded. Goes alone. Exit 0 module found, 3 nothing answered, 4 a port\n"
     "could not be used",
     "telmax-cmd diagnose --port COM5"},
};

// Six digits, as wholeNumber reads them.
constexpr int kMaxCount = 999999;

enum class Scope { Global, Scan, Test };

struct OptionSpec {
    const char *name;
    const char *valueName;   // empty: a switch
    Scope scope;
    const char *help;
};

// --lang's values: the languages' codes.
const std::string kLanguageValues = languageCodes("|", "|");

const OptionSpec kOptions[] = {
    {"--json", "", Scope::Global, "one JSON object per verb on stdout"},
    {"--lang", kLanguageValues.c_str(), Scope::Global, "language of the messages (default: the window's stored one)"},
    {"--trace", "FILE", Scope::Global, "append one JSON line per frame written and reply received"},
    {"--port", "COMn|DEVICE", Scope::Global, "work on this port without a scan"},
    {"--line", "SETTINGS", Scope::Global, "line setting with --port (default: the remembered one)"},
    {"--beep", "", Scope::Global, "a terminal bell where the window sounds its tone"},
    {"--ports", "", Scope::Global, "list the ports (device, whether it opens, driver, USB identity) and unmapped serial devices"},
    {"--lock", "", Scope::Scan, "scan: only the remembered line setting on each port (default)"},
    {"--no-lock", "", Scope::Scan, "scan: all twelve line settings on each port"},
    {"--parallel", "", Scope::Scan, "scan: COM1-COM16 side by side, each port on its own (same answer, a\n"
                                    "fraction of the time)"},
    {"--count", "N", Scope::Test, "test: stop after N printed lines"},
    {"--all", "", Scope::Global, "every module: scan --all lists each one found (side by side, nothing stored);\n"
                                 "with other verbs, they run on each module, each in a run of its own"},
    {"--audit", "FILE", Scope::Global, "append one JSON line per unit to FILE (whole lines, under a lock)"},
    {"--station", "NAME", Scope::Global, "the station named in --audit's records"},
    {"--operator", "NAME", Scope::Global, "the operator named in --audit's records"},
    {"--verify", "", Scope::Global, "after set-id, set-baud or factory, read the module again and fail the unit\n"
                                    "unless it reports what was set"},
    {"--again", "", Scope::Global, "watch: do a unit again whose S/N was done in this run"},
};

const VerbSpec *findVerb(const std::string &name)
{
    for (const VerbSpec &v : kVerbs)
        if (name == v.name)
            return &v;
    return nullptr;
}

const OptionSpec *findOption(const std::string &name)
{
    for (const OptionSpec &o : kOptions)
        if (name == o.name)
            return &o;
    return nullptr;
}

std::optional<int> wholeNumber(const std::string &text, int low, int high)
{
    const auto v = wire::decimal(text, 6);
    if (!v || *v < low || *v > high)
        return std::nullopt;
    return int(*v);
}

std::size_t editDistance(const std::string &a, const std::string &b)
{
    std::vector<std::size_t> row(b.size() + 1);
    for (std::size_t j = 0; j <= b.size(); ++j)
        row[j] = j;
    for (std::size_t i = 1; i <= a.size(); ++i) {
        std::size_t diagonal = row[0];
        row[0] = i;
        for (std::size_t j = 1; j <= b.size(); ++j) {
            const std::size_t above = row[j];
            row[j] = std::min({row[j] + 1, row[j - 1] + 1, diagonal + (a[i - 1] == b[j - 1] ? 0 : 1)});
            diagonal = above;
        }
    }
    return row[b.size()];
}

std::string closestVerb(const std::string &word)
{
    const VerbSpec *best = &kVerbs[0];
    for (const VerbSpec &v : kVerbs)
        if (editDistance(word, v.name) < editDistance(word, best->name))
            best = &v;
    return best->name;
}

std::string unknownVerb(const std::string &word)
{
    return "unknown verb '" + word + "' (did you mean " + closestVerb(word) + "?)";
}

bool isDevicePath(const std::string &word)
{
    return word.find('/') != std::string::npos || word.find('\\') != std::string::npos;
}

// The production line's options: true when a is one of them (error set for a value it does not take).
bool applyLineOption(const std::string &a, const std::string &value, Invocation &inv, std::string &error)
{
    if (a == "--all") {
        inv.all = true;
    } else if (a == "--again") {
        inv.again = true;
    } else if (a == "--verify") {
        inv.verify = true;
    } else if (a == "--audit" || a == "--station" || a == "--operator") {
        if (value.empty())
            error = a + (a == "--audit" ? " needs a file name" : " needs a name");
        (a == "--audit" ? inv.audit : a == "--station" ? inv.station : inv.operatorName) = value;
    } else {
        return false;
    }
    return true;
}

// Sets the option's effect on inv; false with error for a value it does not take.
bool applyOption(const std::string &a, const std::string &value, Invocation &inv, std::string &error)
{
    if (a == "--json") {
        inv.json = true;
    } else if (a == "--lang") {
        const std::optional<int> language = languageForCode(value);
        if (!language) {
            error = "--lang takes " + languageCodes(", ", " or ");
            return false;
        }
        inv.language = *language;
    } else if (a == "--trace") {
        if (value.empty()) {
            error = "--trace needs a file name";
            return false;
        }
        inv.trace = value;
    } else if (a == "--port") {
        if (value.empty()) {
            error = "--port needs a port: COMn or a device path";
            return false;
        }
        inv.port = value;
    } else if (a == "--line") {
        inv.line = lineIndex(value);
        if (!inv.line) {
            error = "--line " + value + " is not one of the module's twelve line settings (0 to 11, or"
                    " 4800,n,8,1 ... 115200,e,8,1)";
            return false;
        }
    } else if (a == "--beep") {
        inv.beep = true;
    } else if (a == "--ports") {
        inv.listPorts = true;
    } else if (a == "--lock" || a == "--no-lock") {
        inv.verbs.back().lock = a == "--lock";
    } else if (a == "--parallel") {
        inv.verbs.back().parallel = true;
    } else if (applyLineOption(a, value, inv, error)) {
        return error.empty();
    } else if (a == "--count") {
        const auto n = wholeNumber(value, 1, kMaxCount);
        if (!n) {
            error = "--count takes a number of lines from 1 to " + std::to_string(kMaxCount);
            return false;
        }
        inv.verbs.back().count = *n;
    }
    return true;
}

// The verb's argument into call, as what it stands for; false when it stands for nothing.
bool readArgument(const std::string &arg, VerbCall &call)
{
    switch (call.verb) {
    case Verb::SetId:
        call.countUp = arg.size() > 1 && arg.back() == '+';
        call.id = wholeNumber(call.countUp ? arg.substr(0, arg.size() - 1) : arg, 1, 99).value_or(0);
        return call.id > 0;
    case Verb::SetBaud:
        call.lineIndex = lineIndex(arg).value_or(-1);
        return call.lineIndex >= 0;
    case Verb::Print:
        call.text = arg;
        return true;
    default:
        return true;
    }
}

bool readVerb(const VerbSpec &v, const std::vector<std::string> &args, std::size_t &i, Invocation &inv,
              std::string &error)
{
    VerbCall call;
    call.verb = v.verb;
    call.name = v.name;
    if (*v.argName) {
        if (i + 1 >= args.size()) {
            error = call.name + " needs " + v.argName;
            return false;
        }
        const std::string &arg = args[++i];
        if (!readArgument(arg, call)) {
            error = call.name + ": '" + arg + "' is not "
                    + (call.verb == Verb::SetId ? "an ID from 1 to 99" : "a line setting (0 to 11, or e.g. 57600,e,8,1)");
            return false;
        }
    }
    inv.verbs.push_back(call);
    return true;
}

// How watch, --all and the record's options go together; false with error when they do not.
bool lineOptionsFit(Invocation &inv, std::string &error)
{
    const auto is = [&](std::size_t i, Verb v) { return i < inv.verbs.size() && inv.verbs[i].verb == v; };
    for (std::size_t i = 0; i < inv.verbs.size(); ++i) {
        const VerbCall &call = inv.verbs[i];
        if (call.verb == Verb::Watch && i > 0)
            error = "watch comes first: telmax-cmd watch [--port COMn | --all] VERB...";
        else if (call.verb == Verb::Scan && i > 0 && (inv.all || is(0, Verb::Watch)))
            error = is(0, Verb::Watch) ? "watch finds each module itself: leave out scan"
                                       : "with --all, scan comes first (it finds the modules)";
        else if (call.countUp && !inv.all && !is(0, Verb::Watch))
            error = "set-id " + std::to_string(call.id) + "+ gives each module the next ID: with --all or watch";
        if (!error.empty())
            return false;
    }
    inv.watch = is(0, Verb::Watch);
    if (inv.watch && inv.verbs.size() < 2)
        error = "watch needs the verbs to run on each unit, e.g. telmax-cmd watch --port COM3 status";
    else if (inv.all && !inv.port.empty())
        error = "--all works on every port; --port names one";
    else if (inv.again && !inv.watch)
        error = "--again goes with watch";
    else if ((!inv.station.empty() || !inv.operatorName.empty()) && inv.audit.empty())
        error = "--station and --operator name the station and operator in --audit's records";
    return error.empty();
}

} // namespace

std::optional<int> lineIndex(const std::string &text)
{
    if (const auto index = wholeNumber(text, 0, kBaudRateCount - 1))
        return index;
    const int index = baudRateIndex(text);
    return index >= 0 ? std::optional<int>(index) : std::nullopt;
}

std::optional<Form> formOf(const std::vector<std::string> &args, std::string &error)
{
    bool ports = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string &a = args[i];
        if (a.rfind("-", 0) == 0 && a.size() > 1) {
            const OptionSpec *o = findOption(a);
            if (!o) {
                error = "unknown option " + a;
                return std::nullopt;
            }
            ports = ports || a == "--ports";
            if (*o->valueName && ++i >= args.size()) {
                error = a + " needs a value (" + o->valueName + ")";
                return std::nullopt;
            }
            continue;
        }
        if (findVerb(a))
            return Form::Verbs;
        if (serial::comNumber(a) || isDevicePath(a))
            return ports ? Form::Verbs : Form::Raw;
        error = unknownVerb(a);
        return std::nullopt;
    }
    if (ports)
        return Form::Verbs;
    error = "no verb given";
    return std::nullopt;
}

std::optional<Invocation> parseVerbs(const std::vector<std::string> &args, std::string &error)
{
    Invocation inv;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string &a = args[i];
        if (const VerbSpec *v = findVerb(a)) {
            if (!readVerb(*v, args, i, inv, error))
                return std::nullopt;
            continue;
        }
        const OptionSpec *o = findOption(a);
        if (!o) {
            error = a.rfind("-", 0) == 0 ? "unknown option " + a : unknownVerb(a);
            return std::nullopt;
        }
        std::string value;
        if (*o->valueName) {
            if (i + 1 >= args.size()) {
                error = a + " needs " + o->valueName;
                return std::nullopt;
            }
            value = args[++i];
        }
        if (o->scope != Scope::Global) {
            const Verb wanted = o->scope == Scope::Scan ? Verb::Scan : Verb::Test;
            if (inv.verbs.empty() || inv.verbs.back().verb != wanted) {
                error = a + " goes after " + (o->scope == Scope::Scan ? "scan" : "test");
                return std::nullopt;
            }
        }
        if (!applyOption(a, value, inv, error))
            return std::nullopt;
    }
    if (const auto diagnose = std::find_if(inv.verbs.begin(), inv.verbs.end(),
                                           [](const VerbCall &c) { return c.verb == Verb::Diagnose; });
        diagnose != inv.verbs.end()) {
        if (inv.line)
            error = "diagnose tries every line setting: --line does not go with it";
        else if (inv.all)
            error = "diagnose goes through every port when no --port is given: leave out --all";
        else if (inv.verify || !inv.audit.empty())
            error = "diagnose changes nothing on a module: --verify and --audit do not go with it";
        else if (inv.verbs.size() > 1)
            error = "diagnose goes alone (it leaves the module as it finds it)";
        if (!error.empty())
            return std::nullopt;
    }
    if (inv.line && inv.port.empty()) {
        error = "--line goes with --port (a scan finds the line setting itself)";
        return std::nullopt;
    }
    if (inv.verbs.empty() && !inv.listPorts) {
        error = "no verb given";
        return std::nullopt;
    }
    if (!lineOptionsFit(inv, error))
        return std::nullopt;
    return inv;
}

namespace {

// Text wrapped to the help's 80 columns, every line indented to the description column; a line
// at that indent is what help2man joins into one paragraph of the manual page.
constexpr std::size_t kHelpWidth = 80;
constexpr std::size_t kHelpColumn = 24;

std::string wrapped(const std::string &text, const std::string &unbroken)
{
    std::string out;
    std::string line;
    auto put = [&](const std::string &word) {
        if (!line.empty() && kHelpColumn + line.size() + 1 + word.size() > kHelpWidth) {
            out += std::string(kHelpColumn, ' ') + line + "\n";
            line.clear();
        }
        line += (line.empty() ? "" : " ") + word;
    };
    std::string word;
    for (char c : text + " ") {
        if (c == ' ' || c == '\n') {
            if (!word.empty())
                put(word);
            word.clear();
        } else {
            word += c;
        }
    }
    if (!unbroken.empty())
        put(unbroken);   // an example stays whole, so it can be copied from the terminal
    return out + std::string(kHelpColumn, ' ') + line + "\n";
}

// "  NAME ARG" padded to the description column, or on a line of its own when longer.
std::string tag(const char *name, const char *argName)
{
    std::string head = std::string("  ") + name + (*argName ? std::string(" ") + argName : std::string());
    if (head.size() + 2 <= kHelpColumn)
        head.resize(kHelpColumn, ' ');
    else
        head += "\n" + std::string(kHelpColumn, ' ');
    return head;
}

// The first line of a wrapped text goes after its tag.
std::string tagged(const char *name, const char *argName, const std::string &text, const std::string &unbroken = {})
{
    return tag(name, argName) + wrapped(text, unbroken).substr(kHelpColumn);
}

} // namespace

std::string verbUsage()
{
    std::string out = "Verbs:\n";
    for (const VerbSpec &v : kVerbs)
        out += tagged(v.name, v.argName, std::string(v.summary) + ";", std::string("e.g. ") + v.example);
    out += "\n"
           "An operation other than scan needs a module found by scan in the same command,\n"
           "or --port. Progress goes to stderr as the window's message panel shows it;\n"
           "results to stdout.\n"
           "\n"
           "Options:\n";
    for (const OptionSpec &o : kOptions)
        out += tagged(o.name, o.valueName, o.help);
    return out;
}

} // namespace tools
