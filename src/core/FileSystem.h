#pragma once

#include <QDateTime>
#include <QString>

#include <functional>

class CBizProgressHandler;
class QIODevice;
class QSaveFile;

// File-system helpers of the whole client. Paths use "/" (a "\" is accepted as well).
// Failures the caller must report raise CBizOsException with a Windows-style error number
// (BizException.h); expected outcomes answer false.

// Who may enter a folder that is created: Default gives what any new folder of the user gets
// (0777 under the umask); Private only the user (0700), for the data folder, whose files hold
// saved passwords and keys.
enum class FolderAccess { Default, Private };

// Creates every missing folder of path, level by level. With isFilePath the last component
// is a file name and is not created. A path longer than MaxPath answers false and creates
// nothing; a level that cannot be created raises CBizOsException.
bool CreateFolders(const QString &path, bool isFilePath = false,
                   FolderAccess access = FolderAccess::Default);

// Opens a state file for writing through a temporary file (QSaveFile: the old file stays
// until commit) that only the user can read. False when it cannot be opened.
bool OpenStateFile(QSaveFile &file);

// Creates a new empty file next to target, named ".<name>.XXXXXX.vqrtmp", with the mode any
// new file of the user gets (0666 under the umask): unlike a private temporary file it can
// be renamed into place as the user's own file. Answers its path; raises CBizOsException.
QString CreateTemporarySibling(const QString &target);

// Copies source to destination (creating the destination's folders). The copy is written
// to a temporary file next to the destination and renamed into place, so an existing
// destination is either replaced completely or left as it was. Raises CBizOsException
// (80 when failIfExists and the destination exists).
bool CopyFileTo(const QString &source, const QString &destination, bool failIfExists = false);

enum MoveFlags {
    MoveReplaceExisting = 0x1,
    MoveCopyAllowed = 0x2, // across file systems: copy, then delete the source
    MoveWriteThrough = 0x8,
};
// Moves a file (or folder, within one file system). Raises CBizOsException (183 when the
// destination exists and MoveReplaceExisting is not given).
bool MoveFileTo(const QString &source, const QString &destination, int moveFlags,
                bool createFolders = false);

// True for an empty path, a missing file or a deleted file; a failed deletion raises.
bool DeleteFileIfExists(const QString &path);

// Deletes every file and folder below folder (symbolic links are removed, never followed)
// and, unless keepRoot, the folder itself. Answers the number of files deleted, 0 for a
// missing folder, -1 for a path longer than MaxPath, or the (negative) cancel code when the
// progress asked to stop. Deletion failures raise CBizOsException.
int DeleteTree(const QString &folder, bool keepRoot, CBizProgressHandler *progress = nullptr);

// Moves the files of source matching pattern ("*" when empty) into destination, replacing
// files of the same name, and recurses into sub-folders. A source sub-folder is removed
// once it is empty; files that did not match the pattern stay where they are. Answers the
// number of files moved or the (negative) cancel code.
int MoveTree(const QString &source, const QString &destination,
             CBizProgressHandler *progress = nullptr, const QString &pattern = {});

bool IsFolder(const QString &path);
bool IsFolderEmpty(const QString &path); // false for an empty path or a missing folder
bool PathExists(const QString &path);

struct SFileStatus
{
    qint64 size = 0;
    QDateTime modified;
    QDateTime created;
    QDateTime accessed;
    bool isFolder = false;
    bool readOnly = false;
};
// False for a missing path; also false (size -1) for a file of 4 GiB or more, which the
// 32-bit size fields of the service cannot carry.
bool FileStatus(const QString &path, qint64 &size, SFileStatus &status);

// Reads a binary state file: read gets the opened device. A missing file answers false;
// other open errors raise CBizFileException; exceptions of read propagate after the file
// is closed.
using ArchiveReader = std::function<void(QIODevice &)>;
using ArchiveWriter = std::function<void(QIODevice &)>;
bool LoadArchiveFile(const QString &path, const ArchiveReader &read);
// Writes a binary state file through a temporary file that replaces the old one only when
// write finished without exception: a failure leaves the previous file intact. Answers
// false when the folders cannot be created; open and write errors raise CBizFileException.
bool SaveArchiveFile(const QString &path, const ArchiveWriter &write);

// Converts "\" to "/" (paths of the service and of older settings use backslashes).
QString ToNativeSeparators(const QString &path);
