#include "FileTypeManager.h"

#include "AppAssociation.h"
#include "FilesLog.h"
#include "ServiceRequests.h"

#include "account/LoginManager.h"

#include "core/BizException.h"
#include "core/Messages.h"
#include "store/Archive.h"

#include <QFile>
#include <QFileInfo>

Q_LOGGING_CATEGORY(lcFileRecords, "velquor.files")

CFileTypeManager::CFileTypeManager(CLoginManager *loginManager)
    : CHasLoginManager(loginManager)
    , m_raw(std::make_unique<CFileTypeList>(true))
    , m_usable(std::make_unique<CFileTypeList>(true))
{}

CFileTypeManager::~CFileTypeManager() = default;

CFileTypeRecord *CFileTypeManager::FindByExtension(const QString &extension) const
{
    return m_raw->FindByExtension(extension);
}

CFileTypeRecord *CFileTypeManager::FindById(qint32 id) const
{
    return m_raw->FindById(id);
}

void CFileTypeManager::SetRawList(std::unique_ptr<CFileTypeList> raw)
{
    m_raw = std::move(raw);
    RebuildUsableList();
}

void CFileTypeManager::RebuildUsableList()
{
    auto usable = std::make_unique<CFileTypeList>(true);
    for (const CFileTypeRecord *record : *m_raw) {
        const SAppAssociation association = LookupAppAssociation(record->ext);
        const bool known = (!association.mimeType.isEmpty()
                            && association.mimeType != u"application/octet-stream")
                           || association.hasApplication();
        if (!known)
            continue;
        auto copy = std::make_unique<CFileTypeRecord>(*record);
        copy->appPath = association.appPath;
        copy->appName = association.appName;
        copy->desktopId = association.desktopId;
        copy->desktopFile = association.desktopFile;
        // The raw record learns its application too: the lookups go to the raw list.
        CFileTypeRecord *raw = m_raw->FindById(record->id);
        if (raw) {
            raw->appPath = copy->appPath;
            raw->appName = copy->appName;
            raw->desktopId = copy->desktopId;
            raw->desktopFile = copy->desktopFile;
        }
        usable->Replace(std::move(copy));
    }
    m_usable = std::move(usable);
}

QString CFileTypeManager::CachePath() const
{
    if (!m_cachePath.isEmpty())
        return m_cachePath;
    if (!m_loginManager || !m_loginManager->currentLogin())
        return {};
    return m_loginManager->UserDataFile(QStringLiteral("fileTypes.vqr"));
}

void CFileTypeManager::SaveCache() const
{
    const QString path = CachePath();
    if (path.isEmpty())
        throw CBizFileException(CBizFileException::BadPath, path);
    CBizArchiveWriter writer;
    m_raw->Serialize(writer);
    SaveArchiveFile(path, writer.data());
    qCDebug(lcFileRecords) << "saved" << m_raw->GetCount() << "file types";
}

bool CFileTypeManager::LoadCache()
{
    auto raw = std::make_unique<CFileTypeList>(true);
    const QString path = CachePath();
    if (path.isEmpty() || !QFileInfo::exists(path)) {
        SetRawList(std::move(raw));
        return false;
    }
    try {
        CBizArchiveReader reader(LoadArchiveFile(path), path);
        raw->Deserialize(reader);
        if (!reader.atEnd())
            reader.ThrowBadFormat();
    } catch (const CBizException &e) {
        qCWarning(lcFileRecords) << "file type cache unusable:" << e.ErrorMessage();
        ShowErrorMessage(17956, QStringLiteral("fileTypes.vqr"));
        QFile::remove(path);
        SetRawList(std::make_unique<CFileTypeList>(true));
        return false;
    }
    SetRawList(std::move(raw));
    return true;
}

bool CSharedFileTypeManager::Load()
{
    m_loaded = false;
    auto raw = std::make_unique<CFileTypeList>(true);
    // An empty list stands until the request succeeds: a failed load must not leave the
    // previous session's types looking current.
    SetRawList(std::make_unique<CFileTypeList>(true));
    if (!m_loginManager)
        return false;
    CFileTypeListRequest request(m_loginManager->accessKey(), raw.get(), progress());
    if (!request.ExecuteGet())
        return false;
    SetRawList(std::move(raw));
    m_loaded = true;
    qCDebug(lcFileRecords) << "loaded" << rawList().GetCount() << "file types";
    return true;
}

qint32 CSharedFileTypeManager::Count()
{
    if (!m_loginManager)
        return -1;
    CFileTypeCountRequest request(m_loginManager->accessKey(), progress());
    return request.ExecuteGet() ? request.count() : -1;
}

bool CSharedFileTypeManager::SaveIfLoaded() const
{
    if (!m_loaded) {
        qCInfo(lcFileRecords) << "file types not loaded in this session: the cache stays";
        return false;
    }
    SaveCache();
    return true;
}
