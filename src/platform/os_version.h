#pragma once
// The operating-system version, queried once per process.

#include <windows.h>

// Fills a process-wide cached OSVERSIONINFOEXA through GetVersionExA on first
// use and copies it into record when record is not null. Returns false (record
// untouched) when the query fails; the cache then stays unfilled and the next
// call queries again. Not thread-safe: called on the main thread only.
bool GetOsVersionInfo(OSVERSIONINFOEXA* record);

// The cached major version, 0 when the version cannot be had.
DWORD GetOsMajorVersion();
