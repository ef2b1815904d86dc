#pragma once
// Finding and stopping running client processes: by image name over the
// machine's process list, and through the registered close message sent to the
// clients' marked top-level windows. Nothing here logs.

#include <windows.h>

#include <cstddef>
#include <cstdint>

#include "integration/client_contract.h"

// Called once per process that could be opened. The handle is valid only for
// the call; imageName is the process's executable file name (no folder).
using ProcessHandler = void (*)(HANDLE process, const wchar_t* imageName, void* context);

// Context of CountProcessesNamed: count grows by one per process named name.
struct ClientProcessCounter {
    int32_t count = 0;
    const wchar_t* name = nullptr;
};

// Context of TerminateProcessesNamed: the image names to terminate.
struct ProcessNameList {
    const wchar_t* const* names = nullptr;
    size_t count = 0;
};

// True when the two names are equal with only A-Z and a-z folded together.
// Null equals nothing.
bool ImageNamesEqual(const wchar_t* first, const wchar_t* second);

// Calls handler for every running process of the current user (its token's
// user is this process's) that OpenProcess(PROCESS_TERMINATE) grants, walking a
// toolhelp snapshot; when no snapshot can be taken, falls back to
// ForEachProcessById. Other users' processes and processes that cannot be
// opened are skipped silently.
void ForEachProcess(ProcessHandler handler, void* context);

// The fallback of ForEachProcess: the process-id list of EnumProcesses, each
// process of the current user opened for query, memory read and termination;
// its name is the base name of its first module, or "<unknown>" when that
// cannot be read.
void ForEachProcessById(ProcessHandler handler, void* context);

// Handler: counts processes whose image name equals the counter's name. Does
// nothing for a null context or a counter without a name.
void CountProcessesNamed(HANDLE process, const wchar_t* imageName, void* context);

// Handler: terminates (exit code 0xFFFFFFFF, not waited for) a process whose
// image name equals one of the ProcessNameList's names. Does nothing for a null
// context.
void TerminateProcessesNamed(HANDLE process, const wchar_t* imageName, void* context);

// Sends the message registered as "n4CloseAll" (wParam 0, lParam 0) to every
// top-level window marked "N4_Launcher", then to every one marked "N4_VuClient"
// (a window with both marks gets it twice), waiting up to timeoutMs for each.
// Unanswered windows are skipped; message-only windows are never reached.
void SendCloseAllToClientWindows(DWORD timeoutMs = kCloseRequestTimeoutMs);

// Asks the client windows to close (SendCloseAllToClientWindows), then
// terminates every process still named "DESKHubClient.exe" or "VuClient.exe".
void CloseRunningClients(DWORD timeoutMs = kCloseRequestTimeoutMs);
