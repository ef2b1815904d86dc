#include "app/run_lock.h"

#include <sddl.h>
#include <tlhelp32.h>

#include <cwchar>
#include <string>

#include "logging/last_error.h"
#include "logging/log_write.h"

namespace {

constexpr uint8_t kAppLogModule = 33;
constexpr wchar_t kRunLockPrefix[] = L"Local\\QuellmoorClientSetup-";
// Set by the run that holds the lock to its own process id, so that the
// previous uninstaller it starts (a child inheriting the environment) knows
// that the holder is its parent and is waiting for it.
constexpr wchar_t kRunLockHolderVariable[] = L"QuellmoorClientSetupLockHolder";

// The user's SID as text: runs of other users in the same session keep
// locks of their own. Empty when it cannot be read.
std::wstring CurrentUserSid() {
    UniqueHandle token;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, token.Put())) return {};
    DWORD bytes = 0;
    GetTokenInformation(token.Get(), TokenUser, nullptr, 0, &bytes);
    if (bytes == 0) return {};
    std::wstring buffer(bytes / sizeof(wchar_t) + 1, L'\0');
    if (!GetTokenInformation(token.Get(), TokenUser, buffer.data(), bytes, &bytes)) return {};
    LPWSTR text = nullptr;
    if (!ConvertSidToStringSidW(reinterpret_cast<TOKEN_USER*>(buffer.data())->User.Sid, &text)) {
        return {};
    }
    UniqueLocalMemory owned(text);
    return text;
}

DWORD ParentProcessId() {
    UniqueFileHandle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    if (!snapshot) return 0;
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof(entry);
    const DWORD self = GetCurrentProcessId();
    for (BOOL more = Process32FirstW(snapshot.Get(), &entry); more;
         more = Process32NextW(snapshot.Get(), &entry)) {
        if (entry.th32ProcessID == self) return entry.th32ParentProcessID;
    }
    return 0;
}

// True when the variable names this process's parent: the run that holds
// the lock started this one and waits for it to end.
bool ParentHoldsTheLock() {
    wchar_t holder[16] = {};
    const DWORD length = GetEnvironmentVariableW(kRunLockHolderVariable, holder, 16);
    if (length == 0 || length >= 16) return false;
    const DWORD parent = ParentProcessId();
    return parent != 0 && wcstoul(holder, nullptr, 10) == parent;
}

}  // namespace

SetupRunLock::~SetupRunLock() {
    if (held_) {
        SetEnvironmentVariableW(kRunLockHolderVariable, nullptr);
        ReleaseMutex(mutex_.Get());
    }
}

bool SetupRunLock::Acquire() {
    if (ParentHoldsTheLock()) return true;
    const std::wstring name = kRunLockPrefix + CurrentUserSid();
    mutex_.Reset(CreateMutexW(nullptr, FALSE, name.c_str()));
    if (!mutex_) {
        LogWriteLastError(1, kAppLogModule, 12, L"Cannot create the lock %s; nothing is changed",
                          name.c_str());
        return false;
    }
    DWORD wait = WaitForSingleObject(mutex_.Get(), 0);
    if (wait == WAIT_TIMEOUT) {
        LogWrite(3, kAppLogModule, 12,
                 L"Waiting for another install or uninstall of this user to finish\n");
        wait = WaitForSingleObject(mutex_.Get(), kRunLockWaitMs);
    }
    if (wait != WAIT_OBJECT_0 && wait != WAIT_ABANDONED) {
        LogWrite(1, kAppLogModule, 12,
                 L"Another install or uninstall of this user still runs after %lu s; nothing is "
                 L"changed\n",
                 kRunLockWaitMs / 1000);
        return false;
    }
    held_ = true;
    SetEnvironmentVariableW(kRunLockHolderVariable, std::to_wstring(GetCurrentProcessId()).c_str());
    return true;
}
