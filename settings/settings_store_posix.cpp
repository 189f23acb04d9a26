// The stores on POSIX: text files, VOREX/<name>.conf in every folder of XDG_CONFIG_DIRS
// (machine-wide) and in XDG_CONFIG_HOME (the user's). Read by ini_text.h, every value as text;
// written only by store_file_posix.cpp, which never follows a symbolic link.
#include "settings/settings_store.h"

#include <QByteArrayList>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStringList>
#include <optional>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "settings/ini_text.h"
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

// Nothing when the path is a regular file that can be read; opening a FIFO would wait for ever.
std::optional<Refusal> readRefusal(const QFileInfo &file)
{
    if (!file.isFile())
        return Refusal::NotRegularFile;
    if (!file.isReadable())
        return Refusal::Unreadable;
    return std::nullopt;
}

// The file's bytes; without waiting should a FIFO have taken the file's place since the check.
bool readBytes(const QString &path, QByteArray &bytes)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return false;
    QFile file;
    struct stat st {};
    const bool read = fstat(fd, &st) == 0 && S_ISREG(st.st_mode)
                   && file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle);
    if (!read) {
        ::close(fd);
        return false;
    }
    bytes = file.readAll();
    return file.error() == QFileDevice::NoError;
}

// A value as the stores on this platform hold it: text, or the pieces of a list.
QVariant storedValue(const ini::Entry &entry)
{
    return entry.list ? QVariant::fromValue(entry.pieces) : QVariant(entry.pieces.value(0));
}

// Adds the file's values that values does not hold yet; false when it holds none to read.
bool readFile(const QString &path, QVariantMap &values, bool tell)
{
    const QFileInfo file(path);
    if (!file.exists())
        return false;
    QByteArray bytes;
    QList<ini::Entry> entries;
    std::optional<Refusal> why = readRefusal(file);
    if (!why && !readBytes(path, bytes))
        why = Refusal::Unreadable;
    if (!why && !ini::readEntries(bytes, entries))
        why = Refusal::Unparsable;
    if (why) {
        if (tell)
            reportSettings(describe(StoreRefusal{*why, path, {}, 0}) + QStringLiteral("; read as empty"));
        return false;
    }
    // Within a file a later line wins; across files the value already read does.
    QVariantMap fileValues;
    for (const ini::Entry &entry : entries) {
        const QByteArray key = entry.group.isEmpty() ? entry.key : entry.group + '/' + entry.key;
        fileValues.insert(QString::fromUtf8(key), storedValue(entry));
    }
    for (auto it = fileValues.constBegin(); it != fileValues.constEnd(); ++it)
        if (!values.contains(it.key()))
            values.insert(it.key(), it.value());
    return true;
}

bool writableHere(const QByteArray &path)
{
    return faccessat(AT_FDCWD, path.constData(), W_OK, AT_EACCESS) == 0;
}

// Nothing when a save may try the file; tell is set when the refusal is news to whoever saves
// (see SettingsStore::refusalToTell). The writer checks again on what it opens.
std::optional<StoreRefusal> writeRefusal(const QString &path, bool &tell)
{
    if (path.isEmpty())
        return StoreRefusal{Refusal::NoFolder, {}, {}, 0};
    const bool root = geteuid() == 0;
    const QByteArray native = QFile::encodeName(path);
    struct stat st {};
    if (lstat(native.constData(), &st) == 0) {
        if (S_ISLNK(st.st_mode)) {
            tell = root || writableHere(native);
            return StoreRefusal{Refusal::SymbolicLink, {}, {}, 0};
        }
        // What cannot be read cannot be kept when the file is written again.
        if (const std::optional<Refusal> why = readRefusal(QFileInfo(path)))
            return StoreRefusal{*why, {}, {}, 0};
        if (!writableHere(native))
            return StoreRefusal{Refusal::NotWritable, {}, {}, 0};
        if (st.st_uid != geteuid()) {
            tell = true;
            return StoreRefusal{Refusal::OtherOwner, {}, {}, static_cast<long long>(st.st_uid)};
        }
    }
    QString folder = QFileInfo(path).absolutePath();
    const QByteArray nativeFolder = QFile::encodeName(folder);
    if (lstat(nativeFolder.constData(), &st) == 0 && S_ISLNK(st.st_mode)) {
        tell = root || writableHere(nativeFolder);
        return StoreRefusal{Refusal::FolderIsLink, {}, folder, 0};
    }
    while (!QFileInfo::exists(folder) && QFileInfo(folder).absolutePath() != folder)
        folder = QFileInfo(folder).absolutePath();
    if (!QFileInfo(folder).isDir() || !writableHere(QFile::encodeName(folder)))
        return StoreRefusal{Refusal::CannotMake, {}, folder, 0};
    return std::nullopt;
}

// The text a value is written as.
QByteArray textOf(const QVariant &value)
{
    if (value.typeId() == QMetaType::Int)
        return QByteArray::number(value.toInt());
    if (value.typeId() == QMetaType::QByteArray)
        return value.toByteArray();
    return value.toString().toUtf8();
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

bool storedBytes(const QVariant &stored, QByteArray &value)
{
    switch (stored.typeId()) {
    case QMetaType::QByteArray:
        value = stored.toByteArray();
        return true;
    case QMetaType::QByteArrayList:
        // The file format splits an unquoted text at its commas ("19200,e,8,1" written by
        // hand); the settings are meant as one text, so join it back.
        value = stored.value<QByteArrayList>().join(',');
        return true;
    default:
        return false;
    }
}

bool storedPieces(const QVariant &stored, QByteArrayList &pieces)
{
    if (stored.typeId() == QMetaType::QByteArrayList) {
        pieces = stored.value<QByteArrayList>();
        return true;
    }
    QByteArray one;
    if (!storedBytes(stored, one))
        return false;
    pieces = {one};
    return true;
}

bool storedInteger(const QVariant &stored, int &value)
{
    // A list ("3,4") is no number.
    return stored.typeId() == QMetaType::QByteArray
        && parseStoredInteger(QString::fromUtf8(stored.toByteArray()), value);
}

bool storedString(const QVariant &stored, QString &value)
{
    QByteArray bytes;
    if (!storedBytes(stored, bytes))
        return false;
    value = QString::fromUtf8(bytes);
    return true;
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
    if (const std::optional<StoreRefusal> why = writeRefusal(m_path, tell)) {
        refuse(*why, tell);
        return false;
    }
    m_writable = true;
    return true;
}

bool SettingsStore::save(const SettingsValues &values)
{
    if (!m_writable)
        return false;
    QList<ini::Edit> edits;
    for (const auto &[name, value] : values)
        edits.append({name.toUtf8(), value.isValid() ? std::optional(ini::valueText(textOf(value))) : std::nullopt});
    StoreRefusal why;
    if (!updateStoreFile(m_path, edits, why)) {
        // Past the checks of prepareSave, any refusal is unexpected.
        refuse(why, true);
        return false;
    }
    // Machine-wide this file is the first that holds the key, so its values are the ones read.
    for (const auto &[name, value] : values) {
        if (value.isValid())
            m_values.insert(name, textOf(value));
        else
            m_values.remove(name);
    }
    return true;
}
