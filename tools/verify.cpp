#include "tools/verify.h"

#include "link/commands.h"
#include "link/seams.h"
#include "ops/frame.h"
#include "ops/module_reading.h"
#include "ops/port_messages.h"

namespace tools {

bool changesTheModule(const VerbCall &call)
{
    return call.verb == Verb::SetId || call.verb == Verb::SetBaud || call.verb == Verb::Factory;
}

QString verifyChange(const VerbCall &call, int port, int lineIndex)
{
    const ops::ModuleReading r = ops::readModule(port, lineIndex, ops::kFrameTries, false);
    const QString line = QString::fromLatin1(BaudRateList[std::size_t(lineIndex)]);
    if (!r.open.opened())
        return QStringLiteral("cannot read the module again: ") + ops::openFailureText(serial::portLabel(port), r.open);
    if (!r.info)
        return QStringLiteral("the module does not answer at %1 after the change").arg(line);
    QString wanted;
    if (call.verb == Verb::SetId)
        wanted = QString::asprintf("%02d", call.id);
    else if (call.verb == Verb::Factory)
        wanted = QStringLiteral("01");
    const std::string id = ops::idOf(*r.info);
    const QString reported = QString::fromLatin1(id.data(), qsizetype(id.size()));
    if (!wanted.isEmpty() && reported != wanted)
        return QStringLiteral("the module reports ID %1 at %2, not %3")
            .arg(reported, line, wanted);
    return {};
}

} // namespace tools
