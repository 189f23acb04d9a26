#include "settings/settings_key.h"

#include <QVariant>
#include <cstdint>
#include <cstdio>

#include "settings/settings_store.h"

void reportSettings(const QString &line)
{
    std::fprintf(stderr, "settings: %s\n", line.toLocal8Bit().constData());
}

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

SettingsKey::SettingsKey(const QString &name) : m_name(name) {}

SettingsKey::~SettingsKey()
{
    close();
}

QString SettingsKey::location(StoreScope scope, const QString &name)
{
    return storeLocation(scope, name);
}

const SettingsStore *SettingsKey::store(StoreScope scope) const
{
    return scope == StoreScope::Machine ? m_machine.get() : m_user.get();
}

bool SettingsKey::open()
{
    close();
    m_machine = std::make_unique<SettingsStore>(StoreScope::Machine, m_name);
    m_user = std::make_unique<SettingsStore>(StoreScope::User, m_name);
    const bool machine = m_machine->load(true);
    const bool user = m_user->load(true);
    m_open = machine || user;
    return m_open;
}

bool SettingsKey::openOrCreate()
{
    close();
    m_machine = std::make_unique<SettingsStore>(StoreScope::Machine, m_name);
    m_user = std::make_unique<SettingsStore>(StoreScope::User, m_name);
    // Read quietly: a store that cannot be read is told when it refuses the save.
    m_machine->load(false);
    m_user->load(false);
    const bool machine = m_machine->prepareSave();
    const bool user = m_user->prepareSave();
    if (!machine && !user) {
        reportSettings(QStringLiteral("not saved: %1").arg(describe(refused())));
        return false;
    }
    if (!machine && m_machine->refusalToTell())
        reportSettings(QStringLiteral("%1; saving to %2 instead").arg(describe(m_machine->refusal()), m_user->path()));
    m_open = true;
    m_writable = true;
    return true;
}

const QVariant *SettingsKey::stored(const QString &name) const
{
    for (const SettingsStore *s : {m_user.get(), m_machine.get()}) {
        if (!s)
            continue;
        const auto found = s->values().constFind(name);
        if (found != s->values().constEnd())
            return &found.value();
    }
    return nullptr;
}

bool SettingsKey::valueExists(const QString &name) const
{
    return stored(name) != nullptr;
}

bool SettingsKey::readInteger(const QString &name, int &value) const
{
    const QVariant *found = stored(name);
    return found && storedInteger(*found, value);
}

bool SettingsKey::readString(const QString &name, QString &value) const
{
    const QVariant *found = stored(name);
    return found && storedString(*found, value);
}

SaveResult SettingsKey::refused() const
{
    SaveResult result;
    for (const SettingsStore *s : {m_machine.get(), m_user.get()})
        if (s && !s->writable())
            result.refusals << s->refusal();
    return result;
}

namespace {

QString namesOf(const SettingsValues &values)
{
    QStringList names;
    for (const auto &value : values)
        names << value.first;
    return names.join(QStringLiteral(", "));
}

} // namespace

SaveResult SettingsKey::write(const SettingsValues &values)
{
    if (!m_open || !m_writable)
        return refused();
    SettingsStore &machine = *m_machine;
    SettingsStore &user = *m_user;
    if (machine.writable()) {
        if (machine.save(values)) {
            dropUserCopies(values);
            return {true, {}};
        }
        if (machine.refusalToTell() && user.writable())
            reportSettings(QStringLiteral("%1; saving to %2 instead").arg(describe(machine.refusal()), user.path()));
    }
    if (user.writable() && user.save(values))
        return {true, {}};
    m_writable = false;
    const SaveResult result = refused();
    reportSettings(QStringLiteral("%1 not saved: %2").arg(namesOf(values), describe(result)));
    return result;
}

// A copy left in the user's store would be read over a value just saved machine-wide.
void SettingsKey::dropUserCopies(const SettingsValues &values)
{
    SettingsStore &user = *m_user;
    SettingsValues drops;
    for (const auto &value : values)
        if (user.values().contains(value.first))
            drops.append({value.first, QVariant()});
    if (drops.isEmpty() || (user.writable() && user.save(drops)))
        return;
    reportSettings(QStringLiteral("%1 saved in %2, but the older copy in %3 (it %4) stays and is read over it")
                       .arg(namesOf(drops), m_machine->path(), user.path(), refusalWords(user.refusal())));
}

QStringList SettingsKey::valueNames(StoreScope scope, const QString &group) const
{
    const SettingsStore *s = store(scope);
    if (!s)
        return {};
    const QString prefix = group + u'/';
    QStringList names;
    for (auto it = s->values().constBegin(); it != s->values().constEnd(); ++it)
        if (it.key().startsWith(prefix) && !it.key().mid(prefix.size()).contains(u'/'))
            names << it.key().mid(prefix.size());
    return names;
}

bool SettingsKey::readGroupBytes(StoreScope scope, const QString &group, const QString &name, QByteArray &value) const
{
    const SettingsStore *s = store(scope);
    if (!s)
        return false;
    const auto found = s->values().constFind(group + u'/' + name);
    return found != s->values().constEnd() && storedBytes(found.value(), value);
}

bool SettingsKey::readGroupPieces(StoreScope scope, const QString &group, const QString &name,
                                  QByteArrayList &pieces) const
{
    const SettingsStore *s = store(scope);
    if (!s)
        return false;
    const auto found = s->values().constFind(group + u'/' + name);
    return found != s->values().constEnd() && storedPieces(found.value(), pieces);
}

void SettingsKey::close()
{
    m_machine.reset();
    m_user.reset();
    m_open = false;
    m_writable = false;
}
