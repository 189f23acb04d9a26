#include "tools/verb_grammar.h"

#include <algorithm>

#include "link/commands.h"
#include "link/seams.h"
#include "link/wire_text.h"
#include "ops/start_up.h"
#include "tools/verb_table.h"

namespace tools {

namespace {

// Six digits, as wholeNumber reads them.
constexpr int kMaxCount = 999999;

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

} // namespace tools
