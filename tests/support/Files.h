#pragma once

// File helpers of every test suite.

#include <QByteArray>
#include <QList>
#include <QPair>
#include <QString>
#include <QStringList>

// Writes bytes to path, creating its folders; false when it cannot.
bool WriteFile(const QString &path, const QByteArray &bytes);
// The whole file; empty when it cannot be read.
QByteArray ReadFile(const QString &path);
// The MD5 of a file as lower-case hexadecimal; empty when it cannot be read.
QByteArray Md5Of(const QString &path);
// The permission bits of a path (0700, 0644, ...); -1 when it does not exist.
int FileMode(const QString &path);
QByteArray Utf16LeWithBom(const QString &text);
// Every entry below dir, relative and sorted ("a/", "a/b.txt"); directories end with "/".
QStringList Listing(const QString &dir);

// server.vqr in a data folder: UTF-16LE with BOM, "key=value" lines ending in CR LF.
using SettingList = QList<QPair<QString, QString>>;
// Writes exactly these lines (creating the data folder).
bool WriteServerVqr(const QString &dataFolder, const SettingList &settings);
// Sets these keys, keeping the other lines of an existing file.
bool UpdateServerVqr(const QString &dataFolder, const SettingList &settings);

// A TCP port on 127.0.0.1 that nothing listens on (it was free a moment ago).
quint16 FreePort();
