#include <gtest/gtest.h>

#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

#include "app/installer_app.h"
#include "logging/logger.h"
#include "support/test_support.h"

using namespace testing_support;

namespace {

struct Parsed {
    int32_t mode, interactive, upgrade;
    std::vector<std::wstring> lines;  // "code:message" of each line logged
};

// Parses the argument text as start-up does (Interactive set to 1 first) and
// collects the lines logged.
Parsed Parse(const std::wstring& arguments) {
    TempFolder folder;
    const std::wstring log = folder / L"log.txt";
    LogInitialize(log.c_str());
    CBasicClientInstallerApp app(arguments);
    app.Interactive = 1;
    app.ParseCommandLine();
    Parsed parsed{app.Mode, app.Interactive, app.Upgrade, {}};
    const std::wstring text = ReadUtf16File(log);
    for (size_t pos = text.find(L"[I 21/"); pos != std::wstring::npos;
         pos = text.find(L"[I 21/", pos + 1)) {
        const std::wstring code = text.substr(pos + 6, 8);
        const size_t start = text.find(L" - ", pos) + 3;
        const size_t end = text.find(L"\r\r\n", start);
        parsed.lines.push_back(code + L":" + text.substr(start, end - start));
    }
    return parsed;
}

const std::wstring kInstall = L"00000001:Installer set to Install";
const std::wstring kUninstall = L"00000002:Installer set to Uninstall";
const std::wstring kQuiet = L"00000003:Installer set to Quiet";
const std::wstring kUpgrade = L"00000003:Installer set to upgrade";

}  // namespace

TEST(ParseCommandLine, SwitchTable) {
    struct Case {
        const wchar_t* arguments;
        int32_t mode, interactive, upgrade;
        std::vector<std::wstring> lines;
    };
    const Case cases[] = {
        {L"", ModeUninstall, 1, 0, {kUninstall}},
        {L"-i", ModeInstall, 1, 0, {kInstall}},
        {L"-i -u", ModeUninstall, 1, 0, {kInstall, kUninstall}},
        {L"-u -i", ModeUninstall, 1, 0, {kInstall, kUninstall}},
        {L"-q", ModeUninstall, 0, 0, {kUninstall, kQuiet}},
        {L"-u -q -g", ModeUninstall, 0, 1, {kUninstall, kQuiet, kUpgrade}},
        {L"-i -g", ModeInstall, 1, 1, {kInstall, kUpgrade}},
        {L"-iqg", ModeInstall, 1, 0, {kInstall}},
        // Case-sensitive: capitals are not switches, so this is an interactive uninstall.
        {L"-I -Q -G -U", ModeUninstall, 1, 0, {kUninstall}},
        // A switch counts wherever its two characters stand.
        {L"-install", ModeInstall, 1, 0, {kInstall}},
        {L"D:\\my-quiet\\x -i", ModeInstall, 0, 0, {kInstall, kQuiet}},
        {L"/i /q", ModeUninstall, 1, 0, {kUninstall}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(ToUtf8(c.arguments));
        const Parsed parsed = Parse(c.arguments);
        EXPECT_EQ(parsed.mode, c.mode);
        EXPECT_EQ(parsed.interactive, c.interactive);
        EXPECT_EQ(parsed.upgrade, c.upgrade);
        EXPECT_EQ(parsed.lines, c.lines);
    }
}

TEST(ParseCommandLine, ProgramNameIsNotPartOfTheArguments) {
    EXPECT_EQ(ArgumentsFromCommandLine(L"\"C:\\my-install dir\\Uninstall.exe\" -q"), L"-q");
    EXPECT_EQ(ArgumentsFromCommandLine(L"C:\\x-i\\Uninstall.exe\t -u"), L"-u");
    EXPECT_EQ(ArgumentsFromCommandLine(L"Uninstall.exe"), L"");
    EXPECT_EQ(ArgumentsFromCommandLine(L"\"unterminated -i"), L"");
    EXPECT_EQ(ArgumentsFromCommandLine(nullptr), L"");
    // A program in a folder named like a switch does not change the mode.
    EXPECT_EQ(Parse(ArgumentsFromCommandLine(L"\"C:\\a-i\\Uninstall.exe\"")).mode, ModeUninstall);
}

TEST(ConfirmUninstall, QuietRunsDoNotAsk) {
    CBasicClientInstallerApp app(L"-q");
    app.Interactive = 0;
    EXPECT_TRUE(app.ConfirmUninstall());
}

TEST(ConfirmUninstall, BoxAnsweredYesAndNo) {
    for (const wchar_t* answer : {L"yes", L"no"}) {
        SCOPED_TRACE(ToUtf8(answer));
        ChildProcess answerer;
        ASSERT_TRUE(answerer.Start(Quoted(BinFolder() + L"\\msgbox_answer.exe") + L" " +
                                   Quoted(kConfirmCaption) + L" " + answer + L" 20000"));
        CBasicClientInstallerApp app(L"");
        app.Interactive = 1;
        EXPECT_EQ(app.ConfirmUninstall(), std::wstring(answer) == L"yes");
        EXPECT_EQ(answerer.Wait(20000), 0u) << "the box was not found by its caption";
    }
}

TEST(StartUp, DeclinedUninstallWithoutAppDataLogsToTheDriveRoot) {
    // No APPDATA: the log goes to "\HLXBasicClientLog.txt" on the current drive.
    // The real program, answered No: only the switch line is logged, exit code 0.
    const std::wstring rootLog = L"C:\\HLXBasicClientLog.txt";
    DeleteFileW(rootLog.c_str());
    TempFolder work;
    ChildProcess answerer;
    ASSERT_TRUE(answerer.Start(Quoted(BinFolder() + L"\\msgbox_answer.exe") + L" " +
                               Quoted(kConfirmCaption) + L" no 30000"));
    ChildProcess installer;
    ASSERT_TRUE(installer.Start(Quoted(BinFolder() + L"\\Uninstall.exe"),
                                {{L"APPDATA", std::nullopt}}, work.Path()));
    EXPECT_EQ(installer.Wait(30000), 0u);
    EXPECT_EQ(answerer.Wait(30000), 0u);

    const std::wstring text = ReadUtf16File(rootLog);
    DeleteFileW(rootLog.c_str());
    EXPECT_NE(text.find(L"] "), std::wstring::npos);
    EXPECT_NE(text.find(L" - Installer set to Uninstall\r\r\n"), std::wstring::npos)
        << ToUtf8(text);
    EXPECT_EQ(text.find(L"Installer set to Install"), std::wstring::npos);
    // Nothing but the one switch line (after the line break that opens the file).
    EXPECT_EQ(std::count(text.begin(), text.end(), L'\n'), 2);
}

// The manifest a vendor ships: no elevation asked, the Windows versions named
// (so that the compatibility assistant leaves the installer alone), the
// product's version in the version resource.
TEST(Executable, ManifestAndVersionAreThoseOfTheRelease) {
    const std::wstring exe = BinFolder() + L"\\Uninstall.exe";
    HMODULE image = LoadLibraryExW(exe.c_str(), nullptr,
                                   LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
    ASSERT_NE(image, nullptr);
    HRSRC found = FindResourceW(image, MAKEINTRESOURCEW(1), MAKEINTRESOURCEW(24));
    ASSERT_NE(found, nullptr);
    const char* data = static_cast<const char*>(LockResource(LoadResource(image, found)));
    ASSERT_NE(data, nullptr);
    const std::string manifest(data, SizeofResource(image, found));
    FreeLibrary(image);
    for (const char* part :
         {"level=\"asInvoker\"", "{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}",
          "{35138b9a-5d96-4fbd-8e2d-a2440225f93a}", "processorArchitecture=\"amd64\""}) {
        EXPECT_NE(manifest.find(part), std::string::npos) << part;
    }

    DWORD ignored = 0;
    std::vector<BYTE> version(GetFileVersionInfoSizeW(exe.c_str(), &ignored));
    ASSERT_FALSE(version.empty());
    ASSERT_TRUE(
        GetFileVersionInfoW(exe.c_str(), 0, static_cast<DWORD>(version.size()), version.data()));
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT size = 0;
    ASSERT_TRUE(VerQueryValueW(version.data(), L"\\", reinterpret_cast<void**>(&fixed), &size));
    const std::string expected = INSTALLER_TEST_VERSION;
    char text[64];
    snprintf(text, sizeof(text), "%u.%u.%u", HIWORD(fixed->dwFileVersionMS),
             LOWORD(fixed->dwFileVersionMS), HIWORD(fixed->dwFileVersionLS));
    EXPECT_EQ(text, expected);
}
