// Runs UpdateClientShortcuts once in a process of its own, whose shell reads
// the prefix's shell folders afresh.
//
//   brand_shortcuts.exe setup|teardown <install folder with trailing "\"> [<archive>]
//
// Prints "desktop=<folder>" and "programs=<folder>" as the shell gives them
// ("none" for a folder it cannot find) and exits 0, or 2 on a bad command line.

#include <objbase.h>
#include <shlobj.h>
#include <windows.h>

#include <cstdio>
#include <string>

#include "branding/brand_links.h"
#include "integration/shell_links.h"

int wmain(int argc, wchar_t** argv) {
    if (argc < 3) {
        fwprintf(stderr, L"usage: brand_shortcuts setup|teardown <install folder> [<archive>]\n");
        return 2;
    }
    const std::wstring mode = argv[1];
    if (mode != L"setup" && mode != L"teardown") return 2;
    CoInitialize(nullptr);
    std::wstring desktop;
    if (!GetSpecialFolderPath(desktop, CSIDL_DESKTOP)) desktop = L"none";
    std::wstring programs;
    if (!GetSpecialFolderPath(programs, CSIDL_PROGRAMS)) programs = L"none";
    wprintf(L"desktop=%ls\nprograms=%ls\n", desktop.c_str(), programs.c_str());
    fflush(stdout);
    UpdateClientShortcuts(mode == L"teardown", argv[2], argc > 3 ? argv[3] : L"", false);
    CoUninitialize();
    return 0;
}
