// The favourites commands of the online window over the selection: 5166 adds the rows that
// are not favourites yet (the whole selection checked against the limit before any request),
// 5167 removes them after asking; both work from the last row to the first.

#include "SharedFileListDialog.h"

#include "FileListCtrl.h"

#include "app/SharedGuiSystem.h"
#include "core/Messages.h"
#include "core/Strings.h"
#include "files/FavoriteManager.h"
#include "files/SharedFileManager.h"
#include "folders/WorkspaceRecord.h"

namespace {

constexpr int kAdding = 18226;   // "「%s」をお気に入りに追加しています..."
constexpr int kRemoving = 18227; // "「%s」をお気に入りから解除しています..."
constexpr int kRemoveAsk = 18256;

QString RowName(const CFileRecord &row)
{
    return row.folderItem ? row.folderItem->name : row.FileName();
}

} // namespace

bool CSharedFileListDialog::ChangeFavoriteRows(const QList<int> &rowNumbers, bool add)
{
    CSharedFileManager *files = m_gui.sharedFiles();
    if (!files || rowNumbers.isEmpty())
        return false;
    BeginTiming(QStringLiteral("FAVORITE"));
    BeginProgress(detail::ComposeMessage(add ? kAdding : kRemoving,
                                         RowName(*m_list->RecordAt(rowNumbers.last()))),
                  -1, Refocus::Focused);
    bool ok = true;
    int changed = 0;
    for (qsizetype i = rowNumbers.size() - 1; i >= 0 && ok; --i) {
        CFileRecord *record = m_list->RecordAt(rowNumbers.at(i));
        if (!record)
            continue;
        m_list->scrollTo(m_list->model()->index(rowNumbers.at(i), 0));
        SetProgressText(detail::ComposeMessage(add ? kAdding : kRemoving, RowName(*record)));
        const qint32 folderId = record->folderItem ? record->folderItem->id : record->workspaceId;
        const QString path = record->folderItem ? QString() : record->path;
        ok = m_gui.Forward(
            *files, [&](CSharedFileManager &m) { return m.ChangeFavorite(folderId, path, add); });
        if (ok) {
            // The star follows at once, for a subfolder row as for a file.
            record->isFavorite = add;
            if (record->folderItem)
                record->folderItem->isFavorite = add;
            ++changed;
        }
        if (progressHandler()->isCancelled())
            break;
    }
    EndProgress(!ok);
    EndTiming();
    if (changed > 0)
        files->favorites().CountFavorites(progressHandler());
    if (isFavoritesView() && changed > 0 && !add)
        PostRefresh(true, true, m_list);
    else
        m_list->fileModel()->RefreshRows();
    RequestCommandStates();
    return ok;
}

void CSharedFileListDialog::AddFavoriteRows()
{
    CSharedFileManager *files = m_gui.sharedFiles();
    if (!files || m_sendMode || isFavoritesView())
        return;
    QList<int> rows;
    for (int row : m_list->selectedRowNumbers()) {
        const CFileRecord *record = m_list->RecordAt(row);
        if (record && !record->isFavorite)
            rows << row;
    }
    // Nothing is added when the whole selection would pass the limit.
    if (rows.isEmpty() || !files->favorites().CheckLimit(int(rows.size()), progressHandler()))
        return;
    ChangeFavoriteRows(rows, true);
}

void CSharedFileListDialog::RemoveFavoriteRows()
{
    if (m_sendMode)
        return;
    const QList<int> selected = m_list->selectedRowNumbers();
    if (selected.isEmpty())
        return;
    const QString what = selected.size() == 1 ? RowName(*m_list->RecordAt(selected.first()))
                                              : QStringLiteral("%1件").arg(selected.size());
    if (AskYesNo(kRemoveAsk, what) != IDYES)
        return;
    // Outside the favourites view a mixed selection first becomes favourites as a whole.
    bool mixed = false;
    for (int row : selected)
        mixed = mixed || !m_list->RecordAt(row)->isFavorite;
    if (mixed && !isFavoritesView()) {
        AddFavoriteRows();
        for (int row : selected) {
            if (!m_list->RecordAt(row)->isFavorite)
                return; // the addition stopped (shown)
        }
    }
    QList<int> rows;
    for (int row : selected) {
        if (m_list->RecordAt(row)->isFavorite)
            rows << row;
    }
    ChangeFavoriteRows(rows, false);
}
