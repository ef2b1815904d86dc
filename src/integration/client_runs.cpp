#include "integration/client_runs.h"

#include <shellapi.h>

#include <cstdint>

#include "logging/log_write.h"
#include "logging/logger.h"
#include "win/handles.h"

namespace {

constexpr DWORD kFirstElevationMajorVersion = 6;

// -1 until the first check, then 0 or 1 for the rest of the process.
int32_t g_cachedAdminAnswer = -1;

// The token whose Administrators membership tells the answer: the linked full
// token of a filtered administrator token, else an identification copy of the
// process token. Returns false with the last error of the failed call.
bool GetTokenToCheck(HANDLE processToken, UniqueHandle& tokenToCheck) {
    OSVERSIONINFOW version{};
    version.dwOSVersionInfoSize = sizeof(version);
    if (!GetVersionExW(&version)) return false;

    if (version.dwMajorVersion >= kFirstElevationMajorVersion) {
        TOKEN_ELEVATION_TYPE elevationType = TokenElevationTypeDefault;
        DWORD returned = 0;
        if (!GetTokenInformation(processToken, TokenElevationType, &elevationType,
                                 sizeof(elevationType), &returned)) {
            return false;
        }
        if (elevationType == TokenElevationTypeLimited) {
            TOKEN_LINKED_TOKEN linked{};
            if (!GetTokenInformation(processToken, TokenLinkedToken, &linked, sizeof(linked),
                                     &returned)) {
                return false;
            }
            tokenToCheck.Reset(linked.LinkedToken);
        }
    }
    if (!tokenToCheck) {
        if (!DuplicateToken(processToken, SecurityIdentification, tokenToCheck.Put())) {
            return false;
        }
    }
    return true;
}

bool CheckAdminMembership(bool& member) {
    UniqueHandle processToken;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY | TOKEN_DUPLICATE, processToken.Put())) {
        return false;
    }
    UniqueHandle tokenToCheck;
    if (!GetTokenToCheck(processToken.Get(), tokenToCheck)) return false;

    BYTE sid[SECURITY_MAX_SID_SIZE];
    DWORD sidSize = sizeof(sid);
    if (!CreateWellKnownSid(WinBuiltinAdministratorsSid, nullptr, sid, &sidSize)) return false;
    BOOL isMember = FALSE;
    if (!CheckTokenMembership(tokenToCheck.Get(), sid, &isMember)) return false;
    member = isMember != FALSE;
    return true;
}

}  // namespace

bool IsUserInAdminGroup() {
    if (g_cachedAdminAnswer != -1) return g_cachedAdminAnswer != 0;
    bool member = false;
    if (!CheckAdminMembership(member)) {
        LogWrite(1, 0, 107, L"IsUserInAdminGroup failed w/err %lu\n", GetLastError());
        member = false;
    }
    g_cachedAdminAnswer = member ? 1 : 0;
    return member;
}

DWORD RunClientWithSwitch(const std::wstring& folder, const std::wstring& parameters,
                          DWORD waitMs) {
    static constexpr wchar_t kLaunchFailed[] =
        L"Failed to launch VuClient for RDP control installation. Error: %d.\n";
    static constexpr ULONG kRunMask = SEE_MASK_NOCLOSEPROCESS | SEE_MASK_CONNECTNETDRV |
                                      SEE_MASK_NOASYNC | SEE_MASK_DOENVSUBST | SEE_MASK_FLAG_NO_UI |
                                      SEE_MASK_UNICODE | SEE_MASK_ASYNCOK;
    static_assert(kRunMask == 0x1047C0);

    // The client path must fit a MAX_PATH buffer with its terminating zero.
    // A client that cannot be started answers with the system error, never 0:
    // the caller takes 0 for a run that went well.
    const std::wstring file = folder + kVuClientExe;
    if (file.size() >= MAX_PATH) {
        LogWriteDefault(LogLevelError, 11, kLaunchFailed,
                        static_cast<int>(ERROR_FILENAME_EXCED_RANGE));
        return ERROR_FILENAME_EXCED_RANGE;
    }

    SHELLEXECUTEINFOW run{};
    run.cbSize = sizeof(run);
    run.fMask = kRunMask;
    run.lpVerb = kClientRunVerb;
    run.lpFile = file.c_str();
    run.lpParameters = parameters.c_str();
    run.nShow = SW_HIDE;
    if (!ShellExecuteExW(&run)) {
        DWORD error = GetLastError();
        if (error == ERROR_SUCCESS) error = ERROR_GEN_FAILURE;
        LogWriteDefault(LogLevelError, 11, kLaunchFailed, static_cast<int>(error));
        return error;
    }

    DWORD exitCode = 0;
    if (run.hProcess != nullptr) {
        UniqueHandle process(run.hProcess);
        WaitForSingleObject(process.Get(), waitMs);
        if (!GetExitCodeProcess(process.Get(), &exitCode)) exitCode = 0;
    }
    return exitCode;
}
