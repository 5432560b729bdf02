#pragma once

#include <QList>
#include <QString>

class CBizProgressHandler;
class CLoginRecord;
class CSystemObjects;

// What the login window holds in its fields.
struct SLoginFields
{
    QString officeId;
    QString loginId;
    QString password;
    bool savePassword = false;
};

// The fields in control order; None when every field is valid.
enum class ELoginField { None = -1, OfficeId = 0, LoginId = 1, Password = 2 };

// The work of the login window that is not drawing: the checks of its fields, the online
// sign-in with everything the main window needs loaded, the offline start on the cache, and
// the office choices of the saved logins. Every step shows its own messages (the window only
// puts the focus on a failing field and keeps the progress it gave).
//
// User-interface thread only.
class CSignInFlow
{
public:
    static constexpr int MaxOfficeId = 32;
    static constexpr int MaxLoginId = 64;
    static constexpr int MaxPassword = 16;

    explicit CSignInFlow(CSystemObjects &systems);

    // The label of a field as the messages name it ("事業所ID", "ログインID", "パスワード").
    static QString FieldName(ELoginField field);
    // In control order: 17676 for an empty field, 17677 with the limit for a long one; the
    // office ID only withOfficeId. Shows the first failure and answers its field.
    ELoginField Validate(const SLoginFields &fields, bool withOfficeId) const;

    // The online sign-in (progress 18192, 18206, 18207): the sign-in and the saved logins,
    // the update step, the folder tree, the first page of the folder the online window
    // showed last (its folder stored back when it is gone), the cache brought in line and
    // compared. Answers 1 (signed in), 2 (close: the installer runs) or 0 (stay; shown).
    int SignInOnline(const SLoginFields &fields, CBizProgressHandler *progress = nullptr);
    // Offline work: the fields against the saved login with its remembered password (18193
    // otherwise), then the cache opened (progress 18207). Answers 21265 or 0 (stay; shown).
    int StartOfflineWork(const SLoginFields &fields, CBizProgressHandler *progress = nullptr);

    // The office choices of mode 2: the saved logins with an office name, each name once
    // (the first login of a name stands for it), in the saved order.
    QList<CLoginRecord *> OfficeChoices() const;
    // The choice whose office ID equals officeId, letter case ignored; -1 for none (also for
    // an empty office ID).
    static int ChoiceOf(const QList<CLoginRecord *> &choices, const QString &officeId);
    // The fields a choice fills in: its office ID, login ID, save flag and remembered password.
    static SLoginFields FieldsOf(const CLoginRecord &login);
    // Deletes the office of a choice from the saved logins after 18194 (Yes). Answers false
    // when declined or not done.
    bool DeleteOffice(const CLoginRecord &choice);

    // The folder the sign-in opened (0: the root).
    qint32 openedFolderId() const { return m_folderId; }

private:
    bool LoadFirstData(CBizProgressHandler *progress);

    CSystemObjects &m_systems;
    qint32 m_folderId = 0;
};
