#pragma once

#include <QString>

// Every path of the client's state is built here; no other code composes these folder names.
//
// Installation base: the executable's folder, or the current directory in the no-UI run
// (AppState::IsNoUiMode). User-documents area: <Documents>/KDW/VELQUOR.V2.
//
// Each builder joins base, area, optional sub-path and optional file name with single
// separators (empty parts are skipped; "\" and "/" in sub are both separators). A result
// longer than the path limit (MaxPath) is never cut: the builder throws
// CBizOsException(206) instead.
constexpr int MaxPath = 260;

QString InstallationBase();
// Replaces the executable's folder as the base of the interactive run (tests install the
// program into a temporary folder this way); empty restores it.
void SetExecutableFolderOverride(const QString &folder);
QString DataPath(const QString &sub = {}, const QString &file = {});          // base/vqrdata
QString SetupPath(const QString &sub = {}, const QString &file = {});         // base/vqrsetup
QString UserDocumentsPath(const QString &sub = {}, const QString &file = {}); // creates folders
QString EditPath(const QString &sub = {}, const QString &file = {});          // creates folders
QString HistoryPath(const QString &sub = {}, const QString &file = {});       // creates folders
QString TempPath(const QString &sub = {}, const QString &file = {});          // creates folders
QString DownloadsPath(const QString &sub = {}, const QString &file = {});     // creates folders

// Creates the data folder (hidden where the platform has such a flag); shows 17955 and
// answers false when it cannot.
bool EnsureDataFolder();

// Joins path parts with single separators (the platform separator); empty parts skipped.
QString JoinPath(const QString &a, const QString &b);
