#pragma once

#include "core/Manager.h"

#include <QString>

#include <memory>

class CLoginManager;
class CSharedFileRecord;

// The executor of one command-line download: signs in with a login state of its own (the
// same logins.vqr as the main system, but its own sign-in), finds the service folder by its
// path of names, downloads the folder's files one by one into the destination folder, signs
// out and saves the saved logins.
//
// Every failure ends the run and is reported to the caller, never as success:
//  - faults, transport and file-system errors come out of RunDownload as exceptions, after
//    the sign-out;
//  - a sign-in, folder find or list that answers nothing, and a file that is gone on the
//    service meanwhile, make RunDownload answer false.
// Files downloaded before the failure stay in the destination.
//
// A file name from the service becomes a local name only when it is one valid path
// component; otherwise that file fails with CBizOsException(123) and nothing is written.
// Each file goes to a temporary sibling first and replaces an existing file of the same name
// only once its digest matches.
class CExeCmdManager : public CManager
{
public:
    // The service's own pacing between two files (kept after the last one too).
    static constexpr int PauseBetweenFilesMs = 1000;

    CExeCmdManager(const QString &officeId, const QString &loginId, const QString &password);
    ~CExeCmdManager() override;

    // sourcePath: folder names from the top joined with "/" (経理/2024); destination: an
    // existing local folder.
    bool RunDownload(const QString &sourcePath, const QString &destination);

    CLoginManager &loginManager() const { return *m_loginManager; }
    // Files stored by the last run.
    int downloadedCount() const { return m_downloaded; }
    // Why the last run answered false (for the log; never holds a secret).
    QString failureReason() const { return m_failureReason; }

protected:
    // One file into destination; false when the service says it is gone.
    virtual bool DownloadFile(qint32 folderId, const CSharedFileRecord &record,
                              const QString &destination);
    virtual void PauseAfterFile(int ms);

private:
    bool RunSignedIn(const QString &sourcePath, const QString &destination);

    QString m_officeId;
    QString m_loginId;
    QString m_password;
    std::unique_ptr<CLoginManager> m_loginManager;
    int m_downloaded = 0;
    QString m_failureReason;
};
