// File comments as a user edits them, against the devserver's demo office as yamada: the lock
// held while a comment is edited, the pending comment registered at once or with the file's
// Send, kept over a restart in comments.vqr, and the locks other clients take or release
// meanwhile.

#include "SignedInSession.h"

#include "core/BizFormat.h"
#include "core/Strings.h"
#include "files/FileCommentManager.h"

#include <QFileInfo>

namespace {

const QString kYear = QStringLiteral("経理/2024");
const QString kBudget = QStringLiteral("/予算計画.xlsx");     // free
const QString kJournal = QStringLiteral("/仕訳帳.csv");       // free
const QString kSales = QStringLiteral("/売上集計_2024.xlsx"); // suzuki holds it

class Comments : public SignedInSession
{
protected:
    qint32 Year() const { return Id(kYear); }
    QStringList Fields(const QString &path) const { return server->fileFields(kYear, path); }
    QString LockKey(const QString &path) const { return Fields(path).value(3); }
    void Hook(const QString &name, const QString &path) const
    {
        server->hook(name, {{QStringLiteral("folderPath"), kYear}, {QStringLiteral("path"), path}});
    }
    // The operations the service was asked for since the last clearRequestLog(), in order.
    QStringList Ops() const
    {
        QStringList ops;
        for (const QString &line : server->requestLog())
            ops << line.split(u' ').value(2);
        return ops;
    }
    CLocalFileCommentManager *pending() const { return shared()->sharedComments()->local(); }
    QString ServiceComment(const QString &path) const
    {
        CSharedFileRecord info;
        EXPECT_TRUE(files()->GetFileInfo(Year(), path, info));
        return info.comment;
    }
    QString StatePath() const { return login()->UserDataFile(QStringLiteral("comments.vqr")); }
    // The file out for editing on this client (the caller starts no application).
    void OpenUnsent(const QString &path)
    {
        QString working;
        ASSERT_TRUE(gui()->OpenForEditing(Year(), path, nullptr, true, nullptr, &working));
        ASSERT_EQ(LockKey(path), login()->clientKey());
    }
    // A confirmed edit of a file this client already holds: nothing goes out yet.
    void CommentOnUnsent(const QString &path, const QString &text)
    {
        bool unsent = false;
        ASSERT_TRUE(gui()->BeginCommentEdit(Year(), path, &unsent));
        ASSERT_TRUE(unsent);
        ASSERT_TRUE(gui()->EndCommentEdit(Year(), path, true, text, unsent));
    }
};

} // namespace

TEST_F(Comments, ACommentOnAFreeFileLocksRegistersAndUnlocks)
{
    const qint32 year = Year();
    qint32 folder = year;
    ASSERT_TRUE(Page(folder));
    server->clearRequestLog();
    bool unsent = true;
    ASSERT_TRUE(gui()->BeginCommentEdit(year, kJournal, &unsent));
    EXPECT_FALSE(unsent);
    EXPECT_EQ(Ops(), (QStringList{u"file/info"_qs, u"file/lock"_qs}));
    EXPECT_EQ(LockKey(kJournal), login()->clientKey()) << "locked under this client's key";

    const QString text = QStringLiteral("1月分の仕訳を確認済み\n残高照合は来週");
    server->clearRequestLog();
    ASSERT_TRUE(gui()->EndCommentEdit(year, kJournal, true, text, unsent));
    EXPECT_EQ(Ops(), (QStringList{u"file/info"_qs, u"file/comment/create"_qs, u"file/unlock"_qs}));
    EXPECT_TRUE(LockKey(kJournal).isEmpty());
    EXPECT_EQ(pending()->FindPending(year, kJournal), nullptr) << "sent, no longer pending";

    // The entry shows what the service stored: the text, its updater and time.
    const CSharedFileRecord *entry = Entry(year, kJournal);
    ASSERT_NE(entry, nullptr);
    EXPECT_EQ(entry->pendingComment, nullptr);
    EXPECT_EQ(entry->comment, text);
    EXPECT_EQ(entry->commentUpdateId, login()->currentUser()->id);
    EXPECT_EQ(entry->commentUpdateDispName, QStringLiteral("山田 太郎"));
    ASSERT_TRUE(entry->commentUpdateTime.isValid());
    EXPECT_FALSE(entry->commentUpdateTime.isZero());
    EXPECT_EQ(ServiceComment(kJournal), text);
    EXPECT_EQ(gui()->CommentInfoLabel(*entry),
              u"コメント(" + FormatDateTime(entry->commentUpdateTime, true, true) + u')')
        << "the signed-in user's own comment names nobody";
    EXPECT_EQ(gui()->CommentLineLabel(text), u"コメント(2行)");
    EXPECT_EQ(gui()->CommentRemainingLabel(text),
              BizFormat(QStringLiteral("コメント残り%d文字(%d/%d)"),
                        {login()->currentUser()->maxFileCommentLength - int(text.size()),
                         int(text.size()), login()->currentUser()->maxFileCommentLength}));

    // Cancelling an edit with changes unlocks and sends nothing.
    ASSERT_TRUE(gui()->BeginCommentEdit(year, kBudget, &unsent));
    ASSERT_EQ(LockKey(kBudget), login()->clientKey());
    server->clearRequestLog();
    ASSERT_TRUE(gui()->EndCommentEdit(year, kBudget, false, QStringLiteral("破棄する"), unsent));
    EXPECT_EQ(Ops(), (QStringList{u"file/info"_qs, u"file/unlock"_qs}));
    EXPECT_TRUE(LockKey(kBudget).isEmpty());
    EXPECT_EQ(pending()->FindPending(year, kBudget), nullptr);
    EXPECT_TRUE(messages.isEmpty()) << messages.join(u'\n').toStdString();
}

struct SUnsentCase
{
    const char *name;
    QString path;
    bool changed;
    QStringList ops;
    int sent;
};

void PrintTo(const SUnsentCase &c, std::ostream *os)
{
    *os << c.name;
}

class CommentsOnUnsent : public Comments, public ::testing::WithParamInterface<SUnsentCase>
{};

TEST_P(CommentsOnUnsent, GoOutWithTheFilesSend)
{
    const SUnsentCase &c = GetParam();
    const qint32 year = Year();
    OpenUnsent(c.path);
    const QString text = QStringLiteral("送信と一緒に登録するコメント");
    server->clearRequestLog();
    bool unsent = false;
    ASSERT_TRUE(gui()->BeginCommentEdit(year, c.path, &unsent));
    EXPECT_TRUE(unsent);
    EXPECT_EQ(Ops(), QStringList{u"file/info"_qs}) << "no lock request";
    server->clearRequestLog();
    ASSERT_TRUE(gui()->EndCommentEdit(year, c.path, true, text, unsent));
    EXPECT_TRUE(Ops().isEmpty()) << "nothing sent yet";
    EXPECT_EQ(LockKey(c.path), login()->clientKey()) << "the lock stays";
    ASSERT_NE(pending()->FindPending(year, c.path), nullptr);

    // A refresh shows the pending text.
    SFilePageQuery query;
    query.folderId = year;
    ASSERT_TRUE(files()->Refresh(query, false, false));
    const CSharedFileRecord *entry = Entry(year, c.path);
    ASSERT_NE(entry, nullptr);
    ASSERT_NE(entry->pendingComment, nullptr);
    EXPECT_EQ(entry->DisplayComment(), text);
    EXPECT_NE(ServiceComment(c.path), text);

    if (c.changed) {
        ASSERT_TRUE(WriteFile(cache()->WorkingCopyPath(year, c.path.mid(1)), "changed content"));
    }
    server->clearRequestLog();
    int sent = -1;
    ASSERT_TRUE(gui()->SendFile(year, c.path, false, &sent));
    EXPECT_EQ(Ops(), c.ops);
    EXPECT_EQ(sent, c.sent);
    EXPECT_TRUE(LockKey(c.path).isEmpty());
    EXPECT_EQ(ServiceComment(c.path), text);
    EXPECT_EQ(pending()->FindPending(year, c.path), nullptr);
    EXPECT_TRUE(messages.isEmpty()) << messages.join(u'\n').toStdString();
}

INSTANTIATE_TEST_SUITE_P(
    E2e, CommentsOnUnsent,
    ::testing::Values(
        SUnsentCase{"changed", kBudget, true,
                    QStringList{u"file/info"_qs, u"file/update"_qs, u"file/comment/create"_qs,
                                u"file/unlock"_qs},
                    2},
        SUnsentCase{"unchanged", kJournal, false,
                    QStringList{u"file/info"_qs, u"file/comment/create"_qs, u"file/unlock"_qs}, 1}),
    [](const auto &info) { return std::string(info.param.name); });

TEST_F(Comments, APendingCommentSurvivesARestartAndGoesWithTheNextSend)
{
    const qint32 year = Year();
    OpenUnsent(kJournal);
    const QString text = QStringLiteral("再起動をまたぐコメント");
    CommentOnUnsent(kJournal, text);
    // The online window closes: the session's state is written.
    ASSERT_TRUE(shared()->Finish());
    ASSERT_TRUE(QFileInfo::exists(StatePath()));

    SignIn();
    ASSERT_NE(pending()->FindPending(year, kJournal), nullptr);
    EXPECT_EQ(pending()->FindPending(year, kJournal)->text, text);
    // Opening the folder attaches it to its entry.
    ASSERT_TRUE(shared()->OpenFolder(false, false, year));
    const CSharedFileRecord *entry = Entry(year, kJournal);
    ASSERT_NE(entry, nullptr);
    EXPECT_EQ(entry->DisplayComment(), text);

    server->clearRequestLog();
    int sent = 0;
    ASSERT_TRUE(gui()->SendFile(year, kJournal, false, &sent));
    EXPECT_EQ(Ops(), (QStringList{u"file/info"_qs, u"file/comment/create"_qs, u"file/unlock"_qs}));
    EXPECT_EQ(sent, 1);
    EXPECT_EQ(ServiceComment(kJournal), text);
    ASSERT_TRUE(shared()->Finish());
    EXPECT_FALSE(QFileInfo::exists(StatePath())) << "nothing is pending any more";
    EXPECT_TRUE(messages.isEmpty()) << messages.join(u'\n').toStdString();
}

TEST_F(Comments, APendingCommentIsOnDiskBeforeTheSessionEnds)
{
    const qint32 year = Year();
    OpenUnsent(kJournal);
    const QString text = QStringLiteral("落ちても残るコメント");
    CommentOnUnsent(kJournal, text);
    // No Finish: the client ends abruptly.
    ASSERT_TRUE(QFileInfo::exists(StatePath()));
    SignIn();
    ASSERT_NE(pending()->FindPending(year, kJournal), nullptr);
    EXPECT_EQ(pending()->FindPending(year, kJournal)->text, text);
    // Once it went out with the file, the file on disk no longer holds it.
    ASSERT_TRUE(gui()->SendFile(year, kJournal, false));
    EXPECT_FALSE(QFileInfo::exists(StatePath()));
}

TEST_F(Comments, ADamagedStateFileIsReportedRemovedAndTheClientStartsWithNone)
{
    const QString state = StatePath();
    ASSERT_TRUE(WriteFile(state, QByteArray::fromHex("0200fffeff0a30003000")));
    SignIn();
    ASSERT_EQ(messages.size(), 1);
    EXPECT_EQ(messages.first(), BizFormat(LoadString(17956), {QStringLiteral("comments.vqr")}));
    EXPECT_FALSE(QFileInfo::exists(state));
    EXPECT_EQ(pending()->pending().GetCount(), 0);
}

TEST_F(Comments, AFileAnotherUserHoldsCannotBeCommented)
{
    const qint32 year = Year();
    server->clearRequestLog();
    EXPECT_FALSE(gui()->BeginCommentEdit(year, kSales));
    ASSERT_EQ(messages.size(), 1);
    EXPECT_EQ(messages.last(), BizFormat(LoadString(18271), {QStringLiteral("鈴木 花子")}));

    // A holder without a display name.
    server->hook(QStringLiteral("user"), {{QStringLiteral("loginId"), QStringLiteral("suzuki")},
                                          {QStringLiteral("dispName"), QString()}});
    Hook(QStringLiteral("unlock"), kSales);
    Hook(QStringLiteral("lock"), kSales);
    EXPECT_FALSE(gui()->BeginCommentEdit(year, kSales));
    EXPECT_EQ(messages.last(), LoadString(18272));
    EXPECT_EQ(server->callCount(QStringLiteral("file/lock")), 0);
    EXPECT_NE(LockKey(kSales), login()->clientKey());
}

struct SLockChange
{
    const char *name;
    const char *hook; // what happens on the service while the comment is edited
    bool confirm;
    int message;
};

void PrintTo(const SLockChange &c, std::ostream *os)
{
    *os << c.name;
}

class CommentLockChanged : public Comments, public ::testing::WithParamInterface<SLockChange>
{};

TEST_P(CommentLockChanged, EndingTheEditIsRefusedAndKeepsTheText)
{
    const SLockChange &c = GetParam();
    const qint32 year = Year();
    qint32 folder = year;
    ASSERT_TRUE(Page(folder));
    bool unsent = true;
    ASSERT_TRUE(gui()->BeginCommentEdit(year, kBudget, &unsent));
    ASSERT_FALSE(unsent);
    Hook(QString::fromLatin1(c.hook), kBudget);
    server->clearRequestLog();
    const QString text = QStringLiteral("登録できないコメント");
    EXPECT_FALSE(gui()->EndCommentEdit(year, kBudget, c.confirm, text, unsent));
    ASSERT_EQ(messages.size(), 1);
    EXPECT_EQ(messages.last(), LoadString(c.message));
    EXPECT_EQ(Ops(), QStringList{u"file/info"_qs}) << "nothing is sent";
    const CFileCommentRecord *kept = pending()->FindPending(year, kBudget);
    if (c.confirm) {
        // Never dropped without the user's word: still pending, still shown.
        ASSERT_NE(kept, nullptr);
        EXPECT_EQ(kept->text, text);
        ASSERT_NE(Entry(year, kBudget), nullptr);
        EXPECT_EQ(Entry(year, kBudget)->DisplayComment(), text);
    } else {
        EXPECT_EQ(kept, nullptr);
    }
}

INSTANTIATE_TEST_SUITE_P(
    E2e, CommentLockChanged,
    ::testing::Values(SLockChange{"released_then_confirmed", "unlock", true, 18258},
                      SLockChange{"taken_then_confirmed", "lock", true, 18258},
                      SLockChange{"released_then_cancelled", "unlock", false, 18328},
                      SLockChange{"taken_then_cancelled", "lock", false, 18329}),
    [](const auto &info) { return std::string(info.param.name); });
