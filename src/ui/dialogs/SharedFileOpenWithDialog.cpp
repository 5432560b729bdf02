#include "SharedFileOpenWithDialog.h"

#include "ui/toolkit/ImageList.h"

#include <QClipboard>
#include <QGridLayout>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>

namespace {

QLineEdit *ReadOnlyField(QWidget *parent, int id, const QString &text, const QString &name)
{
    auto *edit = new QLineEdit(text, parent);
    edit->setObjectName(QString::number(id));
    edit->setReadOnly(true);
    edit->setAccessibleName(name);
    return edit;
}

QLabel *Label(QWidget *parent, const QString &text, QWidget *buddy)
{
    auto *label = new QLabel(text, parent);
    label->setBuddy(buddy);
    return label;
}

} // namespace

CSharedFileOpenWithDialog::CSharedFileOpenWithDialog(EStep step, const QString &folderPath,
                                                     const QString &fileName,
                                                     const QList<SAppChoice> &choices,
                                                     int preselected, QWidget *parent)
    : CBizDialog(step == EStep::Choose ? ChooseCommand : SendAfterCommand, parent)
    , m_step(step)
    , m_choices(choices)
{
    const bool choose = step == EStep::Choose;
    auto *grid = new QGridLayout(this);
    m_folder = ReadOnlyField(this, FolderId, folderPath, QStringLiteral("フォルダ名"));
    grid->addWidget(Label(this, QStringLiteral("フォルダ名:"), m_folder), 0, 0);
    grid->addWidget(m_folder, 0, 1);
    auto *file = ReadOnlyField(this, FileId, fileName, QStringLiteral("ファイル名"));
    grid->addWidget(Label(this, QStringLiteral("ファイル名:"), file), 1, 0);
    grid->addWidget(file, 1, 1);
    auto *copy = new QPushButton(QStringLiteral("↑フォルダ名をコピー(&C)"), this);
    copy->setObjectName(QString::number(CopyFolderId));
    copy->setAccessibleName(QStringLiteral("↑フォルダ名をコピー"));
    copy->setAutoDefault(false);
    connect(copy, &QPushButton::clicked, this, [this] { OnCommand(CopyFolderId); });
    grid->addWidget(copy, 2, 1, Qt::AlignLeft);

    m_programs = new QListWidget(this);
    m_programs->setObjectName(QString::number(ProgramsId));
    m_programs->setAccessibleName(QStringLiteral("プログラム"));
    for (const SAppChoice &choice : m_choices) {
        auto *item = new QListWidgetItem(
            CBizImageList::Instance().FileTypeIcon(choice.extension),
            choice.appName.isEmpty() ? choice.desktopId : choice.appName, m_programs);
        item->setToolTip(choice.appPath);
    }
    if (preselected >= 0 && preselected < m_programs->count())
        m_programs->setCurrentRow(preselected);
    // After the start the program is shown, not chosen again.
    m_programs->setEnabled(choose);
    grid->addWidget(Label(this, QStringLiteral("プログラム:"), m_programs), 3, 0, Qt::AlignTop);
    grid->addWidget(m_programs, 3, 1);
    connect(m_programs, &QListWidget::currentRowChanged, this, [this] { RequestCommandStates(); });
    connect(m_programs, &QListWidget::itemDoubleClicked, this, [this] { OnCommand(OkId); });

    auto *hint
        = new QLabel(choose ? QStringLiteral("\nプログラムを選択し、［開く］を押してください。")
                            : QStringLiteral("\n開いたプログラムを終了し、［送信］してください。"),
                     this);
    hint->setObjectName(QString::number(HintId));
    hint->setWordWrap(true);
    grid->addWidget(hint, 4, 0, 1, 2);

    auto *buttons = new QHBoxLayout;
    buttons->addStretch(1);
    m_ok = new QPushButton(choose ? QStringLiteral("開く(&R)") : QStringLiteral("送信(&C)"), this);
    m_ok->setObjectName(QString::number(OkId));
    m_ok->setAccessibleName(choose ? QStringLiteral("開く") : QStringLiteral("送信"));
    m_ok->setDefault(true);
    connect(m_ok, &QPushButton::clicked, this, [this] { OnCommand(OkId); });
    auto *cancel
        = new QPushButton(choose ? QStringLiteral("キャンセル") : QStringLiteral("閉じる"), this);
    cancel->setObjectName(QString::number(CancelId));
    cancel->setAccessibleName(cancel->text());
    cancel->setAutoDefault(false);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    buttons->addWidget(m_ok);
    buttons->addWidget(cancel);
    grid->addLayout(buttons, 5, 0, 1, 2);
    grid->setColumnStretch(1, 1);
    grid->setRowStretch(3, 1);

    SetDesignedSize(QSize(250, 170), false);
    (choose ? static_cast<QWidget *>(m_programs) : m_ok)->setFocus();
    RequestCommandStates();
}

CSharedFileOpenWithDialog::~CSharedFileOpenWithDialog() = default;

void CSharedFileOpenWithDialog::UpdateCommandStates()
{
    m_ok->setEnabled(m_step == EStep::SendAfter || m_programs->currentRow() >= 0);
}

void CSharedFileOpenWithDialog::OnCommand(int command)
{
    switch (command) {
    case CopyFolderId:
        QGuiApplication::clipboard()->setText(m_folder->text());
        return;
    case OkId:
        if (m_step == EStep::Choose) {
            m_chosen = m_programs->currentRow();
            if (m_chosen >= 0)
                accept();
            return;
        }
        if (!m_send || m_send())
            accept();
        return;
    default:
        CBizDialog::OnCommand(command);
    }
}
