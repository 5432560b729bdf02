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
        // Hand back what this open took: the lock, with nothing uploaded.
        Boundary(name, refresh, [&] {
            return Forward(*files,
                           [&](CSharedFileManager &m) { return m.ForceRelease(folderId, path); });
        });
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
