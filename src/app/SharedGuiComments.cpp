// The comment edits of the online view: the lock held while a comment is edited, the
// pending comment registered with the service, and the labels the editors show.

#include "SharedGuiSystem.h"

#include "account/LoginManager.h"
#include "core/BizException.h"
#include "core/ExceptHandler.h"
#include "core/Messages.h"
#include "files/FileCommentManager.h"
#include "files/FileRequests.h"
#include "files/SharedFileManager.h"

#include <QLoggingCategory>

Q_DECLARE_LOGGING_CATEGORY(lcSystem)

namespace {

QString nameOf(const QString &path)
{
    return path.startsWith(u'/') ? path.mid(1) : path;
}

void requireFree(const SFileStates &states)
{
    if (states.exists && states.inUse)
        throw CBizOsException(OsError::SharingViolation, states.path);
}

} // namespace

bool CSharedGuiSystem::BeginCommentEdit(qint32 folderId, const QString &path, bool *alreadyUnsent,
                                        bool *refresh)
{
    if (alreadyUnsent)
        *alreadyUnsent = false;
    SetProgressText(QStringLiteral("コメントを開いています..."));
    CSharedFileManager *files = nullptr;
    CLocalFileManager *cache = nullptr;
    CSharedFileRecord current;
    if (!Begin(folderId, path, refresh, files, cache, current))
        return false;
    const QString clientKey = m_loginManager ? m_loginManager->clientKey() : QString();
    if (!current.lockKey.isEmpty() && current.lockKey == clientKey) {
        // Unsent: the lock is this client's already; the comment goes out with the file.
        if (alreadyUnsent)
            *alreadyUnsent = true;
        return true;
    }
    if (!current.lockKey.isEmpty()) {
        if (current.lockDispName.isEmpty())
            ShowErrorMessage(18272);
        else
            ShowErrorMessage(18271, current.lockDispName);
        if (refresh)
            *refresh = true;
        return false;
    }
    const QString name = nameOf(path);
    const bool locked = Boundary(name, refresh, [&] {
        // The lock also keeps the file from being edited here while an application holds
        // a local copy of it.
        SFileStates edit, cached;
        cache->QueryEditCopy(folderId, name, SFileStates::InUse, edit);
        cache->QueryCache(folderId, name, SFileStates::InUse, cached);
        requireFree(edit);
        requireFree(cached);
        return Forward(*files, [&](CSharedFileManager &m) {
            CFileLockRequest lock(m_loginManager->accessKey(), folderId, path, nullptr,
                                  m.progress());
            return lock.ExecutePost() != 0;
        });
    });
    if (refresh)
        *refresh = true;
    return locked;
}

bool CSharedGuiSystem::RegisterComment(qint32 folderId, const QString &path, bool *refresh)
{
    SetProgressText(QStringLiteral("コメントを送信しています..."));
    CSharedFileManager *files = nullptr;
    CLocalFileManager *cache = nullptr;
    CSharedFileRecord current;
    if (!Begin(folderId, path, refresh, files, cache, current))
        return false;
    // Refused, the text stays pending (and shown) until the user decides.
    if (!HoldsOwnLock(current, 18258, 18258, refresh))
        return false;
    const bool ok = Boundary(nameOf(path), refresh, [&] {
        return Forward(*files, [&](CSharedFileManager &m) {
            m.SendPendingComment(folderId, path);
            CFileUnlockRequest unlock(m_loginManager->accessKey(), folderId, path, nullptr,
                                      m.progress());
            return unlock.ExecutePost() != 0;
        });
    });
    if (refresh)
        *refresh = true;
    return ok;
}

bool CSharedGuiSystem::CancelCommentEdit(qint32 folderId, const QString &path, bool *refresh)
{
    SetProgressText(QStringLiteral("コメントの編集を終了しています..."));
    CSharedFileManager *files = nullptr;
    CLocalFileManager *cache = nullptr;
    CSharedFileRecord current;
    if (!Begin(folderId, path, refresh, files, cache, current))
        return false;
    if (!HoldsOwnLock(current, 18328, 18329, refresh))
        return false;
    const bool ok = Boundary(nameOf(path), refresh, [&] {
        return Forward(*files, [&](CSharedFileManager &m) {
            CFileUnlockRequest unlock(m_loginManager->accessKey(), folderId, path, nullptr,
                                      m.progress());
            return unlock.ExecutePost() != 0;
        });
    });
    if (refresh)
        *refresh = true;
    return ok;
}

bool CSharedGuiSystem::EndCommentEdit(qint32 folderId, const QString &path, bool confirm,
                                      const QString &text, bool alreadyUnsent, bool *refresh)
{
    if (refresh)
        *refresh = false;
    if (!confirm)
        return alreadyUnsent || CancelCommentEdit(folderId, path, refresh);
    CSharedFileCommentManager *comments = sharedComments();
    if (!comments || !comments->StorePending(folderId, path, text)) {
        qCWarning(lcSystem) << "no comment manager: the comment cannot be kept";
        return false;
    }
    // The list shows the pending text until the service has it.
    if (CSharedFileManager *files = sharedFiles())
        files->AttachPendingComments();
    if (refresh)
        *refresh = true;
    // On disk at once: a comment on an unsent file waits for the file's Send, and one whose
    // registration fails stays pending; neither may be lost by a crash before the end.
    KeepPendingComments();
    if (alreadyUnsent)
        return true;
    const bool registered = RegisterComment(folderId, path, refresh);
    if (registered)
        KeepPendingComments();
    return registered;
}

void CSharedGuiSystem::KeepPendingComments()
{
    try {
        if (!SavePendingComments())
            qCWarning(lcSystem) << "pending comments not written now; kept for the end";
    } catch (const CBizException &e) {
        qCWarning(lcSystem) << "pending comments not written now, kind" << e.Kind();
    }
}

QString CSharedGuiSystem::CommentInfoLabel(const CSharedFileRecord &record) const
{
    const CUserRecord *user = m_loginManager ? m_loginManager->currentUser() : nullptr;
    return CFileCommentManager::InfoLabel(record, user ? user->id : 0);
}

QString CSharedGuiSystem::CommentLineLabel(const QString &text) const
{
    return CFileCommentManager::LineCountLabel(text);
}

QString CSharedGuiSystem::CommentRemainingLabel(const QString &text) const
{
    return CFileCommentManager::RemainingLabel(text, maxCommentLength());
}

int CSharedGuiSystem::maxCommentLength() const
{
    const CUserRecord *user = m_loginManager ? m_loginManager->currentUser() : nullptr;
    return user ? user->maxFileCommentLength : CUserRecord().maxFileCommentLength;
}
