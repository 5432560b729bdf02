// The completion dialogs (texts, ids, default button, their "open" actions) and the file
// and folder pickers (the filter strings, Qt's dialog as it opens, the test hooks).
#include "ui/toolkit/CompleteDialogs.h"
#include "ui/toolkit/ModalRun.h"
#include "ui/toolkit/Pickers.h"

#include "core/Strings.h"
#include "support/Files.h"
#include "support/TempInstallation.h"

#include <QDir>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include <functional>
#include <memory>
#include <unistd.h>
#include <vector>

#include <gtest/gtest.h>

namespace {

struct SOpened
{
    EOpenAction action;
    QString path;
    bool operator==(const SOpened &) const = default;
};

// Replaces the opener, the modal driver and the pickers' hooks for one test.
class HooksTest : public InstallationTest<>
{
protected:
    void SetUp() override
    {
        InstallationTest::SetUp();
        m_oldOpener = SetItemOpener([this](EOpenAction action, const QString &path) {
            opened.push_back({action, path});
            return true;
        });
        m_oldDriver = SetModalDriver({});
        m_oldFileHook = CBizFileDialog::SetHook({});
        m_oldFolderHook = CBizFolderDialog::SetHook({});
    }
    void TearDown() override
    {
        SetItemOpener(m_oldOpener);
        SetModalDriver(m_oldDriver);
        CBizFileDialog::SetHook(m_oldFileHook);
        CBizFolderDialog::SetHook(m_oldFolderHook);
    }

    std::vector<SOpened> opened;

private:
    ItemOpener m_oldOpener;
    ModalDriver m_oldDriver;
    CBizFileDialog::Hook m_oldFileHook;
    CBizFolderDialog::Hook m_oldFolderHook;
};

struct SButton
{
    int id;
    QString text;
    QString accessibleName;
};

struct SCompleteCase
{
    const char *name;
    std::function<std::unique_ptr<CBizDialog>()> make;
    QString title;
    QString message;
    int editId;
    QString editText;
    QString label;
    std::vector<SButton> buttons;
    int focusId; // 0: not fixed
    int pressId;
    std::vector<SOpened> expected;
};

const QString kElevated = QStringLiteral("（管理者として実行）");
const QString kFile = QStringLiteral("/tmp/受取/見積書.xlsx");
const QString kFolder = QStringLiteral("/tmp/受取");

const SButton kOpenFolderButton{20744, QStringLiteral("フォルダを開く(&F)"),
                                QStringLiteral("フォルダを開く(F)")};
const SButton kOpenFileButton{20745, QStringLiteral("開く(&O)"), QStringLiteral("開く(O)")};
const SButton kOpenDownloadButton{20744, QStringLiteral("開く(&O)"), QStringLiteral("開く(O)")};
const SButton kCloseButton{1, QStringLiteral("閉じる"), QStringLiteral("閉じる")};

std::vector<SCompleteCase> CompleteCases()
{
    const auto fileDialog = [](QString message, int command) {
        return [=] { return std::make_unique<CBizFileCompleteDialog>(kFile, message, command); };
    };
    const auto downloadDialog = [](QString file, QString message) {
        return [=] { return std::make_unique<CBizDownloadCompleteDialog>(kFolder, file, message); };
    };
    const QString fileDone = QStringLiteral("ファイル処理が完了しました。");
    const QString downloadDone = QStringLiteral("ダウンロードが完了しました。");
    const QString fileLabel = QStringLiteral("ファイルの場所:");
    const QString folderLabel = QStringLiteral("ダウンロード先:");
    const std::vector<SButton> fileButtons{kOpenFolderButton, kOpenFileButton, kCloseButton};
    const std::vector<SButton> downloadButtons{kOpenDownloadButton, kCloseButton};
    return {
        {"FileShowInFolder",
         fileDialog({}, 4609),
         QStringLiteral("VELQUOR - ファイル操作の完了"),
         fileDone,
         20743,
         kFile,
         fileLabel,
         fileButtons,
         0,
         20744,
         {{EOpenAction::SelectInFolder, kFile}}},
        {"FileOpen",
         fileDialog(LoadString(18215), 4609),
         QStringLiteral("VELQUOR - ファイル操作の完了"),
         LoadString(18215),
         20743,
         kFile,
         fileLabel,
         fileButtons,
         0,
         20745,
         {{EOpenAction::OpenFile, kFile}}},
        {"ErrorLogClose",
         fileDialog({}, 4610),
         QStringLiteral("VELQUOR - エラーログのダウンロード"),
         fileDone,
         20743,
         kFile,
         fileLabel,
         fileButtons,
         0,
         1,
         {}},
        {"DownloadedFileShown",
         downloadDialog(QStringLiteral("見積書.xlsx"), {}),
         QStringLiteral("VELQUOR - ダウンロード操作の完了"),
         downloadDone,
         20746,
         kFolder,
         folderLabel,
         downloadButtons,
         1,
         20744,
         {{EOpenAction::SelectInFolder, kFile}}},
        {"DownloadedFolderOpened",
         downloadDialog({}, LoadString(18221)),
         QStringLiteral("VELQUOR - ダウンロード操作の完了"),
         LoadString(18221),
         20746,
         kFolder,
         folderLabel,
         downloadButtons,
         1,
         20744,
         {{EOpenAction::OpenFolder, kFolder}}},
        {"DownloadClose",
         downloadDialog(kFile, {}),
         QStringLiteral("VELQUOR - ダウンロード操作の完了"),
         downloadDone,
         20746,
         kFolder,
         folderLabel,
         downloadButtons,
         1,
         1,
         {}},
    };
}

class CompleteDialogTest : public HooksTest, public ::testing::WithParamInterface<SCompleteCase>
{};

TEST_P(CompleteDialogTest, ShowsItsTextsAndOpensThroughTheOpener)
{
    const SCompleteCase &c = GetParam();
    const std::unique_ptr<CBizDialog> dialog = c.make();
    bool driven = false;
    SetModalDriver([&](QDialog &shown) {
        driven = true;
        EXPECT_EQ(&shown, dialog.get());
        EXPECT_EQ(shown.windowTitle(), c.title + (::geteuid() == 0 ? kElevated : QString()));
        auto *message = dialog->controlAs<QLabel>(20742);
        ASSERT_NE(message, nullptr);
        EXPECT_EQ(message->text(), c.message);
        auto *edit = dialog->controlAs<QLineEdit>(c.editId);
        ASSERT_NE(edit, nullptr);
        EXPECT_TRUE(edit->isReadOnly());
        EXPECT_EQ(edit->text(), c.editText);
        EXPECT_EQ(edit->accessibleName(), c.label);
        const QList<QLabel *> labels = dialog->findChildren<QLabel *>();
        const bool labelled = std::any_of(labels.begin(), labels.end(), [&](QLabel *l) {
            return l->buddy() == edit && l->text() == c.label;
        });
        EXPECT_TRUE(labelled);
        const QList<QPushButton *> all = dialog->findChildren<QPushButton *>();
        EXPECT_EQ(std::size_t(all.size()), c.buttons.size());
        for (const SButton &expected : c.buttons) {
            auto *button = dialog->controlAs<QPushButton>(expected.id);
            ASSERT_NE(button, nullptr) << expected.id;
            EXPECT_EQ(button->text(), expected.text);
            EXPECT_EQ(button->accessibleName(), expected.accessibleName);
            // Enter closes; it never opens anything.
            EXPECT_EQ(button->isDefault(), expected.id == 1) << expected.id;
        }
        if (c.focusId) {
            EXPECT_EQ(dialog->focusWidget(), dialog->control(c.focusId));
        }
        QTest::mouseClick(dialog->controlAs<QPushButton>(c.pressId), Qt::LeftButton);
    });

    EXPECT_EQ(dialog->RunModalDialog(), c.pressId);
    EXPECT_TRUE(driven);
    EXPECT_FALSE(dialog->isVisible());
    EXPECT_EQ(opened, c.expected);
}

INSTANTIATE_TEST_SUITE_P(Dialogs, CompleteDialogTest, ::testing::ValuesIn(CompleteCases()),
                         [](const auto &info) { return std::string(info.param.name); });

TEST_F(HooksTest, EnterInACompletionDialogClosesWithoutOpening)
{
    CBizDownloadCompleteDialog dialog(kFolder, kFile);
    SetModalDriver([&](QDialog &shown) { QTest::keyClick(&shown, Qt::Key_Return); });
    EXPECT_EQ(dialog.RunModalDialog(), 1);
    EXPECT_TRUE(opened.empty());
}

struct SFilterCase
{
    const char *name;
    QString filter;
    QString expected;
    QStringList qtFilters;
};

class FilterStringTest : public ::testing::TestWithParam<SFilterCase>
{};

TEST_P(FilterStringTest, BuiltExactlyAndTurnedIntoQtFilters)
{
    const SFilterCase &c = GetParam();
    EXPECT_EQ(c.filter, c.expected);
    EXPECT_EQ(QtNameFilters(c.filter), c.qtFilters);
    // The string is the entries and nothing else.
    EXPECT_EQ(BuildFilterString(ParseFilterString(c.filter)), c.filter);
    EXPECT_EQ(ParseFilterString(c.filter).size(), c.qtFilters.size());
}

INSTANTIATE_TEST_SUITE_P(
    Filters, FilterStringTest,
    ::testing::Values(
        SFilterCase{"SupportedTypes",
                    SupportedTypesFilterString({{QStringLiteral("表計算"), QStringLiteral(".xlsx")},
                                                {QStringLiteral("文書"), QStringLiteral(".docx")},
                                                {QStringLiteral("PDF"), QStringLiteral(".pdf")}}),
                    QStringLiteral("全ての対応形式(*.xlsx;*.docx;*.pdf)|*.xlsx;*.docx;*.pdf|"
                                   "表計算(*.xlsx)|*.xlsx|文書(*.docx)|*.docx|PDF(*.pdf)|*.pdf||"),
                    {QStringLiteral("全ての対応形式(*.xlsx;*.docx;*.pdf) (*.xlsx *.docx *.pdf)"),
                     QStringLiteral("表計算(*.xlsx) (*.xlsx)"),
                     QStringLiteral("文書(*.docx) (*.docx)"),
                     QStringLiteral("PDF(*.pdf) (*.pdf)")}},
        SFilterCase{
            "SaveType",
            SaveTypeFilterString(QStringLiteral("表計算"), QStringLiteral(".xls")),
            QStringLiteral("表計算(*.xls)|*.xls|全てのﾌｧｲﾙ(*.*)|*.*||"),
            {QStringLiteral("表計算(*.xls) (*.xls)"), QStringLiteral("全てのﾌｧｲﾙ(*.*) (*)")}},
        SFilterCase{"Generic",
                    BuildFilterString({{QStringLiteral("CSV"), QStringLiteral("*.csv; *.txt")}}),
                    QStringLiteral("CSV|*.csv; *.txt||"),
                    {QStringLiteral("CSV (*.csv *.txt)")}}),
    [](const auto &info) { return std::string(info.param.name); });

class PickerTest : public HooksTest
{
protected:
    void SetUp() override
    {
        HooksTest::SetUp();
        ASSERT_TRUE(QDir().mkpath(folder() + QStringLiteral("/sub")));
        WriteFile(folder() + QStringLiteral("/a.xlsx"), "a");
        WriteFile(folder() + QStringLiteral("/b.txt"), "b");
    }
    QString folder() const { return installation.path(QStringLiteral("picks")); }
};

TEST_F(PickerTest, FileDialogOpensAsAskedAndAnswersTheChoice)
{
    const QString filter
        = SupportedTypesFilterString({{QStringLiteral("表計算"), QStringLiteral(".xlsx")},
                                      {QStringLiteral("文書"), QStringLiteral(".docx")}});
    for (const bool accept : {true, false}) {
        SCOPED_TRACE(accept);
        CBizFileDialog picker(CBizFileDialog::Mode::OpenMultiple);
        picker.SetTitle(QStringLiteral("VELQUOR - ファイルの追加"));
        picker.SetFolder(folder());
        picker.SetFilter(filter, 1);
        SetModalDriver([&](QDialog &shown) {
            auto *dialog = qobject_cast<QFileDialog *>(&shown);
            ASSERT_NE(dialog, nullptr);
            EXPECT_TRUE(dialog->testOption(QFileDialog::DontUseNativeDialog));
            EXPECT_EQ(dialog->windowTitle(), QStringLiteral("VELQUOR - ファイルの追加"));
            EXPECT_EQ(dialog->fileMode(), QFileDialog::ExistingFiles);
            EXPECT_EQ(dialog->acceptMode(), QFileDialog::AcceptOpen);
            EXPECT_EQ(QDir(dialog->directory()).canonicalPath(), QDir(folder()).canonicalPath());
            EXPECT_EQ(dialog->nameFilters(), QtNameFilters(filter));
            // The user sees the labels exactly, without Qt's pattern details.
            EXPECT_EQ(dialog->selectedNameFilter(), ParseFilterString(filter).value(1).label);
            if (!accept) {
                dialog->reject();
                return;
            }
            dialog->selectNameFilter(QtNameFilters(filter).value(2));
            dialog->selectFile(folder() + QStringLiteral("/a.xlsx"));
            shown.accept(); // QFileDialog's own accept, which checks the choice
        });
        EXPECT_EQ(picker.Run(), accept);
        EXPECT_EQ(picker.selectedFilter(), accept ? 2 : 1);
        EXPECT_EQ(picker.selectedFiles(),
                  accept ? QStringList{folder() + QStringLiteral("/a.xlsx")} : QStringList{});
    }
}

TEST_F(PickerTest, SaveDialogStartsWithTheDefaultName)
{
    CBizFileDialog picker(CBizFileDialog::Mode::Save);
    picker.SetFolder(folder());
    picker.SetDefaultName(QStringLiteral("見積書.xlsx"));
    picker.SetFilter(SaveTypeFilterString(QStringLiteral("表計算"), QStringLiteral(".xlsx")));
    const QString expected = folder() + QStringLiteral("/見積書.xlsx");
    SetModalDriver([&](QDialog &shown) {
        auto *dialog = qobject_cast<QFileDialog *>(&shown);
        ASSERT_NE(dialog, nullptr);
        EXPECT_EQ(dialog->acceptMode(), QFileDialog::AcceptSave);
        EXPECT_EQ(dialog->selectedFiles(), QStringList{expected});
        shown.accept(); // QFileDialog's own accept, which checks the choice
    });
    EXPECT_TRUE(picker.Run());
    EXPECT_EQ(picker.selectedFile(), expected);
}

TEST_F(PickerTest, FolderDialogOpensWithTheInitialFolderSelected)
{
    CBizFolderDialog picker;
    EXPECT_EQ(picker.prompt(), LoadString(17679));
    const QString initial = folder() + QStringLiteral("/sub");
    picker.SetFolder(initial);
    SetModalDriver([&](QDialog &shown) {
        auto *dialog = qobject_cast<QFileDialog *>(&shown);
        ASSERT_NE(dialog, nullptr);
        EXPECT_TRUE(dialog->testOption(QFileDialog::DontUseNativeDialog));
        EXPECT_EQ(dialog->windowTitle(), QStringLiteral("フォルダを選択してください。"));
        EXPECT_EQ(dialog->fileMode(), QFileDialog::Directory);
        EXPECT_EQ(dialog->selectedFiles(), QStringList{initial});
        shown.accept(); // QFileDialog's own accept, which checks the choice
    });
    EXPECT_TRUE(picker.Run());
    EXPECT_EQ(picker.selectedFolder(), initial);
}

TEST_F(PickerTest, HooksAnswerInsteadOfTheDialogs)
{
    int shown = 0;
    SetModalDriver([&](QDialog &) { ++shown; });
    QString askedFilter;
    CBizFileDialog::SetHook([&](const CBizFileDialog &request) {
        askedFilter = request.filter();
        return request.mode() == CBizFileDialog::Mode::Save
                   ? QStringList{request.folder() + u'/' + request.defaultName()}
                   : QStringList{};
    });
    CBizFileDialog save(CBizFileDialog::Mode::Save);
    save.SetFolder(folder());
    save.SetDefaultName(QStringLiteral("x.pdf"));
    save.SetFilter(SaveTypeFilterString(QStringLiteral("PDF"), QStringLiteral(".pdf")));
    EXPECT_TRUE(save.Run());
    EXPECT_EQ(save.selectedFile(), folder() + QStringLiteral("/x.pdf"));
    EXPECT_EQ(askedFilter, save.filter());
    CBizFileDialog open(CBizFileDialog::Mode::Open);
    EXPECT_FALSE(open.Run());
    EXPECT_TRUE(open.selectedFiles().isEmpty());

    CBizFolderDialog::SetHook([&](const CBizFolderDialog &request) {
        return request.prompt() == QStringLiteral("ダウンロード先のフォルダを選択してください")
                   ? request.folder()
                   : QString();
    });
    CBizFolderDialog folderPicker;
    folderPicker.SetPrompt(QStringLiteral("ダウンロード先のフォルダを選択してください"));
    folderPicker.SetFolder(folder());
    EXPECT_TRUE(folderPicker.Run());
    EXPECT_EQ(folderPicker.selectedFolder(), folder());
    CBizFolderDialog other;
    EXPECT_FALSE(other.Run());
    EXPECT_EQ(shown, 0);
}

} // namespace
