#pragma once

#include <QString>

// What the desktop associates with a file-name extension: its MIME type (by extension only)
// and the default application GIO finds for it (mimeapps.list, defaults.list and
// mimeinfo.cache in the XDG search order, the MIME type's parents as a fallback). An entry
// whose program is not installed is no application. Every field may be empty: an extension
// without an application is valid.
struct SAppAssociation
{
    QString mimeType;    // e.g. "application/pdf"; "application/octet-stream" when unknown
    QString desktopId;   // e.g. "org.gnome.Evince.desktop": what identifies the application
    QString desktopFile; // absolute path of that entry
    QString appPath;     // the program that its Exec line starts, found on PATH when possible
    QString appName;     // Name[ja], else Name

    bool hasApplication() const { return !desktopId.isEmpty(); }
};

// extension: with or without the leading dot, any letter case.
SAppAssociation LookupAppAssociation(const QString &extension);
// The default application of a MIME type as it stands ("x-scheme-handler/https").
SAppAssociation LookupMimeAssociation(const QString &mimeType);
// The application of one desktop entry by its id; empty when it is not installed.
SAppAssociation LookupDesktopEntry(const QString &desktopId);

// "Registered on this computer": the extension has a MIME type of its own or a default
// application.
bool IsExtensionRegistered(const QString &extension);
