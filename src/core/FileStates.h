#pragma once

#include <QDateTime>
#include <QString>

#include <optional>

// What the local file cache asks about its files.
// Paths use "/" (a "\" is accepted as well); symbolic links are followed.

// True when another process works on the file: it holds an advisory lock on any part of
// it (a POSIX record lock (fcntl), an open file description lock (F_OFD_SETLK) or a flock
// lock), or it has the file open while an office lock file lies beside it (".~lock.<name>#",
// "~$<name>"): LibreOffice takes no advisory lock and keeps the document open instead.
// A lock file alone (left by a suite that crashed) does not count, nor does merely holding
// the file open. False for a missing file, a folder or anything else that is not a regular
// file, and for a file that cannot be opened.
// The probe keeps no lock (flock has no test: it takes one for an instant) and never
// releases one of this process, whose record locks do not count. OFD and flock locks belong
// to an open file description, not to a process: one this process holds through a
// descriptor of its own counts as well. Where a sandbox refuses the probe a descriptor table
// of its own and this process has the file open itself, flock locks go unseen.
bool IsFileInUse(const QString &path);

// True when the regular file can be opened for reading now. Like IsFileInUse, the check
// never releases a record lock of this process.
bool IsFileReadable(const QString &path);

// True for names that are no document of the user: hidden files (".name", among them the
// office lock files such as ".~lock.report.odt#"), office owner files ("~$report.docx") and
// editor backups ("report.docx~"). Only the last component of fileName counts.
bool IsHiddenOrTemporaryName(const QString &fileName);

// When the file was created: its birth time where the file system records one, else the
// last change of its status (ctime), which a chmod or rename moves on. Local time to the
// millisecond; nullopt for a missing path.
std::optional<QDateTime> FileCreationTime(const QString &path);
// The birth time alone: nullopt where the file system records none (or for a missing path).
std::optional<QDateTime> FileBirthTime(const QString &path);

// Clearing a file's read-only attribute in Linux terms: the owner's write permission is added
// (u+w), every other permission bit is kept. True when the owner may write the file now;
// false for a missing file or when the mode cannot be changed.
bool ClearReadOnly(const QString &path);
