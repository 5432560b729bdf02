#include "store/TypedLists.h"
#include "store/Record.h"

#include <gtest/gtest.h>

namespace {

// A record that logs its destruction, so ownership is visible.
class CProbeRecord : public CRecord
{
public:
    CProbeRecord(int id, QStringList *log)
        : m_id(id)
        , m_log(log)
    {}
    ~CProbeRecord() override { m_log->append(QString::number(m_id)); }
    bool IsEmpty() const override { return m_id == 0; }
    void Clear() override { m_id = 0; }
    int id() const { return m_id; }

private:
    int m_id;
    QStringList *m_log;
};

class TypedListsTest : public ::testing::Test
{
protected:
    CProbeRecord *Make(int id) { return new CProbeRecord(id, &deleted); }
    QStringList deleted;
};

TEST(RecordTest, BaseIsEmptyAndClearIsHarmless)
{
    CRecord r;
    EXPECT_TRUE(r.IsEmpty());
    r.Clear();
    EXPECT_TRUE(r.IsEmpty());
}

TEST_F(TypedListsTest, OwningListDeletesFromTheHeadOnDestruction)
{
    {
        CBizTypedPtrList<CRecord> list(true);
        list.AddTail(Make(2));
        list.AddHead(Make(1));
        list.AddTail(std::make_unique<CProbeRecord>(3, &deleted));
        list.InsertAt(99, Make(4)); // clamped to the end
        EXPECT_EQ(list.GetCount(), 4);
        EXPECT_EQ(static_cast<CProbeRecord *>(list.GetHead())->id(), 1);
        EXPECT_TRUE(deleted.isEmpty());
    }
    EXPECT_EQ(deleted, (QStringList{u"1"_qs, u"2"_qs, u"3"_qs, u"4"_qs}));
}

TEST_F(TypedListsTest, ReferenceListNeverDeletes)
{
    CBizTypedPtrList<CProbeRecord> owner(true);
    {
        CBizTypedPtrRefList<CProbeRecord> refs;
        for (int i = 1; i <= 3; ++i)
            refs.AddTail(owner.AddTail(Make(i)));
        EXPECT_TRUE(refs.Remove(refs.GetHead()));
        EXPECT_EQ(refs.Take(refs.GetHead()), nullptr); // not the reference list's to give
        refs.RemoveAll();
        EXPECT_FALSE(refs.ownsElements());
    }
    EXPECT_TRUE(deleted.isEmpty());
    EXPECT_EQ(owner.GetCount(), 3);
}

TEST_F(TypedListsTest, RemoveDeletesTakeHandsOver)
{
    CBizTypedPtrList<CProbeRecord> list(true);
    CProbeRecord *a = list.AddTail(Make(1));
    CProbeRecord *b = list.AddTail(Make(2));
    list.AddTail(Make(3));
    EXPECT_TRUE(list.Remove(a));
    EXPECT_EQ(deleted, QStringList{u"1"_qs});
    EXPECT_FALSE(list.Remove(a)); // gone already, not deleted twice

    std::unique_ptr<CProbeRecord> taken = list.Take(b);
    ASSERT_EQ(taken.get(), b);
    EXPECT_EQ(list.GetCount(), 1);
    EXPECT_EQ(list.IndexOf(b), -1);
    taken.reset();
    EXPECT_EQ(deleted, (QStringList{u"1"_qs, u"2"_qs}));

    list.RemoveAll();
    EXPECT_EQ(deleted, (QStringList{u"1"_qs, u"2"_qs, u"3"_qs}));
    EXPECT_TRUE(list.IsEmpty());
    EXPECT_EQ(list.GetHead(), nullptr);
    EXPECT_EQ(list.TakeHead(), nullptr);
}

TEST_F(TypedListsTest, TakeAllMovesRecordsToAnotherList)
{
    CBizTypedPtrList<CProbeRecord> from(true);
    CBizTypedPtrList<CProbeRecord> to(true);
    for (int i = 1; i <= 3; ++i)
        from.AddTail(Make(i));
    for (auto &p : from.TakeAll())
        to.AddTail(std::move(p));
    EXPECT_TRUE(from.IsEmpty());
    EXPECT_EQ(to.GetCount(), 3);
    EXPECT_TRUE(deleted.isEmpty());
    to.Sort([](const CProbeRecord *x, const CProbeRecord *y) { return x->id() > y->id(); });
    EXPECT_EQ(to.At(0)->id(), 3);
    EXPECT_EQ(to.At(3), nullptr);
    int sum = 0;
    for (CProbeRecord *r : to)
        sum += r->id();
    EXPECT_EQ(sum, 6);
}

TEST_F(TypedListsTest, MapListLooksUpByKeyAndKeepsIndexInStep)
{
    CBizTypedPtrMapList<qint32, CProbeRecord> list(true);
    for (int i = 1; i <= 4; ++i)
        list.Add(i * 10, Make(i));
    EXPECT_EQ(list.Lookup(30)->id(), 3);
    EXPECT_EQ(list.Lookup(31), nullptr);

    EXPECT_TRUE(list.RemoveKey(20));
    EXPECT_EQ(deleted, QStringList{u"2"_qs});
    EXPECT_FALSE(list.ContainsKey(20));
    EXPECT_FALSE(list.RemoveKey(20));

    // Removing by pointer drops the index entry too: no dangling lookup afterwards.
    CProbeRecord *third = list.Lookup(30);
    EXPECT_TRUE(list.Remove(third));
    EXPECT_EQ(list.Lookup(30), nullptr);

    // A changed key.
    list.SetKey(list.Lookup(40), 400);
    EXPECT_EQ(list.Lookup(40), nullptr);
    EXPECT_EQ(list.Lookup(400)->id(), 4);

    std::unique_ptr<CProbeRecord> taken = list.TakeKey(10);
    ASSERT_TRUE(taken);
    EXPECT_EQ(list.Lookup(10), nullptr);
    EXPECT_EQ(list.GetCount(), 1);
    EXPECT_EQ(list.index().size(), 1);

    list.RemoveAll();
    EXPECT_TRUE(list.index().isEmpty());
}

TEST_F(TypedListsTest, MapListDuplicateKeyIndexesTheNewestAndLeaksNothing)
{
    {
        CBizTypedPtrMapList<QString, CProbeRecord> list(true);
        list.Add(u"00000001/a.txt"_qs, Make(1));
        list.Add(u"00000001/a.txt"_qs, Make(2));
        EXPECT_EQ(list.Lookup(u"00000001/a.txt"_qs)->id(), 2);
        EXPECT_EQ(list.Lookup(u"00000001/A.TXT"_qs), nullptr); // exact comparison
        EXPECT_EQ(list.GetCount(), 2);
    }
    EXPECT_EQ(deleted, (QStringList{u"1"_qs, u"2"_qs}));
}

TEST_F(TypedListsTest, Map2ListHasTwoIndexes)
{
    {
        CBizTypedPtrMap2List<CProbeRecord> list(true);
        list.Add(1, u"xlsx"_qs, Make(1));
        list.Add(2, u"pdf"_qs, Make(2));
        EXPECT_EQ(list.Lookup1(2)->id(), 2);
        EXPECT_EQ(list.Lookup2(u"xlsx"_qs)->id(), 1);
        EXPECT_TRUE(list.RemoveKey2(u"pdf"_qs));
        EXPECT_EQ(list.Lookup1(2), nullptr); // both indexes forget it
        EXPECT_EQ(deleted, QStringList{u"2"_qs});
        list.Add(3, u"doc"_qs, Make(3));
    }
    EXPECT_EQ(deleted, (QStringList{u"2"_qs, u"1"_qs, u"3"_qs}));
}

TEST_F(TypedListsTest, NonOwningMapListLeavesElementsAlone)
{
    CProbeRecord a(1, &deleted);
    {
        CBizTypedPtrMapList<qint32, CProbeRecord> list(false);
        list.Add(1, &a);
        EXPECT_TRUE(list.RemoveKey(1));
        list.Add(1, &a);
    }
    EXPECT_TRUE(deleted.isEmpty());
}

TEST_F(TypedListsTest, PlainMapsAreTypedAndNonOwning)
{
    CProbeRecord a(1, &deleted);
    CBizMapLongToPtr<CProbeRecord> byId;
    byId.SetAt(-5, &a);
    EXPECT_EQ(byId.Lookup(-5), &a);
    EXPECT_EQ(byId.Lookup(5), nullptr);
    EXPECT_TRUE(byId.RemoveKey(-5));
    CBizMapStringToPtr<CProbeRecord> byName;
    byName.SetAt(u"経理"_qs, &a);
    EXPECT_EQ(byName.Lookup(u"経理"_qs), &a);
    byName.RemoveAll();
    EXPECT_TRUE(byName.IsEmpty());
    EXPECT_TRUE(deleted.isEmpty());
}

} // namespace
