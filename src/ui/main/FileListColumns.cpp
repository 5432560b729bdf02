#include "FileListColumns.h"

#include <algorithm>

namespace {

constexpr int kMinimumWidth = 32;

// The profile stems of the width keys, indexed by kind; empty where no key exists.
QString WidthStem(int kind)
{
    switch (kind) {
    case ColumnKind::FolderName:
        return QStringLiteral("FolderName");
    case ColumnKind::FileName:
        return QStringLiteral("FileName");
    case ColumnKind::AppName:
        return QStringLiteral("AppName");
    case ColumnKind::Status:
        return QStringLiteral("Status");
    case ColumnKind::TransacDate:
        return QStringLiteral("TransacDate");
    case ColumnKind::TransacClient:
        return QStringLiteral("TransacClient");
    case ColumnKind::TransacAmount:
        return QStringLiteral("TransacAmount");
    case ColumnKind::UpdateTime:
        return QStringLiteral("UpdateTime");
    case ColumnKind::UpdateName:
        return QStringLiteral("UpdateName");
    case ColumnKind::FileComment:
        return QStringLiteral("FileComment");
    case ColumnKind::FileSize:
        return QStringLiteral("FileSize");
    case ColumnKind::PathLen:
        return QStringLiteral("PathLen");
    default:
        return QString();
    }
}

bool IsTransactionKind(int kind)
{
    return kind == ColumnKind::TransacDate || kind == ColumnKind::TransacClient
           || kind == ColumnKind::TransacAmount;
}

QString ViewKeySuffix(EListView view)
{
    switch (view) {
    case EListView::Folder:
        return QString();
    case EListView::Search:
        return QStringLiteral("Sm");
    case EListView::Favorites:
        return QStringLiteral("Fav");
    }
    return QString();
}

} // namespace

const QList<SColumnDef> &OnlineColumnTable()
{
    static const QList<SColumnDef> table = {
        {ColumnKind::Favorite, 18187, 27, true, true},
        {ColumnKind::FolderName, 18176, 20, false, false},
        {ColumnKind::FileName, 18177, 30, false, false},
        {ColumnKind::Status, 18179, 8, false, false},
        {ColumnKind::TransacDate, 18306, 8, false, false},
        {ColumnKind::TransacClient, 18308, 10, false, false},
        {ColumnKind::TransacAmount, 18307, 10, true, false},
        {ColumnKind::AppName, 18178, 6, false, false},
        {ColumnKind::UpdateTime, 18180, 10, false, false},
        {ColumnKind::FileSize, 18184, 6, true, false},
        {ColumnKind::UpdateName, 18181, 8, false, false},
        {ColumnKind::FileComment, 18182, 8, false, false},
        {ColumnKind::PathLen, 18185, 4, true, false},
    };
    return table;
}

const QList<SColumnDef> &OfflineColumnTable()
{
    static const QList<SColumnDef> table = {
        {ColumnKind::FolderName, 18176, 22, false, false},
        {ColumnKind::FileName, 18177, 34, false, false},
        {ColumnKind::Status, 18179, 14, false, false},
        {ColumnKind::AppName, 18178, 14, false, false},
        {ColumnKind::PathLen, 18185, 4, true, false},
    };
    return table;
}

bool IsColumnShown(int kind, const SColumnContext &context)
{
    const SDisplayOptions &options = context.options;
    const bool search = context.view == EListView::Search;
    switch (kind) {
    case ColumnKind::FolderName:
        return search;
    case ColumnKind::AppName:
        return options.showAppName;
    case ColumnKind::Status:
        return true;
    case ColumnKind::TransacDate:
    case ColumnKind::TransacClient:
    case ColumnKind::TransacAmount:
        return context.dataBoxFolder && (options.showTransacInfo || search);
    case ColumnKind::UpdateTime:
        return options.showUpdateTime;
    case ColumnKind::UpdateName:
        return options.showUpdateName && context.officeUser;
    case ColumnKind::FileComment:
        return options.showFileComment;
    case ColumnKind::FileSize:
        return options.showFileSize;
    case ColumnKind::PathLen:
        return context.supportMode && options.showPathLen;
    case ColumnKind::Favorite:
        return context.view != EListView::Favorites && !context.sendMode;
    default:
        return true;
    }
}

QList<SColumnDef> VisibleColumns(const QList<SColumnDef> &table, const SColumnContext &context)
{
    QList<SColumnDef> visible;
    for (SColumnDef column : table) {
        if (!IsColumnShown(column.kind, context))
            continue;
        if (column.kind == ColumnKind::FileName)
            column.titleId = context.view == EListView::Search ? 18177 : 18186;
        visible.append(column);
    }
    return visible;
}

int SortKindFallback(int sortKind, const QList<SColumnDef> &visible, EListView view)
{
    const bool shown = std::any_of(visible.cbegin(), visible.cend(),
                                   [sortKind](const SColumnDef &c) { return c.kind == sortKind; });
    if (shown)
        return sortKind;
    return view == EListView::Search ? int(ColumnKind::FolderName) : int(ColumnKind::FileName);
}

bool IsSortableKind(int kind)
{
    return kind >= ColumnKind::FolderName && kind <= ColumnKind::PathLen;
}

int ServerSortKey(int kind)
{
    switch (kind) {
    case ColumnKind::FileName:
        return 0;
    case ColumnKind::UpdateName:
        return 1;
    case ColumnKind::UpdateTime:
        return 2;
    case ColumnKind::FolderName:
        return 3;
    case ColumnKind::AppName:
        return 4;
    case ColumnKind::Status:
        return 5;
    case ColumnKind::FileComment:
        return 6;
    case ColumnKind::FileSize:
        return 7;
    case ColumnKind::TransacDate:
        return 8;
    case ColumnKind::TransacClient:
        return 9;
    case ColumnKind::TransacAmount:
        return 10;
    default:
        return -1;
    }
}

QString ViewSuffix(EListView view, bool offline)
{
    if (!offline)
        return ViewKeySuffix(view);
    switch (view) {
    case EListView::Folder:
        return QStringLiteral("Off");
    case EListView::Search:
        return QStringLiteral("OffSm");
    case EListView::Favorites:
        break; // the offline window has no favourites view
    }
    return QString();
}

QString WidthKey(int kind, EListView view, bool offline)
{
    const QString stem = WidthStem(kind);
    if (stem.isEmpty())
        return QString();
    if (offline) {
        static const int kept[]
            = {ColumnKind::FolderName, ColumnKind::FileName, ColumnKind::Status,
               ColumnKind::AppName,    ColumnKind::FileSize, ColumnKind::PathLen};
        if (view == EListView::Favorites
            || std::find(std::begin(kept), std::end(kept), kind) == std::end(kept))
            return QString();
    } else if (view == EListView::Favorites && IsTransactionKind(kind)) {
        return QString();
    }
    return QStringLiteral("cx") + stem + ViewSuffix(view, offline);
}

QString SortColumnKey(EListView view)
{
    return QStringLiteral("sortColumn") + ViewKeySuffix(view);
}

QString SortDownsKey(EListView view)
{
    return QStringLiteral("sortDowns") + ViewKeySuffix(view);
}

QString DirectionsText(const QList<bool> &flags)
{
    QStringList parts;
    for (int kind = 0; kind < ColumnKind::StoredDirections; ++kind)
        parts.append(kind < flags.size() && flags.at(kind) ? QStringLiteral("1")
                                                           : QStringLiteral("0"));
    return parts.join(QLatin1Char(','));
}

QList<bool> ParseDirections(const QString &text)
{
    QList<bool> flags(ColumnKind::Count, false);
    const QStringList parts = text.split(QLatin1Char(','));
    if (parts.size() != ColumnKind::StoredDirections)
        return flags;
    QList<bool> parsed = flags;
    for (int kind = 0; kind < ColumnKind::StoredDirections; ++kind) {
        bool ok = false;
        const int value = parts.at(kind).trimmed().toInt(&ok);
        if (!ok)
            return flags; // one bad field spoils the whole text
        parsed[kind] = value != 0;
    }
    return parsed;
}

QList<int> ProportionalWidths(const QList<SColumnDef> &columns, const QList<int> &widths,
                              int clientWidth)
{
    QList<int> result(columns.size(), 0);
    qint64 fixedSum = 0;
    qint64 weightSum = 0;
    int others = 0;
    int firstOther = -1;
    for (qsizetype i = 0; i < columns.size(); ++i) {
        if (columns.at(i).fixedWidth) {
            result[i] = i < widths.size() ? widths.at(i) : 0;
            fixedSum += result.at(i);
        } else {
            weightSum += std::max(0, columns.at(i).weight);
            ++others;
            if (firstOther < 0)
                firstOther = int(i);
        }
    }
    if (firstOther < 0)
        return result;

    const qint64 room = qint64(clientWidth) - fixedSum;
    const bool roomForMinimum = fixedSum + qint64(kMinimumWidth) * others < clientWidth;
    qint64 total = fixedSum;
    for (qsizetype i = 0; i < columns.size(); ++i) {
        if (columns.at(i).fixedWidth)
            continue;
        qint64 width = weightSum > 0 ? std::max(0, columns.at(i).weight) * room / weightSum : 0;
        if (roomForMinimum && width < kMinimumWidth)
            width = kMinimumWidth;
        width = std::max<qint64>(0, width);
        result[i] = int(width);
        total += width;
    }

    qint64 leftover = qint64(clientWidth) - total;
    if (leftover >= 0) {
        result[firstOther] += int(leftover);
        return result;
    }
    // Raising narrow columns to the minimum can overshoot; the overshoot comes off the
    // first columns that can spare it, so no column drops below its floor.
    const int floor = roomForMinimum ? kMinimumWidth : 0;
    for (qsizetype i = firstOther; i < columns.size() && leftover < 0; ++i) {
        if (columns.at(i).fixedWidth)
            continue;
        const qint64 spare = result.at(i) - floor;
        if (spare <= 0)
            continue;
        const qint64 taken = std::min(spare, -leftover);
        result[i] -= int(taken);
        leftover += taken;
    }
    return result;
}
