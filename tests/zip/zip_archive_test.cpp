// Extraction of archives made by real tools (Info-ZIP zip, 7-Zip, bsdtar,
// Python's zipfile) at build time; see make_zip_archives.py for how each one
// was made.

#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "support/test_support.h"
#include "zip/zip_archive.h"

using testing_support::BinFolder;
using testing_support::FileExists;
using testing_support::FolderExists;
using testing_support::ListTree;
using testing_support::ReadFileBytes;
using testing_support::TempFolder;
using testing_support::WriteFileBytes;

namespace {

std::wstring Archive(const std::wstring& name) {
    return BinFolder() + L"\\ziptest_" + name + L".zip";
}

bool Extract(const std::wstring& archive, const std::wstring& destination, bool junkPaths = false) {
    CZipArchive zip;
    zip.OpenArchive(archive);
    const bool extracted = zip.ExtractAll(destination, junkPaths);
    zip.CloseArchive();
    return extracted;
}

// The text of big.txt in the tool archives.
std::string BigText(int lines) {
    std::string text;
    char line[96];
    for (int i = 0; i < lines; ++i) {
        std::snprintf(line, sizeof line,
                      "line %05d of a text long enough to span several copy chunks\r\n", i);
        text += line;
    }
    return text;
}

FILETIME ExpectedFileTime(WORD year, WORD month, WORD day, WORD hour, WORD minute, WORD second) {
    const WORD date = static_cast<WORD>(((year - 1980) << 9) | (month << 5) | day);
    const WORD time = static_cast<WORD>((hour << 11) | (minute << 5) | (second / 2));
    FILETIME local{};
    FILETIME utc{};
    EXPECT_TRUE(DosDateTimeToFileTime(date, time, &local));
    EXPECT_TRUE(LocalFileTimeToFileTime(&local, &utc));
    return utc;
}

struct FileTimes {
    FILETIME creation{};
    FILETIME lastWrite{};
};

FileTimes ReadFileTimes(const std::wstring& path) {
    FileTimes times;
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              0, nullptr);
    EXPECT_NE(file, INVALID_HANDLE_VALUE) << testing_support::ToUtf8(path);
    if (file == INVALID_HANDLE_VALUE) return times;
    GetFileTime(file, &times.creation, nullptr, &times.lastWrite);
    CloseHandle(file);
    return times;
}

ULONGLONG Ticks(const FILETIME& time) {
    return (static_cast<ULONGLONG>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
}

const std::vector<std::wstring> kToolTree = {
    L"a\\", L"a\\b\\", L"a\\b\\c.txt", L"big.txt", L"docs\\", L"docs\\readme.txt", L"top.txt"};

}  // namespace

TEST(ZipExtraction, ArchivesOfEveryToolGiveTheSameFilesAndNoEmptyFolders) {
    // Each tool also packed the tree given as "." (bsdtar's names then start
    // with "./", the entry "./" included); Info-ZIP also with Zip64 records
    // forced, and to a pipe (data descriptors after every entry's data); and
    // as Java writes, with deflated folder entries.
    for (const wchar_t* tool :
         {L"infozip_deflated", L"infozip_stored", L"sevenzip", L"bsdtar", L"infozip_deflated_dot",
          L"infozip_stored_dot", L"sevenzip_dot", L"bsdtar_dot", L"infozip_zip64",
          L"infozip_streamed", L"java_layout"}) {
        SCOPED_TRACE(testing_support::ToUtf8(tool));
        TempFolder root;
        const std::wstring destination = root / L"out";
        ASSERT_TRUE(Extract(Archive(tool), destination));
        // The archives hold the folder entry "empty/": it makes nothing.
        EXPECT_EQ(ListTree(destination), kToolTree);
        EXPECT_EQ(ReadFileBytes(destination + L"\\top.txt"), "top level file\r\n");
        EXPECT_EQ(ReadFileBytes(destination + L"\\docs\\readme.txt"), "read me\r\n");
        EXPECT_EQ(ReadFileBytes(destination + L"\\a\\b\\c.txt"), "deep file c\r\n");
        EXPECT_EQ(ReadFileBytes(destination + L"\\big.txt"), BigText(400));
    }
}

TEST(ZipExtraction, DotPiecesAndDoubledSeparatorsInNamesAreDropped) {
    TempFolder root;
    const std::wstring destination = root / L"dots";
    ASSERT_TRUE(Extract(Archive(L"dot_pieces"), destination));
    EXPECT_EQ(ListTree(destination),
              (std::vector<std::wstring>{L"a\\", L"a\\b\\", L"a\\b\\c.txt", L"docs\\",
                                         L"docs\\readme.txt", L"top.txt"}));
    EXPECT_EQ(ReadFileBytes(destination + L"\\docs\\readme.txt"), "read me\r\n");

    CZipArchive zip;
    ASSERT_TRUE(zip.OpenArchive(Archive(L"dot_pieces")));
    ZipEntryInfo info{};
    ASSERT_TRUE(zip.ReadCurrentEntryInfo(info));  // "./": a folder entry without a name
    EXPECT_TRUE(info.isFolder);
    EXPECT_EQ(info.name, L"");
}

TEST(ZipExtraction, JunkPathsPutsEveryFileDirectlyIntoTheDestination) {
    TempFolder root;
    const std::wstring destination = root / L"flat";
    ASSERT_TRUE(Extract(Archive(L"infozip_deflated"), destination, true));
    EXPECT_EQ(ListTree(destination),
              (std::vector<std::wstring>{L"big.txt", L"c.txt", L"readme.txt", L"top.txt"}));
    EXPECT_EQ(ReadFileBytes(destination + L"\\c.txt"), "deep file c\r\n");
}

TEST(ZipExtraction, DestinationFoldersAreCreatedAndDoubledBackslashesCollapsed) {
    TempFolder root;
    // Three missing levels, two of them joined by a doubled backslash.
    ASSERT_TRUE(Extract(Archive(L"infozip_stored"), root.Path() + L"\\one\\\\two\\three"));
    EXPECT_EQ(ListTree(root.Path()).front(), L"one\\");
    EXPECT_EQ(ReadFileBytes(root / L"one\\two\\three\\a\\b\\c.txt"), "deep file c\r\n");
    // one\, one\two\, one\two\three\ and the archive's tree: no other folder.
    EXPECT_EQ(ListTree(root.Path()).size(), 3 + kToolTree.size());
    EXPECT_EQ(ListTree(root / L"one\\two\\three"), kToolTree);

    // A destination ending in a backslash is used as it is.
    ASSERT_TRUE(Extract(Archive(L"sevenzip"), root.Path() + L"\\trail\\"));
    EXPECT_EQ(ListTree(root / L"trail"), kToolTree);

    // An archive whose path passes MAX_PATH is opened all the same.
    std::wstring deep = L"\\\\?\\" + root.Path();
    for (int level = 0; level < 3; ++level) {
        deep += L"\\" + std::wstring(100, static_cast<wchar_t>(L'p' + level));
        ASSERT_TRUE(CreateDirectoryW(deep.c_str(), nullptr));
    }
    const std::wstring deepArchive = deep.substr(4) + L"\\brand.zip";
    ASSERT_GT(deepArchive.size(), static_cast<size_t>(MAX_PATH));
    ASSERT_TRUE(CopyFileW(Archive(L"sevenzip").c_str(), (L"\\\\?\\" + deepArchive).c_str(), FALSE));
    ASSERT_TRUE(Extract(deepArchive, root.Path() + L"\\deep"));
    EXPECT_EQ(ListTree(root / L"deep"), kToolTree);
}

TEST(ZipExtraction, ARelativeDestinationWithDotPiecesIsTheFolderTheSystemNames) {
    TempFolder root;
    wchar_t previous[MAX_PATH] = {};
    GetCurrentDirectoryW(MAX_PATH, previous);
    ASSERT_TRUE(SetCurrentDirectoryW(root.Path().c_str()));
    const bool extracted = Extract(Archive(L"infozip_stored"), L"rel\\.\\sub");
    SetCurrentDirectoryW(previous);
    EXPECT_TRUE(extracted);
    EXPECT_EQ(ListTree(root / L"rel\\sub"), kToolTree);
}

TEST(ZipExtraction, ASecondRunOverwritesEveryFile) {
    TempFolder root;
    const std::wstring destination = root / L"out";
    ASSERT_TRUE(Extract(Archive(L"infozip_deflated"), destination));
    WriteFileBytes(destination + L"\\top.txt", "changed");
    // Longer than the entry: the old tail must not survive.
    WriteFileBytes(destination + L"\\a\\b\\c.txt", std::string(5000, 'x'));
    SetFileAttributesW((destination + L"\\docs\\readme.txt").c_str(), FILE_ATTRIBUTE_NORMAL);

    ASSERT_TRUE(Extract(Archive(L"infozip_deflated"), destination));
    EXPECT_EQ(ReadFileBytes(destination + L"\\top.txt"), "top level file\r\n");
    EXPECT_EQ(ReadFileBytes(destination + L"\\a\\b\\c.txt"), "deep file c\r\n");
    EXPECT_EQ(ListTree(destination), kToolTree);
}

TEST(ZipExtraction, FileTimesAreTheStoredDosTimeReadAsLocalTime) {
    TIME_ZONE_INFORMATION zone{};
    GetTimeZoneInformation(&zone);
    // The test run sets a zone away from UTC, so that reading the DOS time as
    // UTC would show.
    EXPECT_NE(zone.Bias, 0) << "run with TZ set to a zone away from UTC";

    TempFolder root;
    ASSERT_TRUE(Extract(Archive(L"infozip_deflated"), root / L"tool"));
    const FILETIME toolTime = ExpectedFileTime(2021, 3, 4, 5, 6, 8);
    for (const wchar_t* name : {L"top.txt", L"a\\b\\c.txt", L"big.txt"}) {
        SCOPED_TRACE(testing_support::ToUtf8(name));
        const FileTimes times = ReadFileTimes(root / (std::wstring(L"tool\\") + name));
        EXPECT_EQ(Ticks(times.lastWrite), Ticks(toolTime));
        EXPECT_EQ(Ticks(times.creation), Ticks(toolTime));
    }

    // zipfile stored 13:37:43; DOS times keep two-second steps, so 13:37:42.
    ASSERT_TRUE(Extract(Archive(L"times"), root / L"python"));
    const FileTimes times = ReadFileTimes(root / L"python\\stamped.txt");
    EXPECT_EQ(Ticks(times.lastWrite), Ticks(ExpectedFileTime(2019, 7, 14, 13, 37, 42)));
    EXPECT_EQ(Ticks(times.creation), Ticks(times.lastWrite));
}

TEST(ZipExtraction, EmptyArchivesFoldersOnlyAndFolderClashes) {
    TempFolder root;
    // No entries: false. minizip finds no end record at offset 0, so the bare
    // record does not even open; behind a stub it opens and the destination
    // is created.
    EXPECT_FALSE(Extract(Archive(L"empty"), root / L"bare"));
    EXPECT_FALSE(FolderExists(root / L"bare"));
    EXPECT_FALSE(Extract(Archive(L"empty_after_stub"), root / L"empty"));
    EXPECT_TRUE(FolderExists(root / L"empty"));
    EXPECT_TRUE(ListTree(root / L"empty").empty());

    // Folder entries only: true, and nothing but the destination exists.
    EXPECT_TRUE(Extract(Archive(L"folders_only"), root / L"folders"));
    EXPECT_TRUE(FolderExists(root / L"folders"));
    EXPECT_TRUE(ListTree(root / L"folders").empty());

    // The entry's name is a folder in the destination: the file cannot be made.
    CreateDirectoryW((root / L"clash").c_str(), nullptr);
    CreateDirectoryW((root / L"clash\\clash.txt").c_str(), nullptr);
    EXPECT_FALSE(Extract(Archive(L"clash"), root / L"clash"));
    EXPECT_TRUE(FolderExists(root / L"clash\\clash.txt"));

    // The destination itself is a file.
    WriteFileBytes(root / L"file", "x");
    EXPECT_FALSE(Extract(Archive(L"infozip_stored"), root / L"file"));
    EXPECT_FALSE(Extract(Archive(L"infozip_stored"), root / L"file\\below"));
    EXPECT_EQ(ReadFileBytes(root / L"file"), "x");
}

TEST(ZipExtraction, NothingHappensWithoutAnOpenArchiveOrADestination) {
    TempFolder root;
    CZipArchive zip;
    ZipEntryInfo info{L"stale", 1, true};
    EXPECT_FALSE(zip.ReadCurrentEntryInfo(info));
    EXPECT_TRUE(info.name.empty());
    EXPECT_FALSE(zip.ExtractAll(root / L"closed", false));
    EXPECT_FALSE(zip.ExtractCurrentEntry(root / L"closed", false));
    EXPECT_FALSE(FolderExists(root / L"closed"));

    ASSERT_TRUE(zip.OpenArchive(Archive(L"infozip_stored")));
    EXPECT_FALSE(zip.ExtractAll(L"", false));
    // Reopening another archive closes the first one.
    ASSERT_TRUE(zip.OpenArchive(Archive(L"times")));
    EXPECT_TRUE(zip.ExtractAll(root / L"reopened", false));
    EXPECT_EQ(ListTree(root / L"reopened"), std::vector<std::wstring>{L"stamped.txt"});
    zip.CloseArchive();
    zip.CloseArchive();
    EXPECT_FALSE(zip.IsOpen());
}

TEST(ZipNames, Utf8BehindTheMarkerAndAnsiBytesAreDecodedLevelByLevel) {
    // The ANSI entries hold cp1252 bytes (0xE9 is "é").
    if (GetACP() != 1252) GTEST_SKIP() << "ANSI code page is " << GetACP() << ", not 1252";
    TempFolder root;
    const std::wstring destination = root / L"names";
    ASSERT_TRUE(Extract(Archive(L"names"), destination));
    EXPECT_EQ(ListTree(destination), (std::vector<std::wstring>{
                                         L"back\\",
                                         L"back\\slash.txt",
                                         L"café.txt",
                                         L"plain\\",
                                         L"plain\\Файл.rés",
                                         L"Папка\\",
                                         L"Папка\\résumé\\",
                                         L"Папка\\résumé\\日本.txt",
                                         L"Привет.ini",
                                     }));
    EXPECT_EQ(ReadFileBytes(destination + L"\\Привет.ini"), "cyrillic\r\n");
    EXPECT_EQ(ReadFileBytes(destination + L"\\Папка\\résumé\\日本.txt"), "mixed\r\n");
}

TEST(ZipNames, NamesFlaggedAsUtf8AreUtf8WhateverTheCodePage) {
    // Read as ANSI, "é" (0xC3 0xA9) would come out as two other characters.
    for (const wchar_t* tool : {L"sevenzip_utf8", L"bsdtar_utf8", L"python_utf8"}) {
        SCOPED_TRACE(testing_support::ToUtf8(tool));
        TempFolder root;
        const std::wstring destination = root / L"utf8";
        ASSERT_TRUE(Extract(Archive(tool), destination));
        EXPECT_EQ(
            ListTree(destination),
            (std::vector<std::wstring>{L"café.txt", L"Ünï\\", L"Ünï\\Привет.txt", L"日本.txt"}));
        EXPECT_EQ(ReadFileBytes(destination + L"\\Ünï\\Привет.txt"),
                  "cyrillic in a latin folder\r\n");
    }
    TempFolder root;
    EXPECT_FALSE(Extract(Archive(L"utf8_flag_bad_bytes"), root / L"bad"));
    EXPECT_EQ(ListTree(root / L"bad"), std::vector<std::wstring>{L"first.txt"});

    // Info-ZIP's UTF-8 name field is used while its CRC matches the name.
    ASSERT_TRUE(Extract(Archive(L"unicode_path_field"), root / L"field"));
    EXPECT_EQ(ListTree(root / L"field"), (std::vector<std::wstring>{L"café.txt", L"stale.txt"}));
}

// Run under code page 932 by zip.ShiftJisNames (see CMakeLists.txt).
TEST(ZipNames, ShiftJisTrailBytesAreNoSeparators) {
    if (GetACP() != 932) GTEST_SKIP() << "ANSI code page is " << GetACP() << ", not 932";
    wchar_t out[32];
    // 0x95 0x5C is one character; so is 0x83 0x5C.
    EXPECT_TRUE(DecodeStoredName("\x95\x5c", out, 32));
    EXPECT_STREQ(out, L"\u8868");
    EXPECT_TRUE(DecodeStoredName("dir\\\x95\x5c\x83\x5c.txt", out, 32));
    EXPECT_STREQ(out, L"dir\\\u8868\u30bd.txt");

    // The entries' names as extraction uses them. (Files of these names
    // cannot be made here: the Japanese Linux locale that gives Wine code
    // page 932 is not installed, so Wine's Unix file names are ASCII only.)
    CZipArchive zip;
    ASSERT_TRUE(zip.OpenArchive(Archive(L"sjis_names")));
    ZipEntryInfo info{};
    ASSERT_TRUE(zip.ReadCurrentEntryInfo(info));
    EXPECT_EQ(info.name, L"\u8868\\\u30bd.txt");
    zip.CloseArchive();
    // A UTF-8 piece whose last byte (0x94) is a cp932 lead byte keeps its separator.
    EXPECT_TRUE(DecodeStoredName("\x7f\x7f\xd0\x94/x.txt", out, 32));
    EXPECT_STREQ(out, L"Д\\x.txt");
}

TEST(ZipNames, DecodeStoredNameSplitsLikeSplitpathAndReportsCuts) {
    wchar_t out[32];
    EXPECT_TRUE(DecodeStoredName("docs/readme.txt", out, 32));
    EXPECT_STREQ(out, L"docs\\readme.txt");
    EXPECT_TRUE(DecodeStoredName("img/", out, 32));
    EXPECT_STREQ(out, L"img\\");
    EXPECT_TRUE(DecodeStoredName("X:dir\\sub/f.tar.gz", out, 32));
    EXPECT_STREQ(out, L"dir\\sub\\f.tar.gz");
    EXPECT_TRUE(DecodeStoredName("\x7f\x7f\xd0\x94.ini", out, 32));
    EXPECT_STREQ(out, L"Д.ini");
    // The marker only counts at the start of a file-name part.
    EXPECT_TRUE(DecodeStoredName("a\x7f\x7f.txt", out, 32));
    EXPECT_STREQ(out, L"a\x7f\x7f.txt");

    // Cut to the capacity (terminating zero included): reported, never overrun.
    wchar_t small[6];
    std::fill(std::begin(small), std::end(small), L'#');
    EXPECT_FALSE(DecodeStoredName("abc/defgh.txt", small, 5));
    EXPECT_STREQ(small, L"abc\\");
    EXPECT_EQ(small[5], L'#');
    EXPECT_TRUE(DecodeStoredName("abc/d", small, 6));
    EXPECT_STREQ(small, L"abc\\d");

    // A part longer than the 255 bytes a part holds is a cut as well.
    std::vector<wchar_t> wide(600);
    EXPECT_TRUE(DecodeStoredName(std::string(255, 'p'), wide.data(), wide.size()));
    EXPECT_FALSE(DecodeStoredName(std::string(256, 'p'), wide.data(), wide.size()));
    EXPECT_FALSE(DecodeStoredName(std::string(256, 'q') + "/x", wide.data(), wide.size()));
}

TEST(ZipSafety, EntriesLeadingOutsideTheDestinationAreRefused) {
    for (const wchar_t* name : {L"dotdot", L"absolute", L"drive", L"inner_dotdot",
                                L"backslash_dotdot", L"utf8_dotdot", L"stream",
                                L"dot_dotdot"}) {
        SCOPED_TRACE(testing_support::ToUtf8(name));
        TempFolder root;
        const std::wstring destination = root / L"box\\dest";
        EXPECT_FALSE(Extract(Archive(std::wstring(L"traversal_") + name), destination));
        // The good entry before it stays; nothing lands anywhere else.
        EXPECT_EQ(ListTree(root.Path()),
                  (std::vector<std::wstring>{L"box\\", L"box\\dest\\", L"box\\dest\\first.txt"}));
    }
    EXPECT_FALSE(FileExists(L"C:\\zipbrand_escaped_absolute.txt"));
    EXPECT_FALSE(FileExists(L"C:\\zipbrand_escaped_drive.txt"));
}

TEST(ZipSafety, NamesThePathRulesWouldChangeAreRefused) {
    // Made through "\\?\", such files could be neither copied nor deleted
    // by their plain paths afterwards.
    for (const wchar_t* name :
         {L"trailing_dot", L"trailing_blank", L"dot_folder", L"device", L"device_extension",
          L"device_folder", L"device_port", L"device_blank", L"device_console", L"angle", L"pipe",
          L"control"}) {
        SCOPED_TRACE(testing_support::ToUtf8(name));
        TempFolder root;
        EXPECT_FALSE(Extract(Archive(std::wstring(L"windows_") + name), root / L"dest"));
        EXPECT_EQ(ListTree(root.Path()),
                  (std::vector<std::wstring>{L"dest\\", L"dest\\first.txt"}));
    }
    TempFolder root;
    ASSERT_TRUE(Extract(Archive(L"windows_lookalikes"), root / L"fine"));
    EXPECT_EQ(ListTree(root / L"fine"),
              (std::vector<std::wstring>{L" lead.txt", L".hidden", L"COM10.txt", L"CONFIG.txt",
                                         L"LPT.txt", L"a.b.c", L"console", L"docs\\",
                                         L"docs\\con_list.txt", L"nul_x.txt"}));
}

namespace {

// Removes a tree whose paths may be longer than MAX_PATH.
void RemoveLongTree(const std::wstring& root) {
    std::vector<std::wstring> items = ListTree(root);
    std::sort(items.rbegin(), items.rend());  // children before their folders
    for (const std::wstring& item : items) {
        const std::wstring path = L"\\\\?\\" + root + L"\\" + item;
        if (item.back() == L'\\') {
            RemoveDirectoryW(path.c_str());
        } else {
            DeleteFileW(path.c_str());
        }
    }
}

}  // namespace

TEST(ZipSafety, NamesOverTheLimitsAreRefusedAndTheLongestNameWithinThemWorks) {
    TempFolder root;
    const std::wstring fits = root / L"fits";
    ASSERT_TRUE(Extract(Archive(L"long_fits"), fits));
    const std::wstring name = std::wstring(100, L'd') + L"\\" + std::wstring(100, L'e') + L"\\" +
                              std::wstring(53, L'f') + L".txt";
    ASSERT_EQ(name.size(), 259u);
    // Longer than MAX_PATH with the destination in front.
    EXPECT_EQ(ReadFileBytes(L"\\\\?\\" + fits + L"\\" + name), "long\r\n");
    RemoveLongTree(fits);

    for (const wchar_t* archive : {L"long_260", L"long_300", L"long_folder_part"}) {
        SCOPED_TRACE(testing_support::ToUtf8(archive));
        const std::wstring destination = root / archive;
        EXPECT_FALSE(Extract(Archive(archive), destination));
        EXPECT_TRUE(ListTree(destination).empty());
    }
}

TEST(ZipExtraction, ArchivesBehindOtherBytesAreWhole) {
    TempFolder root;
    for (const wchar_t* archive : {L"stub_concatenated", L"stub_appended"}) {
        SCOPED_TRACE(testing_support::ToUtf8(archive));
        const std::wstring destination = root / archive;
        EXPECT_TRUE(Extract(Archive(archive), destination));
        EXPECT_EQ(ListTree(destination), (std::vector<std::wstring>{L"empty.txt", L"good.txt",
                                                                    L"victim.txt"}));
        EXPECT_EQ(testing_support::ReadFileBytes(destination + L"\\good.txt"), "good\r\n");
    }
}

TEST(ZipDamage, BrokenArchivesFailAndLeaveNoPartFile) {
    TempFolder root;
    // Not openable: nothing is created.
    for (const wchar_t* archive : {L"truncated", L"not_a_zip", L"missing"}) {
        SCOPED_TRACE(testing_support::ToUtf8(archive));
        EXPECT_FALSE(Extract(Archive(archive), root / archive));
        EXPECT_FALSE(FolderExists(root / archive));
    }

    // Opens, but its central directory cannot be walked.
    EXPECT_FALSE(Extract(Archive(L"bad_central"), root / L"central"));
    EXPECT_TRUE(ListTree(root / L"central").empty());

    // The second entry fails after its file was created: a CRC mismatch
    // (stored), an inflate or CRC error (deflated), a local header that is not
    // one or names another file, encrypted data read without the password,
    // plain data marked as encrypted, an empty entry whose local header places
    // its data past the central directory, folder entries whose headers
    // disagree, an entry
    // whose data is that of the entry before or lies within it (as in a zip
    // bomb, whose records all share one stretch of data). The first entry
    // stays, the failed one leaves no file.
    for (const wchar_t* archive :
         {L"crc_stored", L"flipped_deflated", L"bad_local_offset", L"encrypted", L"encryption_flag",
          L"empty_entry_bad_local", L"folder_bad_local", L"dot_folder_sizes", L"shared_data",
          L"quoted_overlap", L"local_name"}) {
        SCOPED_TRACE(testing_support::ToUtf8(archive));
        const std::wstring destination = root / archive;
        EXPECT_FALSE(Extract(Archive(archive), destination));
        const std::vector<std::wstring> left = ListTree(destination);
        ASSERT_EQ(left.size(), 1u);
        EXPECT_TRUE(left[0] == L"good.txt" || left[0] == L"plain.txt")
            << testing_support::ToUtf8(left[0]);
    }

    // Whole archives whose big entry has a method the extraction does not
    // read (Deflate64, bzip2): what came before stays, that entry leaves no
    // file, and nothing after it is written.
    for (const wchar_t* archive : {L"sevenzip_deflate64", L"sevenzip_bzip2"}) {
        SCOPED_TRACE(testing_support::ToUtf8(archive));
        const std::wstring destination = root / archive;
        EXPECT_FALSE(Extract(Archive(archive), destination));
        EXPECT_EQ(ListTree(destination),
                  (std::vector<std::wstring>{L"a\\", L"a\\b\\", L"a\\b\\c.txt"}));
    }

    // The walk or the data ends early: a later central record damaged, fewer
    // records than the end record counts, more records than it counts, an
    // entry whose data gives less than its declared size.
    for (const wchar_t* archive : {L"bad_second_central", L"count_high", L"count_low",
                                   L"short_data"}) {
        SCOPED_TRACE(testing_support::ToUtf8(archive));
        const std::wstring destination = root / archive;
        EXPECT_FALSE(Extract(Archive(archive), destination));
        const std::vector<std::wstring> left = ListTree(destination);
        // Every entry read so far stays; with too high a count both entries are in.
        ASSERT_FALSE(left.empty());
        EXPECT_EQ(left[0], L"good.txt");
        if (left.size() > 1) {
            EXPECT_EQ(std::wstring(archive), L"count_high");
        }
    }

    // A failed entry also removes an older file of that name.
    const std::wstring again = root / L"again";
    WriteFileBytes(again + L"\\victim.txt", "older");
    EXPECT_FALSE(Extract(Archive(L"crc_stored"), again));
    EXPECT_FALSE(FileExists(again + L"\\victim.txt"));
}
