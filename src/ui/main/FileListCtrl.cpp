#include "FileListCtrl.h"

#include "core/Strings.h"
#include "files/FileRecord.h"

#include <QApplication>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLoggingCategory>
#include <QMouseEvent>
#include <QScrollBar>

Q_LOGGING_CATEGORY(lcFileList, "velquor.ui.filelist")

// --- model ---

CFileListModel::CFileListModel(IFileListOwner &owner, QObject *parent)
    : QAbstractTableModel(parent)
    , m_owner(owner)
{}

void CFileListModel::SetColumns(const QList<SColumnDef> &columns)
{
    beginResetModel();
    m_columns = columns;
    endResetModel();
}

void CFileListModel::SetRows(const QList<CFileRecord *> &rows)
{
    beginResetModel();
    m_rows = rows;
    endResetModel();
}

CFileRecord *CFileListModel::RecordAt(int row) const
{
    return row >= 0 && row < m_rows.size() ? m_rows.at(row) : nullptr;
}

int CFileListModel::RowOf(const CFileRecord *record) const
{
    return int(m_rows.indexOf(const_cast<CFileRecord *>(record)));
}

void CFileListModel::RefreshRows()
{
    if (!m_rows.isEmpty() && !m_columns.isEmpty())
        Q_EMIT dataChanged(index(0, 0), index(int(m_rows.size()) - 1, int(m_columns.size()) - 1));
}

int CFileListModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_rows.size());
}

int CFileListModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_columns.size());
}

QVariant CFileListModel::data(const QModelIndex &index, int role) const
{
    const CFileRecord *record = RecordAt(index.row());
    if (!record || index.column() >= m_columns.size())
        return {};
    const SColumnDef &column = m_columns.at(index.column());
    switch (role) {
    case Qt::DisplayRole:
    case Qt::AccessibleTextRole:
        // The star cell's text is the name (screen readers read it); it is not painted.
        if (column.kind == ColumnKind::Favorite && role == Qt::DisplayRole)
            return {};
        return m_owner.CellText(column.kind, *record);
    case Qt::DecorationRole: {
        const QIcon icon = m_owner.CellIcon(*record, column.kind);
        return icon.isNull() ? QVariant() : QVariant(icon);
    }
    case Qt::ToolTipRole: {
        const QString tip = m_owner.CellToolTip(*record, column.kind);
        return tip.isEmpty() ? QVariant() : QVariant(tip);
    }
    case Qt::TextAlignmentRole:
        return QVariant::fromValue(
            Qt::Alignment(Qt::AlignVCenter
                          | (column.kind == ColumnKind::Favorite
                                 ? Qt::AlignHCenter
                                 : (column.rightAligned ? Qt::AlignRight : Qt::AlignLeft))));
    case Qt::ForegroundRole:
    case Qt::BackgroundRole: {
        const bool selected = m_isSelected && m_isSelected(index.row());
        const SCellColours colours = m_owner.CellColours(*record, column.kind, selected);
        const std::optional<QColor> &colour
            = role == Qt::ForegroundRole ? colours.text : colours.background;
        return colour ? QVariant(*colour) : QVariant();
    }
    default:
        return {};
    }
}

QVariant CFileListModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || section < 0 || section >= m_columns.size())
        return {};
    const SColumnDef &column = m_columns.at(section);
    if (role == Qt::DisplayRole)
        return column.kind == ColumnKind::Favorite ? QString() : LoadString(column.titleId);
    if (role == Qt::AccessibleTextRole && column.kind == ColumnKind::Favorite)
        return LoadString(5166).section(u'\n', 0, 0);
    if (role == Qt::TextAlignmentRole)
        return QVariant::fromValue(Qt::Alignment(
            Qt::AlignVCenter | (column.rightAligned ? Qt::AlignRight : Qt::AlignLeft)));
    return {};
}

Qt::ItemFlags CFileListModel::flags(const QModelIndex &index) const
{
    return index.isValid() ? Qt::ItemIsEnabled | Qt::ItemIsSelectable : Qt::NoItemFlags;
}

// --- control ---

CFileListCtrl::CFileListCtrl(IFileListOwner &owner, QWidget *parent)
    : QTableView(parent)
    , m_owner(owner)
    , m_model(new CFileListModel(owner, this))
{
    setObjectName(QString::number(ListId));
    setModel(m_model);
    m_model->SetSelectionQuery(
        [this](int row) { return selectionModel() && selectionModel()->isRowSelected(row, {}); });
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setShowGrid(false);
    setWordWrap(false);
    setTextElideMode(Qt::ElideRight);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollMode(QAbstractItemView::ScrollPerPixel);
    setTabKeyNavigation(false);
    setSortingEnabled(false);
    verticalHeader()->hide();
    verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    verticalHeader()->setMinimumSectionSize(1);

    QHeaderView *header = horizontalHeader();
    header->setSectionsClickable(true);
    header->setSectionsMovable(false);
    header->setHighlightSections(false);
    header->setStretchLastSection(false);
    header->setSectionResizeMode(QHeaderView::Interactive);
    header->setMinimumSectionSize(1);
    header->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    // A divider double click must not size the column to its contents: the view's own
    // connection (made by QTableView with the string-based syntax) is removed.
    QObject::disconnect(header, SIGNAL(sectionHandleDoubleClicked(int)), this,
                        SLOT(resizeColumnToContents(int)));
    connect(header, &QHeaderView::sectionResized, this, &CFileListCtrl::OnSectionResized);
    connect(header, &QHeaderView::sectionClicked, this, &CFileListCtrl::OnSectionClicked);
    header->viewport()->installEventFilter(this);
    verticalScrollBar()->installEventFilter(this);
    viewport()->installEventFilter(this);
}

CFileListCtrl::~CFileListCtrl() = default;

void CFileListCtrl::SetColumns(const QList<SColumnDef> &columns, const QList<int> &savedWidths,
                               int averageCharWidth)
{
    m_model->SetColumns(columns);
    m_weights.clear();
    for (int i = 0; i < columns.size(); ++i) {
        const int saved = i < savedWidths.size() ? savedWidths.at(i) : 0;
        // A fixed column's weight is its width in pixels (the star column: 27 characters
        // would leave the name column no room).
        const int width = saved > 0                  ? saved
                          : columns.at(i).fixedWidth ? columns.at(i).weight
                                                     : columns.at(i).weight * averageCharWidth;
        m_weights.append(width);
        m_inLayout = true; // the widths set here are not the user's
        horizontalHeader()->resizeSection(i, width);
        m_inLayout = false;
    }
}

int CFileListCtrl::ColumnKindAt(int column) const
{
    const QList<SColumnDef> &defs = m_model->columns();
    return column >= 0 && column < defs.size() ? defs.at(column).kind : -1;
}

int CFileListCtrl::ColumnOfKind(int kind) const
{
    const QList<SColumnDef> &defs = m_model->columns();
    for (int i = 0; i < defs.size(); ++i)
        if (defs.at(i).kind == kind)
            return i;
    return -1;
}

QList<int> CFileListCtrl::columnWidths() const
{
    QList<int> widths;
    for (int i = 0; i < m_model->columnCount(); ++i)
        widths.append(horizontalHeader()->sectionSize(i));
    return widths;
}

void CFileListCtrl::RecordUserWidth(int column, int width)
{
    if (column < 0 || column >= m_weights.size() - 1)
        return;
    m_weights[column] = std::max(1, width);
}

void CFileListCtrl::SetRows(const QList<CFileRecord *> &rows)
{
    m_model->SetRows(rows);
}

QList<int> CFileListCtrl::selectedRowNumbers() const
{
    QList<int> rows;
    if (!selectionModel())
        return rows;
    for (const QModelIndex &index : selectionModel()->selectedRows())
        rows.append(index.row());
    std::sort(rows.begin(), rows.end());
    return rows;
}

QList<CFileRecord *> CFileListCtrl::selectedRecords() const
{
    QList<CFileRecord *> records;
    for (int row : selectedRowNumbers())
        if (CFileRecord *record = RecordAt(row))
            records.append(record);
    return records;
}

int CFileListCtrl::focusedRow() const
{
    const QModelIndex current = currentIndex();
    return current.isValid() ? current.row() : -1;
}

void CFileListCtrl::SelectRow(int row, bool scroll)
{
    if (row < 0 || row >= m_model->rowCount()) {
        clearSelection();
        return;
    }
    const QModelIndex index = m_model->index(row, std::max(0, ColumnOfKind(ColumnKind::FileName)));
    selectionModel()->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect
                                                 | QItemSelectionModel::Rows);
    if (scroll)
        scrollTo(index);
}

void CFileListCtrl::ShowSortArrow(int kind, bool descending)
{
    const int column = ColumnOfKind(kind);
    QHeaderView *header = horizontalHeader();
    header->setSortIndicatorShown(column >= 0);
    // Qt draws AscendingOrder as a down arrow (QHeaderView maps it to SortDown); the list
    // shows ascending as an up arrow, so the order handed over is the other one.
    header->setSortIndicator(column, descending ? Qt::AscendingOrder : Qt::DescendingOrder);
}

void CFileListCtrl::ScheduleLayout()
{
    SetTimerEvent(LayoutTimerId, LayoutDelayMs);
}

void CFileListCtrl::OnTimerEvent(int id)
{
    if (id == LayoutTimerId)
        RunLayout();
}

void CFileListCtrl::RunLayout()
{
    if (m_inLayout || m_model->columnCount() == 0)
        return;
    m_inLayout = true;
    const QList<SColumnDef> &defs = m_model->columns();
    QList<SColumnDef> weighted = defs;
    for (int i = 0; i < weighted.size() && i < m_weights.size(); ++i)
        weighted[i].weight = m_weights.at(i);
    const QList<int> widths = ProportionalWidths(weighted, columnWidths(), viewport()->width());
    setUpdatesEnabled(false);
    for (int i = 0; i < widths.size(); ++i)
        horizontalHeader()->resizeSection(i, widths.at(i));
    setUpdatesEnabled(true);
    ++m_layoutCount;
    m_inLayout = false;
    m_owner.OnColumnLayoutDone();
}

void CFileListCtrl::resizeEvent(QResizeEvent *event)
{
    QTableView::resizeEvent(event);
    if (viewport()->width() != m_lastViewportWidth) {
        m_lastViewportWidth = viewport()->width();
        ScheduleLayout();
    }
}

void CFileListCtrl::OnSectionResized(int column, int oldSize, int newSize)
{
    Q_UNUSED(oldSize)
    if (m_inLayout)
        return;
    // Only a drag of a divider is the user's width.
    if (QApplication::mouseButtons() & Qt::LeftButton) {
        m_dividerDrag = true;
        RecordUserWidth(column, newSize);
    }
}

void CFileListCtrl::OnSectionClicked(int column)
{
    const int kind = ColumnKindAt(column);
    if (IsSortableKind(kind))
        Q_EMIT headerClicked(kind);
}

bool CFileListCtrl::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == horizontalHeader()->viewport() && event->type() == QEvent::MouseButtonRelease
        && m_dividerDrag) {
        m_dividerDrag = false;
        ScheduleLayout();
    } else if (watched == verticalScrollBar()
               && (event->type() == QEvent::Show || event->type() == QEvent::Hide)) {
        ScheduleLayout();
    }
    return QTableView::eventFilter(watched, event);
}

void CFileListCtrl::keyPressEvent(QKeyEvent *event)
{
    switch (event->key()) {
    case Qt::Key_Backspace:
    case Qt::Key_Return:
    case Qt::Key_Enter:
    case Qt::Key_Delete:
    case Qt::Key_Left:
    case Qt::Key_Right:
        if (m_owner.OnListKey(event->key(), event->modifiers())) {
            event->accept();
            return;
        }
        break;
    default:
        break;
    }
    QTableView::keyPressEvent(event);
}

void CFileListCtrl::mouseReleaseEvent(QMouseEvent *event)
{
    QTableView::mouseReleaseEvent(event);
    if (event->button() != Qt::LeftButton)
        return;
    const QModelIndex index = indexAt(event->position().toPoint());
    if (index.isValid() && ColumnKindAt(index.column()) == ColumnKind::Favorite)
        Q_EMIT favoriteCellClicked(index.row());
}

void CFileListCtrl::mouseDoubleClickEvent(QMouseEvent *event)
{
    const QModelIndex index = indexAt(event->position().toPoint());
    if (event->button() != Qt::LeftButton || !index.isValid()) {
        QTableView::mouseDoubleClickEvent(event);
        return;
    }
    if (ColumnKindAt(index.column()) == ColumnKind::Favorite)
        return; // the star cell's click has done its work
    Q_EMIT rowDoubleClicked(index.row(), ColumnKindAt(index.column()),
                            event->modifiers() & Qt::ControlModifier);
}
