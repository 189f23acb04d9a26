#include "tools/verbs.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QString>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <functional>
#include <memory>
#include <utility>
#include <vector>

#include "app/ui_text.h"
#include "link/comm.h"
#include "link/commands.h"
#include "link/seams.h"
#include "ops/operations.h"
#include "ops/state.h"
#include "platform/hooks.h"
#include "settings/settings.h"
#include "tools/console_view.h"
#include "tools/port_report.h"
#include "tools/trace_port.h"

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
     "on each port, --lock (the default) only the remembered one",
     "telmax-cmd scan --no-lock"},
    {"set-id", Verb::SetId, "NN", "set the module's ID, 1 to 99", "telmax-cmd scan set-id 42"},
    {"set-baud", Verb::SetBaud, "INDEX|SETTINGS", "set the module's line setting, 0 to 11 or its text",
     "telmax-cmd scan set-baud 57600,e,8,1"},
    {"factory", Verb::Factory, "", "restore the module's factory ID 01 and line setting 19200,e,8,1",
     "telmax-cmd scan factory"},
    {"status", Verb::Status, "", "read the printer status", "telmax-cmd --port COM3 status --json"},
    {"print", Verb::Print, "TEXT", "print one line of text", "telmax-cmd scan print \"Bench 4 OK\""},
    {"test", Verb::Test, "",
     "the continuous print test: until Ctrl+C (which stops it as the window's button does),\n"
     "a failure, or N lines with --count N",
     "telmax-cmd scan test --count 3"},
};

enum class Scope { Global, Scan, Test };

struct OptionSpec {
    const char *name;
    const char *valueName;   // empty: a switch
    Scope scope;
    const char *help;
};

constexpr OptionSpec kOptions[] = {
    {"--json", "", Scope::Global, "one JSON object per verb on stdout"},
    {"--lang", "en|gb|big5", Scope::Global, "language of the messages (default: the window's stored one)"},
    {"--trace", "FILE", Scope::Global, "append one JSON line per frame written and reply received"},
    {"--port", "COMn|DEVICE", Scope::Global, "work on this port without a scan"},
    {"--line", "SETTINGS", Scope::Global, "line setting with --port (default: the remembered one)"},
    {"--beep", "", Scope::Global, "a terminal bell where the window sounds its tone"},
    {"--ports", "", Scope::Global, "list COM1-COM16 (and mapped ports): device and whether it opens"},
    {"--lock", "", Scope::Scan, "scan: only the remembered line setting on each port (default)"},
    {"--no-lock", "", Scope::Scan, "scan: all twelve line settings on each port"},
    {"--count", "N", Scope::Test, "test: stop after N printed lines"},
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
    if (text.empty() || text.size() > 6)
        return std::nullopt;
    int v = 0;
    for (char c : text) {
        if (c < '0' || c > '9')
            return std::nullopt;
        v = v * 10 + (c - '0');
    }
    if (v < low || v > high)
        return std::nullopt;
    return v;
}

std::optional<int> lineIndex(const std::string &text)
{
    if (const auto index = wholeNumber(text, 0, kBaudRateCount - 1))
        return index;
    const int index = baudRateIndex(text);
    return index >= 0 ? std::optional<int>(index) : std::nullopt;
}

QString utf8(const std::string &s) { return QString::fromUtf8(s.data(), qsizetype(s.size())); }

// --- running ---------------------------------------------------------------------------

volatile std::sig_atomic_t g_stopRequested = 0;

// Ctrl+C during the continuous test asks it to stop, as the window's second activation does;
// a second Ctrl+C ends the program at once (the link's handler puts the port back; on Windows
// the handler is reset to the default by the system itself).
extern "C" void requestStop(int)
{
    g_stopRequested = 1;
    serial::restorePortOnSignals();
}

struct Outcome {
    bool ok = false;
    std::vector<std::pair<const char *, QString>> fields;   // in the order shown
};

void addField(Outcome &o, const char *name, const QString &value)
{
    o.fields.emplace_back(name, value);
}

class Runner {
public:
    explicit Runner(const Invocation &inv, int language)
        : m_inv(inv), m_view(language, true, inv.beep)
    {
    }

    int run();

private:
    std::optional<Outcome> runVerb(const VerbCall &call);
    void report(const VerbCall &call, const Outcome &outcome);
    bool choosePort(std::string &error);

    const Invocation &m_inv;
    ConsoleView m_view;
    std::string m_portName;         // as the user named it, for the reasons given
    bool m_stopSent = false;
};

bool Runner::choosePort(std::string &error)
{
    m_portName = m_inv.port;
    const int number = portNumberFor(m_inv.port);
    const std::string line = m_inv.line.empty() ? ScanBaudRate : m_inv.line;
    const int index = baudRateIndex(line);
    if (index < 0) {
        error = "--line " + line + " is not one of the module's line settings (4800,n,8,1 ... 115200,e,8,1)";
        return false;
    }
    ScanCommNo = number;
    ScanBaudRate = line;
    ScanBaudRateNo = index;
    ModuleFound = true;   // the named port stands in for a scan that found the module there
    return true;
}

std::optional<Outcome> Runner::runVerb(const VerbCall &call)
{
    Outcome o;
    switch (call.verb) {
    case Verb::Scan:
        m_view.setLock(call.lock);
        ops::scanModule(m_view);
        o.ok = m_view.lampYellow() && ModuleFound;
        if (o.ok) {
            addField(o, "port", QStringLiteral("COM%1").arg(ScanCommNo));
            addField(o, "device", utf8(serial::deviceForPort(ScanCommNo)));
            addField(o, "line", utf8(ScanBaudRate));
            addField(o, "serial", m_view.panelValue(ops::Panel::Serial));
            addField(o, "id", m_view.panelText(ops::Panel::Id));
            addField(o, "version", m_view.panelValue(ops::Panel::Version));
        }
        return o;
    case Verb::SetId: {
        const int id = *wholeNumber(call.arg, 1, 99);
        m_view.chooseId(id);
        ops::setModuleId(m_view);
        addField(o, "id", QString::asprintf("%02d", id));
        break;
    }
    case Verb::SetBaud: {
        const int index = *lineIndex(call.arg);
        m_view.selectBaudRate(index);
        ops::setModuleBaudRate(m_view);
        addField(o, "line", QString::fromLatin1(BaudRateList[std::size_t(index)]));
        break;
    }
    case Verb::Factory:
        ops::factoryDefault(m_view);
        addField(o, "id", QStringLiteral("01"));
        addField(o, "line", QString::fromLatin1(BaudRateList[kDefaultBaudRateNo]));
        break;
    case Verb::Status:
        ops::getPrintStatus(m_view);
        addField(o, "status", m_view.panelText(ops::Panel::Status));
        break;
    case Verb::Print:
        m_view.setText(QString::fromLocal8Bit(call.arg.c_str()));
        ops::printText(m_view);
        addField(o, "text", m_view.printText());
        break;
    case Verb::Test: {
        m_view.resetLines();
        m_stopSent = false;
        g_stopRequested = 0;
        const auto stop = [this] {
            if (!m_stopSent) {
                m_stopSent = true;
                ops::processTest(m_view);   // the second activation: the test ends after this pass
            }
        };
        m_view.onLinePrinted = [&](int lines) {
            if (!m_inv.json)
                std::printf("  line %d printed\n", lines);
            else
                std::fprintf(stderr, "  line %d printed\n", lines);
            std::fflush(stdout);
            if (call.count > 0 && lines >= call.count)
                stop();
        };
        platform::Hooks hooks;
        hooks.pump = [&] {
            if (g_stopRequested)
                stop();
        };
        platform::HooksGuard pump(hooks);
        std::signal(SIGINT, requestStop);
        ops::processTest(m_view);
        // Ctrl+C ends the program again (on POSIX through the link's handler, which puts the port back).
        std::signal(SIGINT, SIG_DFL);
        serial::restorePortOnSignals();
        m_view.onLinePrinted = nullptr;
        addField(o, "lines", QString::number(m_view.linesPrinted()));
        break;
    }
    }
    o.ok = m_view.lampYellow();
    if (!o.ok && serial::lastOpenResult().failure != serial::OpenFailure::None)
        return std::nullopt;   // the port did not open: a reason, not a module result
    return o;
}

void Runner::report(const VerbCall &call, const Outcome &o)
{
    const QString message = m_view.panelText(ops::Panel::Msg);
    const QString lamp = m_view.lampYellow() ? QStringLiteral("yellow") : QStringLiteral("red");
    if (m_inv.json) {
        QJsonObject obj;
        for (const auto &[name, value] : o.fields)
            obj.insert(QLatin1String(name), value);
        obj.insert(QStringLiteral("verb"), utf8(call.name));
        obj.insert(QStringLiteral("ok"), o.ok);
        obj.insert(QStringLiteral("lamp"), lamp);
        obj.insert(QStringLiteral("message"), message);
        std::printf("%s\n", QJsonDocument(obj).toJson(QJsonDocument::Compact).constData());
    } else {
        std::printf("%-9s%-7s%s\n", call.name.c_str(), o.ok ? "ok" : "FAILED",
                    (message + QStringLiteral("  [") + lamp + QStringLiteral("]")).toUtf8().constData());
        for (const auto &[name, value] : o.fields)
            if (!value.isEmpty())
                std::printf("  %-9s%s\n", name, value.toUtf8().constData());
    }
    std::fflush(stdout);
}

int Runner::run()
{
    platform::Hooks hooks;
    hooks.tone = [this](int hz, int ms) { m_view.tone(hz, ms); };
    hooks.pump = [] {};
    platform::HooksGuard guard(hooks);

    std::unique_ptr<TracePort> trace;
    if (!m_inv.trace.empty()) {
        std::FILE *file = std::fopen(m_inv.trace.c_str(), "a");
        if (!file) {
            std::fprintf(stderr, "telmax-cmd: --trace %s: %s\n", m_inv.trace.c_str(), std::strerror(errno));
            return 2;
        }
        trace = std::make_unique<TracePort>(file, serial::backend());
    }
    serial::SeamsGuard seams(serial::Seams{trace.get(), {}});

    if (!m_inv.port.empty()) {
        std::string error;
        if (!choosePort(error)) {
            std::fprintf(stderr, "telmax-cmd: %s\n", error.c_str());
            return 2;
        }
    }

    for (const VerbCall &call : m_inv.verbs) {
        if (call.verb != Verb::Scan && !ModuleFound) {
            std::fprintf(stderr,
                         "telmax-cmd: %s: no module found yet: put scan in front of it (telmax-cmd scan %s ...)"
                         " or name the port with --port COMn\n",
                         call.name.c_str(), call.name.c_str());
            return 2;
        }
        const std::optional<Outcome> outcome = runVerb(call);
        if (!outcome) {
            const std::string port = m_portName.empty() ? "COM" + std::to_string(ScanCommNo) : m_portName;
            std::fprintf(stderr, "telmax-cmd: %s: %s\n", call.name.c_str(),
                         openFailureText(port, serial::lastOpenDevice()).c_str());
            return 2;
        }
        report(call, *outcome);
        if (!outcome->ok)
            return 1;
    }
    return 0;
}

} // namespace

bool isVerbForm(const std::vector<std::string> &args)
{
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string &a = args[i];
        if (a == "--ports")
            return true;
        if (a.rfind("--", 0) == 0) {
            const OptionSpec *o = findOption(a);
            if (o && *o->valueName)
                ++i;
            continue;
        }
        return findVerb(a) != nullptr;
    }
    return false;
}

std::optional<Invocation> parseVerbs(const std::vector<std::string> &args, std::string &error)
{
    Invocation inv;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string &a = args[i];
        if (const VerbSpec *v = findVerb(a)) {
            VerbCall call;
            call.verb = v->verb;
            call.name = v->name;
            if (*v->argName) {
                if (i + 1 >= args.size()) {
                    error = call.name + " needs " + v->argName;
                    return std::nullopt;
                }
                call.arg = args[++i];
                const bool valid = call.verb == Verb::SetId    ? wholeNumber(call.arg, 1, 99).has_value()
                                 : call.verb == Verb::SetBaud ? lineIndex(call.arg).has_value()
                                                               : true;
                if (!valid) {
                    error = call.name + ": '" + call.arg + "' is not "
                            + (call.verb == Verb::SetId ? "an ID from 1 to 99"
                                                         : "a line setting (0 to 11, or e.g. 57600,e,8,1)");
                    return std::nullopt;
                }
            }
            inv.verbs.push_back(call);
            continue;
        }
        const OptionSpec *o = findOption(a);
        if (!o) {
            error = a.rfind("-", 0) == 0 ? "unknown option " + a : "unknown verb '" + a + "'";
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
        if (a == "--json") {
            inv.json = true;
        } else if (a == "--lang") {
            const QString l = utf8(value).toLower();
            inv.language = l == "en" ? 0 : l == "gb" ? 1 : l == "big5" ? 2 : -2;
            if (inv.language < 0) {
                error = "--lang takes en, gb or big5";
                return std::nullopt;
            }
        } else if (a == "--trace") {
            inv.trace = value;
        } else if (a == "--port") {
            inv.port = value;
        } else if (a == "--line") {
            inv.line = value;
        } else if (a == "--beep") {
            inv.beep = true;
        } else if (a == "--ports") {
            inv.listPorts = true;
        } else if (a == "--lock" || a == "--no-lock") {
            inv.verbs.back().lock = a == "--lock";
        } else if (a == "--count") {
            const auto n = wholeNumber(value, 1, 999999);
            if (!n) {
                error = "--count takes a number of lines, 1 or more";
                return std::nullopt;
            }
            inv.verbs.back().count = *n;
        }
    }
    if (!inv.line.empty() && inv.port.empty()) {
        error = "--line goes with --port (a scan finds the line setting itself)";
        return std::nullopt;
    }
    if (inv.verbs.empty() && !inv.listPorts) {
        error = "no verb given";
        return std::nullopt;
    }
    return inv;
}

int runVerbs(const Invocation &inv)
{
    SetDefaultSettings();
    const bool languageStored = LoadSettings();   // the port map too
    if (inv.listPorts) {
        listPorts();
        if (inv.verbs.empty())
            return 0;
    }
    const int language = inv.language >= 0 ? inv.language : languageStored ? languageIndexFor(LanguageFlag) : 0;
    ModuleFound = false;
    ProcessRunning = false;
    Runner runner(inv, language);
    return runner.run();
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
