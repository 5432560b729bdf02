#include "account/LoginRecord.h"
#include "core/BizException.h"
#include "store/Archive.h"
#include "store/Scramble.h"

#include <gtest/gtest.h>

namespace {

CLoginRecord *AddLogin(CLoginList &list, const QString &office, const QString &login,
                       const QString &clientKey = "CK", const QString &password = "pw",
                       const QString &dispName = {})
{
    auto r = std::make_unique<CLoginRecord>(office, login, clientKey);
    r->password = password;
    r->savePassword = 1;
    r->officeFlag = 1;
    r->accessKey = "AK-never-stored";
    r->customerLoginDispName = dispName;
    const QString key = r->Key();
    return list.Add(key, std::move(r));
}

QByteArray Encode(const CLoginList &list)
{
    CBizArchiveWriter w;
    list.Serialize(w);
    return w.data();
}

QByteArray Utf16(const QString &s)
{
    return QByteArray(reinterpret_cast<const char *>(s.utf16()), s.size() * 2);
}

} // namespace

TEST(LoginList, KeyIsOfficeDotLogin)
{
    EXPECT_EQ(CLoginRecord::MakeKey("demo", "yamada"), "demo.yamada");
    CLoginList list;
    AddLogin(list, "demo", "yamada");
    EXPECT_NE(list.Lookup("demo.yamada"), nullptr);
    EXPECT_EQ(list.Lookup("Demo.yamada"), nullptr); // exact comparison
}

TEST(LoginList, RoundTripKeepsOrderAndFieldsButNoAccessKey)
{
    CLoginList list;
    AddLogin(list, "demo", "yamada", "CK1", "p\u2B5Dw",
             "デモ会計事務所"); // a unit equal to the key
    AddLogin(list, "other", "tanaka", "CK2", "", "");
    list.At(1)->savePassword = 0;
    list.At(1)->officeFlag = 0;

    const QByteArray bytes = Encode(list);
    CLoginList back;
    CBizArchiveReader r(bytes);
    back.Deserialize(r);
    EXPECT_TRUE(r.atEnd());
    ASSERT_EQ(back.GetCount(), 2);
    const CLoginRecord *a = back.At(0);
    EXPECT_EQ(a->customerCode, "demo");
    EXPECT_EQ(a->loginId, "yamada");
    EXPECT_EQ(a->clientKey, "CK1");
    EXPECT_EQ(a->password, QString("p\u2B5Dw"));
    EXPECT_EQ(a->savePassword, 1);
    EXPECT_EQ(a->officeFlag, 1);
    EXPECT_EQ(a->customerLoginDispName, "デモ会計事務所");
    EXPECT_TRUE(a->accessKey.isEmpty());
    const CLoginRecord *b = back.At(1);
    EXPECT_EQ(b->Key(), "other.tanaka");
    EXPECT_EQ(b->savePassword, 0);
    EXPECT_EQ(b->officeFlag, 0);
    EXPECT_EQ(back.Lookup("other.tanaka"), b);
}

TEST(LoginList, FileLayoutIsVersion102WithScrambledSecrets)
{
    CLoginList list;
    AddLogin(list, "demo", "yamada", "CLIENTKEY", "PASSWORD", "名");
    const QByteArray bytes = Encode(list);

    CBizArchiveWriter expected;
    expected.WriteWord(102);
    expected.WriteCount(1);
    expected.WriteText("demo");
    expected.WriteText("yamada");
    expected.WriteText(ScrambleText("CLIENTKEY", 0x2B5D));
    expected.WriteText(ScrambleText("PASSWORD", 0x2B5D));
    expected.WriteInt32(1);
    expected.WriteInt32(1);
    expected.WriteText("名");
    EXPECT_EQ(bytes, expected.data());
    EXPECT_FALSE(bytes.contains(Utf16("CLIENTKEY")));
    EXPECT_FALSE(bytes.contains(Utf16("PASSWORD")));
    EXPECT_FALSE(bytes.contains(Utf16("AK-never-stored")));
}

TEST(LoginList, ReadsVersion101WithoutOfficeName)
{
    CBizArchiveWriter w;
    w.WriteWord(101);
    w.WriteCount(1);
    w.WriteText("demo");
    w.WriteText("suzuki");
    w.WriteText(ScrambleText("CK", 0));
    w.WriteText(ScrambleText("pw", 0));
    w.WriteInt32(1);
    w.WriteInt32(0);
    CLoginList list;
    CBizArchiveReader r(w.data());
    list.Deserialize(r);
    ASSERT_EQ(list.GetCount(), 1);
    EXPECT_EQ(list.At(0)->clientKey, "CK");
    EXPECT_EQ(list.At(0)->password, "pw");
    EXPECT_EQ(list.At(0)->savePassword, 1);
    EXPECT_EQ(list.At(0)->officeFlag, 0);
    EXPECT_TRUE(list.At(0)->customerLoginDispName.isEmpty());
    EXPECT_TRUE(r.atEnd());

    // Written again it is version 102.
    EXPECT_EQ(quint8(Encode(list).at(0)), 102);
}

TEST(LoginList, ReadsTheOldestFormWithoutVersionWord)
{
    CBizArchiveWriter w;
    w.WriteWord(2); // the record count itself
    w.WriteText("demo");
    w.WriteText("yamada");
    w.WriteText(ScrambleText("CK1", 0));
    w.WriteInt32(1);
    // An old single-byte text: length byte, then the bytes.
    w.WriteByte(4);
    for (char c : QByteArray("acme"))
        w.WriteByte(quint8(c));
    w.WriteText("tanaka");
    w.WriteText(ScrambleText("CK2", 0));
    w.WriteInt32(0);
    CLoginList list;
    CBizArchiveReader r(w.data());
    list.Deserialize(r);
    ASSERT_EQ(list.GetCount(), 2);
    EXPECT_EQ(list.At(0)->clientKey, "CK1");
    EXPECT_EQ(list.At(0)->officeFlag, 1);
    EXPECT_TRUE(list.At(0)->password.isEmpty());
    EXPECT_EQ(list.At(1)->Key(), "acme.tanaka");
    EXPECT_EQ(list.At(1)->clientKey, "CK2");
    EXPECT_TRUE(r.atEnd());
}

TEST(LoginList, UnknownVersionIsBadFormat)
{
    CBizArchiveWriter w;
    w.WriteWord(103);
    w.WriteCount(0);
    CLoginList list;
    CBizArchiveReader r(w.data());
    EXPECT_THROW(list.Deserialize(r), CBizArchiveException);
}

TEST(LoginList, TruncatedArchiveKeepsTheCompleteRecords)
{
    CLoginList list;
    AddLogin(list, "demo", "yamada");
    AddLogin(list, "demo", "suzuki");
    AddLogin(list, "other", "tanaka");
    const QByteArray bytes = Encode(list);
    // Cut inside the third record.
    CLoginList back;
    CBizArchiveReader r(bytes.left(bytes.size() - 5));
    EXPECT_THROW(back.Deserialize(r), CBizArchiveException);
    ASSERT_EQ(back.GetCount(), 2);
    EXPECT_EQ(back.At(1)->Key(), "demo.suzuki");
}

TEST(LoginList, HugeCountIsRejectedNotAllocated)
{
    CBizArchiveWriter w;
    w.WriteWord(102);
    w.WriteCount(0x7FFFFFFF);
    CLoginList list;
    CBizArchiveReader r(w.data());
    EXPECT_THROW(list.Deserialize(r), CBizArchiveException);
    EXPECT_EQ(list.GetCount(), 0);
}

TEST(LoginList, RepeatedKeyKeepsTheFirstRecord)
{
    CLoginList list;
    AddLogin(list, "demo", "yamada", "FIRST");
    AddLogin(list, "demo", "yamada", "SECOND");
    CLoginList back;
    CBizArchiveReader r(Encode(list));
    back.Deserialize(r);
    ASSERT_EQ(back.GetCount(), 1);
    EXPECT_EQ(back.Lookup("demo.yamada")->clientKey, "FIRST");
}

TEST(LoginList, MoveToFrontKeepsTheIndex)
{
    for (bool owning : {true, false}) {
        CLoginList owner;
        CLoginList list(owning);
        CLoginList &target = owning ? list : owner;
        CLoginRecord *a = AddLogin(target, "o", "a");
        CLoginRecord *b = AddLogin(target, "o", "b");
        CLoginRecord *c = AddLogin(target, "o", "c");
        if (!owning) {
            for (CLoginRecord *r : {a, b, c})
                list.Add(r->Key(), r);
        }
        list.MoveToFront(c);
        ASSERT_EQ(list.GetCount(), 3);
        EXPECT_EQ(list.At(0), c);
        EXPECT_EQ(list.At(1), a);
        EXPECT_EQ(list.At(2), b);
        EXPECT_EQ(list.Lookup("o.c"), c);
        list.MoveToFront(c); // already first
        EXPECT_EQ(list.At(0), c);
    }
}
