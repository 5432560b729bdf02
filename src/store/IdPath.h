#pragma once

#include <QList>
#include <QString>
#include <QStringList>

// Local names of service folders: each level is its id as eight lower-case hexadecimal
// digits followed by its name, so two folders with the same name never share a directory
// and a renamed folder is still found by its id.

// The separator EncodeIdPath joins with (the platform's). DecodeIdPath accepts '/' and '\'.
#ifdef Q_OS_WIN
constexpr char16_t IdPathSeparator = u'\\';
#else
constexpr char16_t IdPathSeparator = u'/';
#endif

// "%08x%s": EncodeIdName(26, "経理") == "0000001a経理".
QString EncodeIdName(qint32 id, const QString &name);

// The EncodeIdName of every level, top level first, joined by single separators, without
// leading or trailing separator. Empty for an empty chain. Only the levels present in both
// lists are encoded.
QString EncodeIdPath(const QList<qint32> &ids, const QStringList &names);

// Splits at '/' and '\' (runs and leading/trailing separators give no component). Each
// component of at least 8 characters whose first eight characters read as a positive
// hexadecimal id (digits read as far as they go) gives one level: the id and the rest of the
// component. Shorter components and ids of 0 or "negative" ones (80000000 and up) are
// skipped. ids and names are cleared first; answers the number of levels.
int DecodeIdPath(const QString &path, QList<qint32> *ids, QStringList *names);

// One component: the id of its first eight characters and the rest as name. A component
// shorter than 8 characters gives id 0 and an empty name. The id is not checked for sign.
qint32 DecodeIdName(const QString &component, QString *name = nullptr);
