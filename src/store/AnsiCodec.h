#pragma once

#include <QByteArray>
#include <QString>

// The ANSI code page of the client's users (CP932, Windows Japanese): CSV logs are written
// in it and archives of old versions hold single-byte texts in it.
//
// Converted one code point at a time with iconv, so one character that CP932 cannot hold
// becomes '?' and the rest of the text is kept (Qt's Shift_JIS codec writes FC FC for 〜,
// − and ¥ instead). A lone surrogate also becomes '?'.
QByteArray ToAnsi(const QString &text);

// The reverse direction. A byte sequence that is not CP932 (a stray lead byte, a lead byte
// at the end) becomes '?' and decoding goes on with the next byte.
QString FromAnsi(const QByteArray &bytes);
