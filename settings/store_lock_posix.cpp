#include "settings/store_lock_posix.h"

#include <QFile>
#include <QFileInfo>
#include <cerrno>

#include <fcntl.h>
#include <pthread.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/hooks.h"

namespace {

// A lock file is ours to trust only when no one else can have it open: a regular file of ours,
// for us alone, under this one name.
bool trustworthy(const struct stat &st)
{
    return S_ISREG(st.st_mode) && st.st_uid == geteuid() && (st.st_mode & 077) == 0 && st.st_nlink == 1;
}

bool sameFile(const struct stat &a, const struct stat &b)
{
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

// Two programs saving at once would each write the file as they read it, and one value would be
// lost: one waits for the other, but not for ever on a holder that never lets go.
bool waitForLock(int fd)
{
    for (int tries = 0; flock(fd, LOCK_EX | LOCK_NB) != 0; ++tries) {
        if (errno != EWOULDBLOCK && errno != EINTR)
            return true;   // a file system without locks: saved as without the lock
        if (tries == 100)
            return false;
        platform::SleepMs(10);
    }
    return true;
}

} // namespace

StoreLock::StoreLock(int folder, const QString &storePath) : m_folder(folder)
{
    const QFileInfo store(storePath);
    m_lockName = QFile::encodeName(u'.' + store.fileName() + QStringLiteral(".lock"));
    m_lockPath = store.absolutePath() + u'/' + QFile::decodeName(m_lockName);
    // Faults of this thread stay deliverable: holding them back would not stop them anyway.
    sigset_t ending;
    sigfillset(&ending);
    for (int sig : {SIGILL, SIGTRAP, SIGABRT, SIGBUS, SIGFPE, SIGSEGV, SIGSYS})
        sigdelset(&ending, sig);
    pthread_sigmask(SIG_BLOCK, &ending, &m_previousMask);
}

StoreLock::~StoreLock()
{
    if (m_fd >= 0) {
        // Removed while held: whoever waits on it sees it gone and makes a new one.
        unlinkat(m_folder, m_lockName.constData(), 0);
        ::close(m_fd);
    }
    pthread_sigmask(SIG_SETMASK, &m_previousMask, nullptr);
}

// The lock file opened, made when missing. Anything else under its name (a symbolic link, a
// file someone else could have open) is removed first. -1 with why when it cannot be had.
int StoreLock::openLockFile(StoreRefusal &why)
{
    int error = EEXIST;
    for (int tries = 0; tries < 10; ++tries) {
        const int fd = openat(m_folder, m_lockName.constData(),
                              O_RDWR | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0600);
        const bool opened = fd >= 0;
        if (opened) {
            struct stat st {};
            const bool ours = fstat(fd, &st) == 0 && trustworthy(st);
            if (ours)
                return fd;
            ::close(fd);
        } else {
            error = errno;
            if (error != ELOOP && error != EACCES)
                break;
        }
        if (unlinkat(m_folder, m_lockName.constData(), 0) != 0 && !(opened && errno == ENOENT)) {
            error = opened ? errno : error;
            break;
        }
    }
    why = {Refusal::LockUnusable, {}, m_lockPath, error};
    return -1;
}

bool StoreLock::take(StoreRefusal &why)
{
    // A holder removes the file before it lets go: the lock counts only on the file that is
    // still there under the name.
    for (int tries = 0; tries < 10; ++tries) {
        const int fd = openLockFile(why);
        if (fd < 0)
            return false;
        if (!waitForLock(fd)) {
            ::close(fd);
            why = {Refusal::Busy, {}, {}, 0};
            return false;
        }
        struct stat held {}, named {};
        if (fstat(fd, &held) == 0 && fstatat(m_folder, m_lockName.constData(), &named, AT_SYMLINK_NOFOLLOW) == 0
            && sameFile(held, named)) {
            m_fd = fd;
            return true;
        }
        ::close(fd);
    }
    why = {Refusal::Busy, {}, {}, 0};
    return false;
}
