#pragma once
// One scope of one settings key as this platform keeps it: settings_store_posix.cpp (text files
// in the XDG configuration folders, ini_text.h) and settings_store_win32.cpp (the registry through
// QSettings). SettingsKey (settings_key.cpp) reads over and writes through two of them.

#include <QString>
#include <QVariantMap>
#include <memory>

#include "settings/save_result.h"
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
    // Writes the values through at once, all in one replace where the store is a file; an invalid
    // value is dropped. False with refusal() set, and no save goes here afterwards.
    bool save(const SettingsValues &values);

    // Where saves go: a file path, or the registry path on Windows.
    const QString &path() const { return m_path; }
    const QVariantMap &values() const { return m_values; }
    bool writable() const { return m_writable; }
    const StoreRefusal &refusal() const { return m_refusal; }
    // The refusal is news to whoever saves (a symbolic link, another user's file, a write that
    // failed), not the want of permission a user without rights meets at every save.
    bool refusalToTell() const { return m_tell; }

private:
    void refuse(const StoreRefusal &why, bool tell)
    {
        m_writable = false;
        m_refusal = why;
        m_refusal.path = m_path;
        m_tell = tell;
    }

    struct Native;
    StoreScope m_scope;
    QString m_name;
    QString m_path;
    QVariantMap m_values;
    bool m_writable = false;
    StoreRefusal m_refusal;
    bool m_tell = false;
    std::unique_ptr<Native> m_native;
};

// Where a scope's key lives (SettingsKey::location).
QString storeLocation(StoreScope scope, const QString &name);

// A stored value as one of the settings' types, as this platform's store keeps them; false
// when it is stored with another type.
bool storedInteger(const QVariant &stored, int &value);
bool storedString(const QVariant &stored, QString &value);
// A stored text as its bytes (a device path need not be UTF-8); false as for storedString.
bool storedBytes(const QVariant &stored, QByteArray &value);
// A stored list as its pieces, each as its bytes; a text that is no list is one piece.
bool storedPieces(const QVariant &stored, QByteArrayList &pieces);

// One line on stderr.
void reportSettings(const QString &line);
