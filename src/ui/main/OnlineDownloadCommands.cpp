// The download command of the online window (21306, 5141, Ctrl+W): one file row is saved
// under a name the user picks, several into a folder the user picks; the completion dialog
// or the error log's question follows.

#include "SharedFileListDialog.h"

#include "FileListCtrl.h"

#include "app/SharedGuiSystem.h"
#include "core/Messages.h"
#include "core/Paths.h"
#include "core/Strings.h"
#include "files/SharedFileManager.h"
#include "ui/toolkit/CompleteDialogs.h"
#include "ui/toolkit/ModalRun.h"
#include "ui/toolkit/Pickers.h"

#include <QDir>
#include <QFileInfo>

namespace {

constexpr int kDownloading = 18202;    // "ダウンロードしています..."
constexpr int kDownloadingRow = 18214; // "「%s」をダウンロードしています..."
constexpr int kDone = 18215;           // "ダウンロードを完了しました。"
constexpr int kStopped = 18274;        // "ダウンロードを中断しました。"

QString DefaultDownloadFolder()
{
    try {
        return DownloadsPath();
    } catch (const CBizException &) {
        return QDir::homePath();
    }
}

} // namespace

QList<CSharedFileRecord *> CSharedFileListDialog::DownloadableRows() const
{
    const QList<CSharedFileRecord *> rows = Qualified(ERowSet::Downloadable);
    if (m_sendMode && rows.size() > 1)
        return {};
    // Subfolder rows are downloaded with their folder's files by the folder download, which
    // this window does not offer yet: a selection with one takes nothing.
    for (const CSharedFileRecord *row : rows) {
        if (row->IsFolderEntry())
            return {};
    }
    return rows;
}

bool CSharedFileListDialog::DownloadOneFile(const CSharedFileRecord &row)
{
    CBizFileDialog save(CBizFileDialog::Mode::Save, this);
    save.SetTitle(windowTitle());
    save.SetFolder(!m_extractDir.isEmpty() && QFileInfo(m_extractDir).isDir()
                       ? m_extractDir
                       : DefaultDownloadFolder());
    save.SetDefaultName(row.FileName());
    save.SetFilter(SaveTypeFilterString(row.productName, row.extension));
    if (!save.Run())
        return false;
    const QString destination = save.selectedFile();
    m_extractDir = QFileInfo(destination).absolutePath();
    if (!m_gui.CheckLocalPathLength(int(destination.size()), row.FileName())
        || !m_gui.CheckLocalPathLength(row.pathLength, row.FileName()))
        return false;
    BeginProgress(
        detail::ComposeMessage(kDownloadingRow, m_gui.PathText(row.workspaceId, row.path)), 100,
        Refocus::Focused);
    CBizProgressAttach attach(m_gui, progressHandler());
    const SOperationResult result
        = m_gui.DownloadFiles({SItemRef{row.workspaceId, row.path, false}}, destination);
    EndProgress(result.failed > 0);
    if (result.refresh)
        PostRefresh(true, true, m_list);
    if (result.succeeded == 0)
        return false; // the failure has been shown
    CBizDownloadCompleteDialog done(QFileInfo(destination).absolutePath(),
                                    QFileInfo(destination).fileName(), LoadString(kDone), this);
    RunModal(done);
    return true;
}

void CSharedFileListDialog::DownloadRows()
{
    const QList<CSharedFileRecord *> rows = DownloadableRows();
    if (rows.isEmpty())
        return;
    if (rows.size() == 1) {
        CSharedFileRecord row;
        row.CopyFrom(*rows.first());
        DownloadOneFile(row);
        return;
    }
    QList<SItemRef> items;
    for (const CSharedFileRecord *row : rows)
        items << SItemRef{row->workspaceId, row->path, false};

    CBizFolderDialog pick(this);
    pick.SetPrompt(QStringLiteral("ダウンロード先のフォルダを選択してください"));
    QString start = m_extractAllDir.isEmpty() ? m_extractDir : m_extractAllDir;
    if (start.isEmpty() || !QFileInfo(start).isDir())
        start = DefaultDownloadFolder();
    pick.SetFolder(start);
    if (!pick.Run())
        return;
    const QString destination = pick.selectedFolder();
    m_extractAllDir = destination;

    BeginProgress(LoadString(kDownloading), 100, Refocus::Focused);
    CBizProgressAttach attach(m_gui, progressHandler());
    const SOperationResult result = m_gui.DownloadFiles(items, destination);
    EndProgress(result.failed > 0);
    if (result.refresh)
        PostRefresh(true, true, m_list);
    if (result.succeeded == 0 || result.failed > 0)
        return; // the failure, or the error log's question, has been shown
    CBizDownloadCompleteDialog done(destination, QString(),
                                    LoadString(result.cancelled ? kStopped : kDone), this);
    RunModal(done);
}
