// The thread UI language rule, observed in ui_language_probe processes.
//
// From major version 6 on the rule starts from GetThreadUILanguage, which Wine
// answers with the user's UI language from the Linux locale variables; those
// cases run from ui_language_user_languages.sh. The older road (thread locale)
// runs here, in a probe copy for which Wine reports an older system, and its
// outcome shows in GetThreadLocale.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

#include "platform/os_version.h"
#include "platform/ui_language.h"
#include "support/test_support.h"

using testing_support::TempFolder;

namespace {

struct ProbeLine {
    unsigned input = 0;
    unsigned long result = 0;
    unsigned ui = 0;
    unsigned long locale = 0;
};

struct ProbeRun {
    std::optional<DWORD> exitCode;
    std::string output;
    unsigned long major = 0;
    std::vector<ProbeLine> lines;
};

ProbeRun RunProbe(const std::wstring& program, const std::wstring& arguments,
                  const testing_support::EnvironmentChanges& environment) {
    TempFolder folder;
    ProbeRun run;
    run.exitCode = testing_support::RunProgram(testing_support::Quoted(program) + L" " + arguments,
                                               environment, 60000, folder / L"out.txt");
    run.output = testing_support::ReadFileBytes(folder / L"out.txt");
    size_t start = 0;
    while (start < run.output.size()) {
        size_t end = run.output.find('\n', start);
        if (end == std::string::npos) end = run.output.size();
        const std::string line = run.output.substr(start, end - start);
        start = end + 1;
        ProbeLine parsed;
        if (std::sscanf(line.c_str(), "major=%lu", &run.major) == 1) continue;
        if (std::sscanf(line.c_str(), "input=%x result=%lx ui=%x locale=%lx", &parsed.input,
                        &parsed.result, &parsed.ui, &parsed.locale) == 4) {
            run.lines.push_back(parsed);
        }
    }
    return run;
}

std::wstring ProbePath() {
    return testing_support::BinFolder() + L"\\ui_language_probe.exe";
}

// Makes Wine report an older system version to programs of one file name,
// for the lifetime of the object.
class OldSystemProgramName {
  public:
    explicit OldSystemProgramName(std::wstring name) : name_(std::move(name)) {
        const std::wstring key = KeyPath();
        HKEY appKey = nullptr;
        if (RegCreateKeyExW(HKEY_CURRENT_USER, key.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr,
                            &appKey, nullptr) == ERROR_SUCCESS) {
            static constexpr wchar_t kVersion[] = L"winxp64";
            RegSetValueExW(appKey, L"Version", 0, REG_SZ, reinterpret_cast<const BYTE*>(kVersion),
                           sizeof(kVersion));
            RegCloseKey(appKey);
        }
    }
    ~OldSystemProgramName() { RegDeleteTreeW(HKEY_CURRENT_USER, KeyPath().c_str()); }
    OldSystemProgramName(const OldSystemProgramName&) = delete;
    OldSystemProgramName& operator=(const OldSystemProgramName&) = delete;

  private:
    std::wstring KeyPath() const { return L"Software\\Wine\\AppDefaults\\" + name_; }
    std::wstring name_;
};

}  // namespace

TEST(ThreadUiLanguage, SetsThroughTheSystemFunctionFoundAtRunTime) {
    ASSERT_GE(GetOsMajorVersion(), 6u);
    // SetThreadUILanguage answers with the language set; the sort ID plays no part.
    EXPECT_EQ(SetThreadLanguage(0x0407, 1), 0x0407u);
    EXPECT_EQ(SetThreadLanguage(0x0411, 0), 0x0411u);
    // Whatever the user's language, one of the ten supported ones is set.
    static constexpr DWORD kSupported[] = {0x0004, 0x0407, 0x0C0A, 0x040C, 0x0410,
                                           0x0411, 0x0412, 0x0416, 0x0419, 0x0409};
    EXPECT_NE(std::find(std::begin(kSupported), std::end(kSupported), ApplyThreadUiLanguage()),
              std::end(kSupported));
}

TEST(ThreadUiLanguage, OlderSystemsSetTheThreadLocaleInstead) {
    TempFolder folder;
    const std::wstring name =
        L"ui_language_old_system_" + std::to_wstring(GetCurrentProcessId()) + L".exe";
    const std::wstring program = folder / name;
    ASSERT_TRUE(CopyFileW(ProbePath().c_str(), program.c_str(), FALSE));
    OldSystemProgramName oldSystem(name);

    // Each argument becomes the thread locale before the call.
    const ProbeRun run = RunProbe(program, L"0807 0816 0C0A 0411 0413 0409 0419", {});
    ASSERT_EQ(run.exitCode, 0u) << run.output;
    EXPECT_EQ(run.major, 5u) << run.output;
    static constexpr unsigned long kExpected[][2] = {
        {0x0807, 0x0407}, {0x0816, 0x0416}, {0x0C0A, 0x0C0A}, {0x0411, 0x0411},
        {0x0413, 0x0409}, {0x0409, 0x0409}, {0x0419, 0x0419},
    };
    ASSERT_EQ(run.lines.size(), std::size(kExpected)) << run.output;
    for (size_t i = 0; i < run.lines.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(run.lines[i].input, kExpected[i][0]) << run.output;
        EXPECT_NE(run.lines[i].result, 0u) << run.output;
        EXPECT_EQ(run.lines[i].locale, kExpected[i][1]) << run.output;
    }
}

TEST(ThreadUiLanguage, MapTableCoversTheTenLanguages) {
    // Every sub-language of a supported language, and a few others.
    EXPECT_EQ(MapToSupportedUiLanguage(MAKELANGID(LANG_CHINESE, SUBLANG_CHINESE_HONGKONG)), 0x0004);
    EXPECT_EQ(MapToSupportedUiLanguage(MAKELANGID(LANG_GERMAN, SUBLANG_GERMAN_AUSTRIAN)), 0x0407);
    EXPECT_EQ(MapToSupportedUiLanguage(MAKELANGID(LANG_SPANISH, SUBLANG_SPANISH_ARGENTINA)),
              0x0C0A);
    EXPECT_EQ(MapToSupportedUiLanguage(MAKELANGID(LANG_FRENCH, SUBLANG_FRENCH_BELGIAN)), 0x040C);
    EXPECT_EQ(MapToSupportedUiLanguage(0x0010), 0x0410);
    EXPECT_EQ(MapToSupportedUiLanguage(0x0011), 0x0411);
    EXPECT_EQ(MapToSupportedUiLanguage(0x0012), 0x0412);
    EXPECT_EQ(MapToSupportedUiLanguage(0x0016), 0x0416);
    EXPECT_EQ(MapToSupportedUiLanguage(0x0819), 0x0419);
    EXPECT_EQ(MapToSupportedUiLanguage(0x0000), 0x0409);
    EXPECT_EQ(MapToSupportedUiLanguage(0x0415), 0x0409);  // Polish
    // Only the low ten bits choose: a sub-language never makes another language.
    EXPECT_EQ(MapToSupportedUiLanguage(0xFC07), 0x0407);
    EXPECT_EQ(MapToSupportedUiLanguage(0x0407 | 0x0400), 0x0407);
}
