#pragma once
// Removal of the client's own per-user data at uninstall.

#include <windows.h>

// Takes the roaming application-data folder from the string value "AppData" of
// root\Software\Microsoft\Windows\CurrentVersion\Explorer\Shell Folders (used
// literally, not expanded; the environment is not consulted) and deletes, in
// its "N4Client" folder, the folders "ico" and "Fonts" with their content and
// the files "SessionIDs.cache" and "ClientCache.db", each regardless of the
// others. Everything else, the N4Client folder included, stays. A missing key
// or value, a value that is not a string, an empty one or one of 260
// characters or more deletes nothing. Logs only what the deletions log.
void CleanClientUserData(HKEY root);
