#pragma once

#include "LoginRecord.h"
#include "UserRecord.h"

#include "core/Manager.h"
#include "service/Request.h"

#include <QString>

#include <memory>

// The sign-in state of the client and the saved logins of logins.vqr (data folder).
//
// Online sign-in: register once per office ID and login ID (the client key is saved), then
// log in with the client key and the password for an access key and the user's profile. A
// saved client key that the service calls expired (fault "10003") is replaced by
// registering again. Offline sign-in needs a saved login and its remembered password.
//
// Faults of the service (CRequestException) propagate to the caller; the sign-in window
// shows 18193 for the codes 20103 and 20203 (IsLoginRejected) and FaultText otherwise.
// Error texts and log lines never carry a password, client key or access key.
//
// All operations run on the user-interface thread.
class CLoginManager : public CManager, public IAccessKeySource
{
public:
    CLoginManager();
    ~CLoginManager() override;

    // Reads logins.vqr. A damaged file is reported with 17956, deleted, and what was read
    // before the damage is kept. The first saved login becomes current. False only when
    // the data folder cannot be made.
    bool LoadSavedLogins();
    // Writes logins.vqr atomically (the previous file stays when writing fails). False when
    // the folder cannot be made; file errors raise CBizFileException.
    bool SaveSavedLogins();

    // Online sign-in. False for an empty office ID, login ID or password, for an ID that
    // cannot name a folder, and for a request that answered nothing. Faults raise
    // CRequestException, transport failures CBizWinHttpException. The caller saves the
    // saved logins after success.
    bool SignIn(const QString &officeId, const QString &loginId, const QString &password,
                bool savePassword);
    // Offline sign-in against a saved login: the password must equal the remembered one
    // exactly. A login without a remembered password never signs in. The caller saves after
    // success.
    bool SignInOffline(const QString &officeId, const QString &loginId, const QString &password,
                       bool savePassword);
    // Ends the sign-in. When online, logs the access key out; on success the saved login's
    // password and access key are cleared (the file is written by the next save). The
    // signed-in state ends even when logout fails (the failure still propagates).
    bool SignOut();
    // Removes every saved login whose office name is displayName (ignoring case) and saves.
    // When the current login goes, the next saved login with another, non-empty name
    // becomes current (or none).
    bool RemoveOffice(const QString &displayName);
    // Makes record (one of the saved list, or none) the current login; copies its fields.
    void SelectCurrent(CLoginRecord *record, bool moveToFront);

    // The fault codes after which the sign-in window says 18193 instead of the fault text.
    static bool IsLoginRejected(const QString &faultCode);

    // --- the sign-in state ---
    bool IsSignedIn() const { return m_signedIn; }
    // Signed in with an access key (not offline).
    bool IsOnline() const { return m_signedIn && !m_accessKey.isEmpty(); }
    QString officeId() const { return m_officeId; }
    QString loginId() const { return m_loginId; }
    QString clientKey() const { return m_clientKey; }
    // The key of the online sign-in; empty offline or signed out. Requests read it here.
    QString accessKey() const override { return m_accessKey; }
    QString password() const { return m_password; }
    bool savePassword() const { return m_savePassword != 0; }
    qint32 officeFlag() const { return m_officeFlag; }
    // The signed-in user's profile; null while not signed in. Offline it holds the defaults.
    const CUserRecord *currentUser() const { return m_signedIn ? m_user.get() : nullptr; }
    // The record itself (exists for the manager's life).
    const CUserRecord &userRecord() const { return *m_user; }
    CLoginRecord *currentLogin() const { return m_current; }

    // Limits and kinds of the user; defaults while not signed in.
    qint32 generationNum() const;
    bool deleteCache() const;
    bool IsUserType1() const;
    bool IsUserType20() const;

    // --- saved logins ---
    const CLoginList &savedLogins() const { return m_saved; }
    // The saved logins that have an office name, in list order (the sign-in window's
    // office list).
    const CLoginList &officeList() const { return m_offices; }

    // --- the per-login store: <data folder>/<office ID>/<login ID> ---
    // Requires a current saved login (otherwise raises CBizOsException 3, path not found);
    // a path longer than the limit raises CBizOsException 206.
    QString UserDataPath(const QString &sub = {}, const QString &file = {}) const;
    QString UserDataFile(const QString &name) const { return UserDataPath({}, name); }
    int UserDataPathLength() const;

    // --- operations with the access key ---
    // The service's change counter; false on a request that answered nothing.
    bool FetchUpdateCounter(quint32 &counter);
    // Fetches the counter; when it differs from the last known one it is kept and changed
    // is set.
    bool CheckUpdateCounter(bool &changed);
    // After own changes: the last known counter is advanced by ownChanges (and kept);
    // changed when the advanced value differs from the fetched one (somebody else changed
    // something too). The fetched value is not kept.
    bool CheckUpdateCounterAfterOwnChanges(bool &changed, quint32 ownChanges);
    quint32 lastUpdateCounter() const { return m_lastUpdateCounter; }

    // "%02d:00 ー %02d:00" of a forbidden bulk-download period, empty when there is none or
    // nobody is signed in.
    QString BulkDownloadForbiddenText1() const;
    QString BulkDownloadForbiddenText2() const;
    // False while not signed in; otherwise whether the current local hour is outside both
    // forbidden periods.
    bool IsBulkDownloadAllowedNow() const;

    // The saved-logins file name and path.
    static QString LoginsFileName();
    static QString LoginsFilePath();

protected:
    // The service operations of the sign-in; tests replace them. Each answers false for a
    // request that answered nothing; faults raise CRequestException.
    virtual bool Register(const QString &officeId, const QString &loginId, QString &clientKey);
    virtual bool Login(const QString &clientKey, const QString &password, QString &accessKey,
                       CUserRecord *user);
    virtual bool Logout(const QString &accessKey);
    virtual bool QueryUpdateCounter(const QString &accessKey, quint32 &counter);

private:
    void RebuildOfficeList();
    bool RegisterAndLogin(const QString &officeId, const QString &loginId, const QString &password,
                          QString &clientKey, QString &accessKey);

    CLoginList m_saved{true};
    CLoginList m_offices{false};
    CLoginRecord *m_current = nullptr;
    std::unique_ptr<CUserRecord> m_user;

    QString m_officeId;
    QString m_loginId;
    QString m_clientKey;
    QString m_accessKey;
    QString m_password;
    qint32 m_savePassword = 0;
    qint32 m_officeFlag = 0;
    bool m_signedIn = false;
    quint32 m_lastUpdateCounter = 0;
};
