#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

// Text conversions used when records are filled from service texts and shown to the user.

// Trims white space; "true"/"yes" give 1 and "false"/"no" give 0 (any letter case);
// otherwise an optional sign and decimal digits, or "0x" and hexadecimal digits, read as far
// as they go. Nothing readable (or an empty text) gives 0. Decimal values beyond the type's
// range saturate; hexadecimal values are read as unsigned and then reinterpreted, so
// "0xffffffff" is -1 for ParseInt (the id-path decoding relies on that).
qint32 ParseInt(const QString &text);
qint64 ParseInt64(const QString &text);

QString FormatBool(bool flag); // "true" / "false"

// Decimal text; with group, a comma between every three digits from the right
// (-1234567 -> "-1,234,567").
QString FormatInt(qint32 value, bool group = false);
QString FormatUInt(quint32 value, bool group = false);
QString FormatInt64(qint64 value, bool group = false);

// "%d.%d.%d.%d" of the high and low 16 bits of ms, then of ls.
QString FormatVersion(quint32 ms, quint32 ls);
// The inverse of FormatVersion: the text is cut into runs of the digits 0-9 (anything else
// separates runs); runs 1-4 make the pair, later runs are ignored, missing ones count 0.
// "1.1.6.6" and "v1.1-6 6" give the same pair. An empty text answers 0 and leaves *ls as
// the caller had it.
quint32 ParseVersion(const QString &text, quint32 *ls = nullptr);

// Two lower-case hexadecimal digits per byte, no separators.
QString HexString(const QByteArray &bytes);

// Short size text: three significant digits (truncated), units of 1024: "532 バイト",
// "1.50 KB", "12.3 KB", "123 KB", "0.97 MB". A negative count is shown as 0.
QString FormatByteSize(qint64 bytes);

// The element at start, then every later non-empty element, each preceded by separator
// (none when separator is null). With skipLeading, an element appended while the result is
// still empty gets no separator. Empty when start is out of range.
QString JoinStrings(const QStringList &parts, QChar separator = QChar(), int start = 0,
                    bool skipLeading = false);

// The first index >= start whose element is non-empty and contains text under the loose
// name comparison (letter case, width, kana type, accents and symbols ignored; see
// NameCompare.h). An empty text matches the first non-empty element. -1 when none.
int FindStringLoose(const QStringList &parts, const QString &text, int start = 0);

// One field of a CSV line: enclosed in double quotes (inner ones doubled) only when it holds
// ",", a double quote, CR or LF, so that a name with a comma cannot shift the columns.
QString CsvField(const QString &text);
