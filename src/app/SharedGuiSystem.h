#pragma once

#include "System.h"

#include "files/AppLauncher.h"
#include "files/LocalFileManager.h"

#include <QList>
#include <QString>

// The online system as the windows use it: every operation of the edit cycle runs under
// one exception boundary, shows its messages through the message sink (the window supplies
// only the confirmations it asks before: 18377, 18262) and tells whether the list entry
// must be fetched again (refresh).
class CSharedGuiSystem : public CSharedSystem
{
public:
    using CSharedSystem::CSharedSystem;

    // Opens the file for editing and starts its application (chosen: that program; none:
    // the desktop's default). With noLaunch the caller starts it on openedPath. A file
    // another user holds is offered read-only (18248/18249; with noLaunch refused,
    // 18271/18272). A start that fails hands back what this open took: a lock taken now is
    // released with nothing uploaded; a file unsent before stays unsent.
    bool OpenForEditing(qint32 folderId, const QString &path, const SAppChoice *chosen,
                        bool noLaunch, bool *refresh = nullptr, QString *openedPath = nullptr);
    // A view copy of the current content in its application, no lock.
    bool OpenReadOnly(qint32 folderId, const QString &path, bool *refresh = nullptr);
    // Sends the file out for editing here (force: upload even unchanged, support mode).
    bool SendFile(qint32 folderId, const QString &path, bool force, int *sentCount = nullptr,
                  bool *refresh = nullptr);
    // Throws the edit away and releases the lock.
    bool ForceReleaseFile(qint32 folderId, const QString &path, bool *refresh = nullptr);
    // The files out for editing on this client, each with whether an application holds it.
    int CountUnsent();
    QList<SUnsentFile> ListUnsent();
    // The applications for "open with": each program of the known types once.
    QList<SAppChoice> AppChoices(const QString &wanted = {}, int *preselected = nullptr) const;

private:
    // Runs one operation of the cycle; local failures (in use, missing) become 18327 and
    // 18326 with the file's name, any other failure the handler's message.
    template<typename F>
    bool Boundary(const QString &name, bool *refresh, F &&run);
    bool FetchRecord(qint32 folderId, const QString &path, CSharedFileRecord &record);
    // The start of an operation on one file: the managers and the file's current record
    // from the service (refresh cleared).
    bool Begin(qint32 folderId, const QString &path, bool *refresh, CSharedFileManager *&files,
               CLocalFileManager *&cache, CSharedFileRecord &current);
};
