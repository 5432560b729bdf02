#include "FileCommentManager.h"

#include "FileRecord.h"
#include "FilesLog.h"
#include "ServiceRequests.h"

#include "account/LoginManager.h"
#include "core/BizException.h"
#include "core/BizFormat.h"
#include "core/Messages.h"
#include "store/Archive.h"

#include <QFile>
#include <QFileInfo>

namespace {

const QString kStateFile = QStringLiteral("comments.vqr");

// The least a record takes in the archive: two empty texts, the id, two more empty texts
// and the date-time.
constexpr qsizetype kMinRecordBytes = 4 + 4 + 4 + 4 + 4 + 12;

} // namespace

// --- CFileCommentManager ----------------------------------------------------------------

CFileCommentManager::CFileCommentManager(CLoginManager *loginManager)
    : CHasLoginManager(loginManager)
{}

CFileCommentManager::~CFileCommentManager() = default;

QString CFileCommentManager::InfoLabel(const CSharedFileRecord &record, qint32 userId)
{
    CDateTimeValue time = record.commentUpdateTime;
    qint32 updaterId = record.commentUpdateId;
    QString updater = record.commentUpdateDispName;
    if (const CFileCommentRecord *pending = record.pendingComment) {
        time = pending->updateTime;
        updaterId = pending->updateId;
        updater = pending->updateDispName;
    }
    QString label = BizFormat(QStringLiteral("コメント(%s)"), {FormatDateTime(time, true, true)});
    if (updaterId != userId && !updater.isEmpty())
        label += u' ' + updater;
    return label;
}

QString CFileCommentManager::LineCountLabel(const QString &text)
{
    // Line ends as an editor counts them: CR LF, LF or CR alone.
    qsizetype lines = 0;
    if (!text.isEmpty()) {
        lines = 1;
        for (qsizetype i = 0; i < text.size(); ++i) {
            if (text.at(i) == u'\n'
                || (text.at(i) == u'\r' && (i + 1 >= text.size() || text.at(i + 1) != u'\n')))
                ++lines;
        }
    }
    return BizFormat(QStringLiteral("コメント(%d行)"), {int(lines)});
}

QString CFileCommentManager::RemainingLabel(const QString &text, int limit)
{
    const int length = int(text.size());
    return BizFormat(QStringLiteral("コメント残り%d文字(%d/%d)"), {limit - length, length, limit});
}

int CFileCommentManager::maxLength() const
{
    const CUserRecord *user = m_loginManager ? m_loginManager->currentUser() : nullptr;
    return user ? user->maxFileCommentLength : CUserRecord().maxFileCommentLength;
}

// --- CLocalFileCommentManager -----------------------------------------------------------

CLocalFileCommentManager::CLocalFileCommentManager(CLoginManager *loginManager)
    : CFileCommentManager(loginManager)
    , m_pending(std::make_unique<CFileCommentList>(true))
{}

CLocalFileCommentManager::~CLocalFileCommentManager() = default;

CFileCommentRecord *CLocalFileCommentManager::StorePending(const CFileCommentRecord &record)
{
    const QString key = record.Key();
    if (CFileCommentRecord *existing = m_pending->Lookup(key)) {
        *existing = record;
        return existing;
    }
    return m_pending->Add(key, std::make_unique<CFileCommentRecord>(record));
}

CFileCommentRecord *CLocalFileCommentManager::FindPending(qint32 folderId,
                                                          const QString &path) const
{
    return m_pending->Lookup(FileKey(folderId, path));
}

bool CLocalFileCommentManager::RemovePending(qint32 folderId, const QString &path)
{
    return m_pending->RemoveKey(FileKey(folderId, path));
}

QString CLocalFileCommentManager::StatePath() const
{
    if (!m_statePath.isEmpty())
        return m_statePath;
    if (!m_loginManager || !m_loginManager->currentLogin())
        return {};
    return m_loginManager->UserDataFile(kStateFile);
}

QByteArray CLocalFileCommentManager::Encode() const
{
    CBizArchiveWriter writer;
    writer.WriteCount(quint32(m_pending->GetCount()));
    for (const CFileCommentRecord *r : *m_pending) {
        writer.WriteText(r->Key());
        writer.WriteText(r->text);
        writer.WriteInt32(r->updateId);
        writer.WriteText(r->updateName);
        writer.WriteText(r->updateDispName);
        writer.WriteDateTime(r->updateTime);
    }
    return writer.data();
}

void CLocalFileCommentManager::Decode(const QByteArray &data, const QString &path)
{
    CBizArchiveReader reader(data, path);
    auto list = std::make_unique<CFileCommentList>(true);
    const quint32 count = reader.ReadCount(kMinRecordBytes);
    for (quint32 i = 0; i < count; ++i) {
        auto r = std::make_unique<CFileCommentRecord>();
        if (!ParseFileKey(reader.ReadText(), r->workspaceId, r->path))
            reader.ThrowBadFormat();
        r->text = reader.ReadText();
        r->updateId = reader.ReadInt32();
        r->updateName = reader.ReadText();
        r->updateDispName = reader.ReadText();
        r->updateTime = reader.ReadDateTime();
        const QString key = r->Key();
        // One pending comment per file: a later record of the same file wins.
        list->RemoveKey(key);
        list->Add(key, std::move(r));
    }
    if (!reader.atEnd())
        reader.ThrowBadFormat();
    m_pending = std::move(list);
}

bool CLocalFileCommentManager::Load()
{
    const QString path = StatePath();
    if (path.isEmpty() || !QFileInfo::exists(path)) {
        m_pending = std::make_unique<CFileCommentList>(true);
        return true;
    }
    try {
        Decode(LoadArchiveFile(path), path);
    } catch (const CBizException &e) {
        qCWarning(lcFileRecords) << "pending comments unusable:" << e.ErrorMessage();
        ShowErrorMessage(17956, kStateFile);
        QFile::remove(path);
        m_pending = std::make_unique<CFileCommentList>(true);
        return false;
    }
    qCDebug(lcFileRecords) << "loaded" << m_pending->GetCount() << "pending comments";
    return true;
}

bool CLocalFileCommentManager::Save() const
{
    const QString path = StatePath();
    if (m_pending->IsEmpty()) {
        // Nothing waits: an old file must not bring sent comments back.
        if (!path.isEmpty() && QFileInfo::exists(path) && !QFile::remove(path))
            throw CBizFileException(CBizFileException::AccessDenied, path);
        return true;
    }
    if (path.isEmpty())
        throw CBizFileException(CBizFileException::BadPath, path);
    SaveArchiveFile(path, Encode());
    qCDebug(lcFileRecords) << "saved" << m_pending->GetCount() << "pending comments";
    return true;
}

// --- CSharedFileCommentManager ----------------------------------------------------------

CSharedFileCommentManager::CSharedFileCommentManager(CLoginManager *loginManager,
                                                     CLocalFileCommentManager *local)
    : CFileCommentManager(loginManager)
    , m_local(local)
{}

CSharedFileCommentManager::~CSharedFileCommentManager() = default;

CFileCommentRecord *CSharedFileCommentManager::StorePending(qint32 folderId, const QString &path,
                                                            const QString &text)
{
    if (!m_local)
        return nullptr;
    CFileCommentRecord record;
    record.workspaceId = folderId;
    record.path = path;
    record.text = text;
    if (const CUserRecord *user = m_loginManager ? m_loginManager->currentUser() : nullptr) {
        record.updateId = user->id;
        record.updateName = user->name;
        record.updateDispName = user->dispName;
    }
    record.updateTime = CDateTimeValue::Now();
    return m_local->StorePending(record);
}

bool CSharedFileCommentManager::SendPending(qint32 folderId, const QString &path,
                                            CFileCommentRecord &answered)
{
    if (!m_local || !m_loginManager)
        return false;
    const CFileCommentRecord *pending = m_local->FindPending(folderId, path);
    if (!pending)
        return false;
    CFileCommentRecord stored;
    CFileCommentCreateRequest request(m_loginManager->accessKey(), folderId, path, pending->text,
                                      &stored, progress());
    if (!request.ExecutePost())
        return false;
    answered = stored;
    m_local->RemovePending(folderId, path);
    qCDebug(lcFileRecords) << "pending comment registered";
    return true;
}

int CSharedFileCommentManager::AttachPending(CFileList &list) const
{
    int attached = 0;
    for (CFileRecord *entry : list) {
        auto *file = dynamic_cast<CSharedFileRecord *>(entry);
        if (!file || file->IsFolderEntry())
            continue;
        file->pendingComment
            = m_local ? m_local->FindPending(file->workspaceId, file->path) : nullptr;
        if (file->pendingComment)
            ++attached;
    }
    return attached;
}
