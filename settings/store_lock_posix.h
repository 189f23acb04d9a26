#pragma once
// Taking turns at a store file on POSIX. A save locks ".<store>.lock" beside the store: a file of
// the saver's own, mode 0600, made for the save and removed after it. Only someone who may write
// the store can open it, let alone hold it; a lock on the folder, which any user can open, let any
// user push root's saves into root's own store. Ending signals (SIGINT, SIGTERM, SIGHUP, ...) wait
// while the lock is held, so a save once begun is finished and leaves neither its temporary file
// nor the lock file behind.

#include <QByteArray>
#include <QString>
#include <signal.h>

#include "settings/save_result.h"

class StoreLock {
public:
    // folder: the store's folder, opened. Ending signals wait from here.
    StoreLock(int folder, const QString &storePath);
    // Removes the lock file and lets go of it, then lets the ending signals through.
    ~StoreLock();
    StoreLock(const StoreLock &) = delete;
    StoreLock &operator=(const StoreLock &) = delete;

    // Waits a while for another saver; false with the reason (path left empty) when the lock
    // could not be had.
    bool take(StoreRefusal &why);

private:
    int openLockFile(StoreRefusal &why);

    int m_folder;
    QByteArray m_lockName;
    QString m_lockPath;
    int m_fd = -1;
    sigset_t m_previousMask;
};
