#pragma once
// The ".n4a" document type and the "kivclient" URL scheme of the current user,
// under HKEY_CURRENT_USER\Software\Classes, handed to VuClient.exe. Every value
// is REG_SZ stored with its terminating zero; keys are created when missing and
// existing values overwritten, so registering again rewrites the same entries.
// Each operation stops at the first registry call that fails; what was written
// before stays. Nothing here logs.

#include <windows.h>

#include <string>

// Writes the MIME type "application/x-n4a" (value "Extension" = ".n4a") and the
// document class (RegisterDocumentClass). True when all five entries were written.
bool RegisterFileType(const std::wstring& exePath);

// Writes the "kivclient" scheme: "URL Protocol" = "", DefaultIcon = exePath + ",0",
// shell = "open", shell\open = "", shell\open\command =
// "\"exePath\" urlSchema \"%1\"". True when all five entries were written.
bool RegisterUrlScheme(const std::wstring& exePath);

// Deletes the document class and ".n4a" trees (results ignored), then the MIME
// type key. True only when the MIME type key was deleted: false when it (or
// "Content Type") is missing. exePath is not used.
bool UnregisterFileType(const std::wstring& exePath);

// True when the "kivclient" scheme's open command starts a program other than
// the client's (no "VuClient.exe" in it): another program has taken the scheme
// over since the install, and its registration is not the client's to delete.
bool UrlSchemeBelongsToAnotherProgram();

// Deletes the whole "kivclient" tree, unless it belongs to another program
// (UrlSchemeBelongsToAnotherProgram). False when it is missing or left.
// exePath is not used.
bool UnregisterUrlScheme(const std::wstring& exePath);

// Writes the class "VuClient.Document" (default = its own name), its DefaultIcon
// (exePath + ",0") and its open command (exePath unquoted + " %1"), then the
// ".n4a" key's default ("VuClient.Document"), in this order. True when all four
// were written.
bool RegisterDocumentClass(const std::wstring& exePath);

// Sets the default value of Software\Classes\<keyName>, creating the key. False
// when the key cannot be created or the value not set, or for null arguments.
bool SetClassesKeyDefault(const wchar_t* keyName, const wchar_t* data);

// Deletes the trees Software\Classes\VuClient.Document and Software\Classes\.n4a;
// what is missing is skipped.
void RemoveDocumentClass();
