#pragma once
// Saving into a store file on POSIX. All values of one save go into the file in one atomic
// replace: a new file beside it, flushed to the disk, then renamed over it, so a crash, a kill or
// a full disk leaves the old store or the new one, never a torn one nor half a save. It is never
// written through a symbolic link (neither the file nor its folder may be one), nor when it
// belongs to another user than the one saving (root included); savers take turns under a lock
// only they can take (store_lock_posix.h), and the temporary files of a save that was killed are
// removed by the next. Comments and unknown lines are kept (ini_text.h).

#include <QList>
#include <QString>

#include "settings/ini_text.h"
#include "settings/save_result.h"

// Makes the edits in the root group of the file at path; the file and its folders are made when
// missing. False with why (its path set) when nothing was changed.
bool updateStoreFile(const QString &path, const QList<ini::Edit> &edits, StoreRefusal &why);
