#pragma once

#include "store/Record.h"
#include "store/TypedLists.h"

#include <QString>

class CBizArchiveReader;
class CBizArchiveWriter;

// One saved login of logins.vqr.
class CLoginRecord : public CRecord
{
public:
    CLoginRecord() = default;
    CLoginRecord(const QString &customerCode, const QString &loginId, const QString &clientKey)
        : customerCode(customerCode)
        , loginId(loginId)
        , clientKey(clientKey)
    {}

    bool IsEmpty() const override { return customerCode.isEmpty() && loginId.isEmpty(); }
    void Clear() override { *this = CLoginRecord(); }

    // The current form (version 102). Client key and password are stored scrambled; the
    // access key is never stored.
    void Serialize(CBizArchiveWriter &ar) const override;
    void Deserialize(CBizArchiveReader &ar) override { Deserialize(ar, CurrentVersion); }
    // Older forms: 101 lacks customerLoginDispName; OldestVersion is the form before the
    // version word (office ID, login ID, client key, officeFlag).
    void Deserialize(CBizArchiveReader &ar, int version);

    // The index key of a login: "<office ID>.<login ID>", compared exactly.
    QString Key() const { return MakeKey(customerCode, loginId); }
    static QString MakeKey(const QString &officeId, const QString &loginId);

    static constexpr int CurrentVersion = 102;
    static constexpr int PreviousVersion = 101;
    static constexpr int OldestVersion = 0;

    QString customerCode; // office ID as typed
    QString loginId;
    QString clientKey;
    QString password;  // of the last successful sign-in; cleared by sign-out
    QString accessKey; // of the current sign-in only
    qint32 savePassword = 0;
    qint32 officeFlag = 0; // 1 when the last signed-in user was not of type 20
    QString customerLoginDispName;
};

// The saved logins, most recently used first, indexed by CLoginRecord::Key. The owning list
// (the manager's saved list) deletes its records; the office list refers to them.
class CLoginList : public CBizTypedPtrMapList<QString, CLoginRecord>
{
public:
    explicit CLoginList(bool ownsElements = true)
        : CBizTypedPtrMapList(ownsElements)
    {}

    // Moves a record of this list to the head.
    void MoveToFront(CLoginRecord *record);

    // The logins.vqr layout: version word 102, count, then each record.
    void Serialize(CBizArchiveWriter &ar) const;
    // Appends the records of an archive of any known version. A record that is complete is
    // added at once, so on a damaged archive the records before the damage are kept (a
    // repeated key keeps its first, most recently used record). Raises CBizArchiveException
    // (end of file, bad format for an unknown version).
    void Deserialize(CBizArchiveReader &ar);
};
