#include <gtest/gtest.h>

#include "app/release_manifest.h"

namespace {

const std::string kHash(64, 'f');

std::wstring Problem(const std::string& text) {
    std::vector<ReleaseFile> files;
    std::wstring problem;
    EXPECT_FALSE(ParseReleaseManifest(text, files, problem)) << text;
    return problem;
}

}  // namespace

TEST(ReleaseManifest, ReadsSizesAndPaths) {
    std::vector<ReleaseFile> files;
    std::wstring problem;
    // Byte-order mark, comments, CR LF and LF, "/" read as "\", a blank in a name, UTF-8.
    const std::string text = "\xEF\xBB\xBF# files\r\n" + kHash + " 12 Uninstall.exe\r\n\n" +
                             kHash + " 0 Branding/My Brand.ico\n" + kHash +
                             " 9223372036854775807 Caf\xC3\xA9\\big.bin";
    ASSERT_TRUE(ParseReleaseManifest(text, files, problem)) << testing::PrintToString(problem);
    ASSERT_EQ(files.size(), 3u);
    EXPECT_EQ(files[0].path, L"Uninstall.exe");
    EXPECT_EQ(files[0].size, 12u);
    EXPECT_EQ(files[1].path, L"Branding\\My Brand.ico");
    EXPECT_EQ(files[2].path, L"Caf\u00e9\\big.bin");
    EXPECT_EQ(files[2].size, 9223372036854775807u);
}

TEST(ReleaseManifest, RefusesWhatIsNotAReleaseFile) {
    EXPECT_EQ(Problem("# nothing\n"), L"it lists no file");
    EXPECT_EQ(Problem("abc 1 a.exe\n"), L"line 1 is not \"<SHA-256> <size> <path>\"");
    EXPECT_EQ(Problem(kHash + " x a.exe\n"), L"line 1 has no valid size");
    EXPECT_EQ(Problem(kHash + " 99999999999999999999 a.exe\n"), L"line 1 has no valid size");
    for (const char* path : {"..\\a.exe", "a\\..\\..\\b", "C:\\Windows\\a.exe", "\\a.exe",
                             "a\\\\b", "a.exe:stream", "a\\"}) {
        EXPECT_EQ(Problem(kHash + " 1 " + path + "\n"),
                  L"line 1 names a path outside the release folder")
            << path;
    }
    EXPECT_EQ(Problem(kHash + " 1 Uninstall.release-manifest.txt\n"),
              L"line 1 names the manifest itself");
    EXPECT_EQ(Problem(kHash + " 1 a.exe\n" + kHash + " 1 A.EXE\n"),
              L"line 2 lists a file a second time");
    EXPECT_EQ(Problem("\xFF\xFE"), L"it is not UTF-8 text");
}
