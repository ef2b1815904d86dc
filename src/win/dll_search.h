#pragma once
// Where the process looks for DLLs it loads by name. An installer is started
// from a download folder, next to whatever else lies there, so neither that
// folder nor the current folder may supply a library.

#include <windows.h>

#include <string>

// Restricts the search for the rest of the process: SetDefaultDllDirectories
// (System32 only) where kernel32 has it, SetDllDirectoryW(L"") (takes the
// current folder out), and SetSearchPathMode (safe search, kept for the
// process) where present. Call it first, before anything loads a library.
void RestrictDllSearch();

// Loads the library at the absolute path libraryPath so that the DLLs it
// imports are found beside it and in the system folders
// (LOAD_LIBRARY_SEARCH_DLL_LOAD_DIR | LOAD_LIBRARY_SEARCH_DEFAULT_DIRS). A
// system without those flags (they fail with ERROR_INVALID_PARAMETER) gets
// LOAD_WITH_ALTERED_SEARCH_PATH, which also searches the library's folder
// first. nullptr on failure, with the last error set.
HMODULE LoadLibraryBesideItsFolder(const std::wstring& libraryPath);
