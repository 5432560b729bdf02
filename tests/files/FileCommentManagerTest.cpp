// The pending comment edits of the local side (comments.vqr) and the comment labels.

#include "support/Files.h"
#include "support/TempInstallation.h"

#include "core/BizException.h"
#include "files/FileCommentManager.h"
#include "files/FileRecord.h"
#include "store/Archive.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <csignal>
#include <sys/resource.h>

namespace {

const QString kDamaged
    = QStringLiteral("システムファイル（comments.vqr）が不正です。\r\n削除しました。");

CFileCommentRecord Comment(qint32 folderId, const QString &path, const QString &text,
                           qint32 updateId = 7,
                           const QString &dispName = QStringLiteral("山田 太郎"),
                           CDateTimeValue time = CDateTimeValue::FromFields(2024, 3, 1, 9, 30))
{
    CFileCommentRecord r;
    r.workspaceId = folderId;
    r.path = path;
    r.text = text;
    r.updateId = updateId;
    r.updateName = QStringLiteral("yamada");
    r.updateDispName = dispName;
    r.updateTime = time;
    return r;
}

void ExpectSameComment(const CFileCommentRecord &a, const CFileCommentRecord &b)
{
    EXPECT_EQ(a.workspaceId, b.workspaceId);
    EXPECT_EQ(a.path, b.path);
    EXPECT_EQ(a.text, b.text);
    EXPECT_EQ(a.updateId, b.updateId);
    EXPECT_EQ(a.updateName, b.updateName);
    EXPECT_EQ(a.updateDispName, b.updateDispName);
    EXPECT_EQ(a.updateTime.status, b.updateTime.status);
    EXPECT_EQ(a.updateTime.value, b.updateTime.value);
}

class LocalCommentsTest : public InstallationTest<>
{
protected:
    void SetUp() override
    {
        InstallationTest::SetUp();
        m_path = installation.path(QStringLiteral("data/login/comments.vqr"));
        comments.SetStatePath(m_path);
    }
    QString statePath() const { return m_path; }

    CLocalFileCommentManager comments{nullptr};

private:
    QString m_path;
};

} // namespace

TEST_F(LocalCommentsTest, StoreFindAndRemoveOnePendingCommentPerFile)
{
    EXPECT_EQ(comments.FindPending(5, QStringLiteral("/a.xlsx")), nullptr);
    CFileCommentRecord *first
        = comments.StorePending(Comment(5, QStringLiteral("/a.xlsx"), QStringLiteral("one")));
    ASSERT_NE(first, nullptr);
    comments.StorePending(Comment(5, QStringLiteral("/b.xlsx"), QStringLiteral("other file")));
    comments.StorePending(Comment(6, QStringLiteral("/a.xlsx"), QStringLiteral("other folder")));
    EXPECT_EQ(comments.pending().GetCount(), 3);

    // Storing again changes the pending record in place: entries that point at it stay valid.
    CFileCommentRecord *again
        = comments.StorePending(Comment(5, QStringLiteral("/a.xlsx"), QStringLiteral("two"), 9));
    EXPECT_EQ(again, first);
    EXPECT_EQ(comments.pending().GetCount(), 3);
    ASSERT_EQ(comments.FindPending(5, QStringLiteral("/a.xlsx")), first);
    EXPECT_EQ(first->text, u"two");
    EXPECT_EQ(first->updateId, 9);
    EXPECT_EQ(comments.FindPending(6, QStringLiteral("/a.xlsx"))->text, u"other folder");

    EXPECT_TRUE(comments.RemovePending(5, QStringLiteral("/a.xlsx")));
    EXPECT_EQ(comments.FindPending(5, QStringLiteral("/a.xlsx")), nullptr);
    EXPECT_FALSE(comments.RemovePending(5, QStringLiteral("/a.xlsx")));
    EXPECT_NE(comments.FindPending(5, QStringLiteral("/b.xlsx")), nullptr);
    EXPECT_NE(comments.FindPending(6, QStringLiteral("/a.xlsx")), nullptr);
    EXPECT_EQ(comments.pending().GetCount(), 2);
}

TEST_F(LocalCommentsTest, SaveAndLoadKeepEveryField)
{
    // Texts at the archive's length boundaries, line ends and characters outside the BMP.
    const QList<CFileCommentRecord> records{
        Comment(1, QStringLiteral("/empty.txt"), QString()),
        Comment(2, QStringLiteral("/254.txt"), QString(254, u'あ')),
        Comment(2, QStringLiteral("/255.txt"), QString(255, u'x')),
        Comment(3, QStringLiteral("/65534.txt"), QString(65534, u'y')),
        Comment(0x7fffffff, QStringLiteral("/複数行 メモ.docx"),
                QStringLiteral("一行目\r\n二行目\n\U0001F600 三行目"), 42,
                QStringLiteral("鈴木 花子")),
        Comment(4, QStringLiteral("/null time.csv"), QStringLiteral("t"), 0, QString(),
                CDateTimeValue::NullValue()),
    };
    for (const CFileCommentRecord &r : records)
        comments.StorePending(r);
    ASSERT_TRUE(comments.Save());
    EXPECT_EQ(FileMode(statePath()), 0600) << "readable by the user only";

    CLocalFileCommentManager loaded(nullptr);
    loaded.SetStatePath(statePath());
    // Whatever was pending in memory before is replaced by the file's contents.
    loaded.StorePending(Comment(9, QStringLiteral("/stale.txt"), QStringLiteral("stale")));
    ASSERT_TRUE(loaded.Load());
    ASSERT_EQ(loaded.pending().GetCount(), records.size());
    EXPECT_EQ(loaded.FindPending(9, QStringLiteral("/stale.txt")), nullptr);
    for (qsizetype i = 0; i < records.size(); ++i) {
        SCOPED_TRACE(records.at(i).path.toStdString());
        const CFileCommentRecord *r
            = loaded.FindPending(records.at(i).workspaceId, records.at(i).path);
        ASSERT_NE(r, nullptr);
        ExpectSameComment(*r, records.at(i));
        // The file keeps the order the comments were stored in.
        EXPECT_EQ(loaded.pending().At(i), r);
    }
    EXPECT_TRUE(messages.isEmpty());
}

TEST_F(LocalCommentsTest, ArchiveLayoutIsTheKeyThenTheCommentFields)
{
    comments.StorePending(Comment(0x1a, QStringLiteral("/a"), QStringLiteral("b"), 3,
                                  QStringLiteral("c"), CDateTimeValue::NullValue()));
    ASSERT_TRUE(comments.Save());
    const QByteArray expected
        = QByteArray::fromHex("0100"                                             // count
                              "fffeff0a300030003000300030003000310061002f006100" // key "0000001a/a"
                              "fffeff016200"                                     // text "b"
                              "03000000"                                         // updateId
                              "fffeff06790061006d00610064006100" // updateName "yamada"
                              "fffeff016300"                     // updateDispName "c"
                              "02000000"                         // time status: null
                              "0000000000000000");               // time value
    EXPECT_EQ(ReadFile(statePath()).toHex(), expected.toHex());
}

TEST_F(LocalCommentsTest, NoFileMeansNoneAndNothingPendingRemovesTheFile)
{
    EXPECT_TRUE(comments.Load());
    EXPECT_EQ(comments.pending().GetCount(), 0);

    comments.StorePending(Comment(1, QStringLiteral("/a.txt"), QStringLiteral("x")));
    ASSERT_TRUE(comments.Save());
    ASSERT_TRUE(QFileInfo::exists(statePath()));
    ASSERT_TRUE(comments.RemovePending(1, QStringLiteral("/a.txt")));
    ASSERT_TRUE(comments.Save());
    EXPECT_FALSE(QFileInfo::exists(statePath())) << "a sent comment must not come back";
    EXPECT_TRUE(comments.Load());
    EXPECT_EQ(comments.pending().GetCount(), 0);
    EXPECT_TRUE(messages.isEmpty());
}

class DamagedCommentsTest :
    public LocalCommentsTest,
    public ::testing::WithParamInterface<std::pair<const char *, QByteArray>>
{};

TEST_P(DamagedCommentsTest, IsReportedRemovedAndLeavesNoneAfterwards)
{
    ASSERT_TRUE(QDir().mkpath(QFileInfo(statePath()).absolutePath()));
    ASSERT_TRUE(WriteFile(statePath(), GetParam().second));
    comments.StorePending(Comment(1, QStringLiteral("/before.txt"), QStringLiteral("x")));
    EXPECT_FALSE(comments.Load());
    EXPECT_EQ(comments.pending().GetCount(), 0);
    EXPECT_FALSE(QFileInfo::exists(statePath()));
    ASSERT_EQ(messages.size(), 1);
    EXPECT_EQ(messages.at(0), kDamaged);

    // The next start has nothing to read and nothing to report.
    EXPECT_TRUE(comments.Load());
    EXPECT_EQ(messages.size(), 1);
}

namespace {

// A valid file of one comment, to be damaged.
QByteArray OneComment(qint32 folderId = 0x10)
{
    CLocalFileCommentManager m(nullptr);
    m.StorePending(Comment(folderId, QStringLiteral("/a.txt"), QStringLiteral("text")));
    return m.Encode();
}

} // namespace

INSTANTIATE_TEST_SUITE_P(
    Files, DamagedCommentsTest,
    ::testing::Values(std::make_pair("truncated", OneComment().left(OneComment().size() - 3)),
                      std::make_pair("trailing", OneComment() + QByteArray("\x01", 1)),
                      std::make_pair("count beyond the data", QByteArray::fromHex("0500fffeff00")),
                      std::make_pair("key without a folder", OneComment(0)),
                      std::make_pair("bad time status", OneComment().left(OneComment().size() - 12)
                                                            + QByteArray::fromHex("07000000")
                                                            + QByteArray(8, '\0')),
                      std::make_pair("garbage", QByteArray(64, '\xab'))),
    [](const auto &info) {
        std::string name = info.param.first;
        for (char &c : name)
            if (c == ' ')
                c = '_';
        return name;
    });

TEST_F(LocalCommentsTest, AFailedSaveKeepsThePreviousFile)
{
    comments.StorePending(Comment(1, QStringLiteral("/kept.txt"), QStringLiteral("kept")));
    ASSERT_TRUE(comments.Save());
    const QByteArray previous = ReadFile(statePath());

    // The disk fills up in the middle of the write: the file may not grow beyond 64 KiB.
    for (int i = 0; i < 50; ++i)
        comments.StorePending(Comment(2, QStringLiteral("/big%1.txt").arg(i), QString(2000, u'z')));
    struct rlimit old
    {};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old), 0);
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    struct rlimit limited = old;
    limited.rlim_cur = 64 * 1024;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &limited), 0);
    bool raised = false;
    try {
        comments.Save();
    } catch (const CBizFileException &) {
        raised = true;
    }
    setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, oldHandler);
    EXPECT_TRUE(raised);

    EXPECT_EQ(ReadFile(statePath()), previous);
    EXPECT_EQ(Listing(QFileInfo(statePath()).absolutePath()), QStringList{u"comments.vqr"_qs})
        << "no partial copy is left beside it";
    CLocalFileCommentManager reread(nullptr);
    reread.SetStatePath(statePath());
    ASSERT_TRUE(reread.Load());
    ASSERT_EQ(reread.pending().GetCount(), 1);
    EXPECT_EQ(reread.pending().At(0)->text, u"kept");
}

TEST(CommentLabels, InfoLineNamesOnlyAnotherUpdater)
{
    CSharedFileRecord file;
    file.comment = QStringLiteral("service text");
    file.commentUpdateId = 12;
    file.commentUpdateDispName = QStringLiteral("鈴木 花子");
    file.commentUpdateTime = CDateTimeValue::FromFields(2024, 3, 5, 7, 8, 9);
    EXPECT_EQ(CFileCommentManager::InfoLabel(file, 7), u"コメント(24/03/05 07:08) 鈴木 花子");
    EXPECT_EQ(CFileCommentManager::InfoLabel(file, 12), u"コメント(24/03/05 07:08)");

    // A pending edit shows its own time and updater.
    CFileCommentRecord pending = Comment(1, QStringLiteral("/a"), QStringLiteral("mine"), 7);
    file.pendingComment = &pending;
    EXPECT_EQ(file.DisplayComment(), u"mine");
    EXPECT_EQ(CFileCommentManager::InfoLabel(file, 7), u"コメント(24/03/01 09:30)");
}

TEST(CommentLabels, LineCountAndRemainingCharacters)
{
    const QList<std::pair<QString, int>> lines{
        {QString(), 0},
        {QStringLiteral("one"), 1},
        {QStringLiteral("a\r\nb"), 2},
        {QStringLiteral("a\nb\rc"), 3},
        {QStringLiteral("a\r\n"), 2},
        {QStringLiteral("\n\n"), 3},
    };
    for (const auto &[text, count] : lines)
        EXPECT_EQ(CFileCommentManager::LineCountLabel(text),
                  QStringLiteral("コメント(%1行)").arg(count))
            << text.toStdString();
    EXPECT_EQ(CFileCommentManager::RemainingLabel(QString(), 5000),
              u"コメント残り5000文字(0/5000)");
    EXPECT_EQ(CFileCommentManager::RemainingLabel(QStringLiteral("あいう"), 10),
              u"コメント残り7文字(3/10)");
    EXPECT_EQ(CFileCommentManager::RemainingLabel(QString(12, u'x'), 10),
              u"コメント残り-2文字(12/10)");
}
