#pragma once

#include "BizDialog.h"

#include <QString>

#include <functional>

class QLabel;
class QLineEdit;
class QPushButton;

// How a finished operation's result is opened for the user.
enum class EOpenAction {
    SelectInFolder, // the file manager on the item's folder, the item selected
    OpenFolder,     // the file manager on the folder itself
    OpenFile,       // the file with its default application
};

// Every "open" of the completion dialogs goes through one opener: by default the desktop's
// file manager (ShowInExplorer) and the file's application (LaunchFile). Tests replace it.
using ItemOpener = std::function<bool(EOpenAction action, const QString &path)>;
// Installs an opener (empty: the default); answers the previous one.
ItemOpener SetItemOpener(ItemOpener opener);
bool OpenItem(EOpenAction action, const QString &path);

// Reports a finished file operation: the message, the file's path, "フォルダを開く(&F)"
// (the file selected in its folder), "開く(&O)" (the file opened) and "閉じる". Either
// action also closes the dialog, with the action's id as the result.
class CBizFileCompleteDialog : public CBizDialog
{
    Q_OBJECT

public:
    static constexpr int FileCommandId = 4609;
    static constexpr int ErrorLogCommandId = 4610;
    static constexpr int MessageId = 20742;
    static constexpr int PathId = 20743;
    static constexpr int OpenFolderId = 20744;
    static constexpr int OpenFileId = 20745;
    static constexpr int CloseId = 1;

    // message: empty for "ファイル処理が完了しました。".
    explicit CBizFileCompleteDialog(const QString &filePath, const QString &message = {},
                                    int commandStringId = FileCommandId, QWidget *parent = nullptr);

    QString filePath() const { return m_filePath; }
    void OnCommand(int command) override;

private:
    QString m_filePath;
};

// Reports a finished download: the message, the destination folder and "開く(&O)", which
// shows the downloaded file selected when there is one, else opens the folder; "閉じる"
// has the focus.
class CBizDownloadCompleteDialog : public CBizDialog
{
    Q_OBJECT

public:
    static constexpr int CommandId = 4611;
    static constexpr int MessageId = 20742;
    static constexpr int FolderId = 20746;
    static constexpr int OpenId = 20744;
    static constexpr int CloseId = 1;

    // file: the downloaded file (a name in the folder or a path), empty for a whole folder;
    // message: empty for "ダウンロードが完了しました。".
    explicit CBizDownloadCompleteDialog(const QString &folder, const QString &file = {},
                                        const QString &message = {}, QWidget *parent = nullptr);

    QString folder() const { return m_folder; }
    QString file() const { return m_file; }
    void OnCommand(int command) override;

protected:
    void OnInitDialog() override;

private:
    QString m_folder;
    QString m_file;
};
