#pragma once

#include "files/AppLauncher.h"
#include "ui/toolkit/BizDialog.h"

#include <QList>
#include <functional>

class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;

// Open with a chosen application, in two steps that share one dialog:
//  - Choose (21768 "アプリを指定して開く"): the file's folder and name, "↑フォルダ名をコピー(&C)",
//    the list of programs (each application once, with its type's icon), "開く(&R)" and
//    "キャンセル"; accepted with the chosen program.
//  - SendAfter (21769 "指定したアプリを終了して送信"): the same fields, the list showing the
//    program that was started, "送信(&C)" and "閉じる". 送信 runs the send; the dialog closes
//    when it succeeded and stays open when it did not (the program still holds the file).
class CSharedFileOpenWithDialog : public CBizDialog
{
    Q_OBJECT

public:
    enum class EStep { Choose, SendAfter };
    static constexpr int ChooseCommand = 21768;
    static constexpr int SendAfterCommand = 21769;
    static constexpr int FolderId = 21286;
    static constexpr int FileId = 21279;
    static constexpr int CopyFolderId = 21347;
    static constexpr int ProgramsId = 21346;
    static constexpr int HintId = 21345;
    static constexpr int OkId = 1;
    static constexpr int CancelId = 2;

    CSharedFileOpenWithDialog(EStep step, const QString &folderPath, const QString &fileName,
                              const QList<SAppChoice> &choices, int preselected,
                              QWidget *parent = nullptr);
    ~CSharedFileOpenWithDialog() override;

    // SendAfter: what 送信 runs; true closes the dialog.
    void SetSend(std::function<bool()> send) { m_send = std::move(send); }
    // The chosen program (Choose, after OK); -1 for none.
    int chosenIndex() const { return m_chosen; }
    EStep step() const { return m_step; }

    void OnCommand(int command) override;

protected:
    void UpdateCommandStates() override;

private:
    EStep m_step;
    QList<SAppChoice> m_choices;
    int m_chosen = -1;
    std::function<bool()> m_send;
    QLineEdit *m_folder = nullptr;
    QListWidget *m_programs = nullptr;
    QPushButton *m_ok = nullptr;
};
