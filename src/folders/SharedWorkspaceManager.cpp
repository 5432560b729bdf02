#include "SharedWorkspaceManager.h"

#include "FoldersLog.h"
#include "LocalWorkspaceManager.h"

#include "account/LoginManager.h"
#include "service/RequestGuard.h"

namespace {

// The faults after which a folder counts as gone for this user.
bool IsFolderGone(const CRequestException &e)
{
    return e.code() == u"30002" || e.code() == u"30003";
}

// Mirror operations never fail the shared one.
template<typename F>
void Quietly(const char *what, F &&run)
{
    try {
        run();
    } catch (const CBizException &e) {
        qCWarning(lcFolders) << "mirror:" << what << "failed:" << e.Kind();
    }
}

} // namespace

CSharedWorkspaceManager::CSharedWorkspaceManager(CLoginManager *loginManager,
                                                 CLocalWorkspaceManager *mirror)
    : CWorkspaceManager(loginManager)
    , m_mirror(mirror)
{}

CSharedWorkspaceManager::~CSharedWorkspaceManager() = default;

bool CSharedWorkspaceManager::Load()
{
    m_complete = false;
    CWorkspaceList fresh;
    bool walked = false;
    const bool ok
        = m_loginManager && RunReported(nullptr, progress(), [&] {
              SWorkspaceListOptions options;
              options.recursive = true;
              CWorkspaceListRequest request(*m_loginManager, 0, options, &fresh, progress());
              const bool done = request.ExecuteGet() != 0;
              walked = request.walkComplete();
              return done;
          });
    // The old tree goes in every case; a failed load leaves none rather than a stale one.
    m_list.RemoveAll();
    if (!ok) {
        qCWarning(lcFolders) << "folder tree not loaded";
        return false;
    }
    for (auto &record : fresh.TakeAll())
        m_list.Add(std::move(record));
    m_list.ArrangeTreeOrder();
    m_list.RefreshPathNames();
    m_complete = walked;
    qCInfo(lcFolders) << "folder tree loaded:" << m_list.size() << "folders"
                      << (walked ? "" : "(cut short)");
    if (m_mirror)
        Quietly("synchronisation", [&] { m_mirror->SynchronizeWith(*this); });
    return true;
}

bool CSharedWorkspaceManager::CreateFolder(qint32 parentId, const QString &name, qint32 folderStyle,
                                           const QString &comment, bool dataBox, qint32 *newId)
{
    if (!m_loginManager)
        return false;
    auto record = std::make_unique<CWorkspaceRecord>();
    const bool ok = RunReported(nullptr, progress(), [&] {
        CWorkspaceCreateRequest request(*m_loginManager, parentId, name, folderStyle, comment,
                                        dataBox, record.get(), progress());
        return request.ExecutePost() != 0;
    });
    if (!ok)
        return false;
    m_list.RefreshPathNames(record.get());
    record->folderStyle = FolderStyleFromService(folderStyle);
    if (newId)
        *newId = record->id;
    // Appended now, placed behind its parent's subtree before the next walk.
    CWorkspaceRecord *added = m_list.AddInTree(std::move(record));
    if (m_mirror) {
        const QList<qint32> ids = added->pathIds;
        const QStringList names = added->pathNames;
        Quietly("create", [&] { m_mirror->MirrorPath(ids, names, folderStyle); });
    }
    return true;
}

bool CSharedWorkspaceManager::CopyFolders(qint32 id, qint32 dstParentId, const QString &newName,
                                          qint32 *newId)
{
    if (!m_loginManager)
        return false;
    return RunReported(nullptr, progress(), [&] {
        CWorkspaceCopyRequest request(*m_loginManager, id, dstParentId, newName, progress());
        if (!request.ExecutePost())
            return false;
        if (newId)
            *newId = request.newId();
        return true;
    });
}

bool CSharedWorkspaceManager::MoveFolder(qint32 id, qint32 dstParentId)
{
    if (!m_loginManager)
        return false;
    CWorkspaceRecord moved;
    CWorkspaceRecord destination;
    const bool ok = RunReported(nullptr, progress(), [&] {
        CWorkspaceMoveRequest request(*m_loginManager, id, dstParentId, &moved, &destination,
                                      progress());
        return request.ExecutePost() != 0;
    });
    if (!ok)
        return false;

    // The cached files move along; a destination not mirrored yet is mirrored first, so
    // the folder does not stay behind at its old place (and lose its cache at the next
    // load).
    if (m_mirror && m_mirror->list().FindById(id)) {
        Quietly("move", [&] {
            if (dstParentId <= 0 || m_mirror->FindById(dstParentId))
                m_mirror->MoveLocalFolder(id, dstParentId);
        });
    }

    // The moved subtree takes its new chain, so that lookups and the mirror's on-demand
    // directories follow the folder's new place before the caller reloads.
    CWorkspaceRecord *record = m_list.FindById(id);
    if (!record)
        return true;
    QList<qint32> ids;
    QStringList names;
    if (dstParentId > 0) {
        const CWorkspaceRecord *parent = m_list.FindById(dstParentId);
        if (!parent) {
            m_list.RemoveSubtree(id);
            return true;
        }
        ids = parent->pathIds;
        names = parent->pathNames;
    }
    ids.append(id);
    names.append(record->name);
    const qsizetype oldDepth = record->Depth();
    const QList<qint32> oldIds = record->pathIds;
    for (CWorkspaceRecord *r : m_list) {
        if (r->pathIds.size() >= oldDepth
            && std::equal(oldIds.cbegin(), oldIds.cend(), r->pathIds.cbegin())) {
            r->pathIds = ids + r->pathIds.mid(oldDepth);
            r->pathNames = names + r->pathNames.mid(oldDepth);
        }
    }
    m_list.ArrangeTreeOrder();
    return true;
}

bool CSharedWorkspaceManager::DeleteFolder(qint32 id)
{
    if (!m_loginManager)
        return false;
    CWorkspaceRecord deleted;
    const bool ok = RunReported(nullptr, progress(), [&] {
        CWorkspaceDeleteRequest request(*m_loginManager, id, &deleted, progress());
        return request.ExecutePost() != 0;
    });
    if (!ok)
        return false;
    if (m_mirror)
        Quietly("delete", [&] { m_mirror->DeleteLocalFolder(id); });
    m_list.RemoveSubtree(id);
    return true;
}

bool CSharedWorkspaceManager::UpdateFolder(qint32 id, const QString &name, qint32 folderStyle,
                                           const QString &comment, bool applyBelow)
{
    if (!m_loginManager)
        return false;
    CWorkspaceRecord answer;
    const bool ok = RunReported(nullptr, progress(), [&] {
        CWorkspaceUpdateRequest request(*m_loginManager, id, name, folderStyle, comment, applyBelow,
                                        &answer, progress());
        return request.ExecutePost() != 0;
    });
    if (!ok)
        return false;

    if (CWorkspaceRecord *record = m_list.FindById(id)) {
        record->folderStyle = FolderStyleFromService(folderStyle);
        record->comment = answer.comment;
        record->updateName = answer.updateName;
        record->updateTime = answer.updateTime;
        m_list.PropagateName(id, name);
        if (applyBelow) {
            const qsizetype d = record->Depth();
            for (CWorkspaceRecord *r : m_list) {
                if (r != record && r->Depth() > d && r->pathIds.at(d - 1) == id)
                    r->folderStyle = record->folderStyle;
            }
        }
    }
    if (m_mirror && m_mirror->list().FindById(id))
        Quietly("rename", [&] { m_mirror->PropagateName(id, name, folderStyle); });
    return true;
}

bool CSharedWorkspaceManager::GetInfo(qint32 id, CWorkspaceRecord &record, CBizExceptHandler *held)
{
    if (!m_loginManager)
        return false;
    return RunReported(held, progress(), [&] {
        CWorkspaceInfoRequest request(*m_loginManager, id, &record, progress());
        return request.ExecuteGet() != 0;
    });
}

bool CSharedWorkspaceManager::CheckFolder(qint32 &id)
{
    if (id <= 0)
        return true;
    CExceptHandler handler;
    CWorkspaceRecord record;
    if (GetInfo(id, record, &handler))
        return true;
    if (!handler.HasException())
        return false;
    if (const CRequestException *fault = handler.RequestException();
        fault && IsFolderGone(*fault)) {
        qCInfo(lcFolders) << "folder" << id << "gone:" << fault->code();
        id = FolderId::AllFolders;
        return true;
    }
    handler.ShowError();
    return false;
}

bool CSharedWorkspaceManager::ResolveFolder(qint32 &id)
{
    // Each step goes one level up; a chain is never deeper than this.
    for (int step = 0; step < 64 && id > 0; ++step) {
        CExceptHandler handler;
        CWorkspaceRecord record;
        if (GetInfo(id, record, &handler))
            return true;
        if (!handler.HasException())
            return false;
        const CRequestException *fault = handler.RequestException();
        if (!fault || !IsFolderGone(*fault)) {
            handler.ShowError();
            return false;
        }
        const CWorkspaceRecord *known = m_mirror ? m_mirror->list().FindById(id) : nullptr;
        if (!known)
            known = m_list.FindById(id);
        const qint32 parent = known ? known->ParentId() : 0;
        qCInfo(lcFolders) << "folder" << id << "gone, trying" << parent;
        id = parent == id ? FolderId::AllFolders : parent;
    }
    if (id > 0)
        id = FolderId::AllFolders;
    return true;
}

bool CSharedWorkspaceManager::CountItems(qint32 folderId, bool recursive, const QString &pattern,
                                         qint32 &count, CBizExceptHandler *held)
{
    if (!m_loginManager)
        return false;
    return RunReported(held, progress(), [&] {
        CWorkspaceCountRequest request(*m_loginManager, folderId, recursive, pattern, progress());
        if (!request.ExecuteGet())
            return false;
        count = request.count();
        return true;
    });
}

bool CSharedWorkspaceManager::FindOffset(qint32 targetId, qint32 folderId,
                                         const SWorkspaceListOptions &options, qint32 &offset,
                                         CBizExceptHandler *held)
{
    if (!m_loginManager)
        return false;
    return RunReported(held, progress(), [&] {
        CWorkspaceOffsetRequest request(*m_loginManager, targetId, folderId, options, progress());
        if (!request.ExecuteGet())
            return false;
        offset = request.offset();
        return true;
    });
}

bool CSharedWorkspaceManager::ListInto(qint32 folderId, const SWorkspaceListOptions &options,
                                       CWorkspaceList &list, CBizExceptHandler *held)
{
    if (!m_loginManager)
        return false;
    return RunReported(held, progress(), [&] {
        CWorkspaceListRequest request(*m_loginManager, folderId, options, &list, progress());
        if (!request.ExecuteGet())
            return false;
        // A page holds a few folders of the tree: their ancestors' names come from it.
        for (CWorkspaceRecord *r : list) {
            r->NormalizePath();
            for (qsizetype i = r->pathIds.size() - 2; i >= 0; --i) {
                const CWorkspaceRecord *ancestor = list.FindById(r->pathIds.at(i));
                if (!ancestor)
                    ancestor = m_list.FindById(r->pathIds.at(i));
                if (ancestor)
                    r->pathNames[i] = ancestor->name;
            }
        }
        return true;
    });
}

bool CSharedWorkspaceManager::FindByPath(const QString &path, CWorkspaceRecord &record,
                                         CBizExceptHandler *held)
{
    if (!m_loginManager)
        return false;
    return RunReported(held, progress(), [&] {
        CWorkspaceFindRequest request(*m_loginManager, path, &record, progress());
        if (!request.ExecutePost())
            return false;
        // The answer names the folder only; the path names its ancestors.
        const QStringList parts = path.split(u'/', Qt::SkipEmptyParts);
        if (parts.size() == record.pathNames.size()) {
            for (qsizetype i = 0; i + 1 < parts.size(); ++i)
                record.pathNames[i] = parts.at(i);
        }
        m_list.RefreshPathNames(&record);
        return true;
    });
}
