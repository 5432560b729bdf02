// The context menus of the online window's list: F (files only), D (subfolders only), M (both)
// and B (nothing selected), built in one place in their fixed order when the menu is asked
// for, each item enabled by its command's rule at that moment; and the small commands only
// they offer (copy path, history).

#include "SharedFileListDialog.h"

#include "FileListCtrl.h"

#include "account/LoginManager.h"
#include "account/UserRecord.h"
#include "app/SharedGuiSystem.h"
#include "core/OsUtils.h"
#include "core/Strings.h"
#include "files/LocalFileManager.h"
#include "files/SharedFileManager.h"
#include "folders/WorkspaceRecord.h"
#include "ui/toolkit/BizMenu.h"
#include "ui/toolkit/ImageList.h"

#include <QClipboard>
#include <QGuiApplication>

namespace {

// Adds items in order; a separator only once the menu has an item.
class CMenuBuilder
{
public:
    explicit CMenuBuilder(CBizMenu &menu)
        : m_menu(menu)
    {}
    void Item(int command, int icon, bool enabled = true)
    {
        m_menu.AddItem(SCommandString::MenuTextOf(command), command, icon, enabled);
        m_any = true;
    }
    void Separator()
    {
        if (m_any)
            m_menu.AddSeparator();
    }

private:
    CBizMenu &m_menu;
    bool m_any = false;
};

} // namespace

bool CSharedFileListDialog::KeepsHistory() const
{
    const CLoginManager *login = m_gui.loginManager();
    const CUserRecord *user = login ? login->currentUser() : nullptr;
    return user && user->generationNum > 0 && !login->deleteCache();
}

int CSharedFileListDialog::ListContextMenu(const QList<CFileRecord *> &rows, int folderRows,
                                           int fileRows, const QPoint &globalPos)
{
    CBizMenu menu(this);
    CMenuBuilder b(menu);
    const QList<CSharedFileRecord *> shared = SelectedShared();
    const bool oneOnly = !m_sendMode || rows.size() <= 1;
    bool someNotFavorite = false;
    for (const CFileRecord *row : rows)
        someNotFavorite = someNotFavorite || !row->isFavorite;
    const auto favorites = [&] {
        if (someNotFavorite)
            b.Item(AddFavorite, BizIcon::FavoriteOn,
                   !m_sendMode && !isFavoritesView() && !rows.isEmpty());
        else
            b.Item(RemoveFavorite, BizIcon::FavoriteOff, !m_sendMode && !rows.isEmpty());
    };
    if (rows.isEmpty()) {
        // B: nothing selected.
        b.Separator();
        b.Item(ToSendMode, BizIcon::Send, !m_sendMode);
    } else if (folderRows == 0) {
        // F: files only.
        const int openable = int(Qualified(ERowSet::Openable, EOpenRightTest::Right).size());
        if (openable > 0)
            b.Item(OpenCommand, BizIcon::Open, oneOnly);
        if (openable == 1 && rows.size() == 1)
            b.Item(OpenWithCommand, BizIcon::Open);
        b.Item(OpenReadOnlyCommand, BizIcon::View,
               oneOnly && !Qualified(ERowSet::ReadOnlyOpenable).isEmpty());
        const bool sendable = !Qualified(ERowSet::Sendable).isEmpty();
        b.Item(SendCommand, BizIcon::Send, sendable);
        if (!DownloadableRows().isEmpty())
            b.Item(DownloadCommand, BizIcon::Download);
        if (m_searchMode || isFavoritesView()) {
            b.Separator();
            b.Item(MainId::OpenRowFolder, BizIcon::FolderOpen, rows.size() == 1);
        }
        b.Separator();
        favorites();
        b.Item(CopyFilePath, BizIcon::Copy, rows.size() == 1);
        b.Separator();
        b.Item(ForceReleaseCommand, BizIcon::Release, sendable);
        b.Separator();
        b.Item(ToSendMode, BizIcon::Send, !m_sendMode);
        if (KeepsHistory()) {
            b.Separator();
            b.Item(ShowHistory, BizIcon::History,
                   shared.size() == 1 && fileRows == 1 && shared.first()->hasHistory);
        }
    } else if (fileRows == 0) {
        // D: subfolders only.
        b.Item(OpenCommand, BizIcon::Open, rows.size() == 1);
        b.Separator();
        favorites();
        b.Item(CopyFolderPath, BizIcon::Copy, rows.size() == 1);
    } else {
        // M: files and subfolders.
        favorites();
    }
    if (m_menuChooser)
        return CBizMenu::CommandOf(m_menuChooser(*menu.menu()));
    return menu.Exec(globalPos);
}

bool CSharedFileListDialog::OnMenuCommand(int command)
{
    const QList<CFileRecord *> rows = m_list->selectedRecords();
    switch (command) {
    case CopyFilePath:
    case CopyFolderPath: {
        if (rows.size() != 1)
            return true;
        const CFileRecord *row = rows.first();
        const QString text = row->folderItem ? m_gui.PathText(row->folderItem->id)
                                             : m_gui.PathText(row->workspaceId, row->path);
        QGuiApplication::clipboard()->setText(text);
        return true;
    }
    case ShowHistory: {
        const QList<CSharedFileRecord *> shared = SelectedShared();
        CSharedFileManager *files = m_gui.sharedFiles();
        if (shared.size() != 1 || shared.first()->IsFolderEntry() || !files || !files->local())
            return true;
        const QString dir
            = files->local()->HistoryDirOf(shared.first()->workspaceId, shared.first()->FileName());
        if (!dir.isEmpty())
            ShowInExplorer(dir, true);
        return true;
    }
    default:
        return false;
    }
}
