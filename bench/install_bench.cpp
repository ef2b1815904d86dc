// Install and uninstall of one payload size, three ways, in this prefix:
//   ours   the built Uninstall.exe (-i -q, then the installed copy's -u -q), each
//          timed from its start to its end as a child process;
//   floor  only the renames and deletions of the same tree, timed inside this
//          process (no process start in it);
//   nsis   a per-user NSIS installer of the same tree (/S), then its
//          uninstaller (/S, run in place so that its end is the job's end).
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

bool Exists(const std::wstring& path) {
    return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

// Runs a command line and waits for its end; false when it did not start.
bool RunAndWait(const std::wstring& commandLine, const std::wstring& folder) {
    std::wstring line = commandLine;
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process = {};
    if (!CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, folder.c_str(),
                        &startup, &process)) {
        return false;
    }
    WaitForSingleObject(process.hProcess, INFINITE);
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
        // In place (_?=): the uninstaller then neither copies itself away nor
        // returns before its work is done; it leaves only itself behind.
        Result(files, "nsis", "uninstall", Seconds([&] {
                   started = RunAndWait(L"\"" + nsis + L"\\uninst.exe\" /S _?=" + nsis, roaming);
               }));
        if (!started || Exists(nsis + L"\\Uninstall.exe")) {
            Problem(files, "nsis-uninstall-incomplete");
        }
        DeleteTree(nsis);
    }
    return 0;
}
