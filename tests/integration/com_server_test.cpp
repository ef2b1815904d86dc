// Self-registration of the client's COM server through the stand-in library,
// loaded for real; its registry writes land in a per-test sandbox.
#include <gtest/gtest.h>

#include <string>

#include "integration/client_contract.h"
#include "integration/com_server.h"
#include "integration/registry_reading.h"
#include "logging/logger.h"
#include "support/test_support.h"
#include "win/dll_search.h"

using registry_reading::KeyExists;
using registry_reading::ReadValue;
using registry_reading::StringBytes;
using testing_support::RegistrySandbox;
using testing_support::TempFolder;

namespace {

constexpr wchar_t kServerClassKey[] =
    L"Software\\Classes\\CLSID\\{7D6048FC-30BF-4B43-A6CF-AD23CA8F44D8}";

// An install folder with the stand-in server (or its variant) as
// KivClientSystem.dll, and a log of its own.
class ComServerFolder {
  public:
    explicit ComServerFolder(const wchar_t* builtLibrary) {
        if (builtLibrary != nullptr) {
            const std::wstring source = testing_support::BinFolder() + L"\\" + builtLibrary;
            EXPECT_TRUE(CopyFileW(source.c_str(), LibraryPath().c_str(), FALSE));
        }
        LogInitialize(LogPath().c_str());
    }
    std::wstring Folder() const { return folder_.Path() + L"\\"; }
    std::wstring LibraryPath() const { return folder_ / kComServerDll; }
    std::wstring LogPath() const { return logFolder_ / L"log.txt"; }
    std::wstring Log() const { return testing_support::ReadUtf16File(LogPath()); }
    void ChooseResults(const std::string& settings) const {
        testing_support::WriteFileBytes(folder_ / L"stand_in_com_server.ini",
                                        "[server]\r\n" + settings);
    }
    // One line per entry-point call, as the stand-in records them.
    std::string Calls() const {
        return testing_support::ReadFileBytes(folder_ / L"stand_in_com_server.log");
    }

  private:
    TempFolder folder_;
    TempFolder logFolder_;
};

// Records of the log: a new log file starts with a line break, and every
// record begins a line with its bracketed header.
size_t RecordCount(const std::wstring& log) {
    size_t records = 0;
    for (size_t at = log.find(L"\n["); at != std::wstring::npos; at = log.find(L"\n[", at + 1)) {
        ++records;
    }
    return records;
}

}  // namespace

TEST(ComServerRegistration, RegistersAndUnregistersThroughTheLibrary) {
    RegistrySandbox sandbox;
    ComServerFolder install(L"KivClientSystem.dll");

    EXPECT_EQ(RegisterComServer(install.Folder(), true), 0u);
    // The library's own registration, with the path it was loaded from.
    EXPECT_EQ(ReadValue(sandbox.Key(), std::wstring(kServerClassKey) + L"\\InprocServer32", nullptr)
                  .bytes,
              StringBytes(install.LibraryPath()));
    // Freed again after the call.
    EXPECT_EQ(GetModuleHandleW(install.LibraryPath().c_str()), nullptr);

    // The folder without its trailing backslash names the same library.
    std::wstring bare = install.Folder();
    bare.pop_back();
    EXPECT_EQ(RegisterComServer(bare, false), 0u);
    EXPECT_FALSE(KeyExists(sandbox.Key(), kServerClassKey));
    EXPECT_EQ(GetModuleHandleW(install.LibraryPath().c_str()), nullptr);

    const std::string calls = install.Calls();
    EXPECT_EQ(calls.find("register\t"), 0u) << calls;
    EXPECT_NE(calls.find("\nunregister\t"), std::string::npos) << calls;

    const std::wstring log = install.Log();
    EXPECT_EQ(RecordCount(log), 2u) << testing_support::ToUtf8(log);
    const size_t first = log.find(L"[I 00/0000002D/");
    ASSERT_NE(first, std::wstring::npos) << testing_support::ToUtf8(log);
    EXPECT_NE(log.find(L"[I 00/0000002D/", first + 1), std::wstring::npos);
    EXPECT_NE(log.find(L" - COM registration for KivClientSystem.dll returned 0\r\n"),
              std::wstring::npos)
        << testing_support::ToUtf8(log);
}

TEST(ComServerRegistration, PassesOnAFailingEntryPointsResult) {
    RegistrySandbox sandbox;
    ComServerFolder install(L"KivClientSystem.dll");
    install.ChooseResults("RegisterResult=0x80070005\r\nUnregisterResult=-2147467259\r\n");

    EXPECT_EQ(RegisterComServer(install.Folder(), true), 0x80070005u);
    EXPECT_FALSE(KeyExists(sandbox.Key(), kServerClassKey));
    EXPECT_EQ(RegisterComServer(install.Folder(), false), 0x80004005u);

    const std::wstring log = install.Log();
    EXPECT_NE(log.find(L"COM registration for KivClientSystem.dll returned -2147024891\r\n"),
              std::wstring::npos)
        << testing_support::ToUtf8(log);
    EXPECT_NE(log.find(L"COM registration for KivClientSystem.dll returned -2147467259\r\n"),
              std::wstring::npos)
        << testing_support::ToUtf8(log);
    EXPECT_EQ(RecordCount(log), 2u) << testing_support::ToUtf8(log);
}

TEST(ComServerRegistration, MissingLibraryGivesTheLoadError) {
    RegistrySandbox sandbox;
    ComServerFolder install(nullptr);

    EXPECT_EQ(RegisterComServer(install.Folder(), true), static_cast<DWORD>(ERROR_MOD_NOT_FOUND));
    EXPECT_EQ(RegisterComServer(install.Folder(), false), static_cast<DWORD>(ERROR_MOD_NOT_FOUND));

    const std::wstring log = install.Log();
    const std::wstring line =
        L" - LoadLibrary " + install.LibraryPath() + L" failed (error 0X0000007e)\r\n";
    const size_t first = log.find(line);
    ASSERT_NE(first, std::wstring::npos) << testing_support::ToUtf8(log);
    EXPECT_NE(log.find(line, first + 1), std::wstring::npos);
    EXPECT_NE(log.find(L"[W 00/00000009/"), std::wstring::npos) << testing_support::ToUtf8(log);
    EXPECT_EQ(RecordCount(log), 2u) << testing_support::ToUtf8(log);
}

TEST(ComServerRegistration, LibraryWithoutTheEntryPointGivesProcNotFound) {
    RegistrySandbox sandbox;
    ComServerFolder install(L"KivClientSystemNoEntry.dll");

    EXPECT_EQ(RegisterComServer(install.Folder(), true), static_cast<DWORD>(ERROR_PROC_NOT_FOUND));
    EXPECT_EQ(RegisterComServer(install.Folder(), false), static_cast<DWORD>(ERROR_PROC_NOT_FOUND));
    EXPECT_EQ(GetModuleHandleW(install.LibraryPath().c_str()), nullptr);

    const std::wstring log = install.Log();
    EXPECT_NE(log.find(L" - GetProcAddress DllRegisterServer failed\r\n"), std::wstring::npos)
        << testing_support::ToUtf8(log);
    EXPECT_NE(log.find(L" - GetProcAddress DllUnregisterServer failed\r\n"), std::wstring::npos);
    EXPECT_NE(log.find(L"[W 00/0000002C/"), std::wstring::npos);
    // No result line after a missing entry point.
    EXPECT_EQ(log.find(L"COM registration"), std::wstring::npos);
    EXPECT_EQ(RecordCount(log), 2u) << testing_support::ToUtf8(log);
}

// The installer's DLL search: a library the process loads by name comes
// neither from the program's folder (here C:\bin, where the test programs
// and KivServerHelper.dll lie, as a download folder would hold a planted
// DLL) nor from the current folder, while the COM server still finds the
// helper DLL it imports beside it. Under Wine the libraries the installer
// itself loads by name (uxtheme.dll, imm32.dll through user32) are Wine's
// own, so a name Wine does not provide stands for them.
TEST(ComServerRegistration, DllSearchSkipsProgramAndCurrentFoldersNotTheServersOwn) {
    RegistrySandbox sandbox;
    TempFolder current;
    const std::wstring planted = testing_support::BinFolder() + L"\\KivServerHelper.dll";
    ASSERT_TRUE(CopyFileW(planted.c_str(), (current / L"PlantedHelper.dll").c_str(), FALSE));
    ASSERT_TRUE(SetCurrentDirectoryW(current.Path().c_str()));
    // Before: both planted copies load by their bare names.
    HMODULE before = LoadLibraryW(L"KivServerHelper.dll");
    EXPECT_NE(before, nullptr);
    if (before != nullptr) FreeLibrary(before);
    before = LoadLibraryW(L"PlantedHelper.dll");
    EXPECT_NE(before, nullptr);
    if (before != nullptr) FreeLibrary(before);

    RestrictDllSearch();
    EXPECT_EQ(LoadLibraryW(L"KivServerHelper.dll"), nullptr);
    EXPECT_EQ(LoadLibraryW(L"PlantedHelper.dll"), nullptr);

    ComServerFolder install(L"KivClientSystemWithHelper.dll");
    const std::wstring helper = install.Folder() + L"KivServerHelper.dll";
    ASSERT_TRUE(CopyFileW(planted.c_str(), helper.c_str(), FALSE));
    EXPECT_EQ(RegisterComServer(install.Folder(), true), 0u)
        << testing_support::ToUtf8(install.Log());
    EXPECT_EQ(install.Calls().find("register\t"), 0u);
    EXPECT_TRUE(KeyExists(sandbox.Key(), kServerClassKey));
    SetCurrentDirectoryW(testing_support::BinFolder().c_str());
}
