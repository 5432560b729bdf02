#include "AutoUpdateManager.h"

#include "AccountLog.h"
#include "LoginManager.h"
#include "UpdateRequests.h"

#include "core/BizException.h"
#include "core/OsUtils.h"
#include "core/Paths.h"
#include "store/Convert.h"
#include "store/NameCheck.h"

#include <QDir>
#include <QFile>
#include <QProcess>

#include <cerrno>

CAutoUpdateManager::CAutoUpdateManager(CLoginManager *loginManager)
    : CHasLoginManager(loginManager)
{
    m_runningMs = ParseVersion(ProgramVersionText(), &m_runningLs);
}

void CAutoUpdateManager::SetRunningVersion(quint32 ms, quint32 ls)
{
    m_runningMs = ms;
    m_runningLs = ls;
}

bool CAutoUpdateManager::CheckForUpdate(int &newer, QString *fileName, QString *fileDigest,
                                        qint32 *fileSize, quint32 *versionMs, quint32 *versionLs)
{
    newer = 0;
    CAutoUpdateVersionRequest::SVersion answer;
    if (fileName)
        answer.fileName = *fileName;
    if (fileDigest)
        answer.fileDigest = *fileDigest;
    if (fileSize)
        answer.fileSize = *fileSize;
    if (versionMs)
        answer.versionMs = *versionMs;
    if (versionLs)
        answer.versionLs = *versionLs;

    CAutoUpdateVersionRequest request(m_loginManager ? m_loginManager->accessKey() : QString(),
                                      &answer, progress());
    if (!request.ExecuteGet())
        return false;

    if (fileName)
        *fileName = answer.fileName;
    if (fileDigest)
        *fileDigest = answer.fileDigest;
    if (fileSize)
        *fileSize = answer.fileSize;
    if (versionMs)
        *versionMs = answer.versionMs;
    if (versionLs)
        *versionLs = answer.versionLs;

    // Unsigned words: 1.2.0.10 is newer than 1.2.0.9, and a high bit is no sign.
    if (answer.versionMs != m_runningMs)
        newer = answer.versionMs > m_runningMs ? 1 : 0;
    else
        newer = answer.versionLs > m_runningLs ? 1 : 0;
    qCInfo(lcAccount) << "service version" << FormatVersion(answer.versionMs, answer.versionLs)
                      << "running" << FormatVersion(m_runningMs, m_runningLs) << "newer" << newer;
    return true;
}

bool CAutoUpdateManager::DownloadAndStart(const QString &fileName, const QString &fileDigest)
{
    // The name comes from the service: it must not lead out of the setup folder.
    if (!IsValidPathComponent(fileName))
        throw CBizOsException(OsError::InvalidName, fileName);
    const QString folder = SetupPath();
    if (!QDir().mkpath(folder))
        throw CBizOsException(CBizOsException::FromErrno(errno ? errno : EACCES), folder);
    const QString package = JoinPath(folder, fileName);

    CAutoUpdateGetRequest request(m_loginManager ? m_loginManager->accessKey() : QString(), package,
                                  fileDigest, progress());
    if (!request.ExecuteGet()) {
        qCInfo(lcAccount) << "update package not downloaded (cancelled)";
        return false;
    }

    // An installer that may not be executed has not been started.
    if (!QFile::setPermissions(package, QFile::permissions(package) | QFileDevice::ExeOwner)) {
        qCWarning(lcAccount) << "update package cannot be made executable" << package;
        return false;
    }
    qint64 pid = 0;
    if (!QProcess::startDetached(package, {QStringLiteral("/auto.update")}, folder, &pid)) {
        qCWarning(lcAccount) << "update package could not be executed" << package;
        return false;
    }
    qCInfo(lcAccount) << "update package started, process" << pid;
    return true;
}
