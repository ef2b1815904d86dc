#include "integration/running_clients.h"

#include <psapi.h>
#include <tlhelp32.h>

#include <memory>
#include <new>
#include <vector>

#include "win/handles.h"

namespace {

constexpr wchar_t kUnknownProcessName[] = L"<unknown>";
constexpr DWORD kFirstProcessListBytes = 2048;

// Carried through EnumWindows: the property that marks a client window and the
// list that both searches of one close request fill.
struct ClientWindowSearch {
    const wchar_t* propertyName;
    std::vector<HWND>* windows;
};

BOOL CALLBACK CollectMarkedWindow(HWND window, LPARAM context) {
    auto* search = reinterpret_cast<ClientWindowSearch*>(context);
    if (GetPropW(window, search->propertyName) != nullptr) search->windows->push_back(window);
    return TRUE;
}

// The user SID of the process's token; empty when it cannot be read.
std::vector<BYTE> TokenUserOf(HANDLE process) {
    HANDLE token = nullptr;
    if (!OpenProcessToken(process, TOKEN_QUERY, &token)) return {};
    const UniqueHandle owned(token);
    DWORD bytes = 0;
    GetTokenInformation(token, TokenUser, nullptr, 0, &bytes);
    std::vector<BYTE> user(bytes);
    if (bytes == 0 || !GetTokenInformation(token, TokenUser, user.data(), bytes, &bytes)) {
        return {};
    }
    const SID* sid = static_cast<const SID*>(reinterpret_cast<TOKEN_USER*>(user.data())->User.Sid);
    const DWORD length = GetLengthSid(const_cast<SID*>(sid));
    const BYTE* first = reinterpret_cast<const BYTE*>(sid);
    return std::vector<BYTE>(first, first + length);
}

// True when the process runs as the user this installer runs as. The install
// is the current user's: other users' clients (in their own sessions on the
// same machine) use another install and are neither counted nor closed, even
// when the rights to end them are there. A process whose user cannot be read
// is left alone as well.
bool RunsAsCurrentUser(HANDLE process) {
    static const std::vector<BYTE> own = TokenUserOf(GetCurrentProcess());
    const std::vector<BYTE> user = TokenUserOf(process);
    return !own.empty() && user == own;
}

wchar_t FoldAscii(wchar_t c) {
    return (c >= L'A' && c <= L'Z') ? c - L'A' + L'a' : c;
}

}  // namespace

bool ImageNamesEqual(const wchar_t* first, const wchar_t* second) {
    if (first == nullptr || second == nullptr) return false;
    for (; *first != L'\0' && *second != L'\0'; ++first, ++second) {
        if (FoldAscii(*first) != FoldAscii(*second)) return false;
    }
    return *first == *second;
}

void ForEachProcess(ProcessHandler handler, void* context) {
    if (handler == nullptr) return;
    UniqueFileHandle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    if (!snapshot) {
        ForEachProcessById(handler, context);
        return;
    }
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof(entry);
    for (BOOL more = Process32FirstW(snapshot.Get(), &entry); more;
         more = Process32NextW(snapshot.Get(), &entry)) {
        UniqueHandle process(OpenProcess(PROCESS_TERMINATE | PROCESS_QUERY_LIMITED_INFORMATION,
                                         FALSE, entry.th32ProcessID));
        if (process && RunsAsCurrentUser(process.Get())) {
            handler(process.Get(), entry.szExeFile, context);
        }
    }
}

void ForEachProcessById(ProcessHandler handler, void* context) {
    if (handler == nullptr) return;
    // Grow the id buffer until EnumProcesses leaves part of it unused.
    std::unique_ptr<DWORD[]> ids;
    DWORD bytes = kFirstProcessListBytes / 2;
    DWORD returned = 0;
    BOOL listed = FALSE;
    do {
        bytes *= 2;
        ids.reset();
        ids.reset(new (std::nothrow) DWORD[bytes / sizeof(DWORD)]);
        if (!ids) return;
        returned = 0;
        listed = EnumProcesses(ids.get(), bytes, &returned);
    } while (listed && returned == bytes);
    if (!listed) return;

    for (DWORD i = 0; i < returned / sizeof(DWORD); ++i) {
        wchar_t name[MAX_PATH] = {};
        wcscpy_s(name, kUnknownProcessName);
        UniqueHandle process(OpenProcess(
            PROCESS_QUERY_INFORMATION | PROCESS_VM_READ | PROCESS_TERMINATE, FALSE, ids[i]));
        if (!process || !RunsAsCurrentUser(process.Get())) continue;
        HMODULE firstModule = nullptr;
        DWORD needed = 0;
        if (EnumProcessModules(process.Get(), &firstModule, sizeof(firstModule), &needed)) {
            GetModuleBaseNameW(process.Get(), firstModule, name, MAX_PATH);
        }
        handler(process.Get(), name, context);
    }
}

void CountProcessesNamed(HANDLE /*process*/, const wchar_t* imageName, void* context) {
    auto* counter = static_cast<ClientProcessCounter*>(context);
    if (counter == nullptr) return;
    if (ImageNamesEqual(imageName, counter->name)) ++counter->count;
}

void TerminateProcessesNamed(HANDLE process, const wchar_t* imageName, void* context) {
    const auto* list = static_cast<const ProcessNameList*>(context);
    if (list == nullptr || list->names == nullptr) return;
    for (size_t i = 0; i < list->count; ++i) {
        if (ImageNamesEqual(imageName, list->names[i])) {
            TerminateProcess(process, kTerminatedClientExitCode);
            return;
        }
    }
}

void SendCloseAllToClientWindows(DWORD timeoutMs) {
    const UINT message = RegisterWindowMessageW(kCloseAllMessageName);
    std::vector<HWND> windows;
    ClientWindowSearch launcherSearch{kLauncherWindowProperty, &windows};
    EnumWindows(CollectMarkedWindow, reinterpret_cast<LPARAM>(&launcherSearch));
    ClientWindowSearch clientSearch{kVuClientWindowProperty, &windows};
    EnumWindows(CollectMarkedWindow, reinterpret_cast<LPARAM>(&clientSearch));
    // Without the registered message there is nothing the clients would understand.
    if (message == 0) return;
    for (HWND window : windows) {
        SendMessageTimeoutW(window, message, 0, 0, SMTO_NORMAL, timeoutMs, nullptr);
    }
}

void CloseRunningClients(DWORD timeoutMs) {
    static constexpr const wchar_t* kClientNames[] = {kDeskHubClientExe, kVuClientExe};
    SendCloseAllToClientWindows(timeoutMs);
    ProcessNameList names{kClientNames, ARRAYSIZE(kClientNames)};
    ForEachProcess(TerminateProcessesNamed, &names);
}
