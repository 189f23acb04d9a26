#include "settings/store_file_posix.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/hooks.h"
#include "settings/ini_edit.h"
#include "settings/settings_store.h"

namespace {

class Descriptor {
public:
    explicit Descriptor(int fd = -1) : m_fd(fd) {}
    ~Descriptor()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    Descriptor(const Descriptor &) = delete;
    Descriptor &operator=(const Descriptor &) = delete;
    int get() const { return m_fd; }
    // Closes now, so that what the close reports can be told.
    bool close()
    {
        const int fd = m_fd;
        m_fd = -1;
        return ::close(fd) == 0;
    }

private:
    int m_fd;
};

QString errorText(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

// The file as it was read, to be written anew.
struct Original {
    bool exists = false;
    struct stat st {};
    QByteArray bytes;
};

long long mtimeMs(const struct stat &st)
{
#ifdef __APPLE__
    const timespec &t = st.st_mtimespec;
#else
    const timespec &t = st.st_mtim;
#endif
    return static_cast<long long>(t.tv_sec) * 1000 + t.tv_nsec / 1000000;
}

// The folder made when missing, then opened without following a symbolic link in its place.
bool openFolder(const QString &folder, int &fd, QString &why)
{
    const QByteArray native = QFile::encodeName(folder);
    if (!QDir().mkpath(folder)) {
        why = QStringLiteral("cannot be made (%1 is not a writable folder)").arg(folder);
        return false;
    }
    fd = ::open(native.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd >= 0)
        return true;
    const int error = errno;
    struct stat st {};
    if (lstat(native.constData(), &st) == 0 && S_ISLNK(st.st_mode))
        why = QStringLiteral("is in a folder that is a symbolic link (%1)").arg(folder);
    else
        why = QStringLiteral("cannot be written (%1: %2)").arg(folder, errorText(error));
    return false;
}

// Two programs saving at once would each write the file as they read it, and one value would be
// lost: one waits for the other, but not for ever on a holder that never lets go.
bool lockFolder(int folder, QString &why)
{
    for (int tries = 0; flock(folder, LOCK_EX | LOCK_NB) != 0; ++tries) {
        if (errno != EWOULDBLOCK && errno != EINTR)
            return true;   // a file system without locks: saved as without the lock
        if (tries == 100) {
            why = QStringLiteral("is being saved by another program");
            return false;
        }
        platform::SleepMs(10);
    }
    return true;
}

bool readAll(int fd, QByteArray &bytes)
{
    char buffer[4096];
    for (;;) {
        const ssize_t got = ::read(fd, buffer, sizeof buffer);
        if (got == 0)
            return true;
        if (got < 0 && errno != EINTR)
            return false;
        if (got > 0)
            bytes.append(buffer, got);
    }
}

bool readOriginal(int folder, const QByteArray &name, Original &original, QString &why)
{
    // Without following a symbolic link, and without waiting on a FIFO.
    const Descriptor file(openat(folder, name.constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    if (file.get() < 0) {
        const int error = errno;
        struct stat st {};
        if (error == ENOENT)
            return true;
        if (fstatat(folder, name.constData(), &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISLNK(st.st_mode))
            why = QStringLiteral("is a symbolic link");
        else
            why = QStringLiteral("cannot be read (%1)").arg(errorText(error));
        return false;
    }
    struct stat &st = original.st;
    if (fstat(file.get(), &st) != 0 || !S_ISREG(st.st_mode)) {
        why = QStringLiteral("is not a regular file");
        return false;
    }
    if (st.st_uid != geteuid()) {
        why = QStringLiteral("belongs to another user (uid %1)").arg(st.st_uid);
        return false;
    }
    if (geteuid() != 0 && !(st.st_mode & S_IWUSR)) {
        why = QStringLiteral("is not writable");
        return false;
    }
    if (!readAll(file.get(), original.bytes)) {
        why = QStringLiteral("cannot be read (%1)").arg(errorText(errno));
        return false;
    }
    original.exists = true;
    return true;
}

// A new file of our own beside the store, never one that was there.
int makeTemporary(int folder, const QByteArray &name, bool replacing, QByteArray &temporary, QString &why)
{
    for (int tries = 0; tries < 100; ++tries) {
        temporary = '.' + name + '.' + QByteArray::number(QRandomGenerator::system()->generate(), 36);
        // A new store gets the permissions the umask gives; a replacement gets the old ones.
        const int fd = openat(folder, temporary.constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC,
                              replacing ? 0600 : 0666);
        if (fd >= 0)
            return fd;
        if (errno != EEXIST) {
            why = QStringLiteral("cannot be written in its folder (%1)").arg(errorText(errno));
            return -1;
        }
    }
    why = QStringLiteral("cannot be written in its folder (no free temporary name)");
    return -1;
}

bool writeAll(int fd, const QByteArray &bytes)
{
    for (qsizetype done = 0; done < bytes.size();) {
        const ssize_t wrote = ::write(fd, bytes.constData() + done, std::size_t(bytes.size() - done));
        if (wrote < 0 && errno != EINTR)
            return false;
        if (wrote > 0)
            done += wrote;
    }
    return true;
}

// Qt's readers (QSettings, in this process or another) take a file whose size and modification
// time, to the millisecond, are as before for unchanged: the new file is made newer than the old.
void makeNewer(int fd, const Original &original)
{
    struct stat st {};
    if (!original.exists || fstat(fd, &st) != 0 || mtimeMs(st) > mtimeMs(original.st))
        return;
    const long long ms = mtimeMs(original.st) + 1;
    const timespec times[2] = {{0, UTIME_OMIT}, {static_cast<time_t>(ms / 1000), static_cast<long>(ms % 1000) * 1000000}};
    futimens(fd, times);
}

bool fillTemporary(Descriptor &file, const Original &original, const QByteArray &text, QString &why)
{
    if (original.exists) {
        // The group only where the owner may give it; the file stays the owner's either way.
        (void)!fchown(file.get(), uid_t(-1), original.st.st_gid);
        if (fchmod(file.get(), original.st.st_mode & 07777) != 0) {
            why = QStringLiteral("could not be written (%1)").arg(errorText(errno));
            return false;
        }
    }
    if (!writeAll(file.get(), text)) {
        why = QStringLiteral("could not be written (%1)").arg(errorText(errno));
        return false;
    }
    makeNewer(file.get(), original);
    if (fsync(file.get()) != 0 || !file.close()) {
        why = QStringLiteral("could not be written (%1)").arg(errorText(errno));
        return false;
    }
    return true;
}

// Renames the new file over the store, unless the store is no longer the file that was read.
bool renameOver(int folder, const QByteArray &temporary, const QByteArray &name, const Original &original,
                QString &why)
{
    struct stat now {};
    const bool present = fstatat(folder, name.constData(), &now, AT_SYMLINK_NOFOLLOW) == 0;
    const bool same = original.exists ? present && now.st_dev == original.st.st_dev && now.st_ino == original.st.st_ino
                                            && now.st_size == original.st.st_size
                                            && mtimeMs(now) == mtimeMs(original.st)
                                      : !present && errno == ENOENT;
    if (!same) {
        why = QStringLiteral("changed while it was being saved");
        return false;
    }
    if (renameat(folder, temporary.constData(), folder, name.constData()) != 0) {
        why = QStringLiteral("could not be replaced (%1)").arg(errorText(errno));
        return false;
    }
    // The rename itself reaches the disk; without this a crash could bring the old store back.
    fsync(folder);
    return true;
}

bool replaceFile(int folder, const QByteArray &name, const Original &original, const QByteArray &text, QString &why)
{
    QByteArray temporary;
    Descriptor file(makeTemporary(folder, name, original.exists, temporary, why));
    if (file.get() < 0)
        return false;
    if (fillTemporary(file, original, text, why) && renameOver(folder, temporary, name, original, why))
        return true;
    unlinkat(folder, temporary.constData(), 0);
    return false;
}

// Where the text is checked (ini_edit.h): a folder whose entries only root or the user saving can
// change. Run as root with a TMPDIR another user owns, that user could swap the private folder
// for a link and have Qt's writer write where they like. Every folder on the way belongs to
// root or the user saving and is writable by no one else, unless it is sticky (/tmp).
bool safeScratch(const QString &folder)
{
    QString part = QFileInfo(folder).canonicalFilePath();
    while (!part.isEmpty()) {
        struct stat st {};
        if (stat(QFile::encodeName(part).constData(), &st) != 0 || !S_ISDIR(st.st_mode)
            || (st.st_uid != 0 && st.st_uid != geteuid())
            || ((st.st_mode & (S_IWGRP | S_IWOTH)) && !(st.st_mode & S_ISVTX)))
            return false;
        if (part == QLatin1String("/"))
            return true;
        part = QFileInfo(part).absolutePath();
    }
    return false;
}

bool scratchFolder(QString &scratch, QString &why)
{
    for (const QString &folder : {QDir::tempPath(), QStringLiteral("/tmp")})
        if (safeScratch(folder)) {
            scratch = folder;
            return true;
        }
    why = QStringLiteral("cannot be checked: %1 is a folder other users can change").arg(QDir::tempPath());
    return false;
}

} // namespace

bool updateStoreFile(const QString &path, const QString &valueName, const QVariant &value, QVariant &readBack,
                     QString &why)
{
    const QFileInfo info(path);
    int fd = -1;
    if (!openFolder(info.absolutePath(), fd, why))
        return false;
    const Descriptor folder(fd);   // closing it lets go of the lock
    if (!lockFolder(folder.get(), why))
        return false;
    const QByteArray name = QFile::encodeName(info.fileName());
    Original original;
    IniUpdate update;
    QString scratch;
    if (!readOriginal(folder.get(), name, original, why) || !scratchFolder(scratch, why)
        || !updateIniText(original.bytes, valueName, value, scratch, update, why)
        || !replaceFile(folder.get(), name, original, update.text, why))
        return false;
    if (!update.linesKept && !original.bytes.trimmed().isEmpty())
        reportSettings(QStringLiteral("%1 written anew without its comments: %2 could not be changed line by line")
                           .arg(path, valueName));
    readBack = update.readBack;
    return true;
}
