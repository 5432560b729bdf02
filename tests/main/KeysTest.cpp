// The accelerator keys of the online window with the focus in the list, in a search box and
// in the folder combo, and the size reset of Ctrl+"/".

#include "MainWindowFixture.h"

namespace {

using W = CSharedFileListDialog;

enum class EFocus { List, FileSearch, FolderSearch, Combo };

struct SKeyCase
{
    const char *name;
    Qt::Key key;
    Qt::KeyboardModifiers modifiers;
    // Checks the effect (and puts the window back as it was).
    std::function<void(W &, DevServer &, const std::function<void()> &press)> check;
};

QWidget *FocusTarget(const W &w, EFocus focus)
{
    switch (focus) {
    case EFocus::List:
        return w.list();
    case EFocus::FileSearch:
        return w.controlAs<QWidget>(MainId::FileSearchEdit);
    case EFocus::FolderSearch:
        return w.controlAs<QWidget>(MainId::FolderSearchEdit);
    case EFocus::Combo:
        return w.folderCombo();
    }
    return nullptr;
}

class KeysTest : public MainWindowTest, public ::testing::WithParamInterface<EFocus>
{
protected:
    static std::vector<SKeyCase> Cases()
    {
        std::vector<SKeyCase> cases;
        cases.push_back(
            {"F5 refresh", Qt::Key_F5, Qt::NoModifier, [](W &, DevServer &s, auto press) {
                 const int before = s.callCount(QStringLiteral("file/list"));
                 press();
                 EXPECT_GT(s.callCount(QStringLiteral("file/list")), before);
             }});
        cases.push_back(
            {"Ctrl+R refresh", Qt::Key_R, Qt::ControlModifier, [](W &, DevServer &s, auto press) {
                 const int before = s.callCount(QStringLiteral("file/list"));
                 press();
                 EXPECT_GT(s.callCount(QStringLiteral("file/list")), before);
             }});
        cases.push_back({"Ctrl+F file search", Qt::Key_F, Qt::ControlModifier,
                         [](W &w, DevServer &, auto press) {
                             press();
                             EXPECT_EQ(QApplication::focusWidget(),
                                       w.control(MainId::FileSearchEdit));
                         }});
        cases.push_back(
            {"Ctrl+Shift+F folder search", Qt::Key_F, Qt::ControlModifier | Qt::ShiftModifier,
             [](W &w, DevServer &, auto press) {
                 press();
                 EXPECT_EQ(QApplication::focusWidget(), w.control(MainId::FolderSearchEdit));
             }});
        cases.push_back(
            {"Ctrl+B list", Qt::Key_B, Qt::ControlModifier, [](W &w, DevServer &, auto press) {
                 press();
                 EXPECT_EQ(QApplication::focusWidget(), w.list());
             }});
        cases.push_back(
            {"Ctrl+L combo", Qt::Key_L, Qt::ControlModifier, [](W &w, DevServer &, auto press) {
                 press();
                 EXPECT_EQ(QApplication::focusWidget(), w.folderCombo());
             }});
        cases.push_back({"Ctrl+T product filter", Qt::Key_T, Qt::ControlModifier,
                         [](W &w, DevServer &, auto press) {
                             // The menu is handed to the chooser instead of being shown.
                             bool seen = false;
                             w.SetMenuChooser([&seen](QMenu &menu) -> QAction * {
                                 seen = FindAction(menu, QStringLiteral("<全ての製品>"));
                                 return nullptr;
                             });
                             press();
                             w.SetMenuChooser({});
                             EXPECT_TRUE(seen);
                         }});
        cases.push_back(
            {"Alt+Left parent", Qt::Key_Left, Qt::AltModifier, [](W &w, DevServer &s, auto press) {
                 press();
                 EXPECT_EQ(w.currentFolderId(), s.folderId(QStringLiteral("経理")));
                 w.NavigateToFolder(s.folderId(QStringLiteral("経理/2024")));
                 Settle(w);
             }});
        cases.push_back(
            {"F7 favourites", Qt::Key_F7, Qt::NoModifier, [](W &w, DevServer &s, auto press) {
                 press();
                 EXPECT_TRUE(w.isFavoritesView());
                 Key(w, w.list(), Qt::Key_F7);
                 EXPECT_EQ(w.currentFolderId(), s.folderId(QStringLiteral("経理/2024")));
             }});
        cases.push_back(
            {"Ctrl+/ size", Qt::Key_Slash, Qt::ControlModifier, [](W &w, DevServer &, auto press) {
                 w.resize(800, 500);
                 w.move(w.screen()->availableGeometry().topLeft() + QPoint(5, 5));
                 QCoreApplication::processEvents();
                 press();
                 EXPECT_EQ(w.size(), QSize(970, 630));
                 EXPECT_TRUE(IsCentred(w));
             }});
        cases.push_back(
            {"Alt+M comment pane", Qt::Key_M, Qt::AltModifier, [](W &w, DevServer &, auto press) {
                 const bool shown = w.isCommentPaneShown();
                 QWidget *pane = w.control(W::CommentPane);
                 ASSERT_TRUE(pane);
                 EXPECT_EQ(pane->isVisible(), shown);
                 press();
                 EXPECT_EQ(w.isCommentPaneShown(), !shown);
                 EXPECT_EQ(pane->isVisible(), !shown);
                 Key(w, w.list(), Qt::Key_M, Qt::AltModifier);
                 EXPECT_EQ(w.isCommentPaneShown(), shown);
             }});
        return cases;
    }
};

TEST_P(KeysTest, EveryAcceleratorWorksWhereverTheFocusIs)
{
    const EFocus focus = GetParam();
    Run([&](W &w) {
        ChooseFolder(w, QStringLiteral("経理/2024"));
        for (const SKeyCase &c : Cases()) {
            SCOPED_TRACE(c.name);
            QWidget *target = FocusTarget(w, focus);
            ASSERT_TRUE(target);
            target->setFocus();
            QCoreApplication::processEvents();
            ASSERT_EQ(QApplication::focusWidget(), target);
            c.check(w, *server, [&] { Key(w, target, c.key, c.modifiers); });
            ASSERT_TRUE(w.isVisible());
        }
        EXPECT_TRUE(messages.isEmpty()) << messages.join(u'|').toStdString();
    });
}

INSTANTIATE_TEST_SUITE_P(Focus, KeysTest,
                         ::testing::Values(EFocus::List, EFocus::FileSearch, EFocus::FolderSearch,
                                           EFocus::Combo),
                         [](const auto &info) {
                             switch (info.param) {
                             case EFocus::List:
                                 return "List";
                             case EFocus::FileSearch:
                                 return "FileSearch";
                             case EFocus::FolderSearch:
                                 return "FolderSearch";
                             case EFocus::Combo:
                                 return "Combo";
                             }
                             return "Other";
                         });

// Ctrl+"/" of the main keyboard and of the numeric pad, after a resize and a move.
class ResetSizeTest : public MainWindowTest, public ::testing::WithParamInterface<bool>
{};

TEST_P(ResetSizeTest, CtrlSlashReturnsToTheDefaultSizeCentred)
{
    const bool keypad = GetParam();
    Run([&](W &w) {
        for (const QSize &size : {QSize(1200, 800), QSize(700, 450)}) {
            SCOPED_TRACE(size.width());
            w.resize(size);
            w.move(w.screen()->availableGeometry().topLeft() + QPoint(20, 10));
            QCoreApplication::processEvents();
            ASSERT_NE(w.size(), QSize(970, 630));
            Key(w, w.list(), Qt::Key_Slash,
                keypad ? Qt::ControlModifier | Qt::KeypadModifier : Qt::ControlModifier);
            EXPECT_EQ(w.size(), QSize(970, 630));
            EXPECT_TRUE(IsCentred(w));
        }
    });
}

INSTANTIATE_TEST_SUITE_P(MainOrKeypad, ResetSizeTest, ::testing::Bool(),
                         [](const auto &info) { return info.param ? "Keypad" : "Main"; });

// Enter with the focus on a button presses it; on the folder combo or a check box it does
// not close the window.
TEST_F(MainWindowTest, EnterPressesTheFocusedButtonAndClosesNothingElse)
{
    const int result = Run([&](W &w) {
        auto *favorites = Ctl<QWidget>(w, MainId::FavoritesView);
        favorites->setFocus();
        Key(w, favorites, Qt::Key_Return);
        EXPECT_TRUE(w.isFavoritesView());
        EXPECT_TRUE(w.isVisible());
        Key(w, w.list(), Qt::Key_F7);
        ChooseFolder(w, QStringLiteral("電子帳簿"));
        auto *blank = Ctl<QWidget>(w, W::BlankDate);
        w.OnCommand(W::SearchBlank);
        Settle(w);
        blank->setFocus();
        Key(w, blank, Qt::Key_Return);
        EXPECT_TRUE(w.isVisible());
        w.folderCombo()->setFocus();
        Key(w, w.folderCombo(), Qt::Key_Return);
        EXPECT_TRUE(w.isVisible());
    });
    EXPECT_EQ(result, kStillOpen);
}

} // namespace
