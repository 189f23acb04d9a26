// The stores on Windows: the registry keys HKEY_LOCAL_MACHINE\Software\VOREX\<name> and
// HKEY_CURRENT_USER\Software\VOREX\<name>, through QSettings. Integers are REG_DWORD, texts REG_SZ.
#include "settings/settings_store.h"

#include <QSettings>

struct SettingsStore::Native {
    // Kept from prepareSave for the saves.
    std::unique_ptr<QSettings> settings;
};

namespace {

std::unique_ptr<QSettings> openStore(StoreScope scope, const QString &name)
{
    auto settings = std::make_unique<QSettings>(
        QSettings::NativeFormat, scope == StoreScope::Machine ? QSettings::SystemScope : QSettings::UserScope,
        QStringLiteral("VOREX"), name);
    // Only the application's own key counts; an organisation-wide key must not leak values in.
    settings->setFallbacksEnabled(false);
    return settings;
}

} // namespace

QString storeLocation(StoreScope scope, const QString &name)
{
    return openStore(scope, name)->fileName();
}

bool storedInteger(const QVariant &stored, int &value)
{
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
}

bool storedString(const QVariant &stored, QString &value)
{
    // A DWORD where text belongs is not text.
    if (stored.typeId() != QMetaType::QString)
        return false;
    value = stored.toString();
    return true;
}

bool storedBytes(const QVariant &stored, QByteArray &value)
{
    QString text;
    if (!storedString(stored, text))
        return false;
    value = text.toUtf8();
    return true;
}

bool storedPieces(const QVariant &stored, QByteArrayList &pieces)
{
    QByteArray text;
    if (!storedBytes(stored, text))
        return false;
    pieces = text.split(',');
    return true;
}

SettingsStore::SettingsStore(StoreScope scope, const QString &name)
    : m_scope(scope), m_name(name), m_path(storeLocation(scope, name)), m_native(std::make_unique<Native>())
{
}

SettingsStore::~SettingsStore() = default;

bool SettingsStore::load(bool)
{
    m_values.clear();
    const auto settings = openStore(m_scope, m_name);
    // The registry backend cannot tell an empty key from a missing one; both read as nothing.
    if (settings->status() != QSettings::NoError)
        return false;
    for (const QString &key : settings->allKeys())
        m_values.insert(key, settings->value(key));
    return !m_values.isEmpty();
}

bool SettingsStore::prepareSave()
{
    // The registry tells whether a write is allowed only when it is made.
    m_native->settings = openStore(m_scope, m_name);
    if (m_native->settings->status() != QSettings::NoError) {
        m_native->settings.reset();
        refuse({Refusal::Unreadable, {}, {}, 0}, false);
        return false;
    }
    m_writable = true;
    return true;
}

// The registry has no replace of several values at once: they are written one after another.
bool SettingsStore::save(const SettingsValues &values)
{
    if (!m_writable)
        return false;
    QSettings &settings = *m_native->settings;
    for (const auto &[name, value] : values) {
        if (value.isValid())
            settings.setValue(name, value);
        else
            settings.remove(name);
    }
    settings.sync();
    if (settings.status() != QSettings::NoError) {
        // Qt keeps the refused write pending in this store; it is not used again.
        m_native->settings.reset();
        refuse({Refusal::WriteRefused, {}, {}, 0}, false);
        return false;
    }
    for (const auto &[name, value] : values) {
        if (value.isValid())
            m_values.insert(name, settings.value(name));
        else
            m_values.remove(name);
    }
    return true;
}
