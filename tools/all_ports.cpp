#include "tools/all_ports.h"

#include <atomic>
#include <csignal>
#include <cstdio>
#include <list>
#include <thread>

#include "link/commands.h"
#include "link/seams.h"
#include "ops/every_module.h"
#include "ops/frame.h"
#include "ops/module_reading.h"
#include "ops/port_messages.h"
#include "platform/hooks.h"
#include "texts/ui_text.h"
#include "tools/audit_log.h"
#include "tools/child_run.h"
#include "tools/exit_status.h"
#include "tools/interrupt.h"
#include "tools/outcome.h"
#include "tools/output.h"
#include "tools/unit_command.h"
#include "tools/unit_record.h"

namespace tools {

namespace {

QString latin1(const std::string &s) { return QString::fromLatin1(s.data(), qsizetype(s.size())); }

// One module's block, as scan shows the module it found; its record when there is an audit.
// The exit status it gives.
int showModule(const ops::FoundModule &m, const Invocation &inv, int language, AuditLog *audit, std::string &shown)
{
    const std::string serial = ops::serialOf(m.infoReply);
    const std::string id = ops::idOf(m.infoReply);
    Outcome o;
    o.ok = m.version.has_value();
    o.add("port", QString::fromStdString(serial::portLabel(m.port)));
    o.add("device", QString::fromStdString(m.device));
    o.add("line", QString::fromLatin1(BaudRateList[std::size_t(m.lineIndex)]));
    o.addReading("serial", latin1(serial));
    o.addReading("id", latin1(id));
    o.addReading("version", latin1(m.version.value_or(std::string())));
    const Signalled s{textIn(o.ok ? Text::InfoOk : Text::InfoError, language) + QStringLiteral(" : #")
                          + ops::portAfterCom(m.port) + QStringLiteral(")"),
                      o.ok};
    shown = shownOutcome("scan", o, s, inv.json, {});
    if (audit) {
        UnitRecord unit(inv);
        unit.found(m.port, m.lineIndex, serial, id, m.version.value_or(std::string()));
        unit.addResult("scan", o.ok, s.message);
        unit.unchanged();
        std::string error;
        if (!audit->append(unit.json(o.ok), error)) {
            std::fprintf(stderr, "telmax-cmd: --audit %s\n", error.c_str());
            return kExitUnitFault;
        }
    }
    return o.ok ? kExitDone : kExitUnitFault;
}

// One module's run of its own, on a thread of its own.
struct PortRun {
    std::string port;
    std::string scanned;   // the module as scan showed it, when scan was asked for
    std::vector<std::string> args;
    ChildRun child;
    std::vector<std::string> out;
    int status = kExitUsage;
    std::atomic<bool> done{false};
};

void runOne(PortRun &run, bool json)
{
    std::string error;
    if (run.child.start(run.args, error))
        run.status = run.child.wait([&](const std::string &line) { run.out.push_back(unitLine(run.port, line, json)); },
                                    [&](const std::string &line) { tellBytes(run.port + ": " + line); });
    else
        tellBytes(run.port + ": telmax-cmd: " + error);
    run.done = true;
}

// The verbs on each module at once; the results shown port by port, in port order, after the
// module as scan found it when scan came first.
int runUnits(const std::vector<ops::FoundModule> &modules, const Invocation &inv, int language)
{
    const bool scanShown = inv.verbs.front().verb == Verb::Scan;
    if (const int last = lastCountedId(inv, int(modules.size())); last > 99) {
        std::fprintf(stderr, "telmax-cmd: set-id: %zu modules found would need IDs up to %d; the highest is 99\n",
                     modules.size(), last);
        return kExitUsage;
    }
    std::list<PortRun> runs;
    std::vector<std::thread> threads;
    const InterruptCatch interrupt;
    {
        const serial::EndingSignalsHeld signalsHeld;   // Ctrl+C comes to this thread
        int offset = 0;
        for (const ops::FoundModule &m : modules) {
            PortRun &run = runs.emplace_back();
            run.port = serial::portLabel(m.port);
            run.args = unitArguments(inv, language, run.port, m.lineIndex, offset++, inv.beep);
            if (scanShown)
                showModule(m, inv, language, nullptr, run.scanned);
            threads.emplace_back(runOne, std::ref(run), inv.json);
        }
    }
    int status = kExitDone;
    bool forwarded = false;
    for (auto next = runs.begin(); next != runs.end();) {
        if (next->done) {
            // The block as its lines, in the locale's code page as they are.
            for (std::size_t at = 0, end; (end = next->scanned.find('\n', at)) != std::string::npos; at = end + 1)
                results().write(unitLine(next->port, next->scanned.substr(at, end - at), inv.json) + "\n");
            for (const std::string &line : next->out)
                results().write(line + "\n");
            status = worstExit(status, next->status);
            ++next;
            continue;
        }
        if (InterruptCatch::requested() && !forwarded) {
            // Each run does with Ctrl+C what a run of its own does (the test stops after its pass).
            for (PortRun &run : runs)
                run.child.signal(SIGINT);
            forwarded = true;
        }
        platform::SleepMs(20);
    }
    for (std::thread &t : threads)
        t.join();
    return results().ok() ? status : worstExit(status, kExitUnitFault);
}

} // namespace

int runAll(const Invocation &inv, int language, AuditLog *audit)
{
    const bool lock = inv.verbs.front().verb == Verb::Scan ? inv.verbs.front().lock : true;
    const std::vector<ops::FoundModule> modules =
        ops::findEveryModule(lock, [](const ops::PortSearch &port) { tell(ops::portSearchLine(port)); });
    if (modules.empty()) {
        tell(QStringLiteral("telmax-cmd: ") + textIn(Text::NotFound, language));
        return kExitNoModule;
    }
    const bool onlyScan = inv.verbs.size() == 1 && inv.verbs.front().verb == Verb::Scan;
    if (!onlyScan)
        return runUnits(modules, inv, language);
    int status = kExitDone;
    for (const ops::FoundModule &m : modules) {
        std::string shown;
        status = worstExit(status, showModule(m, inv, language, audit, shown));
        results().write(shown);
    }
    return results().ok() ? status : worstExit(status, kExitUnitFault);
}

} // namespace tools
