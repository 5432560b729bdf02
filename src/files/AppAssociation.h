#pragma once

#include <QString>
#include <QStringList>

// What the desktop associates with a file-name extension: its MIME type (by extension only),
// the default application's .desktop entry (mimeapps.list, then defaults.list, then
// mimeinfo.cache, in the XDG search order) and the program and name that entry gives.
// Every field may be empty: an extension without an application is valid.
struct SAppAssociation
{
    QString mimeType;    // e.g. "application/pdf"; "application/octet-stream" when unknown
    QString desktopId;   // e.g. "org.gnome.Evince.desktop"
    QString desktopFile; // absolute path of that entry
    QString appPath;     // the program of its Exec line, resolved on PATH when possible
    QString appName;     // Name[ja], else Name
    QStringList exec;    // Exec split into arguments, field codes still in place

    bool hasApplication() const { return !desktopFile.isEmpty(); }
};

// extension: with or without the leading dot, any letter case.
SAppAssociation LookupAppAssociation(const QString &extension);
// The default application of a MIME type as it stands ("x-scheme-handler/https").
SAppAssociation LookupMimeAssociation(const QString &mimeType);

// "Registered on this computer": the extension has a MIME type of its own or a default
// application.
bool IsExtensionRegistered(const QString &extension);

// Splits an Exec value into arguments (quoting and escapes of the desktop entry format).
QStringList SplitDesktopExec(const QString &exec);

// The arguments to start for a file: %f/%F become the path, %u/%U its file URL, %% a
// percent sign; the other field codes are dropped. Without any file code the path is
// appended.
QStringList ExpandDesktopExec(const QStringList &exec, const QString &filePath);
