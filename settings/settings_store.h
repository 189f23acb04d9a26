#pragma once
// One scope of one settings key as this platform keeps it: settings_store_posix.cpp (INI files
// in the XDG configuration folders) and settings_store_win32.cpp (the registry through
// QSettings). SettingsKey (settings_key.cpp) reads over and writes through two of them.

#include <QString>
#include <QVariantMap>
#include <memory>

#include "settings/settings_key.h"

class SettingsStore {
public:
    SettingsStore(StoreScope scope, const QString &name);
    ~SettingsStore();
    SettingsStore(const SettingsStore &) = delete;
    SettingsStore &operator=(const SettingsStore &) = delete;

    // Reads every value ("Group/name" for a subgroup's). False when there is none to read: the
    // store is absent, or cannot be read, which is told on stderr when tell is set.
    bool load(bool tell);
    // Whether saves may go here; false with refusal() set.
    bool prepareSave();
    // Writes one value through at once, or drops it when value is invalid; false with
    // refusal() set, and no save goes here afterwards.
    bool save(const QString &valueName, const QVariant &value);

    // Where saves go: a file path, or the registry path on Windows.
    const QString &path() const { return m_path; }
    const QVariantMap &values() const { return m_values; }
    bool writable() const { return m_writable; }
    const QString &refusal() const { return m_refusal; }
    // The refusal is news to whoever saves (a symbolic link, another user's file, a write that
    // failed), not the want of permission a user without rights meets at every save.
    bool refusalToTell() const { return m_tell; }

private:
    void refuse(const QString &why, bool tell)
    {
        m_writable = false;
        m_refusal = why;
        m_tell = tell;
    }

    struct Native;
    StoreScope m_scope;
    QString m_name;
    QString m_path;
    QVariantMap m_values;
    bool m_writable = false;
    QString m_refusal;
    bool m_tell = false;
    std::unique_ptr<Native> m_native;
};

// Where a scope's key lives (SettingsKey::location).
QString storeLocation(StoreScope scope, const QString &name);

// A stored value as one of the settings' types, as this platform's store keeps them; false
// when it is stored with another type.
bool storedInteger(const QVariant &stored, int &value);
bool storedString(const QVariant &stored, QString &value);

// One line on stderr.
void reportSettings(const QString &line);
