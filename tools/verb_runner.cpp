#include "tools/verb_runner.h"

#include <QString>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <memory>
#include <utility>
#include <vector>

#include "link/comm.h"
#include "link/commands.h"
#include "link/seams.h"
#include "ops/module_port.h"
#include "ops/operations.h"
#include "ops/port_messages.h"
#include "ops/side_by_side.h"
#include "ops/start_up.h"
#include "ops/state.h"
#include "ops/visible_text.h"
#include "platform/hooks.h"
#include "tools/all_ports.h"
#include "tools/audit_log.h"
#include "tools/console_view.h"
#include "tools/device_identity.h"
#include "tools/exit_status.h"
#include "tools/interrupt.h"
#include "tools/outcome.h"
#include "tools/diagnose.h"
#include "tools/output.h"
#include "tools/port_report.h"
#include "tools/trace_port.h"
#include "tools/unit_record.h"
#include "tools/verify.h"
#include "tools/watch.h"

namespace tools {

namespace {

volatile std::sig_atomic_t g_stopRequested = 0;

// Ctrl+C during the continuous test asks it to stop, as the window's second activation does;
// a second Ctrl+C ends the program at once (the link's handler puts the port back; on Windows
// the handler is reset to the default by the system itself).
extern "C" void requestStop(int)
{
    g_stopRequested = 1;
    serial::restorePortOnSignals();
}

QString latin1(const std::string &s) { return QString::fromLatin1(s.data(), qsizetype(s.size())); }

// A failure because the adapter was pulled out reads like a silent module; the reason is
// that a device went away while the verb ran.
void reportVanished(const VerbCall &call, const std::vector<DeviceIdentity> &before)
{
    const std::vector<DeviceIdentity> now = serialDevices();
    for (const DeviceIdentity &id : before) {
        const bool gone = std::none_of(now.begin(), now.end(), [&](const DeviceIdentity &d) { return d.name == id.name; });
        if (gone)
            std::fprintf(stderr, "telmax-cmd: %s: /dev/%s (%s) went away during the operation: unplugged?\n",
                         call.name.c_str(), id.name.c_str(), describe(id).c_str());
    }
}

class Runner {
public:
    Runner(const Invocation &inv, int language, AuditLog *audit)
        : m_inv(inv), m_view(language, true, inv.beep), m_audit(audit), m_unit(inv)
    {
    }

    int run();

private:
    std::optional<Outcome> runVerb(const VerbCall &call);
    Outcome runScan(const VerbCall &call);
    Outcome runTest(const VerbCall &call);
    // Runs call and shows what it came to: the exit status it ends the run with, or 0 to go on.
    int runAndReport(const VerbCall &call);
    void report(const VerbCall &call, const Outcome &outcome);
    // The unit's record appended to --audit, when there is a unit; false when it did not go in.
    bool record(bool unitOk);
    void choosePort();

    const Invocation &m_inv;
    ConsoleView m_view;
    AuditLog *m_audit;
    UnitRecord m_unit;
    bool m_stopSent = false;
};

void Runner::choosePort()
{
    ops::useNamedPort(m_inv.port, m_inv.line);
}

Outcome Runner::runTest(const VerbCall &call)
{
    Outcome o;
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
        const std::string line = "  line " + std::to_string(lines) + " printed\n";
        // A count nobody can read any more (a closed pipe, a full disk) ends the test.
        if (m_inv.json)
            std::fputs(line.c_str(), stderr);
        else if (!results().write(line))
            stop();
        if (call.count > 0 && lines >= call.count)
            stop();
    };
    platform::Hooks hooks;
    hooks.pump = [&] {
        if (g_stopRequested)
            stop();
    };
    platform::HooksGuard pump(hooks);
    catchInterrupts(requestStop);
    ops::processTest(m_view);
    // Ctrl+C ends the program again (on POSIX through the link's handler, which puts the port back).
    catchInterrupts(SIG_DFL);
    serial::restorePortOnSignals();
    m_view.onLinePrinted = nullptr;
    o.add("lines", m_view.linesPrinted());
    return o;
}

Outcome Runner::runScan(const VerbCall &call)
{
    Outcome o;
    m_view.setLock(call.lock);
    if (call.parallel)
        ops::scanModuleSideBySide(m_view, [](const ops::PortSearch &port) { tell(ops::portSearchLine(port)); });
    else
        ops::scanModule(m_view);
    o.ok = m_view.lampYellow() && ModuleFound;
    if (o.ok) {
        const ops::ModulePort found = ops::modulePort();
        o.add("port", QString::fromStdString(serial::portLabel(found.number)));
        o.add("device", QString::fromStdString(serial::deviceForPort(found.number)));
        o.add("line", latin1(found.line));
        o.addReading("serial", m_view.reading(ops::Reading::Serial));
        o.addReading("id", m_view.panelText(ops::Field::Id));
        o.addReading("version", m_view.reading(ops::Reading::Version));
        m_unit.found(found.number, found.lineIndex, m_view.reading(ops::Reading::Serial).toLatin1().toStdString(),
                     m_view.panelText(ops::Field::Id).toLatin1().toStdString(),
                     m_view.reading(ops::Reading::Version).toLatin1().toStdString());
    }
    if (call.parallel)
        o.add("parallel", true);
    return o;
}

std::optional<Outcome> Runner::runVerb(const VerbCall &call)
{
    Outcome o;
    m_view.forgetPortProblem();
    switch (call.verb) {
    case Verb::Scan:
        return runScan(call);
    case Verb::SetId:
        m_view.chooseId(call.id);
        ops::setModuleId(m_view);
        o.add("id", QString::asprintf("%02d", call.id));
        break;
    case Verb::SetBaud: {
        const int index = call.lineIndex;
        m_view.selectBaudRate(index);
        ops::setModuleBaudRate(m_view);
        // Each invocation is a whole run: the next one finds the module at its new line setting.
        if (m_view.lampYellow())
            o.save = ops::storeLineSetting();
        o.add("line", QString::fromLatin1(BaudRateList[std::size_t(index)]));
        break;
    }
    case Verb::Factory:
        ops::factoryDefault(m_view);
        if (m_view.lampYellow())
            o.save = ops::storeLineSetting();
        o.add("id", QStringLiteral("01"));
        o.add("line", QString::fromLatin1(BaudRateList[kDefaultBaudRateNo]));
        break;
    case Verb::Status:
        ops::getPrintStatus(m_view);
        o.addReading("status", m_view.reading(ops::Reading::Status));
        break;
    case Verb::Print: {
        m_view.setText(fromLocal(call.text));
        ops::printText(m_view);
        const ops::PrintTextSent sent = ops::printTextSent(m_view.printText());
        o.add("text", sent.text);
        o.add("replaced", sent.replaced);
        break;
    }
    case Verb::Test:
        o = runTest(call);
        break;
    case Verb::Watch:   // watch runs the verbs after it unit by unit (tools/watch.h)
    case Verb::Diagnose:   // runs alone, from run()
        break;
    }
    o.ok = m_view.lampYellow();
    if (!o.ok && m_view.portProblem())
        return std::nullopt;   // the port did not open: a reason, not a module result
    return o;
}

void Runner::report(const VerbCall &call, const Outcome &o)
{
    const Signalled signalled{m_view.panelText(ops::Field::Msg), m_view.lampYellow()};
    results().write(shownOutcome(call.name, o, signalled, m_inv.json, ops::modulePort().line));
}

int Runner::runAndReport(const VerbCall &call)
{
    if (call.verb != Verb::Scan && !ModuleFound) {
        std::fprintf(stderr,
                     "telmax-cmd: %s: no module found yet: put scan in front of it (telmax-cmd scan %s ...)"
                     " or name the port with --port COMn\n",
                     call.name.c_str(), call.name.c_str());
        return kExitUsage;
    }
    if (m_audit && call.verb != Verb::Scan)
        m_unit.readBefore(ops::modulePort().number, ops::modulePort().lineIndex);
    const std::vector<DeviceIdentity> devicesBefore = serialDevices();
    std::optional<Outcome> outcome = runVerb(call);
    const QString message = m_view.panelText(ops::Field::Msg);
    if (!outcome) {
        const QString problem = m_view.portProblem().value_or(QString());
        tell(QStringLiteral("telmax-cmd: ") + QString::fromStdString(call.name) + QStringLiteral(": ") + problem);
        m_unit.addResult(call.name, false, message, problem);
        return kExitPortUnusable;
    }
    if (m_inv.verify && outcome->ok && changesTheModule(call)) {
        const ops::ModulePort now = ops::modulePort();
        outcome->verifyError = verifyChange(call, now.number, now.lineIndex);
        outcome->ok = outcome->verifyError.isEmpty();
    }
    report(call, *outcome);
    m_unit.addResult(call.name, outcome->ok, message, outcome->verifyError);
    if (!outcome->ok)
        reportVanished(call, devicesBefore);
    if (call.verb == Verb::Scan && !outcome->ok && message == m_view.uiText(Text::NotFound))
        return kExitNoModule;
    const bool unsaved = outcome->save && !outcome->save->saved;   // the next run cannot find the module
    return !outcome->ok || unsaved ? kExitUnitFault : kExitDone;
}

bool Runner::record(bool unitOk)
{
    if (!m_audit || !m_unit.hasUnit())
        return true;
    m_unit.readAfter(ops::modulePort().lineIndex);
    std::string error;
    if (m_audit->append(m_unit.json(unitOk), error))
        return true;
    std::fprintf(stderr, "telmax-cmd: --audit %s\n", error.c_str());
    return false;
}

int Runner::run()
{
    platform::Hooks hooks;
    hooks.tone = [this](int hz, int ms) { m_view.tone(hz, ms); };
    hooks.pump = [] {};
    platform::HooksGuard guard(hooks);

    std::unique_ptr<TracePort> trace;
    if (!m_inv.trace.empty()) {
        std::string error;
        std::FILE *file = openTraceFile(m_inv.trace, error);
        if (!file) {
            std::fprintf(stderr, "telmax-cmd: --trace %s\n", error.c_str());
            return kExitUsage;
        }
        trace = std::make_unique<TracePort>(file, serial::backend());
    }
    serial::SeamsGuard seams(serial::Seams{trace.get(), {}});

    if (!m_inv.port.empty())
        choosePort();

    int status = kExitDone;
    for (const VerbCall &call : m_inv.verbs) {
        if (call.verb == Verb::Diagnose) {
            status = runDiagnose(m_inv);
            break;
        }
        status = runAndReport(call);
        if (status == kExitDone && (!results().ok() || (trace && !trace->output().ok())))
            status = kExitUnitFault;
        if (status != kExitDone)
            break;
    }
    if (!record(status == kExitDone))
        status = worstExit(status, kExitUnitFault);
    // The port is closed by now; what could not be written is the run's failure.
    const Output *traceOutput = trace ? &trace->output() : nullptr;
    const Output *resultOutput = &results();
    for (const Output *out : {resultOutput, traceOutput})
        if (out && !out->ok()) {
            std::fprintf(stderr, "telmax-cmd: %s\n", out->error().c_str());
            status = worstExit(status, kExitUnitFault);
            break;
        }
    return status;
}

// A print text that no print command can carry is refused before anything is sent.
bool printTextsFit(const Invocation &inv)
{
    for (const VerbCall &call : inv.verbs) {
        if (call.verb != Verb::Print)
            continue;
        const std::size_t size = ops::printTextSent(fromLocal(call.text)).bytes.size();
        if (size > std::size_t(cmd::kMaxPrintTextLength)) {
            std::fprintf(stderr,
                         "telmax-cmd: print: the text is %zu bytes in the printer's code page (%s); one print"
                         " command carries at most %d\n",
                         size, ops::printCodePageName().c_str(), cmd::kMaxPrintTextLength);
            return false;
        }
    }
    return true;
}

} // namespace

int runVerbs(const Invocation &inv)
{
    if (!results().ok()) {
        std::fprintf(stderr, "telmax-cmd: %s\n", results().error().c_str());
        return kExitUnitFault;
    }
    ops::startUp();   // the settings, the port map and the language the window would use
    if (!printTextsFit(inv))
        return kExitUsage;
    std::unique_ptr<AuditLog> audit;
    if (!inv.audit.empty()) {
        std::string error;
        audit = AuditLog::open(inv.audit, error);
        if (!audit) {
            std::fprintf(stderr, "telmax-cmd: --audit %s\n", error.c_str());
            return kExitUsage;
        }
    }
    if (inv.listPorts) {
        listPorts(inv.json);
        if (!results().check()) {
            std::fprintf(stderr, "telmax-cmd: %s\n", results().error().c_str());
            return kExitUnitFault;
        }
        if (inv.verbs.empty())
            return kExitDone;
    }
    const int language = inv.language >= 0 ? inv.language : ops::languageInForce();
    // A station's runs: each unit in a run of its own, which writes its own record.
    if (inv.watch)
        return runWatch(inv, language);
    if (inv.all)
        return runAll(inv, language, audit.get());
    Runner runner(inv, language, audit.get());
    return runner.run();
}

} // namespace tools
