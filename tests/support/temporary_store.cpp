#include "temporary_store.h"

#include <QDir>
#include <QFile>
#include <QSettings>

namespace testsupport {

namespace {

bool writeFile(const QString &path, const QByteArray &content)
{
    if (!QDir().mkpath(QFileInfo(path).absolutePath()))
        return false;
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(content) == content.size();
}

} // namespace

bool TemporaryStore::isValid() const { return m_machine.isValid() && m_user.isValid(); }

QString TemporaryStore::root(Scope scope) const { return scope == Machine ? m_machine.path() : m_user.path(); }
QString TemporaryStore::folder(Scope scope) const { return root(scope) + QStringLiteral("/VOREX"); }
QString TemporaryStore::file(Scope scope) const { return folder(scope) + QStringLiteral("/PRINTConfig.conf"); }
QString TemporaryStore::portsFile(Scope scope) const { return folder(scope) + QStringLiteral("/ports.conf"); }

QProcessEnvironment TemporaryStore::environment(QProcessEnvironment base) const
{
    base.insert(QStringLiteral("XDG_CONFIG_DIRS"), root(Machine));
    base.insert(QStringLiteral("XDG_CONFIG_HOME"), root(User));
    return base;
}

bool TemporaryStore::write(const QByteArray &content, Scope scope) const { return writeFile(file(scope), content); }

bool TemporaryStore::writePorts(const QByteArray &content, Scope scope) const
{
    return writeFile(portsFile(scope), content);
}

void TemporaryStore::setValue(const QString &name, const QVariant &value, Scope scope) const
{
    QSettings writer(file(scope), QSettings::IniFormat);
    writer.setValue(name, value);
}

QByteArray TemporaryStore::bytes(Scope scope) const
{
    QFile f(file(scope));
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

QVariant TemporaryStore::value(const QString &name, Scope scope) const
{
    return QSettings(file(scope), QSettings::IniFormat).value(name);
}

QString TemporaryStore::valueText(const QString &name, Scope scope) const
{
    const QVariant v = value(name, scope);
    return v.isValid() ? v.toString() : QStringLiteral("<none>");
}

void TemporaryStore::clear() const
{
    QDir(folder(Machine)).removeRecursively();
    QDir(folder(User)).removeRecursively();
}

TemporaryStore &processStore()
{
    static TemporaryStore store;
    static const bool pointed = [] {
        qputenv("XDG_CONFIG_DIRS", QFile::encodeName(store.root(TemporaryStore::Machine)));
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(store.root(TemporaryStore::User)));
        return true;
    }();
    Q_UNUSED(pointed);
    return store;
}

} // namespace testsupport
