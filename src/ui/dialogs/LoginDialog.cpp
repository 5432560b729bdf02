#include "LoginDialog.h"

#include "VersionInfoDialog.h"

#include "ui/toolkit/KeyboardState.h"
#include "ui/toolkit/ModalRun.h"

#include "account/LoginManager.h"
#include "app/SessionUi.h"
#include "app/System.h"
#include "core/AppState.h"
#include "core/ExceptHandler.h"
#include "core/Strings.h"
#include "service/RequestException.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QLoggingCategory>
#include <QMenu>
#include <QProgressBar>
#include <QPushButton>

#include <algorithm>

Q_LOGGING_CATEGORY(lcLoginDialog, "velquor.ui.login")

namespace {

constexpr int kOfficeLabelId = 21258;
constexpr int kOfficeEditId = 21259;
constexpr int kOfficeComboId = 21260;
constexpr int kLoginLabelId = 21261;
constexpr int kLoginEditId = 21262;
constexpr int kPasswordLabelId = 21263;
constexpr int kPasswordEditId = 21264;
constexpr int kSavePasswordId = 21266;

constexpr int kOnlineProgressId = 18192;
constexpr int kOfflineProgressId = 18207;

constexpr int kOfflineTextId = 5123;
constexpr int kShowPasswordTextId = 5124;
constexpr int kTypeOfficeTextId = 5125;
constexpr int kChooseOfficeTextId = 5126;
constexpr int kDeleteOfficeTextId = 5131;

const QSize kDesignedSize(225, 121);

// The accessible name of a control: its label without the accelerator and the colon
// ("ログインID(&L):" → "ログインID").
QString AccessibleNameOf(const QString &labelText)
{
    QString name = labelText;
    const int paren = name.indexOf(QStringLiteral("(&"));
    if (paren >= 0)
        name.truncate(paren);
    name.remove(u'&');
    if (name.endsWith(u':'))
        name.chop(1);
    return name;
}

QLabel *Label(QWidget *parent, int id, const QString &text, QWidget *buddy)
{
    auto *label = new QLabel(text, parent);
    label->setObjectName(QString::number(id));
    label->setBuddy(buddy);
    buddy->setAccessibleName(AccessibleNameOf(text));
    return label;
}

// The fields take whatever is typed or pasted: a value over the field's limit is refused by
// the check of OK (17677) rather than cut short here, which would sign in with another value.
QLineEdit *Edit(QWidget *parent, int id, const QString &cue)
{
    auto *edit = new QLineEdit(parent);
    edit->setObjectName(QString::number(id));
    edit->setPlaceholderText(cue);
    return edit;
}

QAction *AddItem(QMenu &menu, int id, int textId)
{
    QAction *action = menu.addAction(LoadString(textId));
    action->setData(id);
    return action;
}

} // namespace

CLoginDialog::CLoginDialog(CSystemObjects &systems, int mode, QWidget *parent)
    : CBizProgressDialog(CommandId, parent)
    , m_systems(systems)
    , m_login(systems.main()->loginManager())
    , m_flow(systems)
    , m_mode(mode)
    , m_templateId(OfficeTemplateId)
{
    // Without the office ID row only where this installation registered the current saved
    // login; support works with every office.
    const CLoginRecord *current = m_login ? m_login->currentLogin() : nullptr;
    if (m_mode == 0 && !IsSupportMode() && current && !m_login->clientKey().isEmpty())
        m_templateId = NoOfficeTemplateId;

    BuildControls();
    SetBusyDisabledSystemMenuIds({MenuOffline, MenuVersion});
    EnableSystemMenu(true);
    SetDesignedSize(kDesignedSize, false);

    SLoginFields initial;
    if (m_mode != 1 && current)
        initial = CSignInFlow::FieldsOf(*current);
    else if (current)
        initial.savePassword = current->savePassword != 0;
    if (m_officeCombo)
        FillOfficeChoices();
    LoadFields(initial);
    m_fixedOfficeId = initial.officeId;
    if (m_officeCombo) {
        const QList<CLoginRecord *> choices = m_flow.OfficeChoices();
        const int chosen = CSignInFlow::ChoiceOf(choices, initial.officeId);
        m_loading = true;
        m_officeCombo->setCurrentIndex(chosen);
        m_loading = false;
        m_chosenOfficeId = chosen >= 0 ? choices.at(chosen)->customerCode : QString();
    }
    qCInfo(lcLoginDialog) << "mode" << m_mode << "template" << m_templateId;
}

CLoginDialog::~CLoginDialog() = default;

void CLoginDialog::BuildControls()
{
    auto *grid = new QGridLayout(this);
    const QSize margin = DialogUnitsToPixels(font(), QSize(7, 7));
    grid->setContentsMargins(margin.width(), margin.height(), margin.width(), margin.height());

    grid->addWidget(CreateIconStatic(), 0, 0, 3, 1, Qt::AlignTop);

    int row = 0;
    if (m_templateId == OfficeTemplateId) {
        // Edit and combo share one place; the mode decides which one is there.
        m_officeEdit = Edit(this, kOfficeEditId, QStringLiteral("<事業所ID>"));
        m_officeCombo = new QComboBox(this);
        m_officeCombo->setObjectName(QString::number(kOfficeComboId));
        m_officeCombo->setPlaceholderText(QStringLiteral("<事業所ID>"));
        const bool chosen = m_mode == 2;
        QWidget *used = chosen ? static_cast<QWidget *>(m_officeCombo) : m_officeEdit;
        m_officeLabel = Label(this, kOfficeLabelId, QStringLiteral("事業所ID(&K):"), used);
        m_officeCombo->setAccessibleName(AccessibleNameOf(m_officeLabel->text()));
        m_officeEdit->setAccessibleName(AccessibleNameOf(m_officeLabel->text()));
        grid->addWidget(m_officeLabel, row, 1);
        grid->addWidget(m_officeEdit, row, 2);
        grid->addWidget(m_officeCombo, row, 2);
        if (chosen) {
            m_officeEdit->hide();
            m_officeEdit->setEnabled(false);
        } else {
            m_officeCombo->hide();
            m_officeCombo->setEnabled(false);
            m_officeCombo = nullptr;
        }
        ++row;
    }

    m_loginEdit = Edit(this, kLoginEditId, QStringLiteral("<ログインID>"));
    grid->addWidget(Label(this, kLoginLabelId, QStringLiteral("ログインID(&L):"), m_loginEdit), row,
                    1);
    grid->addWidget(m_loginEdit, row++, 2);

    m_passwordEdit = Edit(this, kPasswordEditId, QStringLiteral("<パスワード>"));
    m_passwordEdit->setEchoMode(QLineEdit::Password);
    grid->addWidget(
        Label(this, kPasswordLabelId, QStringLiteral("パスワード(&P):"), m_passwordEdit), row, 1);
    grid->addWidget(m_passwordEdit, row++, 2);

    m_savePassword = new QCheckBox(LoadString(kSavePasswordId), this);
    m_savePassword->setObjectName(QString::number(kSavePasswordId));
    m_savePassword->setAccessibleName(AccessibleNameOf(m_savePassword->text()));
    grid->addWidget(m_savePassword, row++, 2);

    const SProgressControls progress = CreateProgressControls(true);
    grid->addWidget(progress.message, row++, 0, 1, 3);
    auto *busyRow = new QHBoxLayout;
    busyRow->addWidget(progress.bar, 1);
    busyRow->addWidget(progress.cancel);
    grid->addLayout(busyRow, row++, 0, 1, 3);

    auto *footer = new QHBoxLayout;
    footer->addStretch(1);
    m_ok = new QPushButton(QStringLiteral("OK"), this);
    m_ok->setObjectName(QStringLiteral("1"));
    m_ok->setAccessibleName(m_ok->text());
    m_ok->setDefault(true);
    m_cancel = new QPushButton(QStringLiteral("キャンセル"), this);
    m_cancel->setObjectName(QStringLiteral("2"));
    m_cancel->setAccessibleName(m_cancel->text());
    m_cancel->setAutoDefault(false);
    footer->addWidget(m_ok);
    footer->addWidget(m_cancel);
    grid->addLayout(footer, row, 0, 1, 3);
    grid->setColumnStretch(2, 1);

    connect(m_ok, &QPushButton::clicked, this, [this] { OnCommand(CmdOk); });
    connect(m_cancel, &QPushButton::clicked, this, [this] { OnCommand(CmdCancel); });
    for (QLineEdit *edit : {m_officeEdit, m_loginEdit, m_passwordEdit}) {
        if (edit)
            connect(edit, &QLineEdit::textChanged, this, [this] { RequestCommandStates(); });
    }
    connect(m_savePassword, &QCheckBox::toggled, this, [this] { RequestCommandStates(); });
    if (m_officeCombo)
        connect(m_officeCombo, &QComboBox::currentIndexChanged, this,
                [this](int index) { OnOfficeChosen(index); });
}

bool CLoginDialog::ChecksOfficeId() const
{
    // Mode 2 checks the chosen entry too: offline work without one is named, not tried.
    return m_officeEdit != nullptr;
}

SLoginFields CLoginDialog::fields() const
{
    SLoginFields result;
    if (m_officeCombo)
        result.officeId = m_chosenOfficeId;
    else if (m_officeEdit)
        result.officeId = m_officeEdit->text();
    else
        result.officeId = m_fixedOfficeId;
    result.loginId = m_loginEdit->text();
    result.password = m_passwordEdit->text();
    result.savePassword = m_savePassword->isChecked();
    return result;
}

void CLoginDialog::FillOfficeChoices()
{
    // One entry per office name, its name as the data that finds its login again.
    m_loading = true;
    m_officeCombo->clear();
    for (const CLoginRecord *choice : m_flow.OfficeChoices())
        m_officeCombo->addItem(choice->customerLoginDispName, choice->customerLoginDispName);
    m_officeCombo->setCurrentIndex(-1);
    m_loading = false;
}

void CLoginDialog::LoadFields(const SLoginFields &values)
{
    m_loading = true;
    if (m_officeEdit && !m_officeCombo)
        m_officeEdit->setText(values.officeId);
    m_loginEdit->setText(values.loginId);
    m_passwordEdit->setText(values.password);
    m_savePassword->setChecked(values.savePassword);
    m_loading = false;
    RequestCommandStates();
}

int CLoginDialog::ChoiceIndexOf(const QList<CLoginRecord *> &choices, int comboIndex) const
{
    if (!m_officeCombo || comboIndex < 0 || comboIndex >= m_officeCombo->count())
        return -1;
    const QString name = m_officeCombo->itemData(comboIndex).toString();
    for (int i = 0; i < choices.size(); ++i) {
        if (choices.at(i)->customerLoginDispName == name)
            return i;
    }
    return -1;
}

void CLoginDialog::OnOfficeChosen(int index)
{
    if (m_loading)
        return;
    // The saved list may have changed since the combo was filled: the entry is found again.
    const QList<CLoginRecord *> choices = m_flow.OfficeChoices();
    const int choice = ChoiceIndexOf(choices, index);
    if (choice < 0) {
        m_chosenOfficeId.clear();
        RequestCommandStates();
        return;
    }
    const CLoginRecord &login = *choices.at(choice);
    m_chosenOfficeId = login.customerCode;
    LoadFields(CSignInFlow::FieldsOf(login));
}

void CLoginDialog::OnInitDialog()
{
    CBizProgressDialog::OnInitDialog();
    const SLoginFields values = fields();
    QWidget *focus = nullptr;
    if (values.officeId.isEmpty())
        focus = m_officeCombo ? static_cast<QWidget *>(m_officeCombo)
                              : (m_officeEdit ? m_officeEdit : m_loginEdit);
    else if (values.loginId.isEmpty())
        focus = m_loginEdit;
    else if (values.savePassword)
        focus = m_ok;
    else
        focus = m_passwordEdit;
    focus->setFocus(Qt::OtherFocusReason);
}

void CLoginDialog::UpdateCommandStates()
{
    // While busy the progress holds every control.
    if (IsBusy())
        return;
    const SLoginFields values = fields();
    const bool officeGiven = (!m_officeCombo && !m_officeEdit) || !values.officeId.isEmpty();
    m_ok->setEnabled(officeGiven && !values.loginId.isEmpty() && !values.password.isEmpty());
}

QWidget *CLoginDialog::FieldControl(ELoginField field) const
{
    switch (field) {
    case ELoginField::OfficeId:
        return m_officeCombo ? static_cast<QWidget *>(m_officeCombo) : m_officeEdit;
    case ELoginField::LoginId:
        return m_loginEdit;
    case ELoginField::Password:
        return m_passwordEdit;
    case ELoginField::None:
        break;
    }
    return nullptr;
}

void CLoginDialog::PrepareSystemMenu(QMenu &menu)
{
    menu.addSeparator();
    AddItem(menu, MenuOffline, kOfflineTextId);
    if (m_mode == 2) {
        AddItem(menu, MenuDeleteOffice, kDeleteOfficeTextId)
            ->setEnabled(m_officeCombo && m_officeCombo->currentIndex() >= 0);
        AddItem(menu, MenuTypeOffice, kTypeOfficeTextId);
    } else {
        if (m_templateId == NoOfficeTemplateId)
            AddItem(menu, MenuTypeOffice, kTypeOfficeTextId);
        if (m_login && !m_login->savedLogins().IsEmpty())
            AddItem(menu, MenuChooseOffice, kChooseOfficeTextId);
    }
    // The password in clear is for support, and for whoever types it in: a saved password
    // is never revealed to the next person at the desk.
    if (m_passwordShown || IsSupportMode()
        || (ShiftAndCtrlHeld() && !m_savePassword->isChecked())) {
        menu.addSeparator();
        QAction *show = AddItem(menu, MenuShowPassword, kShowPasswordTextId);
        show->setCheckable(true);
        show->setChecked(m_passwordShown);
    }
    menu.addSeparator();
    QAction *version = menu.addAction(SCommandString::FromId(CmdVersion).menuText);
    version->setData(int(MenuVersion));
    CBizProgressDialog::PrepareSystemMenu(menu);
}

void CLoginDialog::OnCommand(int command)
{
    // Nothing starts while a sign-in runs; its progress only lets 中止 through.
    if (IsBusy()) {
        qCDebug(lcLoginDialog) << "command while busy ignored" << command;
        return;
    }
    switch (command) {
    case CmdOk:
        SignIn(false);
        break;
    case CmdCancel:
        reject();
        break;
    case MenuOffline:
    case CmdOffline:
        SignIn(true);
        break;
    case MenuDeleteOffice:
    case CmdDeleteOffice:
        DeleteOffice();
        break;
    case MenuTypeOffice:
    case CmdTypeOffice:
        SwitchMode(CmdTypeOffice);
        break;
    case MenuChooseOffice:
    case CmdChooseOffice:
        SwitchMode(CmdChooseOffice);
        break;
    case MenuShowPassword:
    case CmdShowPassword:
        TogglePassword();
        break;
    case MenuVersion:
    case CmdVersion:
        ShowVersion();
        break;
    default:
        CBizProgressDialog::OnCommand(command);
        break;
    }
}

void CLoginDialog::reject()
{
    if (IsBusy())
        return;
    done(LoginResult::Cancelled);
}

void CLoginDialog::SwitchMode(int result)
{
    qCInfo(lcLoginDialog) << "show again for" << result;
    done(result);
}

void CLoginDialog::SignIn(bool offline)
{
    m_offline = offline;
    const SLoginFields values = fields();
    const ELoginField failing = m_flow.Validate(values, ChecksOfficeId());
    if (failing != ELoginField::None) {
        if (QWidget *control = FieldControl(failing))
            control->setFocus(Qt::OtherFocusReason);
        return;
    }

    BeginProgress(offline ? kOfflineProgressId : kOnlineProgressId);
    int result = 0;
    // The flow shows its own failures; anything that still escapes it ends here, so the
    // dialog stays usable.
    CExceptHandler handler;
    try {
        result = offline ? m_flow.StartOfflineWork(values, progressHandler())
                         : m_flow.SignInOnline(values, progressHandler());
    } catch (const CBizException &e) {
        handler.Set(e);
    }
    EndProgress(result == 0);
    if (handler.HasException()) {
        handler.ShowError();
        result = 0;
    }
    qCInfo(lcLoginDialog) << (offline ? "offline start" : "sign-in") << "answered" << result;
    if (result != 0)
        done(result);
    else
        RequestCommandStates();
}

void CLoginDialog::DeleteOffice()
{
    if (!m_officeCombo)
        return;
    const int index = m_officeCombo->currentIndex();
    QList<CLoginRecord *> choices = m_flow.OfficeChoices();
    const int choice = ChoiceIndexOf(choices, index);
    if (choice < 0 || !m_flow.DeleteOffice(*choices.at(choice)))
        return;

    // The saved logins decide what is left: the combo is filled from them again.
    FillOfficeChoices();
    const int left = m_officeCombo->count();
    if (left == 0) {
        qCInfo(lcLoginDialog) << "the last saved office was deleted";
        done(ResultNoOfficeLeft);
        return;
    }
    const int next = std::min(index, left - 1);
    m_loading = true;
    m_officeCombo->setCurrentIndex(next);
    m_loading = false;
    OnOfficeChosen(next);
}

void CLoginDialog::TogglePassword()
{
    m_passwordShown = !m_passwordShown;
    m_passwordEdit->setEchoMode(m_passwordShown ? QLineEdit::Normal : QLineEdit::Password);
    m_passwordEdit->update();
}

void CLoginDialog::ShowVersion()
{
    CVersionInfoDialog dialog(m_systems.main(), this);
    RunModal(dialog);
}
