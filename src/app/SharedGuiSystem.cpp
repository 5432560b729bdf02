#include "SharedGuiSystem.h"

#include "account/LoginManager.h"
#include "core/Messages.h"
#include "files/FileCommentManager.h"
#include "files/FileTypeManager.h"
#include "files/SharedFileManager.h"
#include "service/RequestException.h"
#include "store/Convert.h"

#include <QLoggingCategory>

Q_DECLARE_LOGGING_CATEGORY(lcSystem)

namespace {

constexpr int kUnsentKept = 90001;
constexpr int kOutForEditing = 90002;
constexpr int kEditSetAside = 90003;

// Faults of a file or its folder that no longer exist on the service.
bool IsGoneOnService(const CBizException *e)
{
    const auto *fault = dynamic_cast<const CRequestException *>(e);
    static const QStringList gone{QStringLiteral("40007"), QStringLiteral("40002"),
                                  QStringLiteral("40003"), QStringLiteral("30002"),
                                  QStringLiteral("30003")};
    return fault && gone.contains(fault->code());
}

QString nameOf(const QString &path)
{
    return path.startsWith(u'/') ? path.mid(1) : path;
}

} // namespace

bool CSharedGuiSystem::Boundary(const QString &name, bool *refresh,
                                const std::function<bool()> &run)
{
    CExceptHandler handler;
    try {
        return run();
    } catch (const CBizOsException &e) {
        if (refresh)
            *refresh = true;
        if (e.errorNumber() == OsError::SharingViolation) {
            ShowErrorMessage(18327, name);
            return false;
        }
        if (e.errorNumber() == OsError::FileNotFound) {
            ShowErrorMessage(18326, name);
            return false;
        }
        if (e.errorNumber() == OsError::LockViolation) {
            ShowErrorMessage(kOutForEditing, name);
            return false;
        }
        handler.Set(e);
    } catch (const CBizException &e) {
        if (refresh)
            *refresh = true;
        handler.Set(e);
    }
    handler.ShowError();
    return false;
}

bool CSharedGuiSystem::FetchRecord(qint32 folderId, const QString &path, CSharedFileRecord &record)
{
    CSharedFileManager *files = sharedFiles();
    return files && Forward(*files, [&](CSharedFileManager &m) {
               return m.GetFileInfo(folderId, path, record);
           });
}

bool CSharedGuiSystem::Begin(qint32 folderId, const QString &path, bool *refresh,
                             CSharedFileManager *&files, CLocalFileManager *&cache,
                             CSharedFileRecord &current)
{
    if (refresh)
        *refresh = false;
    files = sharedFiles();
    cache = files ? files->local() : nullptr;
    return files && cache && FetchRecord(folderId, path, current);
}

bool CSharedGuiSystem::HoldsOwnLock(const CSharedFileRecord &current, int whenFree, int whenOther,
                                    bool *refresh)
{
    const QString clientKey = m_loginManager ? m_loginManager->clientKey() : QString();
    if (!current.lockKey.isEmpty() && current.lockKey == clientKey)
        return true;
    ShowErrorMessage(current.lockKey.isEmpty() ? whenFree : whenOther);
    if (refresh)
        *refresh = true;
    return false;
}

bool CSharedGuiSystem::OpenForEditing(qint32 folderId, const QString &path,
                                      const SAppChoice *chosen, bool noLaunch, bool *refresh,
                                      QString *openedPath)
{
    CSharedFileManager *files = nullptr;
    CLocalFileManager *cache = nullptr;
    CSharedFileRecord current;
    if (!Begin(folderId, path, refresh, files, cache, current))
        return false;
    const QString name = nameOf(path);
    const QString clientKey = m_loginManager ? m_loginManager->clientKey() : QString();
    const bool anothers = !current.lockKey.isEmpty() && current.lockKey != clientKey;
    if (anothers) {
        const bool named = !current.lockDispName.isEmpty();
        if (noLaunch) {
            if (named)
                ShowErrorMessage(18271, current.lockDispName);
            else
                ShowErrorMessage(18272);
            return false;
        }
        const int answer = named ? AskYesNo(18248, current.lockDispName) : AskYesNo(18249);
        if (answer != IDYES) {
            if (refresh)
                *refresh = true;
            return false;
        }
    }
    int length = 0;
    if (!anothers && !cache->CheckWorkingLength(folderId, int(name.size()), &length)) {
        ShowErrorMessage(18241, cache->WorkingCopyPath(folderId, name), length,
                         CLocalFileManager::MaxLocalPath);
        return false;
    }
    if (!cache->CheckCacheLength(folderId, int(name.size()), 1, &length)) {
        ShowErrorMessage(18241, cache->CachePath(folderId, name), length,
                         CLocalFileManager::MaxLocalPath);
        return false;
    }
    SOpenResult opened;
    const bool ok = Boundary(name, refresh, [&] {
        return Forward(*files,
                       [&](CSharedFileManager &m) { return m.OpenForEdit(current, opened); });
    });
    if (!ok) {
        if (refresh)
            *refresh = true;
        return false;
    }
    if (!opened.unsentCopy.isEmpty())
        ShowInfoMessage(kUnsentKept, name, opened.unsentCopy);
    if (openedPath)
        *openedPath = opened.path;
    if (refresh)
        *refresh = true;
    if (noLaunch)
        return true;
    const int code = LaunchFile(opened.path, chosen, nullptr, progress());
    if (code > 32)
        return true;
    qCInfo(lcSystem) << "the application did not start, code" << code;
    if (!opened.readOnly && opened.tookLock) {
        // Hand back what this open took: the lock, with nothing uploaded and nothing that
        // anybody wrote deleted.
        QString kept;
        const bool handedBack = Boundary(name, refresh, [&] {
            return Forward(
                *files, [&](CSharedFileManager &m) { return m.HandBack(folderId, path, &kept); });
        });
        if (handedBack && !kept.isEmpty())
            ShowInfoMessage(kUnsentKept, name, kept);
    }
    return false;
}

bool CSharedGuiSystem::OpenReadOnly(qint32 folderId, const QString &path, bool *refresh)
{
    CSharedFileManager *files = nullptr;
    CLocalFileManager *cache = nullptr;
    CSharedFileRecord current;
    if (!Begin(folderId, path, refresh, files, cache, current))
        return false;
    QString view;
    if (!Boundary(nameOf(path), refresh, [&] {
            return Forward(*files,
                           [&](CSharedFileManager &m) { return m.OpenReadOnly(current, &view); });
        }))
        return false;
    if (refresh)
        *refresh = true;
    return LaunchFile(view, nullptr, nullptr, progress()) > 32;
}

bool CSharedGuiSystem::SendFile(qint32 folderId, const QString &path, bool force, int *sentCount,
                                bool *refresh)
{
    return SendChecked(folderId, path, force, false, sentCount, refresh);
}

bool CSharedGuiSystem::SendChecked(qint32 folderId, const QString &path, bool force,
                                   bool workingGone, int *sentCount, bool *refresh)
{
    if (sentCount)
        *sentCount = 0;
    CSharedFileManager *files = nullptr;
    CLocalFileManager *cache = nullptr;
    CSharedFileRecord current;
    if (!Begin(folderId, path, refresh, files, cache, current))
        return false;
    const QString name = nameOf(path);
    if (!HoldsOwnLock(current, 18328, 18329, refresh))
        return false;
    // What would be uploaded must stay within the user's limit.
    const CUserRecord *user = m_loginManager ? m_loginManager->currentUser() : nullptr;
    SFileStates working;
    cache->QueryWorkingCopy(folderId, name, SFileStates::Size, working);
    if (!working.sizeKnown)
        cache->QueryEditCopy(folderId, name, SFileStates::Size, working);
    if (user && working.sizeKnown && qint64(working.size) > qint64(user->maxFileSize)) {
        ShowErrorMessage(18237, name, FormatByteSize(working.size),
                         FormatByteSize(user->maxFileSize));
        return false;
    }
    const CSharedFileCommentManager *comments = sharedComments();
    const bool hadComment
        = comments && comments->local() && comments->local()->FindPending(folderId, path);
    const bool ok = Boundary(name, refresh, [&] {
        return Forward(*files, [&](CSharedFileManager &m) {
            return m.Send(current, force, sentCount, workingGone);
        });
    });
    // The comment went with the file: its file on disk must not send it again.
    if (hadComment)
        KeepPendingComments();
    if (ok && refresh)
        *refresh = true;
    return ok;
}

bool CSharedGuiSystem::ForceReleaseFile(qint32 folderId, const QString &path, bool *refresh)
{
    if (refresh)
        *refresh = false;
    CSharedFileManager *files = sharedFiles();
    if (!files)
        return false;
    const bool ok = Boundary(nameOf(path), refresh, [&] {
        return Forward(*files,
                       [&](CSharedFileManager &m) { return m.ForceRelease(folderId, path); });
    });
    if (ok && refresh)
        *refresh = true;
    return ok;
}

EExitSend CSharedGuiSystem::SendOnExit(const SUnsentFile &file)
{
    CSharedFileManager *files = sharedFiles();
    CLocalFileManager *cache = files ? files->local() : nullptr;
    if (!cache)
        return EExitSend::Failed;
    const QString path = u'/' + file.name;
    CSharedFileRecord current;
    CExceptHandler held;
    const bool fetched = Forward(*files, [&](CSharedFileManager &m) {
        return m.GetFileInfo(file.folderId, path, current, &held);
    });
    // Why the edit cannot be sent as it stands; empty: it can.
    QString reason;
    bool unlock = false;
    if (!fetched) {
        if (!IsGoneOnService(held.Exception())) {
            if (held.HasException())
                held.ShowError();
            return EExitSend::Failed;
        }
        reason = held.FullMessage();
        current.workspaceId = file.folderId;
        current.path = path;
    } else if (!m_loginManager || current.lockKey != m_loginManager->clientKey()) {
        reason = LoadString(current.lockKey.isEmpty() ? 18328 : 18329);
    } else {
        SFileStates working;
        cache->QueryWorkingCopy(file.folderId, file.name, SFileStates::Exists, working);
        QStringList related;
        if (!working.exists && cache->ListRelatedFiles(file.folderId, file.name, related) == 0) {
            reason = detail::ComposeMessage(18326, file.name);
            unlock = true;
        }
    }
    if (reason.isEmpty())
        return SendWithRelatedData(file.folderId, path, false, false) ? EExitSend::Sent
                                                                      : EExitSend::Failed;
    // Kept aside, so that the window can close and nothing of the edit is lost.
    QString kept;
    if (!Boundary(file.name, nullptr, [&] {
            return Forward(
                *files, [&](CSharedFileManager &m) { return m.SetAside(current, unlock, &kept); });
        }))
        return EExitSend::Failed;
    if (!kept.isEmpty())
        reason
            += QStringLiteral("\r\n\r\n") + detail::ComposeMessage(kEditSetAside, file.name, kept);
    ShowWarningMessage(reason);
    return EExitSend::SetAside;
}

int CSharedGuiSystem::CountUnsent()
{
    CSharedFileManager *files = sharedFiles();
    return files && files->local() ? int(files->local()->ListUnsent(false).size()) : 0;
}

QList<SUnsentFile> CSharedGuiSystem::ListUnsent()
{
    CSharedFileManager *files = sharedFiles();
    return files && files->local() ? files->local()->ListUnsent(true) : QList<SUnsentFile>();
}

QList<SAppChoice> CSharedGuiSystem::AppChoices(const QString &wanted, int *preselected) const
{
    const CSharedFileTypeManager *types = sharedFileTypes();
    if (!types) {
        if (preselected)
            *preselected = -1;
        return {};
    }
    return ListAppChoices(types->usableList(), wanted, preselected);
}
