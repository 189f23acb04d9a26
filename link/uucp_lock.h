#pragma once
// The lock files of the old convention that minicom, cu and other terminal programs keep for a
// serial port they use: /run/lock/LCK..<name>, holding the process id as ten ASCII characters
// and a newline (older programs wrote it as a plain decimal or as a binary int). A port whose
// lock file names a running process is that process's; this program writes its own while it
// holds a port, so those programs see it too. /run/lock is anyone's to write in: only regular
// files are read, never through a link and never waiting, and a file is created only new.
// POSIX only.
#ifndef _WIN32

#include <string>
#include <sys/types.h>

#include "port_backend.h"

namespace serial::uucp {

// /run/lock/LCK..<name> for device: the name is the path of the device it leads to, under /dev,
// with '/' as '_' (ttyUSB0, pts_3); empty when device leads nowhere.
std::string lockPath(const std::string &device);

// The lock file of device as it is now: none, a live one (with its holder's name), a stale one,
// or one not believed. A stale one is removed, when the system lets this user remove it, so that
// the port's next holder can write its own.
LockFile look(const std::string &device);

// A lock file this program wrote, as the signal handler needs it to remove it again.
struct OwnLock {
    char path[128] = {};   // empty: none written
    dev_t dev = 0;
    ino_t ino = 0;
};

// Writes this process's lock file at path, created new (never over a file or through a link);
// false, with nothing written, when that cannot be done (a lock file already there, a folder
// this user may not write in).
bool writeOwn(const std::string &path, OwnLock &own);
// Removes the lock file of own if it is still the one written (not one another program put there
// since); empties own. Only async-signal-safe calls: the signal handler runs it.
void removeOwn(OwnLock &own);

} // namespace serial::uucp

#endif
