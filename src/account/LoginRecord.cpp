#include "LoginRecord.h"

#include "store/Archive.h"
#include "store/Scramble.h"

void CLoginRecord::Serialize(CBizArchiveWriter &ar) const
{
    ar.WriteText(customerCode);
    ar.WriteText(loginId);
    ar.WriteText(ScrambleText(clientKey, 0));
    ar.WriteText(ScrambleText(password, 0));
    ar.WriteInt32(savePassword);
    ar.WriteInt32(officeFlag);
    ar.WriteText(customerLoginDispName);
}

void CLoginRecord::Deserialize(CBizArchiveReader &ar, int version)
{
    // Read into a fresh record so that a failure leaves this one as it was.
    CLoginRecord r;
    r.customerCode = ar.ReadText();
    r.loginId = ar.ReadText();
    r.clientKey = ScrambleText(ar.ReadText(), 0);
    if (version == OldestVersion) {
        r.officeFlag = ar.ReadInt32();
    } else {
        r.password = ScrambleText(ar.ReadText(), 0);
        r.savePassword = ar.ReadInt32();
        r.officeFlag = ar.ReadInt32();
        if (version >= CurrentVersion)
            r.customerLoginDispName = ar.ReadText();
    }
    *this = std::move(r);
}

QString CLoginRecord::MakeKey(const QString &officeId, const QString &loginId)
{
    return officeId + u'.' + loginId;
}

void CLoginList::MoveToFront(CLoginRecord *record)
{
    if (IndexOf(record) <= 0)
        return;
    const QString key = record->Key();
    // Take drops the record from list and index without deleting it; an owning list hands
    // it back, and it goes straight back in at the head.
    std::unique_ptr<CLoginRecord> owned = Take(record);
    AddHead(record);
    (void)owned.release();
    SetKey(record, key);
}

void CLoginList::Serialize(CBizArchiveWriter &ar) const
{
    ar.WriteWord(CLoginRecord::CurrentVersion);
    ar.WriteCount(quint32(GetCount()));
    for (const CLoginRecord *r : *this)
        r->Serialize(ar);
}

void CLoginList::Deserialize(CBizArchiveReader &ar)
{
    const quint16 first = ar.ReadWord();
    int version;
    quint32 count;
    if (first == CLoginRecord::CurrentVersion || first == CLoginRecord::PreviousVersion) {
        version = first;
        // Each record holds at least four texts (one byte in the old form) and two integers.
        count = ar.ReadCount(4 * 1 + 2 * 4);
    } else if (first < CLoginRecord::PreviousVersion) {
        // The oldest files start with the record count itself.
        version = CLoginRecord::OldestVersion;
        count = first;
    } else {
        ar.ThrowBadFormat();
    }
    for (quint32 i = 0; i < count; ++i) {
        auto record = std::make_unique<CLoginRecord>();
        record->Deserialize(ar, version);
        const QString key = record->Key();
        if (!ContainsKey(key))
            Add(key, std::move(record));
    }
}
