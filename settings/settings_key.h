#pragma once
// The one settings key, "\Software\VOREX\PRINTConfig", with the few operations the program
// needs. It lives twice: machine-wide (HKEY_LOCAL_MACHINE; VOREX/PRINTConfig.conf in every
// folder of XDG_CONFIG_DIRS, earlier folders winning value by value) and in the user's own
// store (HKEY_CURRENT_USER, ~/.config/VOREX/PRINTConfig.conf), which is read over the
// machine-wide one value by value. A write goes machine-wide where that is allowed, else to the
// user's store, so a technician who is not an administrator keeps their settings too. On
// Windows these are registry keys (integers as REG_DWORD, strings as REG_SZ); elsewhere text
// files of INI form (ini_text.h), where every value is text and an integer is a whole decimal
// number that fits 32 bits. A file is written only when it is the user's own and not a symbolic
// link, by replacing it atomically with its comments and unknown lines kept, all values of one
// save at once (store_file_posix.h).
//
// The port map is a second key of the same shape, "ports" (VOREX/ports.conf), only ever read.
//
// Every operation reports failure as a value and never throws. What the user would otherwise
// never learn (a store that is not a file, a save that went nowhere or that an older copy in the
// user's store hides) is written to stderr, one line each.

#include <QByteArray>
#include <QByteArrayList>
#include <QList>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <memory>
#include <utility>

#include "settings/save_result.h"

class SettingsStore;

// The values of one save, in order; an invalid value is dropped from the store.
using SettingsValues = QList<std::pair<QString, QVariant>>;

enum class StoreScope { Machine, User };

class SettingsKey {
public:
    // name: "PRINTConfig" for the four settings, "ports" for the port map.
    explicit SettingsKey(const QString &name = QStringLiteral("PRINTConfig"));
    ~SettingsKey();
    SettingsKey(const SettingsKey &) = delete;
    SettingsKey &operator=(const SettingsKey &) = delete;

    // For reading only; false when neither store holds the key. Never creates anything.
    bool open();
    // For writing; false (reported) when neither store can be written. The key (on Linux the
    // file and its folders) is made on the first write.
    bool openOrCreate();
    bool isOpen() const { return m_open; }

    // The user's value where there is one, else the machine-wide one.
    bool valueExists(const QString &name) const;
    // False when the value is missing or stored with another type; value is then untouched.
    bool readInteger(const QString &name, int &value) const;
    bool readString(const QString &name, QString &value) const;
    // Written through at once, machine-wide where allowed, else to the user's store; each store
    // takes all of them or none. Not saved (reported) when neither store took them.
    SaveResult write(const SettingsValues &values);
    // Why a key that did not open for writing cannot be saved to.
    SaveResult refused() const;

    // Names and texts of a subgroup's values in one of the two stores; empty when there is none.
    QStringList valueNames(StoreScope scope, const QString &group) const;
    // As the stored bytes: a device path need not be UTF-8.
    bool readGroupBytes(StoreScope scope, const QString &group, const QString &name, QByteArray &value) const;
    // A list value's pieces (a comma inside quotes stays in its piece), each as its bytes.
    bool readGroupPieces(StoreScope scope, const QString &group, const QString &name, QByteArrayList &pieces) const;

    void close();

    // Where the key lives in a scope: a file path, or the registry path on Windows. Machine-wide,
    // the file saves go to: the first of XDG_CONFIG_DIRS that holds one, else the first folder.
    static QString location(StoreScope scope = StoreScope::Machine,
                            const QString &name = QStringLiteral("PRINTConfig"));

private:
    void dropUserCopies(const SettingsValues &values);
    const QVariant *stored(const QString &name) const;
    const SettingsStore *store(StoreScope scope) const;

    QString m_name;
    std::unique_ptr<SettingsStore> m_machine;
    std::unique_ptr<SettingsStore> m_user;
    bool m_open = false;
    bool m_writable = false;
};

// The text of a stored integer as this platform's store keeps it; false when it is not a whole
// decimal number within 32 bits. Values above INT_MAX read as their 32-bit two's complement,
// as a DWORD read into a signed integer does.
bool parseStoredInteger(const QString &text, int &value);
