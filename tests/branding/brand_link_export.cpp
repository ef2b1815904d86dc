// Sets up the client's links from the test brand archive under a folder of the
// prefix and leaves them there, for a check of the link files from outside
// Windows (lnkinfo).
//
//   brand_link_export.exe <root folder>
//
// The root receives Desktop, Programs, Temp and Install\ (with the stand-in
// client as DESKHubClient.exe and Uninstall.exe). The prefix's shell folders
// and "BrandFileLocation" are put back before the program ends. Exits 0 when
// the brand's desktop link exists afterwards.

#include <objbase.h>
#include <windows.h>

#include <cstdio>
#include <string>

#include "branding/brand_links.h"
#include "branding/brand_test_helpers.h"
#include "cleanup/registry_and_shell_helpers.h"
#include "support/test_support.h"

int wmain(int argc, wchar_t** argv) {
    if (argc < 2) {
        fwprintf(stderr, L"usage: brand_link_export <root folder>\n");
        return 2;
    }
    const std::wstring root = argv[1];
    const std::wstring desktop = root + L"\\Desktop";
    const std::wstring programs = root + L"\\Programs";
    const std::wstring temp = root + L"\\Temp";
    const std::wstring install = root + L"\\Install\\";
    for (const std::wstring& folder : {root, desktop, programs, temp}) {
        CreateDirectoryW(folder.c_str(), nullptr);
    }
    SetEnvironmentVariableW(L"TMP", temp.c_str());
    SetEnvironmentVariableW(L"TEMP", temp.c_str());
    CoInitialize(nullptr);
    {
        // The shell keeps the first desktop it finds: redirect before any shell call.
        brand_testing::BrandFileLocationSnapshot savedLocation;
        cleanup_testing::ShellFolderRedirect desktopRedirect(L"Desktop", desktop);
        cleanup_testing::ShellFolderRedirect programsRedirect(L"Programs", programs);
        brand_testing::LayOutInstallFolder(install, true);
        UpdateClientShortcuts(false, install,
                              testing_support::BinFolder() + L"\\brandtest_full.zip", false);
    }
    CoUninitialize();
    return testing_support::FileExists(desktop + L"\\Harbour Desk Client.lnk") ? 0 : 1;
}
