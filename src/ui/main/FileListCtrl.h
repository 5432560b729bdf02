#pragma once

#include "FileListCells.h"
#include "FileListColumns.h"

#include "ui/toolkit/TimerEvent.h"

#include <QAbstractTableModel>
#include <QIcon>
#include <QList>
#include <QTableView>

#include <functional>

class CFileRecord;

// What the list asks of its window for every cell it paints: the list owns no data.
class IFileListOwner
{
public:
    virtual ~IFileListOwner() = default;
    virtual QString CellText(int kind, const CFileRecord &row) = 0;
    virtual SCellColours CellColours(const CFileRecord &row, int kind, bool selected) = 0;
    virtual QIcon CellIcon(const CFileRecord &row, int kind) = 0;
    virtual QString CellToolTip(const CFileRecord &row, int kind) = 0;
    // After every proportional layout: the window re-reads the widths it stores.
    virtual void OnColumnLayoutDone() {}
    // Keys of the list the window handles (Backspace, Enter, Delete, Left, Right): true when
    // it did, so the list does not move its own cursor.
    virtual bool OnListKey(int key, Qt::KeyboardModifiers modifiers) = 0;
};

// The rows (record pointers, never owned) and columns of the list; every cell is asked of
// the owner when the view paints it.
class CFileListModel : public QAbstractTableModel
{
    Q_OBJECT

public:
    explicit CFileListModel(IFileListOwner &owner, QObject *parent = nullptr);

    void SetColumns(const QList<SColumnDef> &columns);
    const QList<SColumnDef> &columns() const { return m_columns; }
    void SetRows(const QList<CFileRecord *> &rows);
    const QList<CFileRecord *> &rows() const { return m_rows; }
    CFileRecord *RecordAt(int row) const;
    int RowOf(const CFileRecord *record) const;
    // Repaints the rows' cells (a record changed in place).
    void RefreshRows();

    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;

    // Whether the view's selection holds the row (for the star cell's background).
    void SetSelectionQuery(std::function<bool(int row)> query) { m_isSelected = std::move(query); }

private:
    IFileListOwner &m_owner;
    QList<SColumnDef> m_columns;
    QList<CFileRecord *> m_rows;
    std::function<bool(int row)> m_isSelected;
};

// The report list of the main windows: full-row selection, no editing (F2 is a command), the
// window's columns with their widths, and the proportional fit of the widths, debounced by
// one 100 ms timer that a width change, the vertical scroll bar coming or going and the end
// of a divider drag re-arm, so dragging a window edge lays out once the drag pauses.
class CFileListCtrl : public QTableView, public CBizTimerEvent
{
    Q_OBJECT

public:
    static constexpr int ListId = 21296;
    static constexpr int LayoutTimerId = 1;
    static constexpr int LayoutDelayMs = 100;

    CFileListCtrl(IFileListOwner &owner, QWidget *parent = nullptr);
    ~CFileListCtrl() override;

    CFileListModel *fileModel() const { return m_model; }

    // Removes every column and inserts the given ones; a saved width above 0 is kept, any
    // other column gets weight × average character width. The widths become the weights of
    // the proportional fit.
    void SetColumns(const QList<SColumnDef> &columns, const QList<int> &savedWidths,
                    int averageCharWidth);
    const QList<SColumnDef> &columns() const { return m_model->columns(); }
    // The column kind of a displayed column index, -1 out of range.
    int ColumnKindAt(int column) const;
    int ColumnOfKind(int kind) const;
    QList<int> columnWidths() const;
    // A width the user dragged becomes the column's weight (not for the last column).
    void RecordUserWidth(int column, int width);

    void SetRows(const QList<CFileRecord *> &rows);
    const QList<CFileRecord *> &rows() const { return m_model->rows(); }
    CFileRecord *RecordAt(int row) const { return m_model->RecordAt(row); }
    // Selected rows in row order; the focused (current) row, -1 for none.
    QList<int> selectedRowNumbers() const;
    QList<CFileRecord *> selectedRecords() const;
    int focusedRow() const;
    void SelectRow(int row, bool scroll = true);

    // The sort arrow on the column of kind (none when it is not shown).
    void ShowSortArrow(int kind, bool descending);

    // Arms the layout timer; the layout runs when it fires.
    void ScheduleLayout();
    // The proportional fit now (redrawing suspended); re-entrant calls are ignored.
    void RunLayout();
    // For measurements: how many layouts have run.
    int layoutCount() const { return m_layoutCount; }

Q_SIGNALS:
    // A click on a sortable header of kind.
    void headerClicked(int kind);
    // A double click on a row (Ctrl held: ctrl), with the column kind clicked.
    void rowDoubleClicked(int row, int kind, bool ctrl);
    // A click on the star cell of a row.
    void favoriteCellClicked(int row);

protected:
    void OnTimerEvent(int id) override;
    void resizeEvent(QResizeEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void mouseDoubleClickEvent(QMouseEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void OnSectionResized(int column, int oldSize, int newSize);
    void OnSectionClicked(int column);

    IFileListOwner &m_owner;
    CFileListModel *m_model = nullptr;
    QList<int> m_weights; // per displayed column, in pixels
    bool m_inLayout = false;
    bool m_dividerDrag = false;
    int m_layoutCount = 0;
    int m_lastViewportWidth = -1;
};
