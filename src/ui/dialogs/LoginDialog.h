#pragma once

#include "ui/toolkit/BizProgressDialog.h"

#include "app/SignInFlow.h"

#include <QString>

class CLoginManager;
class CSystemObjects;
class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;

// "ログイン": asks for the office ID, the login ID and the password, and signs in online
// (result 1) or opens the cache for offline work (21265). The office ID is typed in, chosen
// from the saved logins (mode 2) or left out when this installation holds a client key for
// the current saved login (mode 0, template 21761). The system menu switches between the
// modes (21267, 21268), deletes a saved office (21269 when none is left), shows the password
// and opens the version dialog. Cancel and Esc answer 2.
//
// The checks and the sign-in are the flow's (CSignInFlow); the dialog only fills the
// fields, puts the focus on a failing one and shows the progress.
class CLoginDialog : public CBizProgressDialog
{
    Q_OBJECT

public:
    static constexpr int CommandId = 5121;
    static constexpr int OfficeTemplateId = 21760;   // with the office ID row
    static constexpr int NoOfficeTemplateId = 21761; // login ID and password only

    // The system-menu ids (QAction::data) and the commands they run.
    enum MenuId {
        MenuOffline = 128,
        MenuDeleteOffice = 1024,
        MenuTypeOffice = 256,
        MenuChooseOffice = 512,
        MenuShowPassword = 192,
        MenuVersion = 16,
    };
    enum Command {
        CmdOk = 1,
        CmdCancel = 2,
        CmdShowPassword = 5124,
        CmdVersion = 5122,
        CmdDeleteOffice = 21254,
        CmdOffline = 21265,
        CmdTypeOffice = 21267,
        CmdChooseOffice = 21268,
    };
    static constexpr int ResultNoOfficeLeft = 21269;

    CLoginDialog(CSystemObjects &systems, int mode, QWidget *parent = nullptr);
    ~CLoginDialog() override;

    int mode() const { return m_mode; }
    int templateId() const { return m_templateId; }
    // What the controls hold now (in mode 2 the office ID of the chosen entry).
    SLoginFields fields() const;
    bool isPasswordShown() const { return m_passwordShown; }

    void OnCommand(int command) override;
    void UpdateCommandStates() override;
    void PrepareSystemMenu(QMenu &menu) override;
    void reject() override;

protected:
    void OnInitDialog() override;

private:
    void BuildControls();
    void FillOfficeChoices();
    void LoadFields(const SLoginFields &fields);
    void OnOfficeChosen(int index);
    void SignIn(bool offline);
    void DeleteOffice();
    void TogglePassword();
    void ShowVersion();
    void SwitchMode(int result);
    bool ChecksOfficeId() const;
    QWidget *FieldControl(ELoginField field) const;
    int ChoiceIndexOf(const QList<CLoginRecord *> &choices, int comboIndex) const;

    CSystemObjects &m_systems;
    CLoginManager *m_login;
    CSignInFlow m_flow;
    int m_mode;
    int m_templateId;
    bool m_offline = false;
    bool m_passwordShown = false;
    bool m_loading = false;
    // The office ID of the chosen combo entry (mode 2).
    QString m_chosenOfficeId;
    // The office ID of the current saved login (template 21761, which has no office row).
    QString m_fixedOfficeId;

    QLabel *m_officeLabel = nullptr;
    QLineEdit *m_officeEdit = nullptr;
    QComboBox *m_officeCombo = nullptr;
    QLineEdit *m_loginEdit = nullptr;
    QLineEdit *m_passwordEdit = nullptr;
    QCheckBox *m_savePassword = nullptr;
    QPushButton *m_ok = nullptr;
    QPushButton *m_cancel = nullptr;
};
