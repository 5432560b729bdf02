#pragma once

#include <QColor>
#include <QList>
#include <QString>

#include <optional>

class CDateTimeValue;
class CFileRecord;

// What the file list shows in its cells, computed on demand from the row's record: texts,
// colours, the count label and the order of the rows. No widgets.

namespace ListColour {
QColor Default();          // 0, 0, 0
QColor Blue();             // 0, 39, 180: locked by this user, an unsent comment
QColor DarkGrey();         // 48, 48, 48: read-only file
QColor Grey();             // 96, 96, 96: secondary columns, rows the user cannot change
QColor Red();              // 232, 17, 35: locked by another user
QColor FavoriteSelected(); // 204, 232, 255: the star cell of a selected row
} // namespace ListColour

// "%y/%m/%d"; a zero (or not valid) value gives the empty text.
QString ListDateText(const CDateTimeValue &value);
// "%y/%m/%d %H:%M"; zero gives the empty text.
QString ListDateTimeText(const CDateTimeValue &value);
// "%lld" with a "," every three digits from the right, the leading "-" kept.
QString GroupedAmount(qint64 amount);
// "%d" grouped with ",".
QString GroupedNumber(qint64 number);
// The short byte form: three significant digits with bytes, KB, MB, GB in steps of 1024
// ("1.21 KB", "512 bytes", "12.3 MB").
QString ShortByteSize(quint64 bytes);
// The comment column: the last non-empty line (trailing line breaks skipped), from which
// everything up to and including the first "]" that follows a "[" is removed.
QString CommentColumnText(const QString &comment);

// The text of a cell (column kind) for a row: a subfolder entry (folderItem set) or a file
// (CSharedFileRecord online, CLocalFileRecord offline; fields a record does not carry give
// the empty text).
QString CellText(const CFileRecord &row, int kind);

// The colours a cell asks for; unset: the list's own.
struct SCellColours
{
    std::optional<QColor> text;
    std::optional<QColor> background;
};

// Both windows' base rule: subfolder rows default; FileName blue when locked by this user,
// else dark grey when read-only; AppName grey when read-only; Status blue when locked by
// this user; FolderName default; every other kind grey.
SCellColours BaseCellColours(const CFileRecord &row, int kind);

// The rights that decide whether a folder accepts additions (online colours).
struct SAdditionRights
{
    bool privReadonlyCreate = false;
    bool privDataBox = false;
    bool privReadonlyCreateDataBox = false;
};
// Whether a folder accepts additions: a normal folder when not readOnly or with
// privReadonlyCreate; a DataBox folder only with privDataBox and, besides, not readOnly or
// with privReadonlyCreateDataBox.
bool FolderAcceptsAdditions(bool isDataBox, bool readOnly, const SAdditionRights &rights);

// The online window's rule (replaces the base rule). Subfolder rows: Favorite gets the
// favourite-selected background when selected, else listBackground; every other kind
// default when the folder accepts additions, else grey. File rows (locked by another user:
// a lock key and not locked by this user): FolderName dark grey when read-only; FileName
// red / blue / grey (read-only) / default; Status red when locked by another; FileComment
// blue with an unsent comment edit, else grey; Favorite as for subfolders; others grey.
SCellColours OnlineCellColours(const CFileRecord &row, int kind, bool selected,
                               const SAdditionRights &rights, const QColor &listBackground);

// The count label: support mode "%d件 (%s)" with the rows' size total in the short form,
// otherwise "%d件の項目".
QString CountLabelText(const QList<CFileRecord *> &rows, bool supportMode);

// Sorts rows stably by the file manager's comparison of the kind (CompareFileColumn) in the
// direction; kinds without a comparison (the transaction kinds, PathLen, Favorite) leave the
// order as it is.
void SortFileRows(QList<CFileRecord *> &rows, int kind, bool descending);
bool HasLocalComparison(int kind);
