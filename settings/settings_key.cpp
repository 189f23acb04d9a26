#include "settings/settings_key.h"

#include <QDir>
#include <QFileInfo>
#include <QLibraryInfo>
#include <QSettings>
#include <QStandardPaths>
#include <QVariant>
#include <cstdint>
#include <cstdio>

struct SettingsKey::Store {
    QString path;
    std::unique_ptr<QSettings> settings;
    // Why this store takes no writes; empty when it may.
    QString refusal;
};

namespace {

void report(const QString &line)
{
    std::fprintf(stderr, "settings: %s\n", line.toLocal8Bit().constData());
}

#ifdef Q_OS_WIN

std::unique_ptr<QSettings> openStore(StoreScope scope, const QString &name)
{
    auto settings = std::make_unique<QSettings>(
        QSettings::NativeFormat, scope == StoreScope::Machine ? QSettings::SystemScope : QSettings::UserScope,
        QStringLiteral("VOREX"), name);
    // Only the application's own key counts; an organisation-wide key must not leak values in.
    settings->setFallbacksEnabled(false);
    return settings;
}

#else

// Qt's own folders for the two scopes: the first of XDG_CONFIG_DIRS (else /etc/xdg), and
// XDG_CONFIG_HOME (else ~/.config). Worked out here because handing Qt the scope makes it read
// the file at once, before it could be checked.
QString storeFolder(StoreScope scope)
{
    if (scope == StoreScope::Machine) {
        const QString dirs = qEnvironmentVariable("XDG_CONFIG_DIRS");
        return dirs.isEmpty() ? QLibraryInfo::path(QLibraryInfo::SettingsPath) : dirs.section(u':', 0, 0);
    }
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
}

QString storePath(StoreScope scope, const QString &name)
{
    const QString folder = storeFolder(scope);
    if (scope == StoreScope::User && folder.isEmpty())
        return {};
    return QDir::cleanPath(QFileInfo(folder + QStringLiteral("/VOREX/") + name + QStringLiteral(".conf"))
                               .absoluteFilePath());
}

// Empty when the path may be handed to Qt: absent, or a regular file that can be read. Qt would
// wait forever on a FIFO and fail without a word on the rest.
QString readRefusal(const QFileInfo &file)
{
    if (!file.exists())
        return {};
    if (!file.isFile())
        return QStringLiteral("is not a regular file");
    if (!file.isReadable())
        return QStringLiteral("cannot be read");
    return {};
}

// Empty when Qt can write the file: it replaces it through a new file beside it, and makes
// the missing folders first.
QString writeRefusal(const QString &path)
{
    if (path.isEmpty())
        return QStringLiteral("(no configuration folder for this user)");
    const QFileInfo file(path);
    if (file.exists()) {
        // What cannot be read cannot be kept when the file is written again.
        const QString why = readRefusal(file);
        if (!why.isEmpty())
            return why;
        if (!file.isWritable())
            return QStringLiteral("is not writable");
    }
    QString folder = file.absolutePath();
    while (!QFileInfo::exists(folder) && QFileInfo(folder).absolutePath() != folder)
        folder = QFileInfo(folder).absolutePath();
    const QFileInfo dir(folder);
    if (!dir.isDir() || !dir.isWritable())
        return QStringLiteral("cannot be made (%1 is not a writable folder)").arg(folder);
    return {};
}

#endif

bool readStringFrom(const QSettings &settings, const QString &name, QString &value)
{
    if (!settings.contains(name))
        return false;
    const QVariant stored = settings.value(name);
    switch (stored.typeId()) {
    case QMetaType::QString:
        value = stored.toString();
        return true;
#ifdef Q_OS_WIN
    case QMetaType::Int:
    case QMetaType::UInt:
        // A DWORD where text belongs.
        return false;
#else
    case QMetaType::QStringList:
        // The file format splits an unquoted text at its commas ("19200,e,8,1" written by
        // hand); the line settings are meant as one text, so join it back.
        value = stored.toStringList().join(u',');
        return true;
#endif
    default:
        return false;
    }
}

} // namespace

bool parseStoredInteger(const QString &text, int &value)
{
    const QString trimmed = text.trimmed();
    if (trimmed.isEmpty())
        return false;
    for (qsizetype i = 0; i < trimmed.size(); ++i) {
        const QChar c = trimmed.at(i);
        if (!(c.isDigit() && c.unicode() < 128) && !(i == 0 && (c == u'-' || c == u'+')))
            return false;
    }
    bool ok = false;
    const qlonglong number = trimmed.toLongLong(&ok, 10);
    if (!ok || number < INT32_MIN || number > static_cast<qlonglong>(UINT32_MAX))
        return false;
    value = static_cast<int>(static_cast<std::int32_t>(static_cast<std::uint32_t>(number)));
    return true;
}

SettingsKey::SettingsKey(const QString &name)
    : m_name(name), m_machine(std::make_unique<Store>()), m_user(std::make_unique<Store>())
{
}

SettingsKey::~SettingsKey()
{
    close();
}

QString SettingsKey::location(StoreScope scope, const QString &name)
{
#ifdef Q_OS_WIN
    return openStore(scope, name)->fileName();
#else
    return storePath(scope, name);
#endif
}

SettingsKey::Store &SettingsKey::store(StoreScope scope) const
{
    return scope == StoreScope::Machine ? *m_machine : *m_user;
}

bool SettingsKey::open()
{
    close();
    for (const StoreScope scope : {StoreScope::Machine, StoreScope::User}) {
        Store &target = store(scope);
        target.path = location(scope, m_name);
#ifdef Q_OS_WIN
        auto settings = openStore(scope, m_name);
        // The registry backend cannot tell an empty key from a missing one; both read as nothing.
        if (settings->allKeys().isEmpty() || settings->status() != QSettings::NoError)
            continue;
#else
        if (target.path.isEmpty())
            continue;
        const QFileInfo file(target.path);
        if (!file.exists())
            continue;
        const QString why = readRefusal(file);
        if (!why.isEmpty()) {
            report(QStringLiteral("%1 %2; read as empty").arg(target.path, why));
            continue;
        }
        auto settings = std::make_unique<QSettings>(target.path, QSettings::IniFormat);
        if (settings->status() != QSettings::NoError) {
            report(QStringLiteral("%1 cannot be parsed; read as empty").arg(target.path));
            continue;
        }
#endif
        target.settings = std::move(settings);
        m_open = true;
    }
    m_writable = false;
    return m_open;
}

bool SettingsKey::openOrCreate()
{
    close();
    for (const StoreScope scope : {StoreScope::Machine, StoreScope::User}) {
        Store &target = store(scope);
        target.path = location(scope, m_name);
#ifdef Q_OS_WIN
        // The registry tells whether a write is allowed only when it is made.
        target.settings = openStore(scope, m_name);
#else
        target.refusal = writeRefusal(target.path);
        if (!target.refusal.isEmpty())
            continue;
        target.settings = std::make_unique<QSettings>(target.path, QSettings::IniFormat);
#endif
        // A store that exists but cannot even be read is not one we may overwrite.
        if (target.settings->status() != QSettings::NoError) {
            target.settings.reset();
            target.refusal = QStringLiteral("cannot be read");
        }
    }
    if (!m_machine->settings && !m_user->settings) {
        report(QStringLiteral("not saved: %1 %2; %3 %4")
                   .arg(m_machine->path, m_machine->refusal, m_user->path, m_user->refusal));
        return false;
    }
    m_open = true;
    m_writable = true;
    return true;
}

const QSettings *SettingsKey::holder(const QString &name) const
{
    for (const Store *s : {m_user.get(), m_machine.get()})
        if (s->settings && s->settings->contains(name))
            return s->settings.get();
    return nullptr;
}

bool SettingsKey::valueExists(const QString &name) const
{
    return holder(name) != nullptr;
}

bool SettingsKey::readInteger(const QString &name, int &value) const
{
    const QSettings *settings = holder(name);
    if (!settings)
        return false;
    const QVariant stored = settings->value(name);
#ifdef Q_OS_WIN
    // Only a REG_DWORD is an integer here; Qt hands it back as int or uint.
    switch (stored.typeId()) {
    case QMetaType::Int:
        value = stored.toInt();
        return true;
    case QMetaType::UInt:
        value = static_cast<int>(stored.toUInt());
        return true;
    default:
        return false;
    }
#else
    switch (stored.typeId()) {
    case QMetaType::QString:
        return parseStoredInteger(stored.toString(), value);
    case QMetaType::Int:
        // Written by this process and still held in Qt's cache of the file.
        value = stored.toInt();
        return true;
    default:
        return false;
    }
#endif
}

bool SettingsKey::readString(const QString &name, QString &value) const
{
    const QSettings *settings = holder(name);
    return settings && readStringFrom(*settings, name, value);
}

bool SettingsKey::write(const QString &name, const QVariant &value)
{
    if (!m_open || !m_writable)
        return false;
    Store &machine = *m_machine;
    Store &user = *m_user;
    if (machine.settings) {
        machine.settings->setValue(name, value);
        machine.settings->sync();
        if (machine.settings->status() == QSettings::NoError) {
            // A copy left in the user's store would be read over the value just saved.
            if (user.settings && user.settings->contains(name)) {
                user.settings->remove(name);
                user.settings->sync();
                if (user.settings->status() != QSettings::NoError)
                    report(QStringLiteral("%1 saved in %2, but an older one stays in %3 and is read over it")
                               .arg(name, machine.path, user.path));
            }
            return true;
        }
        // Qt keeps the refused write pending in this store; it is not used again.
        machine.settings.reset();
        machine.refusal = QStringLiteral("refused the write");
    }
    if (user.settings) {
        user.settings->setValue(name, value);
        user.settings->sync();
        if (user.settings->status() == QSettings::NoError)
            return true;
        user.settings.reset();
        user.refusal = QStringLiteral("refused the write");
    }
    report(QStringLiteral("%1 not saved: %2 %3; %4 %5").arg(name, machine.path, machine.refusal, user.path, user.refusal));
    m_writable = false;
    return false;
}

bool SettingsKey::writeInteger(const QString &name, int value)
{
    return write(name, value);
}

bool SettingsKey::writeString(const QString &name, const QString &value)
{
    return write(name, value);
}

QStringList SettingsKey::valueNames(StoreScope scope, const QString &group) const
{
    QSettings *settings = store(scope).settings.get();
    if (!settings)
        return {};
    settings->beginGroup(group);
    const QStringList names = settings->childKeys();
    settings->endGroup();
    return names;
}

bool SettingsKey::readGroupString(StoreScope scope, const QString &group, const QString &name, QString &value) const
{
    const QSettings *settings = store(scope).settings.get();
    return settings && readStringFrom(*settings, group + u'/' + name, value);
}

void SettingsKey::close()
{
    for (Store *s : {m_machine.get(), m_user.get()}) {
        s->settings.reset();
        s->refusal.clear();
    }
    m_open = false;
    m_writable = false;
}
