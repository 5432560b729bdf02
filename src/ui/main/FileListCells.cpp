#include "FileListCells.h"

#include "FileListColumns.h"
#include "files/FileRecord.h"
#include "folders/WorkspaceRecord.h"
#include "store/DateTimeValue.h"

#include <algorithm>

namespace {

const CSharedFileRecord *AsShared(const CFileRecord &row)
{
    return dynamic_cast<const CSharedFileRecord *>(&row);
}

bool LockedByAnother(const CFileRecord &row)
{
    const CSharedFileRecord *shared = AsShared(row);
    return shared && !shared->lockKey.isEmpty() && !row.lockedByMe;
}

bool HasUnsentComment(const CFileRecord &row)
{
    const CSharedFileRecord *shared = AsShared(row);
    return shared && shared->pendingComment != nullptr;
}

// A value the calendar cannot split would print as "Invalid DateTime"; the list shows
// nothing instead.
bool Printable(const CDateTimeValue &value)
{
    CDateTimeValue::SFields fields;
    return value.Split(&fields);
}

QString Grouped(const QString &digits)
{
    const bool negative = digits.startsWith(QLatin1Char('-'));
    QString out = digits;
    for (qsizetype i = out.size() - 3; i > (negative ? 1 : 0); i -= 3)
        out.insert(i, QLatin1Char(','));
    return out;
}

} // namespace

namespace ListColour {
QColor Default()
{
    return QColor(0, 0, 0);
}
QColor Blue()
{
    return QColor(0, 39, 180);
}
QColor DarkGrey()
{
    return QColor(48, 48, 48);
}
QColor Grey()
{
    return QColor(96, 96, 96);
}
QColor Red()
{
    return QColor(232, 17, 35);
}
QColor FavoriteSelected()
{
    return QColor(204, 232, 255);
}
} // namespace ListColour

QString ListDateText(const CDateTimeValue &value)
{
    if (!Printable(value))
        return QString();
    return FormatDate(value, true);
}

QString ListDateTimeText(const CDateTimeValue &value)
{
    if (!Printable(value))
        return QString();
    return FormatDateTime(value, true, true);
}

QString GroupedAmount(qint64 amount)
{
    return Grouped(QString::number(amount));
}

QString GroupedNumber(qint64 number)
{
    return Grouped(QString::number(number));
}

QString ShortByteSize(quint64 bytes)
{
    if (bytes < 1024)
        return QStringLiteral("%1 bytes").arg(bytes);
    static const char *const units[] = {"KB", "MB", "GB"};
    // The largest unit before GB in which the number stays below 1000.
    int unit = 0;
    unsigned __int128 divisor = 1024;
    while (unit < 2 && bytes >= 1000 * divisor) {
        divisor *= 1024;
        ++unit;
    }
    // Truncated in whole numbers, as the platform's short form does: 1023.9 KB never reads
    // as "1024 KB" or "1.00 MB".
    const unsigned __int128 hundredths = (unsigned __int128)bytes * 100 / divisor;
    QString number;
    if (hundredths < 1000) {
        number = QStringLiteral("%1.%2")
                     .arg(quint64(hundredths / 100))
                     .arg(quint64(hundredths % 100), 2, 10, QLatin1Char('0'));
    } else if (hundredths < 10000) {
        const quint64 tenths = quint64((unsigned __int128)bytes * 10 / divisor);
        number = QStringLiteral("%1.%2").arg(tenths / 10).arg(tenths % 10);
    } else {
        number = QString::number(quint64(bytes / divisor));
    }
    return number + QLatin1Char(' ') + QLatin1String(units[unit]);
}

QString CommentColumnText(const QString &comment)
{
    QStringList lines = comment.split(QLatin1Char('\n'));
    QString line;
    while (!lines.isEmpty()) {
        line = lines.takeLast();
        if (line.endsWith(QLatin1Char('\r')))
            line.chop(1);
        if (!line.isEmpty())
            break;
    }
    // Comments carry a "[date name]" header written by the editor; the list shows what
    // follows it.
    const qsizetype open = line.indexOf(QLatin1Char('['));
    if (open >= 0) {
        const qsizetype close = line.indexOf(QLatin1Char(']'), open + 1);
        if (close >= 0)
            line.remove(0, close + 1);
    }
    return line;
}

QString CellText(const CFileRecord &row, int kind)
{
    const CWorkspaceRecord *folder = row.folderItem;
    const CSharedFileRecord *shared = AsShared(row);
    switch (kind) {
    case ColumnKind::FolderName:
        return row.folderPath;
    case ColumnKind::FileName:
    case ColumnKind::Favorite:
        return folder ? folder->name : row.FileName();
    case ColumnKind::AppName:
        return row.productName;
    case ColumnKind::Status:
        return row.statusText;
    case ColumnKind::TransacDate:
        return !folder && shared ? ListDateText(shared->transactionDate) : QString();
    case ColumnKind::TransacClient:
        return !folder && shared ? shared->transactionName : QString();
    case ColumnKind::TransacAmount:
        if (folder || !shared || shared->amountBlank)
            return QString();
        return GroupedAmount(shared->transactionAmount);
    case ColumnKind::UpdateTime:
        if (folder)
            return ListDateTimeText(folder->updateTime);
        return shared ? ListDateTimeText(shared->updateTime) : QString();
    case ColumnKind::UpdateName:
        if (folder)
            return folder->updateName;
        if (!shared)
            return QString();
        // The display name is what the service shows for a person; the account name only
        // when it sent none.
        return shared->updateDispName.isEmpty() ? shared->updateName : shared->updateDispName;
    case ColumnKind::FileComment:
        if (folder)
            return folder->comment;
        return shared ? CommentColumnText(shared->DisplayComment()) : QString();
    case ColumnKind::FileSize:
        return folder ? QString() : ShortByteSize(row.size);
    case ColumnKind::PathLen:
        return folder ? QString() : QString::number(row.pathLength);
    default:
        return QString();
    }
}

SCellColours BaseCellColours(const CFileRecord &row, int kind)
{
    SCellColours colours;
    if (row.IsFolderEntry()) {
        colours.text = ListColour::Default();
        return colours;
    }
    switch (kind) {
    case ColumnKind::FileName:
        colours.text = row.lockedByMe     ? ListColour::Blue()
                       : row.readOnlyView ? ListColour::DarkGrey()
                                          : ListColour::Default();
        break;
    case ColumnKind::AppName:
        colours.text = row.readOnlyView ? ListColour::Grey() : ListColour::Default();
        break;
    case ColumnKind::Status:
        colours.text = row.lockedByMe ? ListColour::Blue() : ListColour::Default();
        break;
    case ColumnKind::FolderName:
        colours.text = ListColour::Default();
        break;
    default:
        colours.text = ListColour::Grey();
        break;
    }
    return colours;
}

bool FolderAcceptsAdditions(bool isDataBox, bool readOnly, const SAdditionRights &rights)
{
    if (isDataBox)
        return rights.privDataBox && (!readOnly || rights.privReadonlyCreateDataBox);
    return !readOnly || rights.privReadonlyCreate;
}

SCellColours OnlineCellColours(const CFileRecord &row, int kind, bool selected,
                               const SAdditionRights &rights, const QColor &listBackground)
{
    SCellColours colours;
    if (kind == ColumnKind::Favorite) {
        colours.background = selected ? ListColour::FavoriteSelected() : listBackground;
        return colours;
    }
    if (const CWorkspaceRecord *folder = row.folderItem) {
        colours.text = FolderAcceptsAdditions(folder->isDataBox != 0, folder->readOnly != 0, rights)
                           ? ListColour::Default()
                           : ListColour::Grey();
        return colours;
    }
    const bool lockedByAnother = LockedByAnother(row);
    switch (kind) {
    case ColumnKind::FolderName:
        colours.text = row.readOnlyView ? ListColour::DarkGrey() : ListColour::Default();
        break;
    case ColumnKind::FileName:
        colours.text = lockedByAnother    ? ListColour::Red()
                       : row.lockedByMe   ? ListColour::Blue()
                       : row.readOnlyView ? ListColour::Grey()
                                          : ListColour::Default();
        break;
    case ColumnKind::Status:
        colours.text = lockedByAnother ? ListColour::Red() : ListColour::Default();
        break;
    case ColumnKind::FileComment:
        colours.text = HasUnsentComment(row) ? ListColour::Blue() : ListColour::Grey();
        break;
    default:
        colours.text = ListColour::Grey();
        break;
    }
    return colours;
}

QString CountLabelText(const QList<CFileRecord *> &rows, bool supportMode)
{
    if (!supportMode)
        return QStringLiteral("%1件の項目").arg(rows.size());
    quint64 total = 0;
    for (const CFileRecord *row : rows) {
        if (row)
            total += row->size;
    }
    return QStringLiteral("%1件 (%2)").arg(rows.size()).arg(ShortByteSize(total));
}

bool HasLocalComparison(int kind)
{
    switch (kind) {
    case ColumnKind::FolderName:
    case ColumnKind::FileName:
    case ColumnKind::AppName:
    case ColumnKind::Status:
    case ColumnKind::UpdateTime:
    case ColumnKind::UpdateName:
    case ColumnKind::FileComment:
    case ColumnKind::FileSize:
        return true;
    default:
        return false;
    }
}

void SortFileRows(QList<CFileRecord *> &rows, int kind, bool descending)
{
    if (!HasLocalComparison(kind))
        return;
    std::stable_sort(rows.begin(), rows.end(),
                     [kind, descending](const CFileRecord *a, const CFileRecord *b) {
                         // Subfolder entries lead in both directions; only the order within each
                         // group turns.
                         if (a->IsFolderEntry() != b->IsFolderEntry())
                             return a->IsFolderEntry();
                         const int order = CompareFileColumn(*a, *b, kind);
                         return descending ? order > 0 : order < 0;
                     });
}
