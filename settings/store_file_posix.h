#pragma once
// Saving one value into a store file on POSIX. The file is replaced atomically: a new file
// beside it, flushed to the disk, then renamed over it, so a crash or a full disk leaves the old
// store or the new one, never a torn one. It is never written through a symbolic link (neither
// the file nor its folder may be one), nor when it belongs to another user than the one saving
// (root included), and two programs saving at once take turns. Comments and unknown lines are
// kept (ini_edit.h).

#include <QString>
#include <QVariant>

// Sets valueName in the [General] group of the file at path, or drops it when value is
// invalid; the file and its folders are made when missing. readBack is what QSettings reads
// for the value from the new file. False with why, a reason that follows the file's path
// ("is a symbolic link"), when nothing was changed.
bool updateStoreFile(const QString &path, const QString &valueName, const QVariant &value, QVariant &readBack,
                     QString &why);
