#pragma once
// The administrator check and the switch runs of the installed VuClient.exe.

#include <windows.h>

#include <string>

#include "integration/client_contract.h"

// True when the user is a member of the built-in Administrators group, also when
// the process runs with the filtered token of an administrator (the linked full
// token is checked then). The first answer is cached for the process and
// returned by every later call without any token call. A failing token or SID
// call logs "IsUserInAdminGroup failed w/err %lu\n" (error, module 0, code 107)
// once and is answered, and cached, as false.
bool IsUserInAdminGroup();

// Starts folder + "VuClient.exe" hidden through the shell with the verb "open"
// and the whole parameter string (e.g. "-regocx -silent"), waits up to waitMs
// for it and returns its exit code: 259 (STILL_ACTIVE) when it is still running
// then (it is left running). folder must end with a backslash. A failed start,
// or a path of MAX_PATH characters or more (error 206), logs "Failed to launch
// VuClient for RDP control installation. Error: %d.\n" (error, default module,
// code 11) and returns that system error, never 0.
DWORD RunClientWithSwitch(const std::wstring& folder, const std::wstring& parameters,
                          DWORD waitMs = kClientRunWaitMs);
