#pragma once

#include "ui/toolkit/BizDialog.h"

class CMainSystem;
class QLabel;
class QPlainTextEdit;
class QPushButton;

// "バージョン情報": the program's version, whether a newer one is published (asked only while
// signed in online), the environment, and who is signed in. The login line shows in support
// mode, with Shift+Ctrl held when the dialog is built, or for a signed-in user who is not a
// client-business user (type 20).
class CVersionInfoDialog : public CBizDialog
{
    Q_OBJECT

public:
    static constexpr int CommandId = 5122;

    explicit CVersionInfoDialog(CMainSystem *mainSystem, QWidget *parent = nullptr);
    ~CVersionInfoDialog() override;

    // The texts of the environment box ("［OS］%s\r\n［OSバージョン］%s\r\n…"); in support mode
    // with the working directory, the data folder and, online, the client key.
    static QString EnvironmentText(CMainSystem *mainSystem, bool supportMode);
    // "（最新版:%s を利用可能です）" / "（最新版です）"; empty when not signed in online or the
    // check failed.
    static QString NewestVersionRemark(CMainSystem *mainSystem);

    void ApplyTheme() override;

protected:
    void OnInitDialog() override;

private:
    void LoadControls();

    CMainSystem *m_main;
    QLabel *m_remark = nullptr;
    QLabel *m_loginLabel = nullptr;
    QLabel *m_loginName = nullptr;
    QPlainTextEdit *m_environment = nullptr;
    QPushButton *m_ok = nullptr;
};
