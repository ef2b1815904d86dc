#pragma once
// Shell link files (.lnk) and shell special folders. The calling thread must
// have initialised COM. Nothing here logs; every COM object obtained is
// released on every way out.

#include <windows.h>

#include <string>

// The link file's name for a link name: name + ".lnk", unless name already
// ends with ".lnk" in any letter case ("App.LNK" stays, "Desk.lnkPro" becomes
// "Desk.lnkPro.lnk"), so that the shell always takes the file for a link.
std::wstring LinkFileName(const std::wstring& name);

// True when name ends with ".lnk" in any letter case.
bool HasLinkExtension(const std::wstring& name);

// The target path of the link file as stored, read and not resolved; empty
// when the file does not load as a shell link or names no path.
std::wstring ReadLinkTarget(const wchar_t* linkFile);

// True when linkFile loads as a shell link whose target path lies in folder
// or is folder (compared in full, long form, without regard to case). The
// link is read, not resolved: a target that has moved is not searched for.
bool LinkLeadsInto(const wchar_t* linkFile, const std::wstring& folder);

// Saves the link file folder + "\" + LinkFileName(name), pointing at target
// with no arguments, the target's own folder (with its trailing backslash) as
// working folder, and icon (index 0) when icon is not null. An existing file
// of that name is overwritten; a missing folder is not created (Save fails).
// Returns the HRESULT of the last step performed: S_OK when the file was
// saved; E_POINTER for a null target, folder or name.
HRESULT CreateShortcut(const wchar_t* target, const wchar_t* folder, const wchar_t* name,
                       const wchar_t* icon);

// Loads the link file and resolves it without any user interface; when the path
// it points at equals expectedTarget without regard to case, deletes the link
// file. Returns S_OK when the file was deleted, E_FAIL when it matched but could
// not be deleted, GetPath's HRESULT (normally S_OK) when it points elsewhere,
// and the failing step's HRESULT otherwise (a missing link file fails to load).
// A link is never deleted unless it matched. E_POINTER for null arguments.
HRESULT DeleteShortcutIfTarget(const wchar_t* expectedTarget, const wchar_t* linkFile);

// The file-system path of the shell special folder with the CSIDL number
// (CSIDL_DESKTOP, CSIDL_PROGRAMS, ...), at most MAX_PATH - 1 characters.
// Returns false, with path emptied, when the folder is unknown or has no
// file-system path.
bool GetSpecialFolderPath(std::wstring& path, int csidl);
