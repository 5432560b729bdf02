#include "SharedFileManager.h"

#include "FavoriteManager.h"
#include "FileCommentManager.h"
#include "FilePrepare.h"
#include "FileTypeManager.h"
#include "FilesLog.h"
#include "LocalFileManager.h"

#include "account/LoginManager.h"
#include "core/FileSystem.h"
#include "folders/SharedWorkspaceManager.h"
#include "service/MessageDigest.h"
#include "service/RequestException.h"
#include "service/RequestGuard.h"

#include <QFileInfo>
#include <QRegularExpression>

#include <climits>

namespace {

// The folder of the listing is gone or out of reach: the view goes to the root.
bool IsFolderOfFileGone(const CBizExceptHandler &handler)
{
    const auto *fault = dynamic_cast<const CRequestException *>(handler.Exception());
    return fault && (fault->code() == u"40002" || fault->code() == u"40003");
}

// The folder search's name match: "*" and "?" are wildcards, a plain text matches as a
// part of the name; letter case is ignored.
bool MatchesPattern(const QString &name, const QString &pattern)
{
    if (!pattern.contains(u'*') && !pattern.contains(u'?'))
        return name.contains(pattern, Qt::CaseInsensitive);
    const QRegularExpression re(QRegularExpression::wildcardToRegularExpression(
                                    pattern, QRegularExpression::UnanchoredWildcardConversion),
                                QRegularExpression::CaseInsensitiveOption);
    return re.match(name).hasMatch();
}

} // namespace

CSharedFileManager::CSharedFileManager(CLoginManager *loginManager,
                                       CSharedWorkspaceManager *folders,
                                       CSharedFileTypeManager *fileTypes, CLocalFileManager *local,
                                       CSharedFileCommentManager *comments)
    : CFileManager(loginManager, folders, fileTypes)
    , m_local(local)
    , m_comments(comments)
{
    m_favorites = std::make_unique<CFavoriteManager>(
        loginManager,
        [this](qint32 id) { return sharedFolders() ? sharedFolders()->FindById(id) : nullptr; },
        [this] { return m_list.get(); });
}

CSharedFileManager::~CSharedFileManager() = default;

CSharedWorkspaceManager *CSharedFileManager::sharedFolders() const
{
    return static_cast<CSharedWorkspaceManager *>(m_folders);
}

void CSharedFileManager::Prepare(CFileRecord &record, bool withHistory)
{
    auto *shared = dynamic_cast<CSharedFileRecord *>(&record);
    if (!shared) {
        CFileManager::Prepare(record, withHistory);
        return;
    }
    SFilePrepareContext context;
    context.fileTypes = m_fileTypes ? &m_fileTypes->rawList() : nullptr;
    context.findFolder
        = [this](qint32 id) { return sharedFolders() ? sharedFolders()->FindById(id) : nullptr; };
    if (m_loginManager) {
        context.clientKey = m_loginManager->clientKey();
        context.user = m_loginManager->currentUser();
    }
    context.withHistory = withHistory;
    if (m_local) {
        CLocalFileManager *local = m_local;
        context.hasHistory = [local](const CSharedFileRecord &r) { return local->HasHistory(r); };
        context.editCopySize = [local](const CSharedFileRecord &r) {
            return local->EditCopySize(r.workspaceId, r.FileName());
        };
        context.localSide = [local](CSharedFileRecord &r) {
            if (r.IsFolderEntry())
                return;
            if (CLocalFileRecord *mine = local->FindLocal(r.workspaceId, r.FileName())) {
                local->NormalizeStoredPath(*mine);
                mine->pathLength = local->PathLengthOf(*mine);
            }
            r.pathLength = local->PathLengthOf(r);
        };
    }
    PrepareSharedFileRecord(*shared, context);
}

std::unique_ptr<CSharedFileRecord> CSharedFileManager::FolderEntry(qint32 parentId,
                                                                   CWorkspaceRecord *child) const
{
    auto entry = std::make_unique<CSharedFileRecord>();
    entry->workspaceId = parentId;
    if (parentId > 0 && sharedFolders())
        entry->SetFolder(sharedFolders()->FindById(parentId));
    entry->SetFolderItem(child);
    entry->isFavorite = child->isFavorite != 0;
    return entry;
}

void CSharedFileManager::AppendFolderEntries(qint32 folderId, CSharedFileList &list) const
{
    if (!sharedFolders())
        return;
    for (CWorkspaceRecord *child = sharedFolders()->FirstChild(folderId); child;
         child = sharedFolders()->NextSibling(child))
        list.Replace(FolderEntry(folderId, child));
}

void CSharedFileManager::ListFolder(qint32 folderId, bool recursive, CSharedFileList &list)
{
    list.RemoveAll();
    // The root holds folders only.
    if (folderId > 0) {
        SFileListOptions options;
        options.recursive = recursive;
        CFileListRequest request(m_loginManager->accessKey(), folderId, options, &list, progress());
        request.ExecuteGet();
        if (sharedFolders()) {
            for (CFileRecord *record : list)
                record->SetFolder(sharedFolders()->FindById(record->workspaceId));
        }
    }
    if (!recursive)
        AppendFolderEntries(folderId, list);
}

void CSharedFileManager::TakeList(std::unique_ptr<CSharedFileList> list, bool withHistory)
{
    // Every entry asks the cache for its paths: the roots are worked out once.
    std::optional<CLocalFileManager::CRootsMemo> memo;
    if (m_local)
        memo.emplace(*m_local);
    ReplaceList(std::move(list), withHistory);
}

bool CSharedFileManager::LoadList(qint32 &folderId, bool recursive, bool withHistory)
{
    if (!m_loginManager)
        return false;
    auto fresh = std::make_unique<CSharedFileList>(true);
    CExceptHandler held;
    bool ok = RunReported(&held, progress(), [&] {
        if (folderId == FolderId::Favorites)
            return m_favorites->ListFavorites(0, false, *fresh);
        ListFolder(folderId, recursive, *fresh);
        return true;
    });
    if (!ok && held.HasException() && IsFolderOfFileGone(held)) {
        qCInfo(lcFileRecords) << "folder" << folderId << "gone: the list shows the root";
        folderId = FolderId::AllFolders;
        ok = RunReported(nullptr, progress(), [&] {
            ListFolder(folderId, false, *fresh);
            return true;
        });
    } else if (!ok && held.HasException() && !IsUserCancel(*held.Exception(), progress())) {
        held.ShowError();
    }
    if (!ok)
        return false;
    TakeList(std::move(fresh), withHistory);
    return true;
}

SPageSplit CSharedFileManager::SplitPage(qint32 n, qint32 f, qint32 c, qint32 o)
{
    SPageSplit split;
    const qint64 total = qint64(f) + c;
    if (n <= 0 || total <= 0 || o >= total)
        return split;
    const qint64 page = o < 0 ? 0 : (qint64(o) + 1 + n - 1) / n;
    if (page <= 0)
        return split;
    const qint64 lastPage = (total + n - 1) / n;
    const qint64 shortfall = page == lastPage && total % n > 0 ? n - total % n : 0;
    if (f > 0) {
        const qint64 folderPages = (qint64(f) + n - 1) / n;
        if (page < folderPages) {
            split.folderOffset = o;
            split.folders = n;
            return split;
        }
        if (page == folderPages) {
            // The page where the folders end and the files begin.
            const qint32 rest = f % n;
            split.folderOffset = o;
            split.files = rest > 0 ? n - rest : 0;
            split.folders = n - split.files;
            split.fileOffset = 0;
            return split;
        }
    }
    split.fileOffset = o - f;
    split.files = qint32(n - shortfall);
    return split;
}

bool CSharedFileManager::LoadPage(SFilePageQuery &query)
{
    if (!m_loginManager)
        return false;
    auto fresh = std::make_unique<CSharedFileList>(true);
    query.folderCount = 0;
    query.fileCount = 0;
    if (query.folderId == FolderId::Favorites) {
        if (!RunReported(nullptr, progress(), [&] {
                return m_favorites->ListFavorites(query.sortIndex, query.descending, *fresh);
            }))
            return false;
        query.fileCount = qint32(fresh->size());
        TakeList(std::move(fresh), query.withHistory);
        return true;
    }
    if (query.folderId > 0 && sharedFolders() && !sharedFolders()->CheckFolder(query.folderId))
        return false;

    query.cutShort = false;
    SFileListOptions files;
    files.sortIndex = query.sortIndex;
    files.descending = query.descending;
    const bool ok = RunReported(nullptr, progress(), [&] {
        if (query.searchMode) {
            files.recursive = true;
            files.pattern = query.pattern;
            files.search = query.search;
            files.limit = query.pageSize;
            files.offset = quint32(std::max(0, query.offset));
            // An error answer without a body comes back as 0 without a fault: a page that
            // was never listed must not pass for an empty one.
            CFileCountRequest count(m_loginManager->accessKey(), query.folderId, files, progress());
            if (!count.ExecuteGet())
                return false;
            query.fileCount = count.count();
            CFileListRequest list(m_loginManager->accessKey(), query.folderId, files, fresh.get(),
                                  progress());
            if (!list.ExecuteGet())
                return false;
            query.cutShort = list.cutShort();
            return true;
        }
        if (!query.pattern.isEmpty()) {
            // A folder search: the matching direct subfolders.
            if (sharedFolders()) {
                for (CWorkspaceRecord *child = sharedFolders()->FirstChild(query.folderId); child;
                     child = sharedFolders()->NextSibling(child)) {
                    if (MatchesPattern(child->name, query.pattern))
                        fresh->Replace(FolderEntry(query.folderId, child));
                }
            }
            query.folderCount = qint32(fresh->size());
            return true;
        }
        // A normal page: subfolders first, then files, as SplitPage divides them.
        qint32 folderCount = 0;
        if (sharedFolders()) {
            CExceptHandler held;
            if (!sharedFolders()->CountItems(query.folderId, false, {}, folderCount, &held)) {
                held.RethrowPending();
                return false;
            }
        }
        qint32 fileCount = 0;
        if (query.folderId > 0) {
            CFileCountRequest count(m_loginManager->accessKey(), query.folderId, files, progress());
            if (!count.ExecuteGet())
                return false;
            fileCount = count.count();
        }
        query.folderCount = folderCount;
        query.fileCount = fileCount;
        const SPageSplit split = SplitPage(query.pageSize, folderCount, fileCount, query.offset);
        if (split.folders > 0 && sharedFolders()) {
            SWorkspaceListOptions options;
            options.limit = split.folders;
            options.offset = quint32(split.folderOffset);
            options.sortIndex = query.sortIndex;
            options.descending = query.descending;
            CWorkspaceList folders;
            CExceptHandler held;
            if (!sharedFolders()->ListInto(query.folderId, options, folders, &held)) {
                held.RethrowPending();
                return false;
            }
            for (const CWorkspaceRecord *listed : folders) {
                // Only folders of the tree become entries; they bring the service's mark.
                if (CWorkspaceRecord *inTree = sharedFolders()->FindById(listed->id)) {
                    inTree->isFavorite = listed->isFavorite;
                    fresh->Replace(FolderEntry(query.folderId, inTree));
                }
            }
        }
        if (split.files > 0) {
            files.limit = split.files;
            files.offset = quint32(split.fileOffset);
            CSharedFileList part(true);
            CFileListRequest list(m_loginManager->accessKey(), query.folderId, files, &part,
                                  progress());
            if (!list.ExecuteGet())
                return false;
            query.cutShort = list.cutShort();
            for (auto &record : part.TakeAll())
                fresh->Replace(std::move(record));
        }
        return true;
    });
    if (!ok)
        return false;
    if (sharedFolders()) {
        for (CFileRecord *record : *fresh) {
            if (!record->IsFolderEntry())
                record->SetFolder(sharedFolders()->FindById(record->workspaceId));
        }
    }
    TakeList(std::move(fresh), query.withHistory);
    return true;
}

bool CSharedFileManager::CountFiles(qint32 folderId, bool recursive, bool lockOnly,
                                    const QString &pattern, const CTransactionSearchQuery *search,
                                    qint32 &count, CBizExceptHandler *held)
{
    if (!m_loginManager)
        return false;
    return RunReported(held, progress(), [&] {
        SFileListOptions options;
        options.recursive = recursive;
        options.lockOnly = lockOnly;
        options.pattern = pattern;
        options.search = search;
        CFileCountRequest request(m_loginManager->accessKey(), folderId, options, progress());
        if (!request.ExecuteGet())
            return false;
        count = request.count();
        return true;
    });
}

bool CSharedFileManager::FindFileOffset(qint32 folderId, const QString &path,
                                        const SFileListOptions &options, qint32 &offset)
{
    if (!m_loginManager)
        return false;
    return RunReported(nullptr, progress(), [&] {
        CFileOffsetRequest request(m_loginManager->accessKey(), folderId, path, options,
                                   progress());
        if (!request.ExecuteGet())
            return false;
        offset = request.offset();
        return true;
    });
}

bool CSharedFileManager::GetFileInfo(qint32 folderId, const QString &path,
                                     CSharedFileRecord &record, CBizExceptHandler *held)
{
    if (!m_loginManager)
        return false;
    return RunReported(held, progress(), [&] {
        CFileInfoRequest request(m_loginManager->accessKey(), folderId, path, &record, progress());
        if (!request.ExecuteGet())
            return false;
        if (sharedFolders())
            record.SetFolder(sharedFolders()->FindById(record.workspaceId));
        return true;
    });
}

bool CSharedFileManager::Refresh(SFilePageQuery &query, bool reloadTree, bool reloadTypes)
{
    if (!m_loginManager)
        return false;
    // The work ahead sizes the progress range; a count that cannot be had counts nothing.
    qint64 work = m_local ? m_local->list().size() : 0;
    work += m_favorites->CountFavorites(progress());
    if (query.folderId > 0) {
        qint32 files = 0;
        CExceptHandler held;
        if (!CountFiles(query.folderId, query.searchMode, false, {}, nullptr, files, &held)) {
            const auto *fault = dynamic_cast<const CRequestException *>(held.Exception());
            const bool gone = fault
                              && (fault->code() == u"30002" || fault->code() == u"30003"
                                  || fault->code() == u"40002" || fault->code() == u"40003");
            if (gone && sharedFolders() && sharedFolders()->ResolveFolder(query.folderId))
                CountFiles(query.folderId, query.searchMode, false, {}, nullptr, files, &held);
        }
        work += files;
    }
    if (sharedFolders()) {
        qint32 folders = 0;
        CExceptHandler held;
        if (sharedFolders()->CountItems(0, true, {}, folders, &held))
            work += folders;
    }
    if (auto *types = dynamic_cast<CSharedFileTypeManager *>(m_fileTypes))
        work += std::max<qint32>(0, types->Count());
    if (CBizProgressHandler *handler = progress())
        handler->Begin(qint32(std::min<qint64>(work, INT_MAX)));

    if (reloadTree && sharedFolders() && !sharedFolders()->Load())
        return false;
    if (reloadTypes && m_fileTypes && !m_fileTypes->Load())
        return false;
    SetProgressText(QStringLiteral("取得した情報とローカル情報を比較しています..."));
    if (!LoadPage(query))
        return false;
    AttachPendingComments();
    return true;
}

int CSharedFileManager::AttachPendingComments()
{
    return m_comments && m_list ? m_comments->AttachPending(*m_list) : 0;
}

bool CSharedFileManager::SendPendingComment(qint32 folderId, const QString &path)
{
    if (!m_comments)
        return false;
    CBizProgressAttach attach(*m_comments, progress());
    CFileCommentRecord stored;
    // The entry lets go of the pending record before it is deleted.
    auto *entry
        = m_list ? dynamic_cast<CSharedFileRecord *>(m_list->Find(folderId, path)) : nullptr;
    CFileCommentRecord *pending = entry ? entry->pendingComment : nullptr;
    if (entry)
        entry->pendingComment = nullptr;
    bool sent = false;
    try {
        sent = m_comments->SendPending(folderId, path, stored);
    } catch (...) {
        if (entry)
            entry->pendingComment = pending;
        throw;
    }
    if (!entry)
        return sent;
    if (!sent) {
        entry->pendingComment = pending;
        return false;
    }
    entry->comment = stored.text;
    entry->commentUpdateId = stored.updateId;
    entry->commentUpdateDispName = stored.updateDispName;
    entry->commentUpdateTime = stored.updateTime;
    return true;
}

bool CSharedFileManager::ChangeFavorite(qint32 folderId, const QString &path, bool add)
{
    if (!m_loginManager)
        return false;
    CBizProgressAttach attach(*m_favorites, progress());
    return RunReported(nullptr, progress(),
                       [&] { return m_favorites->ChangeAndMark(folderId, path, add); });
}

bool CSharedFileManager::BringIntoCache(const CSharedFileRecord &record)
{
    if (!m_local || !m_loginManager)
        return false;
    const QString name = record.FileName();
    SFileStates stored;
    if (m_local->QueryStored(record.workspaceId, name, SFileStates::Digest, record.digest,
                             stored)) {
        if (stored.exists && stored.digestEqual)
            return true; // the cache holds this content already
    } else {
        // No record (the cache's list is of another folder): a cache copy on disk with this
        // content is as good.
        SFileStates cached;
        m_local->QueryFile(m_local->CachePath(record.workspaceId, name),
                           SFileStates::Size | SFileStates::Digest, cached, record.digest);
        if (cached.exists && cached.digestEqual)
            return m_local->RecordCacheCopy(record.workspaceId, name);
    }
    const QString key = m_loginManager->accessKey();
    CBizProgressHandler *handler = progress();
    CBizProgressAttach attach(*m_local, handler);
    return m_local->DownloadIntoCache(record.workspaceId, name,
                                      [&](const QString &downloadCopy, const QString &cachePath) {
                                          CFileGetRequest get(key, record.workspaceId, record.path,
                                                              record.digest, cachePath, 0, handler);
                                          get.SetDownloadCopy(downloadCopy);
                                          return get.ExecuteGet() != 0;
                                      });
}

// --- the edit cycle -----------------------------------------------------------------------

namespace {

void requireNotInUse(const SFileStates &states)
{
    if (states.exists && states.inUse)
        throw CBizOsException(OsError::SharingViolation, states.path);
}

struct SCopies
{
    SFileStates edit;
    SFileStates working;
};

// The file's edit, cache and (withWorking) working copies: one that an application holds
// stops the operation before it changes anything.
SCopies requireCopiesFree(CLocalFileManager &local, qint32 folderId, const QString &name,
                          bool withWorking)
{
    SCopies copies;
    SFileStates cache;
    local.QueryEditCopy(folderId, name, SFileStates::InUse, copies.edit);
    local.QueryCache(folderId, name, SFileStates::InUse, cache);
    requireNotInUse(copies.edit);
    requireNotInUse(cache);
    if (withWorking) {
        local.QueryWorkingCopy(folderId, name, SFileStates::InUse | SFileStates::Size,
                               copies.working);
        requireNotInUse(copies.working);
    }
    return copies;
}

} // namespace

bool CSharedFileManager::OpenForEdit(const CSharedFileRecord &current, SOpenResult &result)
{
    if (!m_local || !m_loginManager)
        return false;
    result = SOpenResult();
    const qint32 folderId = current.workspaceId;
    const QString name = current.FileName();
    CBizProgressAttach attach(*m_local, progress());
    const SCopies copies = requireCopiesFree(*m_local, folderId, name, true);
    const QString clientKey = m_loginManager->clientKey();
    const bool mine = !current.lockKey.isEmpty() && current.lockKey == clientKey;
    const bool anothers = !current.lockKey.isEmpty() && !mine;
    m_local->EnsureRecord(folderId, name);

    if (mine) {
        // Unsent already: the edit goes on where it was, without a request.
        if (!copies.edit.exists)
            throw CBizOsException(OsError::FileNotFound, copies.edit.path);
        if (!copies.working.exists)
            m_local->PrepareWorkingCopy(folderId, name, nullptr, &result.unsentCopy);
        result.path = m_local->WorkingCopyPath(folderId, name);
        return true;
    }
    if (!anothers) {
        CFileLockRequest lock(m_loginManager->accessKey(), folderId, current.path, nullptr,
                              progress());
        if (!RunReported(nullptr, progress(), [&] { return lock.ExecutePost() != 0; }))
            return false;
        result.tookLock = true;
    }
    // Whatever fails from here on must not leave the lock behind.
    bool done = false;
    try {
        if (anothers) {
            result.readOnly = true;
            done = MakeServiceView(current, &result.path);
        } else if (BringIntoCache(current)) {
            done = m_local->Relocate(folderId, name, m_local->EditCopyPath(folderId, name), true)
                   && m_local->PrepareWorkingCopy(folderId, name, &result.path, &result.unsentCopy);
        }
    } catch (...) {
        if (result.tookLock)
            Unlock(folderId, current.path);
        throw;
    }
    if (!done && result.tookLock)
        Unlock(folderId, current.path);
    return done;
}

bool CSharedFileManager::OpenReadOnly(const CSharedFileRecord &current, QString *viewPath)
{
    if (!m_local || !m_loginManager)
        return false;
    const qint32 folderId = current.workspaceId;
    const QString name = current.FileName();
    CBizProgressAttach attach(*m_local, progress());
    SFileStates cache;
    m_local->QueryCache(folderId, name, SFileStates::InUse, cache);
    requireNotInUse(cache);
    return MakeServiceView(current, viewPath) && ReturnToCache(folderId, name, false);
}

bool CSharedFileManager::MakeServiceView(const CSharedFileRecord &current, QString *viewPath)
{
    const qint32 folderId = current.workspaceId;
    const QString name = current.FileName();
    const CLocalFileRecord *local = m_local->EnsureRecord(folderId, name);
    if (local && local->lockedByMe) {
        // Out for editing here: the edit and working copies are what the next send uploads,
        // so the view comes straight from the service and the store stays as it is.
        const QString view = m_local->ViewCopyPath(name);
        if (view.isEmpty() || !DownloadFile(current, view, false))
            return false;
        if (viewPath)
            *viewPath = view;
        return true;
    }
    return BringIntoCache(current) && m_local->MakeViewCopy(folderId, name, viewPath);
}

bool CSharedFileManager::Send(const CSharedFileRecord &current, bool force, int *sentCount,
                              bool workingGone)
{
    if (!m_local || !m_loginManager)
        return false;
    if (sentCount)
        *sentCount = 0;
    const qint32 folderId = current.workspaceId;
    const QString name = current.FileName();
    CBizProgressAttach attach(*m_local, progress());
    const SFileStates working = requireCopiesFree(*m_local, folderId, name, true).working;
    CLocalFileRecord *record = m_local->EnsureRecord(folderId, name);
    if (!record && working.exists) {
        // Only the working copy is left: it is the edit.
        m_local->AddLocal(folderId, name, m_local->EditCopyPath(folderId, name), working.size,
                          working.path, nullptr);
        record = m_local->FindLocal(folderId, name);
    }
    if (!record)
        throw CBizOsException(OsError::FileNotFound, m_local->EditCopyPath(folderId, name));
    SFileStates stored;
    m_local->QueryFile(record->storedPath, SFileStates::InUse, stored);
    requireNotInUse(stored);

    if (record->lockedByMe) {
        if (!working.exists && !workingGone)
            throw CBizOsException(OsError::FileNotFound, working.path);
        // The edit copy takes the working copy's content; until the upload succeeds both stay.
        if (working.exists)
            m_local->CommitWorkingCopy(folderId, name, false, nullptr);
        const QString editCopy = record->storedPath;
        const bool changed = !DigestEquals(m_local->Digest(editCopy), current.digest);
        if (changed || force) {
            CSharedFileRecord updated;
            CFileUpdateRequest upload(m_loginManager->accessKey(), folderId, current.path, editCopy,
                                      &updated, 0, progress());
            if (!upload.ExecutePost()) {
                // An error answer without a body (a proxy's 502) fails silently; whether an
                // edit reached the service is not left unsaid.
                const int status = upload.lastStatus();
                if (status > 0 && (status < 200 || status > 299))
                    throw CRequestException(QString::fromUtf16(FaultCode::NotXml),
                                            QString::number(status));
                return false;
            }
            record->size = updated.size;
            if (sentCount)
                *sentCount = 1;
            m_local->KeepHistory(folderId, name, editCopy);
        }
    }
    // The sent content becomes the cache before the working copy goes: should that fail
    // (it raises), the working copy is still there and the next send finds it unchanged.
    m_local->Relocate(folderId, name, m_local->CachePath(folderId, name), false);
    m_local->DiscardWorkingCopy(folderId, name, CLocalFileManager::EDiscard::AfterSend);
    if (m_loginManager->deleteCache())
        DropLocal(folderId, name); // the user keeps no cache
    // A comment edited while the file was out goes with it.
    if (SendPendingComment(folderId, current.path) && sentCount)
        *sentCount += 1;
    CFileUnlockRequest unlock(m_loginManager->accessKey(), folderId, current.path, nullptr,
                              progress());
    return unlock.ExecutePost() != 0;
}

bool CSharedFileManager::ForceRelease(qint32 folderId, const QString &path)
{
    return Release(folderId, path, CLocalFileManager::EDiscard::ForceRelease, nullptr);
}

bool CSharedFileManager::HandBack(qint32 folderId, const QString &path, QString *unsentCopy)
{
    return Release(folderId, path, CLocalFileManager::EDiscard::HandBack, unsentCopy);
}

bool CSharedFileManager::Release(qint32 folderId, const QString &path,
                                 CLocalFileManager::EDiscard mode, QString *unsentCopy)
{
    if (unsentCopy)
        unsentCopy->clear();
    if (!m_local || !m_loginManager)
        return false;
    const QString name = path.startsWith(u'/') ? path.mid(1) : path;
    CBizProgressAttach attach(*m_local, progress());
    requireCopiesFree(*m_local, folderId, name, mode != CLocalFileManager::EDiscard::ForceRelease);
    if (CLocalFileRecord *record = m_local->EnsureRecord(folderId, name)) {
        SFileStates stored;
        m_local->QueryFile(record->storedPath, SFileStates::InUse, stored);
        requireNotInUse(stored);
        const bool edited = record->lockedByMe;
        if (edited)
            m_local->DiscardWorkingCopy(folderId, name, mode, unsentCopy);
        if (!ReturnToCache(folderId, name, edited))
            return false;
    }
    CFileUnlockRequest unlock(m_loginManager->accessKey(), folderId, path, nullptr, progress());
    return unlock.ExecutePost() != 0;
}

bool CSharedFileManager::SetAside(const CSharedFileRecord &current, bool unlock, QString *keptCopy)
{
    if (keptCopy)
        keptCopy->clear();
    if (!m_local || !m_loginManager)
        return false;
    const qint32 folderId = current.workspaceId;
    const QString name = current.FileName();
    CBizProgressAttach attach(*m_local, progress());
    const SCopies copies = requireCopiesFree(*m_local, folderId, name, true);
    if (copies.edit.exists || copies.working.exists) {
        // The newest content of the edit: the working copy, else what the edit copy holds.
        const QString source = copies.working.exists ? copies.working.path : copies.edit.path;
        const QString kept = m_local->KeepUnsent(folderId, name, source);
        if (keptCopy)
            *keptCopy = kept;
        if (m_local->EnsureRecord(folderId, name))
            m_local->DiscardWorkingCopy(folderId, name, CLocalFileManager::EDiscard::AfterSend);
        // What is left of the edit copy is the content at open, which the service has moved
        // on from: nothing of it stays cached.
        if (const CLocalFileRecord *record = m_local->FindLocal(folderId, name);
            record && record->lockedByMe)
            m_local->DeleteLocal(folderId, name);
        if (copies.edit.exists)
            DeleteFileIfExists(copies.edit.path);
    }
    if (!unlock)
        return true;
    CFileUnlockRequest release(m_loginManager->accessKey(), folderId, current.path, nullptr,
                               progress());
    return release.ExecutePost() != 0;
}

bool CSharedFileManager::ReturnToCache(qint32 folderId, const QString &name, bool relocate)
{
    if (relocate)
        m_local->Relocate(folderId, name, m_local->CachePath(folderId, name), false);
    if (m_loginManager->deleteCache())
        DropLocal(folderId, name); // the user keeps no cache
    return true;
}

void CSharedFileManager::DropLocal(qint32 folderId, const QString &name)
{
    // Only a cache copy is dropped: an edit copy is what a later send uploads.
    const CLocalFileRecord *record = m_local->FindLocal(folderId, name);
    if (record && record->lockedByMe) {
        qCInfo(lcFileRecords) << "an edit copy is not dropped with the cache";
        return;
    }
    try {
        m_local->DeleteLocal(folderId, name);
    } catch (const CBizException &e) {
        qCInfo(lcFileRecords) << "local copy not dropped:" << e.Kind();
    }
}

bool CSharedFileManager::Unlock(qint32 folderId, const QString &path)
{
    if (!m_loginManager)
        return false;
    try {
        CFileUnlockRequest unlock(m_loginManager->accessKey(), folderId, path, nullptr, progress());
        return unlock.ExecutePost() != 0;
    } catch (const CBizException &e) {
        // The hand-back of a failed open: its own failure is shown by the caller's.
        qCWarning(lcFileRecords) << "the lock could not be released, kind" << e.Kind();
        return false;
    }
}
