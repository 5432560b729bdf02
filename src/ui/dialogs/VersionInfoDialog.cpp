#include "VersionInfoDialog.h"

#include "ui/toolkit/KeyboardState.h"

#include "account/LoginManager.h"
#include "app/System.h"
#include "core/AppState.h"
#include "core/BizException.h"
#include "core/OsUtils.h"
#include "core/Paths.h"
#include "store/Convert.h"

#include <QApplication>
#include <QDialogButtonBox>
#include <QDir>
#include <QGridLayout>
#include <QLabel>
#include <QLoggingCategory>
#include <QPlainTextEdit>
#include <QPushButton>

Q_LOGGING_CATEGORY(lcVersionDialog, "velquor.ui.version")

namespace {

QLabel *Static(QWidget *parent, int id, const QString &text = {})
{
    auto *label = new QLabel(text, parent);
    if (id > 0)
        label->setObjectName(QString::number(id));
    label->setAccessibleName(text);
    return label;
}

const CUserRecord *SignedInUser(CMainSystem *main)
{
    CLoginManager *login = main ? main->loginManager() : nullptr;
    return login && login->IsOnline() ? login->currentUser() : nullptr;
}

} // namespace

CVersionInfoDialog::CVersionInfoDialog(CMainSystem *mainSystem, QWidget *parent)
    : CBizDialog(CommandId, parent)
    , m_main(mainSystem)
{
    auto *grid = new QGridLayout(this);
    grid->addWidget(CreateIconStatic(), 0, 0, 3, 1, Qt::AlignTop);

    auto *product = Static(this, 21270, QStringLiteral("VELQUOR"));
    QFont titleFont = product->font();
    titleFont.setBold(true);
    titleFont.setPointSizeF(titleFont.pointSizeF() + 7);
    product->setFont(titleFont);
    grid->addWidget(product, 0, 1, 1, 2);

    grid->addWidget(Static(this, 21271, QStringLiteral("バージョン:")), 1, 1);
    auto *version = Static(this, 21272, ProgramVersionText());
    version->setTextInteractionFlags(Qt::TextSelectableByMouse);
    grid->addWidget(version, 1, 2);
    m_remark = Static(this, 21273);
    grid->addWidget(m_remark, 2, 2);

    grid->addWidget(Static(this, 21274, QStringLiteral("© 2024 KDW")), 3, 0, 1, 3);

    auto *environmentLabel = Static(this, 0, QStringLiteral("実行環境:"));
    grid->addWidget(environmentLabel, 4, 0);
    grid->addWidget(Static(this, 21259), 4, 1, 1, 2);
    m_environment = new QPlainTextEdit(this);
    m_environment->setObjectName(QStringLiteral("21275"));
    m_environment->setReadOnly(true);
    m_environment->setAccessibleName(QStringLiteral("実行環境"));
    environmentLabel->setBuddy(m_environment);
    grid->addWidget(m_environment, 5, 0, 1, 3);

    auto *footer = new QHBoxLayout;
    m_loginLabel = Static(this, 21276, QStringLiteral("ログイン:"));
    m_loginName = Static(this, 21262);
    footer->addWidget(m_loginLabel);
    footer->addWidget(m_loginName, 1);
    m_ok = new QPushButton(QStringLiteral("OK"), this);
    m_ok->setObjectName(QStringLiteral("1"));
    m_ok->setDefault(true);
    connect(m_ok, &QPushButton::clicked, this, &QDialog::accept);
    footer->addWidget(m_ok);
    grid->addLayout(footer, 6, 0, 1, 3);
    grid->setColumnStretch(2, 1);
    grid->setRowStretch(5, 1);

    // The login line is for support and for users of the office; Shift+Ctrl at the
    // construction shows it to anyone.
    const bool showLogin = IsSupportMode() || ShiftAndCtrlHeld();
    m_loginLabel->setVisible(showLogin);
    m_loginName->setVisible(showLogin);

    SetDesignedSize(QSize(210, 155), false);
    LoadControls();
}

CVersionInfoDialog::~CVersionInfoDialog() = default;

QString CVersionInfoDialog::NewestVersionRemark(CMainSystem *mainSystem)
{
    if (!SignedInUser(mainSystem))
        return {};
    try {
        int newer = 0;
        quint32 ms = 0;
        quint32 ls = 0;
        if (!mainSystem->CheckForUpdate(newer, nullptr, nullptr, nullptr, &ms, &ls))
            return {};
        if (newer > 0)
            return QStringLiteral("（最新版:%1 を利用可能です）").arg(FormatVersion(ms, ls));
        return QStringLiteral("（最新版です）");
    } catch (const CBizException &e) {
        // The dialog only informs: a failed check leaves the remark empty.
        qCInfo(lcVersionDialog) << "newest version not known, kind" << e.Kind();
        return {};
    }
}

QString CVersionInfoDialog::EnvironmentText(CMainSystem *mainSystem, bool supportMode)
{
    QString name;
    QString version;
    // Linux has no service packs: the line stays, empty.
    const QString servicePack;
    OsInfoText(&name, &version);
    QString pcName;
    if (const CUserRecord *user = SignedInUser(mainSystem))
        pcName = user->pcName;
    if (pcName.isEmpty())
        ComputerName(pcName);
    QString text
        = QStringLiteral("［OS］%1\r\n［OSバージョン］%2\r\n［サービスパック］%3\r\n［PC名］%4")
              .arg(name, version, servicePack, pcName);
    if (supportMode) {
        text += QStringLiteral("\r\n%1\r\n%2").arg(QDir::currentPath(), DataPath());
        if (SignedInUser(mainSystem))
            text += QStringLiteral("\r\n%1").arg(mainSystem->loginManager()->clientKey());
    }
    return text;
}

void CVersionInfoDialog::ApplyTheme()
{
    // The theme belongs to a signed-in user; before that the platform's look stays.
    if (SignedInUser(m_main))
        CBizDialog::ApplyTheme();
    else
        setPalette(QApplication::palette(this));
}

void CVersionInfoDialog::LoadControls()
{
    if (const CUserRecord *user = SignedInUser(m_main)) {
        m_remark->setText(NewestVersionRemark(m_main));
        m_loginName->setText(user->name);
        if (user->type != 20) {
            m_loginLabel->setVisible(true);
            m_loginName->setVisible(true);
        }
    } else {
        m_remark->clear();
        m_loginName->setText(QStringLiteral("※ログインしていません"));
    }
    m_remark->setAccessibleName(m_remark->text());
    m_loginName->setAccessibleName(m_loginName->text());
}

void CVersionInfoDialog::OnInitDialog()
{
    CBizDialog::OnInitDialog();
    QApplication::setOverrideCursor(Qt::WaitCursor);
    // The box shows CR LF as one line break each.
    m_environment->setPlainText(EnvironmentText(m_main, IsSupportMode())
                                    .replace(QStringLiteral("\r\n"), QStringLiteral("\n")));
    QApplication::restoreOverrideCursor();
    m_ok->setFocus();
}
