// Install and uninstall of one payload size, three ways, in this prefix:
//   ours   the built Uninstall.exe (-i -q, then the installed copy's -u -q), each
//          timed from its start to the end of the last process it started;
//   floor  only the renames and deletions of the same tree, timed inside this
//          process (no process start in it);
//   nsis   a per-user NSIS installer of the same tree (/S), then its
//          uninstaller (/S), timed the same way.
// bench/install_bench.py lays out the trees and builds the NSIS installer
// beforehand under C:\bench\n<files>:
//   ours<run>\, floor<run>\   the payload (the stand-ins are copied in here)
//   nsis_setup.exe            installs into %APPDATA%\QuellmoorNsisPeer
// One line per measurement: "result <files> <series> <install|uninstall> <seconds>",
// after one warm-up run of every series that is not reported.
// Usage: install_bench.exe <files> <runs>   (the trees for runs + 1 runs laid out)

#include <windows.h>
#include <shlobj.h>

#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>

#include "bench_files.h"

namespace {

constexpr wchar_t kBenchRoot[] = L"C:\\bench";
constexpr wchar_t kNsisFolderName[] = L"QuellmoorNsisPeer";
const wchar_t* const kStandIns[] = {L"Uninstall.exe", L"VuClient.exe", L"DESKHubClient.exe",
                                    L"KivClientSystem.dll"};

std::wstring RoamingFolder() {
    wchar_t path[MAX_PATH] = {};
    SHGetFolderPathW(nullptr, CSIDL_APPDATA, nullptr, SHGFP_TYPE_CURRENT, path);
    return path;
}

// A job object and the port that tells when its last process has ended.
struct UniqueJob {
    HANDLE handle = CreateJobObjectW(nullptr, nullptr);
    HANDLE port = CreateIoCompletionPort(INVALID_HANDLE_VALUE, nullptr, 0, 1);
    UniqueJob() = default;
    UniqueJob(const UniqueJob&) = delete;
    UniqueJob& operator=(const UniqueJob&) = delete;
    ~UniqueJob() {
        if (port != nullptr) CloseHandle(port);
        if (handle != nullptr) CloseHandle(handle);
    }
};

// How long the processes a run started may go on after it has ended.
constexpr DWORD kJobEndWaitMs = 60000;

bool Exists(const std::wstring& path) {
    return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

// Runs a command line and waits until it and every process it started have
// ended: an installer's job ends with its last process (our uninstaller's
// own-file helper, the NSIS uninstaller's copy of itself in the temporary
// folder). Processes started in a job stay in it. False when it did not start.
bool RunAndWait(const std::wstring& commandLine, const std::wstring& folder) {
    UniqueJob job;
    JOBOBJECT_ASSOCIATE_COMPLETION_PORT port{job.handle, job.port};
    const bool watched =
        job.handle != nullptr && job.port != nullptr &&
        SetInformationJobObject(job.handle, JobObjectAssociateCompletionPortInformation, &port,
                                sizeof(port));
    std::wstring line = commandLine;
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process = {};
    if (!CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, CREATE_SUSPENDED, nullptr,
                        folder.c_str(), &startup, &process)) {
        return false;
    }
    const bool inJob = watched && AssignProcessToJobObject(job.handle, process.hProcess);
    ResumeThread(process.hThread);
    WaitForSingleObject(process.hProcess, INFINITE);
    DWORD message = 0;
    ULONG_PTR key = 0;
    LPOVERLAPPED detail = nullptr;
    while (inJob && GetQueuedCompletionStatus(job.port, &message, &key, &detail, kJobEndWaitMs) &&
           message != JOB_OBJECT_MSG_ACTIVE_PROCESS_ZERO) {
    }
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return true;
}

// The floor's deletion: every file, then every folder, depth first.
void DeleteTree(const std::wstring& folder) {
    WIN32_FIND_DATAW entry;
    HANDLE find = FindFirstFileExW((folder + L"\\*").c_str(), FindExInfoBasic, &entry,
                                   FindExSearchNameMatch, nullptr, 0);
    if (find != INVALID_HANDLE_VALUE) {
        do {
            const wchar_t* name = entry.cFileName;
            if (name[0] == L'.' && (name[1] == 0 || (name[1] == L'.' && name[2] == 0))) continue;
            const std::wstring path = folder + L"\\" + name;
            if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                DeleteTree(path);
            } else {
                DeleteFileW(path.c_str());
            }
        } while (FindNextFileW(find, &entry));
        FindClose(find);
    }
    RemoveDirectoryW(folder.c_str());
}

// The floor's install: the top-level entries renamed into the install folder,
// as the install moves a release folder without a manifest.
bool MoveContents(const std::wstring& source, const std::wstring& destination) {
    CreateDirectoryW(destination.c_str(), nullptr);
    WIN32_FIND_DATAW entry;
    HANDLE find = FindFirstFileExW((source + L"\\*").c_str(), FindExInfoBasic, &entry,
                                   FindExSearchNameMatch, nullptr, 0);
    if (find == INVALID_HANDLE_VALUE) return false;
    bool ok = true;
    do {
        const wchar_t* name = entry.cFileName;
        if (name[0] == L'.' && (name[1] == 0 || (name[1] == L'.' && name[2] == 0))) continue;
        ok = MoveFileExW((source + L"\\" + name).c_str(), (destination + L"\\" + name).c_str(),
                         MOVEFILE_REPLACE_EXISTING) &&
             ok;
    } while (FindNextFileW(find, &entry));
    FindClose(find);
    return ok && RemoveDirectoryW(source.c_str());
}

// The first run warms the caches and Wine's own processes up; it is not reported.
bool g_warmingUp = false;

void Result(int files, const char* series, const char* phase, double seconds) {
    if (g_warmingUp) return;
    std::printf("result %d %s %s %.4f\n", files, series, phase, seconds);
    std::fflush(stdout);
}

// The NSIS uninstaller leaves its copy in "%TEMP%\\~nsu<n>.tmp" for the next
// restart to delete; the bench deletes it, untimed.
void RemoveNsisCopies() {
    WIN32_FIND_DATAW entry;
    HANDLE find = FindFirstFileW(TempPath(L"~nsu*.tmp").c_str(), &entry);
    if (find == INVALID_HANDLE_VALUE) return;
    do {
        RemoveTree(TempPath(entry.cFileName));
    } while (FindNextFileW(find, &entry));
    FindClose(find);
}

void Problem(int files, const char* what) {
    std::printf("problem %d %s\n", files, what);
    std::fflush(stdout);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc < 3) {
        std::printf("usage: install_bench.exe <files> <runs>\n");
        return 2;
    }
    const int files = _wtoi(argv[1]);
    const int runs = _wtoi(argv[2]);
    const std::wstring sizeFolder = std::wstring(kBenchRoot) + L"\\n" + std::to_wstring(files);
    const std::wstring bin = ModuleFolder();
    const std::wstring roaming = RoamingFolder();
    const std::wstring ours = roaming + L"\\QuellmoorClient";
    const std::wstring floorTarget = roaming + L"\\QuellmoorFloor";
    const std::wstring nsis = roaming + L"\\" + kNsisFolderName;

    // On Windows the desktop is there before any installer runs. Under Wine the
    // first process that needs it starts explorer.exe /desktop, which then
    // outlives that process (and would keep a timed job open): started here,
    // neither side pays for it.
    GetDesktopWindow();

    // Run 0 warms up: its times are not reported.
    for (int run = 0; run <= runs; ++run) {
        g_warmingUp = run == 0;
        const std::wstring release = sizeFolder + L"\\ours" + std::to_wstring(run);
        const std::wstring floorRelease = sizeFolder + L"\\floor" + std::to_wstring(run);
        for (const wchar_t* name : kStandIns) {
            CopyFileW((bin + L"\\" + name).c_str(), (release + L"\\" + name).c_str(), FALSE);
            CopyFileW((bin + L"\\" + name).c_str(), (floorRelease + L"\\" + name).c_str(), FALSE);
        }

        bool started = true;
        Result(files, "ours", "install", Seconds([&] {
                   // Started from outside the release folder, which it removes.
                   started = RunAndWait(L"\"" + release + L"\\Uninstall.exe\" -i -q", sizeFolder);
               }));
        if (!started || Exists(release) || !Exists(ours + L"\\Uninstall.exe")) {
            Problem(files, "ours-install-incomplete");
        }
        Result(files, "ours", "uninstall", Seconds([&] {
                   started = RunAndWait(L"\"" + ours + L"\\Uninstall.exe\" -u -q", roaming);
               }));
        if (!started || Exists(ours)) Problem(files, "ours-uninstall-incomplete");

        bool moved = false;
        Result(files, "floor", "install",
               Seconds([&] { moved = MoveContents(floorRelease, floorTarget); }));
        if (!moved) Problem(files, "floor-install-incomplete");
        Result(files, "floor", "uninstall", Seconds([&] { DeleteTree(floorTarget); }));
        if (Exists(floorTarget)) Problem(files, "floor-uninstall-incomplete");

        Result(files, "nsis", "install", Seconds([&] {
                   started = RunAndWait(L"\"" + sizeFolder + L"\\nsis_setup.exe\" /S", sizeFolder);
               }));
        if (!started || !Exists(nsis + L"\\uninst.exe")) Problem(files, "nsis-install-incomplete");
        // As a user runs it: it copies itself to the temporary folder, starts
        // the copy on the install folder and returns; the job ends with the copy.
        Result(files, "nsis", "uninstall", Seconds([&] {
                   started = RunAndWait(L"\"" + nsis + L"\\uninst.exe\" /S", roaming);
               }));
        if (!started || Exists(nsis)) Problem(files, "nsis-uninstall-incomplete");
        DeleteTree(nsis);
        RemoveNsisCopies();
    }
    return 0;
}
