#pragma once

#include <QList>
#include <QString>
#include <QStringList>

class CBizProgressHandler;
class CFileTypeList;

// An application the user can pick to open a file with.
struct SAppChoice
{
    QString appPath; // the program
    QString appName;
    QString desktopFile;
    QString extension; // one of the types it opens (its icon)
    bool operator==(const SAppChoice &other) const { return appPath == other.appPath; }
};

// Launch codes of LaunchFile: above 32 the program was executed; 32 or less it was not.
namespace LaunchCode {
constexpr int Started = 33;
constexpr int NoAssociation = 31; // no application for the file's type
constexpr int StartFailed = 2;    // the program could not be started
} // namespace LaunchCode

// Starts the application for a local copy, detached, so that it outlives the client:
// without a chosen application the desktop's default application of the copy's type (its
// desktop entry's Exec line, the path in place of %f/%F/%u/%U or appended); with one, that
// program with the copy's path as its one argument. Nothing waits for the application: a
// successful start counts as ready. pid, when given, gets the process id.
int LaunchFile(const QString &path, const SAppChoice *chosen = nullptr, qint64 *pid = nullptr,
               CBizProgressHandler *progress = nullptr);

// The applications of the known file types for the "open with" dialog: each distinct
// program once (in type order), types without one skipped. preselected gets the index of
// the wanted program (-1 when it is not in the list).
QList<SAppChoice> ListAppChoices(const CFileTypeList &types, const QString &wanted = {},
                                 int *preselected = nullptr);
