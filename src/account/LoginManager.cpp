#include "LoginManager.h"

#include "AccountLog.h"
#include "AccountRequests.h"

#include "core/FileSystem.h"
#include "core/Messages.h"
#include "core/Paths.h"
#include "store/Archive.h"
#include "store/NameCheck.h"

#include <QTime>

Q_LOGGING_CATEGORY(lcAccount, "velquor.account")

namespace {
constexpr int MsgDamagedSystemFile = 17956;
} // namespace

CLoginManager::CLoginManager()
    : m_user(std::make_unique<CUserRecord>())
{}

CLoginManager::~CLoginManager()
{
    // The office list refers to records of the saved list: drop it first.
    m_offices.RemoveAll();
}

QString CLoginManager::LoginsFileName()
{
    return QStringLiteral("logins.vqr");
}

QString CLoginManager::LoginsFilePath()
{
    return DataPath({}, LoginsFileName());
}

bool CLoginManager::LoadSavedLogins()
{
    m_offices.RemoveAll();
    SelectCurrent(nullptr, false);
    m_saved.RemoveAll();

    const QString path = LoginsFilePath();
    if (QFileInfo::exists(path)) {
        try {
            CBizArchiveReader ar(LoadArchiveFile(path), path);
            m_saved.Deserialize(ar);
        } catch (const CBizException &e) {
            // Keep what was read before the damage; the file is of no further use.
            qCWarning(lcAccount) << "saved logins damaged, kept" << m_saved.GetCount()
                                 << "records:" << e.ErrorMessage();
            ShowErrorMessage(MsgDamagedSystemFile, LoginsFileName());
            QFile::remove(path);
        }
    }
    if (!m_saved.IsEmpty())
        SelectCurrent(m_saved.GetHead(), false);
    if (!EnsureDataFolder())
        return false;
    RebuildOfficeList();
    qCInfo(lcAccount) << "saved logins loaded:" << m_saved.GetCount();
    return true;
}

bool CLoginManager::SaveSavedLogins()
{
    const QString path = LoginsFilePath();
    if (!CreateFolders(path, true, FolderAccess::Private))
        return false;
    CBizArchiveWriter ar;
    m_saved.Serialize(ar);
    SaveArchiveFile(path, ar.data());
    return true;
}

bool CLoginManager::IsLoginRejected(const QString &faultCode)
{
    return faultCode == u"20103" || faultCode == u"20203";
}

bool CLoginManager::RegisterAndLogin(const QString &officeId, const QString &loginId,
                                     const QString &password, QString &clientKey,
                                     QString &accessKey)
{
    if (!Register(officeId, loginId, clientKey))
        return false;
    return Login(clientKey, password, accessKey, m_user.get());
}

bool CLoginManager::SignIn(const QString &officeId, const QString &loginId, const QString &password,
                           bool savePassword)
{
    if (officeId.isEmpty() || loginId.isEmpty() || password.isEmpty())
        return false;
    // The IDs name the login's folders below the data folder: never let one climb out.
    if (!IsValidPathComponent(officeId) || !IsValidPathComponent(loginId)) {
        qCWarning(lcAccount) << "sign-in refused: the office or login ID cannot name a folder";
        return false;
    }

    SelectCurrent(nullptr, false);
    m_signedIn = false;
    m_user->Clear();
    m_lastUpdateCounter = 0;

    const QString key = CLoginRecord::MakeKey(officeId, loginId);
    CLoginRecord *record = m_saved.Lookup(key);
    QString clientKey;
    QString accessKey;
    bool ok = false;
    if (record) {
        clientKey = record->clientKey;
        bool expired = false;
        try {
            ok = Login(clientKey, password, accessKey, m_user.get());
        } catch (const CRequestException &e) {
            if (!IsAccessKeyExpired(e))
                throw;
            expired = true;
        }
        if (expired) {
            qCInfo(lcAccount) << "saved client key expired, registering again";
            m_user->Clear();
            accessKey.clear();
            ok = RegisterAndLogin(officeId, loginId, password, clientKey, accessKey);
        }
    } else {
        ok = RegisterAndLogin(officeId, loginId, password, clientKey, accessKey);
    }
    if (!ok)
        return false;

    if (!record) {
        record = m_saved.Add(key, std::make_unique<CLoginRecord>(officeId, loginId, clientKey));
    }
    record->clientKey = clientKey;
    record->password = password;
    record->savePassword = savePassword ? 1 : 0;
    record->accessKey = accessKey;
    record->officeFlag = m_user->type != 20 ? 1 : 0;
    record->customerLoginDispName = m_user->customerLoginDispName;
    SelectCurrent(record, true);

    // The office's name is the same for every login of that office.
    for (CLoginRecord *r : m_saved) {
        if (r->customerCode.compare(officeId, Qt::CaseInsensitive) == 0)
            r->customerLoginDispName = m_user->customerLoginDispName;
    }
    RebuildOfficeList();
    m_signedIn = true;
    qCInfo(lcAccount) << "signed in online, user type" << m_user->type;
    return true;
}

bool CLoginManager::SignInOffline(const QString &officeId, const QString &loginId,
                                  const QString &password, bool savePassword)
{
    CLoginRecord *record = m_saved.Lookup(CLoginRecord::MakeKey(officeId, loginId));
    // A login whose password was cleared by signing out cannot sign in with an empty one.
    if (!record || record->password.isEmpty() || record->password != password)
        return false;
    m_signedIn = false;
    m_user->Clear();
    record->accessKey.clear();
    record->savePassword = savePassword ? 1 : 0;
    SelectCurrent(record, true);
    m_signedIn = true;
    qCInfo(lcAccount) << "signed in offline";
    return true;
}

bool CLoginManager::SignOut()
{
    const bool wasSignedIn = m_signedIn;
    m_signedIn = false;
    if (!wasSignedIn || !m_current || m_current->accessKey.isEmpty()) {
        m_accessKey.clear();
        return true;
    }
    const QString key = m_current->accessKey;
    // The key is of no use after this point, whatever the service answers.
    m_accessKey.clear();
    const bool ok = Logout(key);
    if (ok) {
        m_current->password.clear();
        m_current->accessKey.clear();
        m_password.clear();
    }
    qCInfo(lcAccount) << "signed out" << (ok ? "" : "(logout not confirmed)");
    return ok;
}

bool CLoginManager::RemoveOffice(const QString &displayName)
{
    const auto sameName = [&](const CLoginRecord *r) {
        return r->customerLoginDispName.compare(displayName, Qt::CaseInsensitive) == 0;
    };
    const bool currentGoes = m_current && sameName(m_current);
    CLoginRecord *next = nullptr;
    bool removedOne = false;
    m_offices.RemoveAll(); // refers to records about to go
    const QList<CLoginRecord *> records = m_saved.items();
    for (CLoginRecord *r : records) {
        if (sameName(r)) {
            removedOne = true;
            if (r == m_current)
                m_current = nullptr;
            m_saved.Remove(r);
        } else if (currentGoes && removedOne && !next && !r->customerLoginDispName.isEmpty()) {
            next = r;
        }
    }
    if (currentGoes) {
        // Other saved logins stay even when none of them has a name to fall back on.
        SelectCurrent(next, false);
    }
    RebuildOfficeList();
    return SaveSavedLogins();
}

void CLoginManager::SelectCurrent(CLoginRecord *record, bool moveToFront)
{
    if (record) {
        m_officeId = record->customerCode;
        m_loginId = record->loginId;
        m_clientKey = record->clientKey;
        m_accessKey = record->accessKey;
        m_password = record->password;
        m_savePassword = record->savePassword;
        m_officeFlag = record->officeFlag;
        if (moveToFront)
            m_saved.MoveToFront(record);
    } else {
        m_officeId.clear();
        m_loginId.clear();
        m_clientKey.clear();
        m_accessKey.clear();
        m_password.clear();
        m_savePassword = 0;
        m_officeFlag = 0;
    }
    m_current = record;
}

void CLoginManager::RebuildOfficeList()
{
    m_offices.RemoveAll();
    for (CLoginRecord *r : m_saved) {
        if (r->customerLoginDispName.isEmpty())
            continue;
        const QString key = r->Key();
        if (!m_offices.ContainsKey(key))
            m_offices.Add(key, r);
    }
}

qint32 CLoginManager::generationNum() const
{
    return m_user->generationNum;
}

bool CLoginManager::deleteCache() const
{
    return m_signedIn && m_user->deleteCache;
}

bool CLoginManager::IsUserType1() const
{
    return m_user->type == 1;
}

bool CLoginManager::IsUserType20() const
{
    return m_user->type == 20;
}

QString CLoginManager::UserDataPath(const QString &sub, const QString &file) const
{
    if (!m_current)
        throw CBizOsException(OsError::PathNotFound);
    // Saved logins come from a file that may have been edited: check again here.
    if (!IsValidPathComponent(m_officeId) || !IsValidPathComponent(m_loginId))
        throw CBizOsException(OsError::InvalidName);
    QString inner = m_officeId + u'/' + m_loginId;
    if (!sub.isEmpty())
        inner += u'/' + sub;
    return DataPath(inner, file);
}

int CLoginManager::UserDataPathLength() const
{
    return int(UserDataPath().size());
}

bool CLoginManager::FetchUpdateCounter(quint32 &counter)
{
    return QueryUpdateCounter(m_accessKey, counter);
}

bool CLoginManager::CheckUpdateCounter(bool &changed)
{
    changed = false;
    quint32 counter = 0;
    if (!FetchUpdateCounter(counter))
        return false;
    if (counter != m_lastUpdateCounter) {
        m_lastUpdateCounter = counter;
        changed = true;
    }
    return true;
}

bool CLoginManager::CheckUpdateCounterAfterOwnChanges(bool &changed, quint32 ownChanges)
{
    changed = false;
    quint32 counter = 0;
    if (!FetchUpdateCounter(counter))
        return false;
    if (ownChanges != 0)
        m_lastUpdateCounter = AdvanceUpdateCounter(m_lastUpdateCounter, ownChanges);
    changed = m_lastUpdateCounter != counter;
    return true;
}

QString CLoginManager::BulkDownloadForbiddenText1() const
{
    const CUserRecord *u = currentUser();
    return u ? ForbiddenPeriodText(u->bulkDownloadDisableH1From, u->bulkDownloadDisableH1To)
             : QString();
}

QString CLoginManager::BulkDownloadForbiddenText2() const
{
    const CUserRecord *u = currentUser();
    return u ? ForbiddenPeriodText(u->bulkDownloadDisableH2From, u->bulkDownloadDisableH2To)
             : QString();
}

bool CLoginManager::IsBulkDownloadAllowedNow() const
{
    const CUserRecord *u = currentUser();
    return u && IsBulkDownloadAllowedAt(*u, QTime::currentTime().hour());
}

bool CLoginManager::Register(const QString &officeId, const QString &loginId, QString &clientKey)
{
    CRegisterRequest request(officeId, loginId, progress());
    if (!request.ExecutePost())
        return false;
    clientKey = request.clientKey();
    return true;
}

bool CLoginManager::Login(const QString &clientKey, const QString &password, QString &accessKey,
                          CUserRecord *user)
{
    CLoginRequest request(clientKey, password, user, progress());
    const int result = request.ExecutePost();
    // Kept even when the profile part failed.
    accessKey = request.accessKey();
    return result != 0;
}

bool CLoginManager::Logout(const QString &accessKey)
{
    CLogoutRequest request(accessKey, progress());
    return request.ExecutePost() != 0;
}

bool CLoginManager::QueryUpdateCounter(const QString &accessKey, quint32 &counter)
{
    CUpdateCounterRequest request(accessKey, progress());
    if (!request.ExecuteGet())
        return false;
    counter = request.count();
    return true;
}
