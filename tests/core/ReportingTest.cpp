#include "CoreFixture.h"

#include "core/BizEvent.h"
#include "core/BizException.h"
#include "core/BizFormat.h"
#include "core/BizProgress.h"
#include "core/ExceptHandler.h"

namespace {

// Records what a progress window would be told.
class RecordingProgress : public CBizProgressHandler
{
public:
    using CBizProgressHandler::CBizProgressHandler;
    std::vector<qint32> ends;
    std::vector<qint32> totalsAtEnd;
    std::vector<std::pair<qint32, qint32>> begins;

protected:
    void OnBegin(qint32 total, qint32 position) override { begins.push_back({total, position}); }
    void OnEnd(qint32 result) override
    {
        ends.push_back(result);
        totalsAtEnd.push_back(m_total);
    }
};

} // namespace

TEST(Progress, EndAfterACancellationReportsZero)
{
    RecordingProgress p;
    p.Begin(10);
    p.StepTo(5);
    p.Cancel(-1);
    EXPECT_EQ(p.ends, std::vector<qint32>{0});
    EXPECT_EQ(p.cancelCode(), -1);
    EXPECT_FALSE(p.StepTo(6));
    EXPECT_FALSE(p.Continue());
    p.End(-1); // no active run any more
    EXPECT_EQ(p.ends.size(), 1u);
}

TEST(Progress, CompletedEndPullsAFarTotalBackTo10000Ahead)
{
    RecordingProgress p;
    p.Begin(20000);
    EXPECT_EQ(p.position(), 1) << "Begin steps once";
    EXPECT_TRUE(p.StepTo(3));
    p.End(-1);
    ASSERT_EQ(p.ends.size(), 1u);
    EXPECT_EQ(p.ends[0], 10003);
    EXPECT_EQ(p.totalsAtEnd[0], 10003);

    RecordingProgress q;
    q.Begin(50);
    q.StepTo(10);
    q.End(-1);
    EXPECT_EQ(q.ends, std::vector<qint32>{50});
}

TEST(Progress, StepWithoutBeginStartsARunOf100AndKeepKeepsTheTotal)
{
    RecordingProgress p;
    EXPECT_TRUE(p.StepTo(4));
    ASSERT_EQ(p.begins.size(), 1u);
    EXPECT_EQ(p.begins[0].first, 100);
    EXPECT_EQ(p.position(), 4);
    EXPECT_TRUE(p.isActive());

    p.Begin(50, -1, true); // total not smaller than 50: kept, position kept
    EXPECT_EQ(p.total(), 100);
    EXPECT_EQ(p.position(), 5);
    p.Begin(30); // ends the run first
    EXPECT_EQ(p.ends.size(), 1u);
    EXPECT_EQ(p.total(), 30);
    EXPECT_TRUE(p.StepBy(-7)) << "a negative delta counts as 1";
    EXPECT_EQ(p.position(), 2);
}

TEST(Progress, CancelEventIsSignalledAndResetAtBegin)
{
    RecordingProgress p(true);
    ASSERT_NE(p.cancelEvent(), nullptr);
    p.Begin(10);
    p.Cancel(-1);
    EXPECT_TRUE(p.cancelEvent()->IsSet());
    p.Begin(10);
    EXPECT_FALSE(p.cancelEvent()->IsSet());
    EXPECT_TRUE(p.Continue());
}

TEST(Progress, AttachmentDepth)
{
    CBizHasProgress target;
    RecordingProgress p;
    {
        CBizProgressAttach outer(target, &p);
        {
            CBizProgressAttach inner(target, &p);
            EXPECT_EQ(target.attachDepth(), 2);
        }
        EXPECT_EQ(target.progress(), &p) << "still attached for the outer call";
    }
    EXPECT_EQ(target.progress(), nullptr);
    target.Detach();
    EXPECT_EQ(target.attachDepth(), 0);
    EXPECT_TRUE(target.ProgressStep());
    try {
        CBizProgressAttach scoped(target, &p);
        throw CBizOsException(5);
    } catch (const CBizException &) {
    }
    EXPECT_EQ(target.progress(), nullptr);
}

struct SFullMessageCase
{
    const char *name;
    std::function<void(CBizExceptHandler &)> set;
    QString expected;
};

class FullMessageTest : public ::testing::TestWithParam<SFullMessageCase>
{};

TEST_P(FullMessageTest, Composition)
{
    CBizExceptHandler handler;
    GetParam().set(handler);
    EXPECT_EQ(handler.FullMessage(), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Kinds, FullMessageTest,
    ::testing::Values(
        SFullMessageCase{
            "Com", [](CBizExceptHandler &h) { h.Set(CBizComException(0x80004005)); },
            QStringLiteral("エラーを特定できません\r\n\r\n［エラータイプ］XMLCOM関連\r\n"
                           "［エラーコード］80004005")},
        SFullMessageCase{"OsNegative",
                         [](CBizExceptHandler &h) { h.Set(CBizOsException(int(0x8007000E))); },
                         QStringLiteral("メモリが不足しています。\r\n\r\n［エラータイプ］OS関連\r\n"
                                        "［エラーコード］8007000e")},
        SFullMessageCase{
            "OsWithPath",
            [](CBizExceptHandler &h) { h.Set(CBizOsException(5, QStringLiteral("/x/%s%n"))); },
            QStringLiteral("アクセスが拒否されました。\r\n/x/%s%n\r\n\r\n［エラータイプ］"
                           "OS関連\r\n［エラーコード］5")},
        SFullMessageCase{
            "File",
            [](CBizExceptHandler &h) {
                h.Set(CBizFileException(CBizFileException::DiskFull, QString()));
            },
            QStringLiteral("ディスクの空き容量が不足しています。\r\n\r\n［エラータイプ］"
                           "ファイル関連\r\n［エラーコード］13")},
        SFullMessageCase{
            "Transport",
            [](CBizExceptHandler &h) {
                h.Set(CBizWinHttpException(12029, QStringLiteral("接続できません")));
            },
            QStringLiteral("接続できません\r\n\r\n［エラータイプ］インターネット関連\r\n"
                           "［エラーコード］12029")},
        SFullMessageCase{"None", [](CBizExceptHandler &) {}, QString()}),
    [](const auto &info) { return std::string(info.param.name); });

namespace {
class ForeignException : public CBizExceptionImpl<ForeignException>
{
public:
    int Kind() const override { return 42; }
    QString ErrorMessage() const override { return QStringLiteral("only the text"); }
};
} // namespace

TEST(ExceptHandler, UnknownKindGivesOnlyTheMessageAndLeadingTextWins)
{
    CBizExceptHandler handler;
    handler.Set(ForeignException());
    EXPECT_EQ(handler.GetKind(), 0);
    EXPECT_EQ(handler.Code(), 0);
    EXPECT_EQ(handler.FullMessage(), QStringLiteral("only the text"));

    handler.Set(CBizOsException(32));
    EXPECT_EQ(handler.FullMessage(QStringLiteral("lead")),
              QStringLiteral("lead\r\n\r\n［エラータイプ］OS関連\r\n［エラーコード］32"));
    EXPECT_TRUE(handler.IsInUse());
    EXPECT_FALSE(handler.IsNotFound());
}

TEST(ExceptHandler, RethrowPendingThrowsTheOwnClassAndEmptiesTheHandler)
{
    CBizExceptHandler handler;
    handler.Set(CBizFileException(CBizFileException::FileNotFound, QStringLiteral("/a")));
    EXPECT_TRUE(handler.IsNotFound());
    try {
        handler.RethrowPending();
        FAIL();
    } catch (const CBizFileException &e) {
        EXPECT_EQ(e.cause(), CBizFileException::FileNotFound);
    }
    EXPECT_FALSE(handler.HasException());
    handler.RethrowPending(); // nothing held: nothing thrown
}

TEST(OsMessageText, KnownUnknownAndTransportNumbers)
{
    EXPECT_EQ(OsMessageText(2), QStringLiteral("指定されたファイルが見つかりません。"));
    EXPECT_FALSE(OsMessageText(12029).startsWith(QStringLiteral("*** FormatMessage(")));
    EXPECT_TRUE(OsMessageText(987654).startsWith(QStringLiteral("*** FormatMessage(987654)")));
    EXPECT_LE(OsMessageText(987654).size(), 259);
}

class MessageHelpersTest : public CoreFixture
{};

TEST_F(MessageHelpersTest, TextsWithoutArgumentsAreShownVerbatim)
{
    ShowErrorMessage(QStringLiteral("100%s done %n %d"));
    CBizExceptHandler handler;
    handler.Set(CBizWinHttpException(12002, QStringLiteral("fault %s%s%n")));
    handler.ShowError();
    ShowWarningMessage(17956, QStringLiteral("%s%n.vqr"));
    ShowInfoMessage("plain %d");
    ShowInfoMessage(u"広い %s");
    ASSERT_EQ(messages.size(), 5);
    EXPECT_EQ(shown[4].text, QStringLiteral("広い %s"));
    EXPECT_EQ(shown[0].text, QStringLiteral("100%s done %n %d"));
    EXPECT_EQ(shown[0].icon, MsgIcon::Error);
    EXPECT_TRUE(shown[1].text.startsWith(QStringLiteral("fault %s%s%n\r\n\r\n")));
    EXPECT_EQ(shown[2].text,
              QStringLiteral("システムファイル（%s%n.vqr）が不正です。\r\n削除しました。"));
    EXPECT_EQ(shown[2].icon, MsgIcon::Warning);
    EXPECT_EQ(shown[3].text, QStringLiteral("plain %d"));
}

TEST_F(MessageHelpersTest, IconsButtonsAndAnswers)
{
    installation.answer = IDNO;
    EXPECT_EQ(AskYesNoDefaultNo(17687), IDNO);
    EXPECT_EQ(shown.back().icon, MsgIcon::Warning);
    EXPECT_EQ(shown.back().buttons, MsgButtons::YesNoDefaultNo);
    installation.answer = IDCANCEL;
    EXPECT_EQ(AskYesNoCancel(QStringLiteral("q")), IDCANCEL);
    EXPECT_EQ(shown.back().buttons, MsgButtons::YesNoCancel);
    EXPECT_EQ(shown.back().icon, MsgIcon::Question);
    ShowErrorMessage(17673, QStringLiteral("VELQUOR"));
    EXPECT_EQ(shown.back().text,
              QStringLiteral("VELQUOR は既に起動されています。\r同時に起動することはできません。"));
}

TEST_F(MessageHelpersTest, ASinkThatThrowsIsIgnored)
{
    SetMessageSink([](const QString &, MsgIcon, MsgButtons) -> int { throw 1; });
    EXPECT_EQ(AskYesNoDefaultNo(QStringLiteral("x")), IDNO);
    ShowErrorMessage(QStringLiteral("x"));
}

TEST(BizFormat, ArgumentsAreNeverReadAsFormats)
{
    EXPECT_EQ(BizFormat(QStringLiteral("「%s」 %d件 %08X %-3s|"),
                        {QStringLiteral("%n%s"), 12, 0xBEEF, QStringLiteral("a")}),
              QStringLiteral("「%n%s」 12件 0000BEEF a  |"));
    EXPECT_EQ(BizFormat(QStringLiteral("%s %s %q 100%%"), {QStringLiteral("one")}),
              QStringLiteral("one  %q 100%"));
}
