#include "tools/unit_command.h"

#include <QByteArray>
#include <QJsonDocument>
#include <QJsonObject>

#include "link/commands.h"
#include "texts/ui_text.h"

namespace tools {

namespace {

void addVerb(const VerbCall &call, int idOffset, std::vector<std::string> &args)
{
    args.push_back(call.name);
    switch (call.verb) {
    case Verb::SetId:
        args.push_back(std::to_string(call.id + (call.countUp ? idOffset : 0)));
        break;
    case Verb::SetBaud:
        args.push_back(BaudRateList[std::size_t(call.lineIndex)]);
        break;
    case Verb::Print:
        args.push_back(call.text);
        break;
    case Verb::Test:
        if (call.count > 0) {
            args.push_back("--count");
            args.push_back(std::to_string(call.count));
        }
        break;
    case Verb::Scan:
    case Verb::Watch:
    case Verb::Diagnose:   // never a unit's verb: the grammar keeps it alone
    case Verb::Factory:
    case Verb::Status:
        break;
    }
}

} // namespace

std::vector<std::string> unitArguments(const Invocation &inv, int language, const std::string &port, int lineIndex,
                                       int idOffset, bool beep)
{
    std::vector<std::string> args{"--lang", kLanguages[language].code};
    const std::pair<const char *, const std::string *> valued[] = {
        {"--trace", &inv.trace},
        {"--audit", &inv.audit},
        {"--station", &inv.station},
        {"--operator", &inv.operatorName},
    };
    for (const auto &[option, value] : valued)
        if (!value->empty()) {
            args.push_back(option);
            args.push_back(*value);
        }
    const std::pair<const char *, bool> switches[] = {{"--json", inv.json}, {"--verify", inv.verify}, {"--beep", beep}};
    for (const auto &[option, on] : switches)
        if (on)
            args.push_back(option);
    args.insert(args.end(), {"--port", port, "--line", BaudRateList[std::size_t(lineIndex)]});
    for (const VerbCall &call : inv.verbs)
        if (call.verb != Verb::Scan && call.verb != Verb::Watch)
            addVerb(call, idOffset, args);
    return args;
}

int lastCountedId(const Invocation &inv, int count)
{
    int last = 0;
    for (const VerbCall &call : inv.verbs)
        if (call.verb == Verb::SetId && call.countUp)
            last = std::max(last, call.id + count - 1);
    return last;
}

int lineAfterVerbs(const Invocation &inv, int lineIndex)
{
    for (const VerbCall &call : inv.verbs)
        if (call.verb == Verb::SetBaud)
            lineIndex = call.lineIndex;
        else if (call.verb == Verb::Factory)
            lineIndex = kDefaultBaudRateNo;
    return lineIndex;
}

std::string unitLine(const std::string &port, const std::string &line, bool json)
{
    if (!json)
        return port + (port.size() < 6 ? std::string(6 - port.size(), ' ') : std::string(" ")) + line;
    const QJsonDocument doc = QJsonDocument::fromJson(QByteArray::fromStdString(line));
    if (!doc.isObject() || doc.object().contains(QStringLiteral("port")))
        return line;
    QJsonObject o = doc.object();
    o.insert(QStringLiteral("port"), QString::fromStdString(port));
    return QJsonDocument(o).toJson(QJsonDocument::Compact).toStdString();
}

} // namespace tools
