#include "CompleteDialogs.h"

#include "core/OsUtils.h"
#include "core/Strings.h"
#include "files/AppLauncher.h"

#include <QDir>
#include <QFileInfo>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QLoggingCategory>
#include <QPushButton>
#include <QVBoxLayout>

#include <utility>

Q_LOGGING_CATEGORY(lcComplete, "velquor.ui.complete")

namespace {

constexpr int kFileTemplateTitleId = 20993;
constexpr int kDownloadTemplateTitleId = 20994;
const QString kFileDoneText = QStringLiteral("ファイル処理が完了しました。");
const QString kDownloadDoneText = QStringLiteral("ダウンロードが完了しました。");
const QString kFileLocationLabel = QStringLiteral("ファイルの場所:");
const QString kDestinationLabel = QStringLiteral("ダウンロード先:");
const QString kOpenFolderText = QStringLiteral("フォルダを開く(&F)");
const QString kOpenText = QStringLiteral("開く(&O)");
const QString kCloseText = QStringLiteral("閉じる");

ItemOpener g_opener;

bool OpenWithDesktop(EOpenAction action, const QString &path)
{
    switch (action) {
    case EOpenAction::SelectInFolder:
        return ShowInExplorer(path, false);
    case EOpenAction::OpenFolder:
        return ShowInExplorer(path, true);
    case EOpenAction::OpenFile:
        return LaunchFile(path) >= LaunchCode::Started;
    }
    return false;
}

// The accessible name of a text with an accelerator: the text without the marker.
QString WithoutAccelerator(QString text)
{
    return text.remove(u'&');
}

QPushButton *MakeButton(QWidget *parent, const QString &text, int id)
{
    auto *button = new QPushButton(text, parent);
    button->setObjectName(QString::number(id));
    button->setAccessibleName(WithoutAccelerator(text));
    return button;
}

// The common body of both dialogs: message, labelled read-only path, the button row.
QLineEdit *BuildBody(CBizDialog *dialog, int messageId, const QString &message, int editId,
                     const QString &label, const QString &path, const QList<QPushButton *> &buttons)
{
    auto *layout = new QVBoxLayout(dialog);
    layout->setSizeConstraint(QLayout::SetFixedSize);
    auto *text = new QLabel(message, dialog);
    text->setObjectName(QString::number(messageId));
    text->setWordWrap(true);
    layout->addWidget(text);
    auto *caption = new QLabel(label, dialog);
    layout->addWidget(caption);
    auto *edit = new QLineEdit(QDir::toNativeSeparators(path), dialog);
    edit->setObjectName(QString::number(editId));
    edit->setReadOnly(true);
    edit->setAccessibleName(WithoutAccelerator(label));
    edit->setMinimumWidth(CBizDialog::DialogUnitsToPixels(dialog->font(), QSize(220, 0)).width());
    edit->setCursorPosition(0);
    caption->setBuddy(edit);
    layout->addWidget(edit);
    auto *row = new QHBoxLayout;
    row->addStretch(1);
    for (QPushButton *button : buttons)
        row->addWidget(button);
    layout->addLayout(row);
    return edit;
}

} // namespace

ItemOpener SetItemOpener(ItemOpener opener)
{
    return std::exchange(g_opener, std::move(opener));
}

bool OpenItem(EOpenAction action, const QString &path)
{
    const bool opened = g_opener ? g_opener(action, path) : OpenWithDesktop(action, path);
    if (!opened)
        qCWarning(lcComplete) << "could not open" << int(action) << path;
    return opened;
}

CBizFileCompleteDialog::CBizFileCompleteDialog(const QString &filePath, const QString &message,
                                               int commandStringId, QWidget *parent)
    : CBizDialog(commandStringId, parent)
    , m_filePath(filePath)
{
    setWindowTitle(LoadString(kFileTemplateTitleId));
    QPushButton *openFolder = MakeButton(this, kOpenFolderText, OpenFolderId);
    QPushButton *openFile = MakeButton(this, kOpenText, OpenFileId);
    QPushButton *close = MakeButton(this, kCloseText, CloseId);
    BuildBody(this, MessageId, message.isEmpty() ? kFileDoneText : message, PathId,
              kFileLocationLabel, filePath, {openFolder, openFile, close});
    for (QPushButton *button : {openFolder, openFile})
        button->setAutoDefault(false);
    close->setDefault(true);
    connect(openFolder, &QPushButton::clicked, this, [this] { OnCommand(OpenFolderId); });
    connect(openFile, &QPushButton::clicked, this, [this] { OnCommand(OpenFileId); });
    connect(close, &QPushButton::clicked, this, [this] { OnCommand(CloseId); });
}

void CBizFileCompleteDialog::OnCommand(int command)
{
    switch (command) {
    case OpenFolderId:
        OpenItem(EOpenAction::SelectInFolder, m_filePath);
        done(command);
        return;
    case OpenFileId:
        OpenItem(EOpenAction::OpenFile, m_filePath);
        done(command);
        return;
    case CloseId:
        done(command);
        return;
    default:
        CBizDialog::OnCommand(command);
    }
}

CBizDownloadCompleteDialog::CBizDownloadCompleteDialog(const QString &folder, const QString &file,
                                                       const QString &message, QWidget *parent)
    : CBizDialog(CommandId, parent)
    , m_folder(folder)
    , m_file(file.isEmpty() || QFileInfo(file).isAbsolute() ? file : QDir(folder).filePath(file))
{
    setWindowTitle(LoadString(kDownloadTemplateTitleId));
    QPushButton *open = MakeButton(this, kOpenText, OpenId);
    QPushButton *close = MakeButton(this, kCloseText, CloseId);
    BuildBody(this, MessageId, message.isEmpty() ? kDownloadDoneText : message, FolderId,
              kDestinationLabel, folder, {open, close});
    open->setAutoDefault(false);
    close->setDefault(true);
    connect(open, &QPushButton::clicked, this, [this] { OnCommand(OpenId); });
    connect(close, &QPushButton::clicked, this, [this] { OnCommand(CloseId); });
}

void CBizDownloadCompleteDialog::OnInitDialog()
{
    CBizDialog::OnInitDialog();
    if (QWidget *close = control(CloseId))
        close->setFocus();
}

void CBizDownloadCompleteDialog::OnCommand(int command)
{
    switch (command) {
    case OpenId:
        if (m_file.isEmpty())
            OpenItem(EOpenAction::OpenFolder, m_folder);
        else
            OpenItem(EOpenAction::SelectInFolder, m_file);
        done(command);
        return;
    case CloseId:
        done(command);
        return;
    default:
        CBizDialog::OnCommand(command);
    }
}
