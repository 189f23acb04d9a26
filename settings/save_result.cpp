#include "settings/save_result.h"

#include <QStringList>
#include <cstring>

namespace {

QString errorText(long long error)
{
    return QString::fromLocal8Bit(std::strerror(int(error)));
}

// " (reason)" when the system said why, else nothing.
QString errorSuffix(long long error)
{
    return error ? QStringLiteral(" (%1)").arg(errorText(error)) : QString();
}

} // namespace

QString refusalWords(const StoreRefusal &r)
{
    switch (r.reason) {
    case Refusal::NoFolder:
        return QStringLiteral("(no configuration folder for this user)");
    case Refusal::SymbolicLink:
        return QStringLiteral("is a symbolic link");
    case Refusal::FolderIsLink:
        return QStringLiteral("is in a folder that is a symbolic link (%1)").arg(r.other);
    case Refusal::NotRegularFile:
        return QStringLiteral("is not a regular file");
    case Refusal::Unreadable:
        return QStringLiteral("cannot be read") + errorSuffix(r.number);
    case Refusal::NotWritable:
        return QStringLiteral("is not writable");
    case Refusal::OtherOwner:
        return QStringLiteral("belongs to another user (uid %1)").arg(r.number);
    case Refusal::CannotMake:
        return QStringLiteral("cannot be made (%1 is not a writable folder)").arg(r.other);
    case Refusal::FolderUnusable:
        return QStringLiteral("cannot be written (%1: %2)").arg(r.other, errorText(r.number));
    case Refusal::LockUnusable:
        return QStringLiteral("cannot be locked (%1: %2)").arg(r.other, errorText(r.number));
    case Refusal::Busy:
        return QStringLiteral("is being saved by another program");
    case Refusal::Unparsable:
        return QStringLiteral("cannot be parsed (a group header without its ']')");
    case Refusal::NoTemporary:
        return QStringLiteral("cannot be written in its folder") + errorSuffix(r.number);
    case Refusal::WriteFailed:
        return QStringLiteral("could not be written") + errorSuffix(r.number);
    case Refusal::Changed:
        return QStringLiteral("changed while it was being saved");
    case Refusal::ReplaceFailed:
        return QStringLiteral("could not be replaced") + errorSuffix(r.number);
    case Refusal::WriteRefused:
        return QStringLiteral("refused the write");
    }
    return {};
}

QString describe(const StoreRefusal &r)
{
    return r.path.isEmpty() ? refusalWords(r) : r.path + u' ' + refusalWords(r);
}

QString describe(const SaveResult &result)
{
    QStringList parts;
    for (const StoreRefusal &r : result.refusals)
        parts << describe(r);
    return parts.join(QStringLiteral("; "));
}
