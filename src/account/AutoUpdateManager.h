#pragma once

#include "HasLoginManager.h"

#include <QString>

// The application's own update: asks the service for the newest package, compares it with
// the running version, and stores and starts the installer. Holds no state beyond the
// running version it compares with.
class CAutoUpdateManager : public CHasLoginManager
{
public:
    // The running version is the program's own (the build's version text).
    explicit CAutoUpdateManager(CLoginManager *loginManager);

    // What the comparison takes as the running version (tests stand in for another build).
    void SetRunningVersion(quint32 ms, quint32 ls);
    quint32 runningVersionMs() const { return m_runningMs; }
    quint32 runningVersionLs() const { return m_runningLs; }

    // Asks the service for the newest package. newer is 0 first and 1 when the service's
    // version is greater than the running one (most significant pair first, then the least
    // significant one, both unsigned). Each output is optional; an output whose element the
    // answer lacks keeps the caller's value. False when the request gave no answer (cancel);
    // faults raise.
    bool CheckForUpdate(int &newer, QString *fileName = nullptr, QString *fileDigest = nullptr,
                        qint32 *fileSize = nullptr, quint32 *versionMs = nullptr,
                        quint32 *versionLs = nullptr);

    // Stores the package as fileName in the setup folder (through a temporary sibling that
    // takes the name only once its digest matched), makes it executable for the owner and
    // starts it detached with "/auto.update" in the setup folder. Answers whether it was
    // executed; false without a fault when the download was cancelled or the package cannot
    // be executed. A name that is not one path component raises CBizOsException(123) before
    // anything is written; a wrong or missing digest raises fault "00002" and leaves nothing
    // behind.
    bool DownloadAndStart(const QString &fileName, const QString &fileDigest);

private:
    quint32 m_runningMs = 0;
    quint32 m_runningLs = 0;
};
