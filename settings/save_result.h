#pragma once
// What became of a save, as a value: saved, or the stores that refused it and why. The words
// for people (stderr, telmax-cmd's result) come from one place, describe().

#include <QList>
#include <QString>

// Why one store took no save.
enum class Refusal {
    NoFolder,         // the user has no configuration folder
    SymbolicLink,     // the store is a symbolic link
    FolderIsLink,     // its folder (other) is a symbolic link
    NotRegularFile,   // a folder, a FIFO, ...
    Unreadable,       // what cannot be read cannot be kept when the file is written again
    NotWritable,
    OtherOwner,       // number: the owner's uid
    CannotMake,       // other: the nearest folder, which cannot be written
    FolderUnusable,   // other: the folder, which cannot be opened
    LockUnusable,     // other: the lock file, which cannot be made or opened
    Busy,             // another program kept the lock
    Unparsable,       // a group header without its ']'
    NoTemporary,      // no new file can be made beside the store
    WriteFailed,      // the new file could not be written (a full disk)
    Changed,          // someone else replaced the store meanwhile
    ReplaceFailed,    // the rename failed
    WriteRefused,     // the registry refused the write
};

struct StoreRefusal {
    Refusal reason = Refusal::NotWritable;
    QString path;            // the store
    QString other;           // the folder or lock file the reason names
    long long number = 0;    // the owner's uid, or the system's error number (0: none known)
};

struct SaveResult {
    bool saved = false;
    QList<StoreRefusal> refusals;   // when not saved: each store that refused, machine-wide first
};

// The reason after the store's path: "is not writable", "belongs to another user (uid 65534)".
QString refusalWords(const StoreRefusal &refusal);
// The path and the reason: "/etc/xdg/VOREX/PRINTConfig.conf is not writable".
QString describe(const StoreRefusal &refusal);
// Every store's refusal, "; " between them.
QString describe(const SaveResult &result);
