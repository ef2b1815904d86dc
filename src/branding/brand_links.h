#pragma once
// The client's links under the brand's names: the desktop link (named by
// "shortcut_name"), and in <Programs>\<company_name>\Client\ the client link
// (named by "app_title") and the "Uninstall" link. Every link has no
// arguments, its target's folder as working folder and as icon the install
// folder's Branding\Brand.ico when it exists, else the client executable.
// Install folders passed here end with a backslash; an empty one does nothing.
// The calling thread must have initialised COM. Nothing here logs, and no
// result is reported: link failures are not looked at.

#include <string>

// Unpacks the brand archive into an emptied "Branding" folder under the user's
// temporary folder. When that worked and yields Brand.ini, replaces the install
// folder's "Branding" with it and creates the desktop link in desktopFolder
// (none when desktopFolder is empty). A missing, empty or broken archive, or
// one without Brand.ini, changes nothing and makes no link; so does a working
// folder that cannot be emptied.
void ApplyBrandArchive(const std::wstring& installFolder, const std::wstring& archivePath,
                       const std::wstring& desktopFolder);

// Creates the folder <Programs>\<company_name>\Client\ with the client link and,
// when installFolder holds Uninstall.exe, the "Uninstall" link; or, with
// remove, deletes that "Client" folder with its content (the company folder
// stays). Names come from the installed Brand.ini or the defaults. Does nothing
// when the Programs folder cannot be found.
void UpdateProgramsMenuShortcuts(const std::wstring& installFolder, bool remove);

// Deletes <desktopFolder>\<shortcut_name>.lnk, only when it resolves to
// clientPath, and then the folders of a nested shortcut_name as far as they
// are left empty. Does nothing when desktopFolder is empty.
void RemoveDesktopShortcut(const std::wstring& installFolder, const std::wstring& desktopFolder,
                           const std::wstring& clientPath);

// The current user's links, one case of three:
// - archivePath set, or at set-up a "BrandFileLocation" value of another type
//   than a string (IsBrandFileLocationSet): ApplyBrandArchive when there is a
//   path, the Programs-menu links (created, or removed with remove), then the
//   "BrandFileLocation" value is cleared;
// - remove: the desktop link goes; unless keep, so do the Programs-menu folder
//   and then the installed brand (the names are read before it goes);
// - set-up: the desktop link and the Programs-menu links are created under
//   the installed brand's names and icon, or the defaults and the client's
//   icon without an installed Brand.ini.
// Links of nested names get their folders. No desktop link is made or
// removed when the desktop folder cannot be found.
void UpdateUserShortcuts(bool remove, const std::wstring& installFolder,
                         const std::wstring& archivePath, const std::wstring& clientPath,
                         bool keep);

// UpdateUserShortcuts with installFolder + "DESKHubClient.exe" as the client.
// The install calls it with remove false and the "BrandFileLocation" value as
// archivePath (may be empty); the uninstall with remove true, no archive and
// keep set for an upgrade.
void UpdateClientShortcuts(bool remove, const std::wstring& installFolder,
                           const std::wstring& archivePath, bool keep);
