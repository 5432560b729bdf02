#pragma once

#include <QString>
#include <QVariant>

#include <initializer_list>

// printf-style formatting of the string table's texts: %s %d %i %u %x %X %c %lu %ld %lld
// %llu %%, with flags, width and precision (%02d, %08x, %-5s). Arguments are QVariants
// (QString, const char*, integers, doubles). A missing argument formats as empty text; an
// unknown conversion is copied as it is. Nothing here can crash on a hostile format.
QString BizFormat(const QString &format, std::initializer_list<QVariant> args);
QString BizFormat(const QString &format, const QVariantList &args);
