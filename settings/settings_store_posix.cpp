// The stores on POSIX: files of Qt's INI format, VOREX/<name>.conf in every folder of
// XDG_CONFIG_DIRS (machine-wide) and in XDG_CONFIG_HOME (the user's). Read through QSettings;
// written only by store_file_posix.cpp, which never follows a symbolic link.
#include "settings/settings_store.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSettings>
#include <QStringList>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "settings/store_file_posix.h"

struct SettingsStore::Native {};

namespace {

// The machine-wide folders, most important first. Empty entries and relative paths do not
// count, and without any the default applies, as the XDG base-directory rules say.
QStringList machineFolders()
{
    QStringList folders;
    for (const QString &folder : qEnvironmentVariable("XDG_CONFIG_DIRS").split(u':', Qt::SkipEmptyParts))
        if (QDir::isAbsolutePath(folder))
            folders << QDir::cleanPath(folder);
    if (folders.isEmpty())
        folders << QStringLiteral("/etc/xdg");
    return folders;
}

QString userFolder()
{
    const QString folder = qEnvironmentVariable("XDG_CONFIG_HOME");
    if (QDir::isAbsolutePath(folder))
        return QDir::cleanPath(folder);
    const QString home = QDir::homePath();
    return home.isEmpty() ? QString() : QDir::cleanPath(home + QStringLiteral("/.config"));
}

QString fileIn(const QString &folder, const QString &name)
{
    return folder + QStringLiteral("/VOREX/") + name + QStringLiteral(".conf");
}

// A name in the folder, whatever it is: a dangling symbolic link counts, so that a save is
// refused there rather than going to a folder further down.
bool entryExists(const QString &path)
{
    struct stat st {};
    return lstat(QFile::encodeName(path).constData(), &st) == 0;
}

QStringList filesToRead(StoreScope scope, const QString &name)
{
    if (scope == StoreScope::User) {
        const QString folder = userFolder();
        return folder.isEmpty() ? QStringList() : QStringList{fileIn(folder, name)};
    }
    QStringList files;
    for (const QString &folder : machineFolders())
        files << fileIn(folder, name);
    return files;
}

// Empty when the path may be handed to Qt: a regular file that can be read. Qt would wait
// forever on a FIFO and fail without a word on the rest.
QString readRefusal(const QFileInfo &file)
{
    if (!file.isFile())
        return QStringLiteral("is not a regular file");
    if (!file.isReadable())
        return QStringLiteral("cannot be read");
    return {};
}

// Adds the file's values that values does not hold yet; false when it holds none to read.
bool readFile(const QString &path, QVariantMap &values, bool tell)
{
    const QFileInfo file(path);
    if (!file.exists())
        return false;
    const QString why = readRefusal(file);
    if (!why.isEmpty()) {
        if (tell)
            reportSettings(QStringLiteral("%1 %2; read as empty").arg(path, why));
        return false;
    }
    const QSettings settings(path, QSettings::IniFormat);
    if (settings.status() != QSettings::NoError) {
        if (tell)
            reportSettings(QStringLiteral("%1 cannot be parsed; read as empty").arg(path));
        return false;
    }
    for (const QString &key : settings.allKeys())
        if (!values.contains(key))
            values.insert(key, settings.value(key));
    return true;
}

bool writableHere(const QByteArray &path)
{
    return faccessat(AT_FDCWD, path.constData(), W_OK, AT_EACCESS) == 0;
}

// Empty when a save may try the file; tell is set when the refusal is news to whoever saves
// (see SettingsStore::refusalToTell). The writer checks again on what it opens.
QString writeRefusal(const QString &path, bool &tell)
{
    if (path.isEmpty())
        return QStringLiteral("(no configuration folder for this user)");
    const bool root = geteuid() == 0;
    const QByteArray native = QFile::encodeName(path);
    struct stat st {};
    if (lstat(native.constData(), &st) == 0) {
        if (S_ISLNK(st.st_mode)) {
            tell = root || writableHere(native);
            return QStringLiteral("is a symbolic link");
        }
        // What cannot be read cannot be kept when the file is written again.
        const QString why = readRefusal(QFileInfo(path));
        if (!why.isEmpty())
            return why;
        if (!writableHere(native))
            return QStringLiteral("is not writable");
        if (st.st_uid != geteuid()) {
            tell = true;
            return QStringLiteral("belongs to another user (uid %1)").arg(st.st_uid);
        }
    }
    QString folder = QFileInfo(path).absolutePath();
    const QByteArray nativeFolder = QFile::encodeName(folder);
    if (lstat(nativeFolder.constData(), &st) == 0 && S_ISLNK(st.st_mode)) {
        tell = root || writableHere(nativeFolder);
        return QStringLiteral("is in a folder that is a symbolic link (%1)").arg(folder);
    }
    while (!QFileInfo::exists(folder) && QFileInfo(folder).absolutePath() != folder)
        folder = QFileInfo(folder).absolutePath();
    if (!QFileInfo(folder).isDir() || !writableHere(QFile::encodeName(folder)))
        return QStringLiteral("cannot be made (%1 is not a writable folder)").arg(folder);
    return {};
}

} // namespace

QString storeLocation(StoreScope scope, const QString &name)
{
    if (scope == StoreScope::User)
        return filesToRead(scope, name).value(0);
    const QStringList files = filesToRead(scope, name);
    for (const QString &file : files)
        if (entryExists(file))
            return file;
    return files.first();
}

bool storedInteger(const QVariant &stored, int &value)
{
    switch (stored.typeId()) {
    case QMetaType::QString:
        return parseStoredInteger(stored.toString(), value);
    case QMetaType::Int:
        // Written through QSettings by this process and still held in Qt's cache of the file.
        value = stored.toInt();
        return true;
    default:
        return false;
    }
}

bool storedString(const QVariant &stored, QString &value)
{
    switch (stored.typeId()) {
    case QMetaType::QString:
        value = stored.toString();
        return true;
    case QMetaType::QStringList:
        // The file format splits an unquoted text at its commas ("19200,e,8,1" written by
        // hand); the line settings are meant as one text, so join it back.
        value = stored.toStringList().join(u',');
        return true;
    default:
        return false;
    }
}

SettingsStore::SettingsStore(StoreScope scope, const QString &name)
    : m_scope(scope), m_name(name), m_path(storeLocation(scope, name))
{
}

SettingsStore::~SettingsStore() = default;

bool SettingsStore::load(bool tell)
{
    m_values.clear();
    bool any = false;
    // Earlier folders win: a value already read is kept.
    for (const QString &file : filesToRead(m_scope, m_name))
        any = readFile(file, m_values, tell) || any;
    return any;
}

bool SettingsStore::prepareSave()
{
    bool tell = false;
    const QString why = writeRefusal(m_path, tell);
    if (!why.isEmpty()) {
        refuse(why, tell);
        return false;
    }
    m_writable = true;
    return true;
}

bool SettingsStore::save(const QString &valueName, const QVariant &value)
{
    if (!m_writable)
        return false;
    QVariant readBack;
    QString why;
    if (!updateStoreFile(m_path, valueName, value, readBack, why)) {
        // Past the checks of prepareSave, any refusal is unexpected.
        refuse(why, true);
        return false;
    }
    // Machine-wide this file is the first that holds the key, so its value is the one read.
    if (readBack.isValid())
        m_values.insert(valueName, readBack);
    else
        m_values.remove(valueName);
    return true;
}
