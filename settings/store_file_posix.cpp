#include "settings/store_file_posix.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <cerrno>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "settings/store_lock_posix.h"

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
bool openFolder(const QString &folder, int &fd, StoreRefusal &why)
{
    const QByteArray native = QFile::encodeName(folder);
    if (!QDir().mkpath(folder)) {
        why = {Refusal::CannotMake, {}, folder, 0};
        return false;
    }
    fd = ::open(native.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd >= 0)
        return true;
    const int error = errno;
    struct stat st {};
    if (lstat(native.constData(), &st) == 0 && S_ISLNK(st.st_mode))
        why = {Refusal::FolderIsLink, {}, folder, 0};
    else
        why = {Refusal::FolderUnusable, {}, folder, error};
    return false;
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

bool readOriginal(int folder, const QByteArray &name, Original &original, StoreRefusal &why)
{
    // Without following a symbolic link, and without waiting on a FIFO.
    const Descriptor file(openat(folder, name.constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    if (file.get() < 0) {
        const int error = errno;
        struct stat st {};
        if (error == ENOENT)
            return true;
        if (fstatat(folder, name.constData(), &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISLNK(st.st_mode))
            why = {Refusal::SymbolicLink, {}, {}, 0};
        else
            why = {Refusal::Unreadable, {}, {}, error};
        return false;
    }
    struct stat &st = original.st;
    if (fstat(file.get(), &st) != 0 || !S_ISREG(st.st_mode)) {
        why = {Refusal::NotRegularFile, {}, {}, 0};
        return false;
    }
    if (st.st_uid != geteuid()) {
        why = {Refusal::OtherOwner, {}, {}, static_cast<long long>(st.st_uid)};
        return false;
    }
    if (geteuid() != 0 && !(st.st_mode & S_IWUSR)) {
        why = {Refusal::NotWritable, {}, {}, 0};
        return false;
    }
    if (!readAll(file.get(), original.bytes)) {
        why = {Refusal::Unreadable, {}, {}, errno};
        return false;
    }
    original.exists = true;
    return true;
}

// A save's new file is named so that one a killed save left can be told apart from anything an
// administrator keeps beside the store (".PRINTConfig.conf.bak", an editor's ".swp").
QByteArray temporaryPrefix(const QByteArray &name)
{
    return '.' + name + ".tmp-";
}

// The temporary files a killed save left, ours alone; run under the lock, so none is in use.
void removeLeftovers(int folder, const QByteArray &name)
{
    const int fd = openat(folder, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    DIR *dir = fd >= 0 ? fdopendir(fd) : nullptr;
    if (!dir) {
        if (fd >= 0)
            ::close(fd);
        return;
    }
    const QByteArray prefix = temporaryPrefix(name);
    while (const dirent *entry = readdir(dir)) {
        struct stat st {};
        if (QByteArray(entry->d_name).startsWith(prefix)
            && fstatat(folder, entry->d_name, &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISREG(st.st_mode)
            && st.st_uid == geteuid())
            unlinkat(folder, entry->d_name, 0);
    }
    closedir(dir);
}

// A new file of our own beside the store, never one that was there.
int makeTemporary(int folder, const QByteArray &name, bool replacing, QByteArray &temporary, StoreRefusal &why)
{
    for (int tries = 0; tries < 100; ++tries) {
        temporary = temporaryPrefix(name) + QByteArray::number(QRandomGenerator::system()->generate(), 36);
        // A new store gets the permissions the umask gives; a replacement gets the old ones.
        const int fd = openat(folder, temporary.constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC,
                              replacing ? 0600 : 0666);
        if (fd >= 0)
            return fd;
        if (errno != EEXIST) {
            why = {Refusal::NoTemporary, {}, {}, errno};
            return -1;
        }
    }
    why = {Refusal::NoTemporary, {}, {}, EEXIST};
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

bool fillTemporary(Descriptor &file, const Original &original, const QByteArray &text, StoreRefusal &why)
{
    if (original.exists) {
        // The group only where the owner may give it; the file stays the owner's either way.
        (void)!fchown(file.get(), uid_t(-1), original.st.st_gid);
        if (fchmod(file.get(), original.st.st_mode & 07777) != 0) {
            why = {Refusal::WriteFailed, {}, {}, errno};
            return false;
        }
    }
    if (!writeAll(file.get(), text)) {
        why = {Refusal::WriteFailed, {}, {}, errno};
        return false;
    }
    if (fsync(file.get()) != 0 || !file.close()) {
        why = {Refusal::WriteFailed, {}, {}, errno};
        return false;
    }
    return true;
}

// Renames the new file over the store, unless the store is no longer the file that was read.
bool renameOver(int folder, const QByteArray &temporary, const QByteArray &name, const Original &original,
                StoreRefusal &why)
{
    struct stat now {};
    const bool present = fstatat(folder, name.constData(), &now, AT_SYMLINK_NOFOLLOW) == 0;
    const bool same = original.exists ? present && now.st_dev == original.st.st_dev && now.st_ino == original.st.st_ino
                                            && now.st_size == original.st.st_size
                                            && mtimeMs(now) == mtimeMs(original.st)
                                      : !present && errno == ENOENT;
    if (!same) {
        why = {Refusal::Changed, {}, {}, 0};
        return false;
    }
    if (renameat(folder, temporary.constData(), folder, name.constData()) != 0) {
        why = {Refusal::ReplaceFailed, {}, {}, errno};
        return false;
    }
    // The rename itself reaches the disk; without this a crash could bring the old store back.
    fsync(folder);
    return true;
}

bool replaceFile(int folder, const QByteArray &name, const Original &original, const QByteArray &text,
                 StoreRefusal &why)
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

bool writeEdits(const QString &path, const QList<ini::Edit> &edits, StoreRefusal &why)
{
    const QFileInfo info(path);
    int fd = -1;
    if (!openFolder(info.absolutePath(), fd, why))
        return false;
    const Descriptor folder(fd);
    StoreLock lock(folder.get(), path);   // ending signals wait from here until the lock is let go
    if (!lock.take(why))
        return false;
    const QByteArray name = QFile::encodeName(info.fileName());
    removeLeftovers(folder.get(), name);
    Original original;
    if (!readOriginal(folder.get(), name, original, why))
        return false;
    QByteArray text;
    if (!ini::editRoot(original.bytes, edits, text)) {
        why = {Refusal::Unparsable, {}, {}, 0};
        return false;
    }
    return replaceFile(folder.get(), name, original, text, why);
}

} // namespace

bool updateStoreFile(const QString &path, const QList<ini::Edit> &edits, StoreRefusal &why)
{
    if (writeEdits(path, edits, why))
        return true;
    why.path = path;
    return false;
}
