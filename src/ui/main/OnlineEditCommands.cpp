// The edit cycle's commands of the online window: open (21300, 5136), read-only open
// (5138), send (21302, 5137) and force release (5139), each over the qualifying rows of the
// selection in one progress run.

#include "SharedFileListDialog.h"

#include "FileListCtrl.h"

#include "app/SharedGuiSystem.h"
#include "core/AppState.h"
#include "core/FileStates.h"
#include "core/Messages.h"
#include "core/Strings.h"
#include "files/AppAssociation.h"
#include "files/LocalFileManager.h"
#include "files/SharedFileManager.h"
#include "folders/WorkspaceRecord.h"
#include "ui/dialogs/SharedFileOpenWithDialog.h"
#include "ui/toolkit/KeyboardState.h"
#include "ui/toolkit/ModalRun.h"

#include <memory>
#include <vector>

namespace {

constexpr int kOpenRun = 18199;     // "開いています..."
constexpr int kShowRun = 18205;     // "表示しています..."
constexpr int kSendRun = 18200;     // "送信しています..."
constexpr int kReleaseRun = 18378;  // "強制解除しています..."
constexpr int kOpenRow = 18210;     // "「%s」を開いています..."
constexpr int kSendRow = 18211;     // "「%s」を送信しています..."
constexpr int kReleaseRow = 18379;  // "「%s」のロックを強制解除しています..."
constexpr int kReadOnlyAsk = 18377; // reading only: changes are not kept
constexpr int kReleaseAsk = 18262;  // the edit is thrown away
constexpr int kMayNotEdit = 18250;  // opened read-only instead

} // namespace

QList<CSharedFileRecord *> CSharedFileListDialog::SelectedShared() const
{
    QList<CSharedFileRecord *> rows;
    for (CFileRecord *row : m_list->selectedRecords()) {
        if (auto *shared = dynamic_cast<CSharedFileRecord *>(row))
            rows << shared;
    }
    return rows;
}

SLocalProbe CSharedFileListDialog::LocalProbe() const
{
    SLocalProbe probe;
    CSharedFileManager *files = m_gui.sharedFiles();
    CLocalFileManager *cache = files ? files->local() : nullptr;
    if (!cache)
        return probe;
    probe.storedInUse = [cache](const CSharedFileRecord &row) {
        const CLocalFileRecord *local = cache->FindLocal(row.workspaceId, row.FileName());
        return local && IsFileInUse(local->storedPath);
    };
    probe.workingExists = [cache](const CSharedFileRecord &row) {
        SFileStates states;
        cache->QueryWorkingCopy(row.workspaceId, row.FileName(), SFileStates::Exists, states);
        return states.exists;
    };
    probe.workingInUse = [cache](const CSharedFileRecord &row) {
        return IsFileInUse(cache->WorkingCopyPath(row.workspaceId, row.FileName()));
    };
    return probe;
}

QList<CSharedFileRecord *> CSharedFileListDialog::Qualified(ERowSet set,
                                                            EOpenRightTest openTest) const
{
    const SLocalProbe probe = LocalProbe();
    return RowQualification::Collect(set, SelectedShared(), m_rights, openTest, &probe);
}

bool CSharedFileListDialog::RunRows(int runText, int rowText,
                                    const QList<CSharedFileRecord *> &rows, bool goOnAfterFailure,
                                    const std::function<bool(CSharedFileRecord &)> &perRow)
{
    if (rows.isEmpty())
        return false;
    // A refresh may replace the list's records while the run goes on: it works on copies.
    std::vector<std::unique_ptr<CSharedFileRecord>> taken;
    for (const CSharedFileRecord *row : rows) {
        taken.push_back(std::make_unique<CSharedFileRecord>());
        taken.back()->CopyFrom(*row);
    }
    BeginProgress(runText, 100);
    CBizProgressAttach attach(m_gui, progressHandler());
    int done = 0;
    bool failed = false;
    for (size_t i = 0; i < taken.size(); ++i) {
        CSharedFileRecord &row = *taken[i];
        const int shown = m_list->fileModel()->RowOf(rows.at(qsizetype(i)));
        if (shown >= 0)
            m_list->SelectRow(shown, true);
        SetProgressText(detail::ComposeMessage(rowText, row.FileName()));
        SetPosition(0);
        if (perRow(row))
            ++done;
        else
            failed = true;
        if (failed && !goOnAfterFailure)
            break;
        if (progressHandler()->isCancelled())
            break;
    }
    EndProgress(failed);
    if (done > 0 || failed)
        PostRefresh(true, true, m_list);
    return !failed;
}

void CSharedFileListDialog::OpenRows()
{
    const Qt::KeyboardModifiers held = HeldModifiers();
    const bool shiftCtrl = (held & Qt::ShiftModifier) && (held & Qt::ControlModifier);
    // Support mode's no-launch open: Ctrl+Shift+Alt (left and right keys look alike here).
    const bool noLaunch = IsSupportMode() && shiftCtrl && (held & Qt::AltModifier);
    if (!noLaunch && shiftCtrl) {
        OnCommand(MainId::OpenCacheFolder);
        return;
    }
    if (!noLaunch && (held & Qt::ControlModifier)
        && Qualified(ERowSet::Openable, EOpenRightTest::None).size() == 1) {
        OpenRowWith();
        return;
    }
    const QList<CFileRecord *> selected = m_list->selectedRecords();
    if (selected.size() == 1 && selected.first()->folderItem) {
        NavigateToFolder(selected.first()->folderItem->id, false);
        return;
    }
    const QList<CSharedFileRecord *> rows = Qualified(ERowSet::Openable, EOpenRightTest::None);
    if (rows.isEmpty() || (m_sendMode && rows.size() > 1))
        return;
    // A type that is only viewed is not opened: it is saved where the user says.
    if (rows.size() == 1 && rows.first()->viewOnlyType) {
        CSharedFileRecord row;
        row.CopyFrom(*rows.first());
        DownloadOneFile(row);
        return;
    }
    RunRows(kOpenRun, kOpenRow, rows, false, [&](CSharedFileRecord &row) {
        bool refresh = false;
        if (row.viewOnlyType)
            return DownloadOneFile(row);
        if (!RowQualification::MayEditIn(RowQualification::FolderOf(row), m_rights)) {
            ShowInfoMessage(kMayNotEdit);
            return m_gui.OpenReadOnly(row.workspaceId, row.path, &refresh);
        }
        return m_gui.OpenForEditing(row.workspaceId, row.path, nullptr, noLaunch, &refresh);
    });
}

void CSharedFileListDialog::OpenRowWith()
{
    const QList<CSharedFileRecord *> rows = Qualified(ERowSet::Openable, EOpenRightTest::None);
    if (rows.size() != 1)
        return;
    CSharedFileRecord row;
    row.CopyFrom(*rows.first());
    int preselected = -1;
    const QList<SAppChoice> choices
        = m_gui.AppChoices(LookupAppAssociation(row.extension).desktopId, &preselected);
    const QString folderPath = m_gui.PathText(row.workspaceId);
    using D = CSharedFileOpenWithDialog;
    D choose(D::EStep::Choose, folderPath, row.FileName(), choices, preselected, this);
    if (RunModal(choose) != QDialog::Accepted || choose.chosenIndex() < 0)
        return;
    const SAppChoice app = choices.at(choose.chosenIndex());
    bool opened = false;
    RunRows(kOpenRun, kOpenRow, rows, false, [&](CSharedFileRecord &current) {
        bool refresh = false;
        opened = m_gui.OpenForEditing(current.workspaceId, current.path, &app, false, &refresh);
        return opened;
    });
    if (!opened)
        return;
    // Once the program is closed, 送信 sends what it saved, with what it wrote beside it.
    D send(D::EStep::SendAfter, folderPath, row.FileName(), {app}, 0, this);
    send.SetSend([&] {
        BeginProgress(kSendRun, 100);
        CBizProgressAttach attach(m_gui, progressHandler());
        SetProgressText(detail::ComposeMessage(kSendRow, row.FileName()));
        bool refresh = false;
        const bool sent
            = m_gui.SendWithRelatedData(row.workspaceId, row.path, true, false, nullptr, &refresh);
        EndProgress(!sent);
        PostRefresh(true, true, m_list);
        return sent;
    });
    RunModal(send);
}

void CSharedFileListDialog::OpenRowsReadOnly()
{
    const QList<CSharedFileRecord *> rows = Qualified(ERowSet::ReadOnlyOpenable);
    if (rows.isEmpty() || (m_sendMode && rows.size() > 1))
        return;
    if (AskYesNo(kReadOnlyAsk) != IDYES)
        return;
    RunRows(kShowRun, kOpenRow, rows, false, [&](CSharedFileRecord &row) {
        bool refresh = false;
        return m_gui.OpenReadOnly(row.workspaceId, row.path, &refresh);
    });
}

void CSharedFileListDialog::SendRows()
{
    const QList<CSharedFileRecord *> rows = Qualified(ERowSet::Sendable);
    if (rows.isEmpty())
        return;
    // Support mode with Shift+Ctrl: the content goes up even when unchanged.
    const bool force = IsSupportMode() && ShiftAndCtrlHeld();
    // Every row is tried: one file that cannot go keeps none of the others back.
    RunRows(kSendRun, kSendRow, rows, true, [&](CSharedFileRecord &row) {
        bool refresh = false;
        return m_gui.SendWithRelatedData(row.workspaceId, row.path, false, force, nullptr,
                                         &refresh);
    });
}

void CSharedFileListDialog::ForceReleaseRows()
{
    const QList<CSharedFileRecord *> rows = Qualified(ERowSet::Sendable);
    if (rows.isEmpty())
        return;
    if (AskYesNo(kReleaseAsk) != IDYES)
        return;
    RunRows(kReleaseRun, kReleaseRow, rows, true, [&](CSharedFileRecord &row) {
        bool refresh = false;
        return m_gui.ForceReleaseFile(row.workspaceId, row.path, &refresh);
    });
}

bool CSharedFileListDialog::OnEditCommand(int command)
{
    switch (command) {
    case MainId::Open:
    case OpenCommand:
        OpenRows();
        return true;
    case OpenReadOnlyCommand:
        OpenRowsReadOnly();
        return true;
    case OpenWithCommand:
        OpenRowWith();
        return true;
    case MainId::Send:
    case SendCommand:
        SendRows();
        return true;
    case ForceReleaseCommand:
        ForceReleaseRows();
        return true;
    case MainId::Download:
    case DownloadCommand:
        DownloadRows();
        return true;
    default:
        return false;
    }
}
