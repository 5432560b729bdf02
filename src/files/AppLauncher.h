#pragma once

#include <QList>
#include <QString>

class CBizProgressHandler;
class CFileTypeList;
struct SAppAssociation;

// An application the user can pick to open a file with. Its desktop entry identifies it: two
// entries that run the same program (two Flatpak applications both run flatpak) are two
// applications.
struct SAppChoice
{
    QString desktopId;
    QString appPath; // the program its entry starts
    QString appName;
    QString desktopFile;
    QString extension; // one of the types it opens (its icon)
    bool operator==(const SAppChoice &other) const { return desktopId == other.desktopId; }
};

// Launch codes of LaunchFile: above 32 the program was executed; 32 or less it was not.
namespace LaunchCode {
constexpr int Started = 33;
constexpr int NoAssociation = 31; // no application for the file's type
constexpr int StartFailed = 2;    // the program could not be started
} // namespace LaunchCode

// Starts the application for a local copy through GIO, detached, so that it outlives the
// client: without a chosen application the desktop's default application of the copy's
// type, with one that application; either gets the copy as its file (its desktop entry's
// field codes, Flatpak and `env` entries included). An entry without a Path key starts in
// the copy's folder. Nothing waits for the application: a successful start counts as ready
// (the desktop has no "input idle"). pid, when given, gets the started process's id.
int LaunchFile(const QString &path, const SAppChoice *chosen = nullptr, qint64 *pid = nullptr,
               CBizProgressHandler *progress = nullptr);

// Starts an application (a LookupMimeAssociation answer) on an address; a launch code.
int LaunchUri(const SAppAssociation &application, const QString &uri, qint64 *pid = nullptr);

// The applications of the known file types for the "open with" dialog: each distinct
// desktop entry once (in type order), types without one skipped. preselected gets the index
// of the wanted application, a desktop id or else a program (the first entry that runs it);
// -1 when it is not in the list.
QList<SAppChoice> ListAppChoices(const CFileTypeList &types, const QString &wanted = {},
                                 int *preselected = nullptr);
