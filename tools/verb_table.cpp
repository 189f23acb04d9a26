#include "tools/verb_table.h"

#include "texts/ui_text.h"

namespace tools {

namespace {

constexpr VerbSpec kVerbList[] = {
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

// --lang's values: the languages' codes.
const std::string kLanguageValues = languageCodes("|", "|");

const OptionSpec kOptionList[] = {
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

} // namespace

const std::span<const VerbSpec> kVerbs(kVerbList);
const std::span<const OptionSpec> kOptions(kOptionList);

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

} // namespace tools
