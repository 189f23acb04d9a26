#include "settings/settings_key.h"

#include <QFileInfo>
#include <QSettings>
#include <QVariant>
#include <cstdint>

namespace {

std::unique_ptr<QSettings> makeStore()
{
    auto settings = std::make_unique<QSettings>(QSettings::NativeFormat, QSettings::SystemScope,
                                                QStringLiteral("VOREX"), QStringLiteral("PRINTConfig"));
    // Only the application's own key counts; an organisation-wide file must not leak values in.
    settings->setFallbacksEnabled(false);
    return settings;
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

SettingsKey::SettingsKey() = default;

SettingsKey::~SettingsKey()
{
    close();
}

QString SettingsKey::location()
{
    return makeStore()->fileName();
}

bool SettingsKey::open()
{
    close();
    auto settings = makeStore();
#ifdef Q_OS_WIN
    // The registry backend cannot tell an empty key from a missing one; both give the defaults.
    if (settings->allKeys().isEmpty())
        return false;
#else
    const QFileInfo file(settings->fileName());
    if (!file.exists() || !file.isReadable())
        return false;
#endif
    if (settings->status() != QSettings::NoError)
        return false;
    m_settings = std::move(settings);
    m_writable = false;
    return true;
}

bool SettingsKey::openOrCreate()
{
    close();
    auto settings = makeStore();
    // A store that exists but cannot even be read is not one we may overwrite.
    if (settings->status() == QSettings::FormatError)
        return false;
#ifndef Q_OS_WIN
    const QFileInfo file(settings->fileName());
    if (file.exists() && !file.isWritable())
        return false;
#endif
    m_settings = std::move(settings);
    m_writable = true;
    return true;
}

bool SettingsKey::valueExists(const QString &name) const
{
    return m_settings && m_settings->contains(name);
}

bool SettingsKey::readInteger(const QString &name, int &value) const
{
    if (!valueExists(name))
        return false;
    const QVariant stored = m_settings->value(name);
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
    if (!valueExists(name))
        return false;
    const QVariant stored = m_settings->value(name);
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

bool SettingsKey::write(const QString &name, const QVariant &value)
{
    if (!m_settings || !m_writable)
        return false;
    m_settings->setValue(name, value);
    m_settings->sync();
    return m_settings->status() == QSettings::NoError;
}

bool SettingsKey::writeInteger(const QString &name, int value)
{
    return write(name, value);
}

bool SettingsKey::writeString(const QString &name, const QString &value)
{
    return write(name, value);
}

QStringList SettingsKey::valueNames(const QString &group) const
{
    if (!m_settings)
        return {};
    m_settings->beginGroup(group);
    const QStringList names = m_settings->childKeys();
    m_settings->endGroup();
    return names;
}

bool SettingsKey::readGroupString(const QString &group, const QString &name, QString &value) const
{
    return readString(group + u'/' + name, value);
}

void SettingsKey::close()
{
    m_settings.reset();
    m_writable = false;
}
