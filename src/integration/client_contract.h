#pragma once
// The fixed names by which the installer drives the client executables it
// installs: file names, switches, shell command pieces, the window marks and
// the registered close message, and the waits that go with them.

#include <windows.h>

// Files of the installed client (all in the install folder).
inline constexpr wchar_t kVuClientExe[] = L"VuClient.exe";
inline constexpr wchar_t kDeskHubClientExe[] = L"DESKHubClient.exe";
inline constexpr wchar_t kComServerDll[] = L"KivClientSystem.dll";
inline constexpr wchar_t kUninstallerExe[] = L"Uninstall.exe";

// Switch runs of VuClient.exe. kSwitchSilent (with its leading blank) is
// appended to the two RDP-control switches in a quiet run.
inline constexpr wchar_t kSwitchRegMsOcx[] = L"-regmsocx";
inline constexpr wchar_t kSwitchRegOcx[] = L"-regocx";
inline constexpr wchar_t kSwitchSilent[] = L" -silent";
inline constexpr wchar_t kSwitchWinDefExcludeAdd[] = L"-windefexcludeadd";
inline constexpr wchar_t kSwitchWinDefExcludeRem[] = L"-windefexcluderem";

// The verb of a switch run (no elevation is asked for).
inline constexpr wchar_t kClientRunVerb[] = L"open";

// Shell integration: the document type and the URL scheme handed to VuClient.exe.
inline constexpr wchar_t kDocumentExtension[] = L".n4a";
inline constexpr wchar_t kDocumentClass[] = L"VuClient.Document";
inline constexpr wchar_t kDocumentMimeType[] = L"application/x-n4a";
inline constexpr wchar_t kUrlScheme[] = L"kivclient";
// The word between the executable and the URL on a URL command line.
inline constexpr wchar_t kUrlSchemaWord[] = L"urlSchema";

// Window properties (any non-null value) that mark a client's top-level
// windows, and the registered message that asks such a window to end its client.
inline constexpr wchar_t kLauncherWindowProperty[] = L"N4_Launcher";
inline constexpr wchar_t kVuClientWindowProperty[] = L"N4_VuClient";
inline constexpr wchar_t kCloseAllMessageName[] = L"n4CloseAll";

// Exit code given to a client process that is still running after the close request.
constexpr UINT kTerminatedClientExitCode = 0xFFFFFFFF;

// How long one marked window may take to handle the close message.
constexpr DWORD kCloseRequestTimeoutMs = 10000;
// How long the installer waits for one switch run of VuClient.exe.
constexpr DWORD kClientRunWaitMs = 300000;
