#pragma once
// The one settings key, "\Software\VOREX\PRINTConfig" under the machine-wide root, with the
// few operations the program needs. On Windows it is the registry key itself (integers as
// REG_DWORD, strings as REG_SZ); elsewhere the system-scope QSettings file, where every value
// is text and an integer is a whole decimal number that fits 32 bits.
//
// Every operation reports failure as false and never throws; the callers drop failures.

#include <QString>
#include <QStringList>
#include <memory>

class QSettings;

class SettingsKey {
public:
    SettingsKey();
    ~SettingsKey();
    SettingsKey(const SettingsKey &) = delete;
    SettingsKey &operator=(const SettingsKey &) = delete;

    // For reading only; false when the key does not exist or cannot be read. Never creates it.
    bool open();
    // For writing; the key (on Linux the file and its folders) is made on the first write.
    bool openOrCreate();
    bool isOpen() const { return m_settings != nullptr; }

    bool valueExists(const QString &name) const;
    // False when the value is missing or stored with another type; value is then untouched.
    bool readInteger(const QString &name, int &value) const;
    bool readString(const QString &name, QString &value) const;
    // Written through at once; false when the store refused the write.
    bool writeInteger(const QString &name, int value);
    bool writeString(const QString &name, const QString &value);

    // Names and texts of a subgroup's values (the port map); empty when there is none.
    QStringList valueNames(const QString &group) const;
    bool readGroupString(const QString &group, const QString &name, QString &value) const;

    void close();

    // Where the key lives: a file path, or the registry path on Windows.
    static QString location();

private:
    bool write(const QString &name, const QVariant &value);

    std::unique_ptr<QSettings> m_settings;
    bool m_writable = false;
};

// The text of a stored integer as this platform's store keeps it; false when it is not a whole
// decimal number within 32 bits. Values above INT_MAX read as their 32-bit two's complement,
// as a DWORD read into a signed integer does.
bool parseStoredInteger(const QString &text, int &value);
