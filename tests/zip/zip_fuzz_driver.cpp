// Fuzz driver of the archive extraction: extracts every case of a list made by
// zip_fuzz_mutator.py in this one process, and after each case checks that
// nothing was written outside the destination and that an archive the
// mutator judged damaged was not reported as extracted.
//
// Usage: zip_fuzz_driver.exe CASE_FOLDER SANDBOX_FOLDER
// CASE_FOLDER holds cases.txt ("<damaged|sound> <file> <what was done>" per
// line) and the archives. The destination is SANDBOX\a\b\c\d\out, so that
// names climbing up to four levels still land inside the sandbox, where they
// are seen. Prints one line per finding and a summary; exit code 1 when
// anything was found, 2 when the cases cannot be read.

#include <windows.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "zip/zip_archive.h"

namespace {

const std::wstring kLong = L"\\\\?\\";

// Every file and folder under folder (long-path form), as paths relative to it.
void ListTree(const std::wstring& folder, const std::wstring& relative,
              std::vector<std::wstring>& out) {
    WIN32_FIND_DATAW found{};
    HANDLE find = FindFirstFileW((folder + L"\\*").c_str(), &found);
    if (find == INVALID_HANDLE_VALUE) return;
    do {
        const std::wstring name = found.cFileName;
        if (name == L"." || name == L"..") continue;
        const std::wstring path = relative.empty() ? name : relative + L"\\" + name;
        out.push_back(path);
        if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0 &&
            (found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0) {
            ListTree(folder + L"\\" + name, path, out);
        }
    } while (FindNextFileW(find, &found));
    FindClose(find);
}

void DeleteTree(const std::wstring& folder) {
    std::vector<std::wstring> items;
    ListTree(folder, L"", items);
    for (auto it = items.rbegin(); it != items.rend(); ++it) {
        const std::wstring path = folder + L"\\" + *it;
        SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
        if (!DeleteFileW(path.c_str())) RemoveDirectoryW(path.c_str());
    }
}

std::wstring Widen(const std::string& text) {
    const int size = MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                         nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(size), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), wide.data(), size);
    return wide;
}

std::string Narrow(const std::wstring& text) {
    const int size = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                         nullptr, 0, nullptr, nullptr);
    std::string narrow(static_cast<std::size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), narrow.data(),
                        size, nullptr, nullptr);
    return narrow;
}

// Entries of the drive root whose names carry the marker of the mutator's
// escaping names (the root is shared with other programs, so only those count).
std::vector<std::wstring> MarkedRootEntries(const std::wstring& root) {
    std::vector<std::wstring> marked;
    WIN32_FIND_DATAW found{};
    HANDLE find = FindFirstFileW((root + L"*fzesc*").c_str(), &found);
    if (find == INVALID_HANDLE_VALUE) return marked;
    do marked.push_back(found.cFileName);
    while (FindNextFileW(find, &found));
    FindClose(find);
    return marked;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: zip_fuzz_driver CASE_FOLDER SANDBOX_FOLDER\n");
        return 2;
    }
    const std::wstring cases = argv[1];
    const std::wstring sandbox = kLong + argv[2];
    // Named as the product names its own, without the long-path prefix.
    const std::wstring destination = std::wstring(argv[2]) + L"\\a\\b\\c\\d\\out";
    // The drive root, "C:\" in long form.
    const std::wstring root = sandbox.substr(0, kLong.size() + 3);

    std::ifstream list(std::filesystem::path(cases + L"\\cases.txt"));
    if (!list) {
        std::fprintf(stderr, "cannot read %s\\cases.txt\n", Narrow(cases).c_str());
        return 2;
    }
    int total = 0, damaged = 0, refused = 0, sound = 0, extracted = 0, findings = 0;
    std::string line;
    while (std::getline(list, line)) {
        const std::size_t space = line.find(' ');
        if (space == std::string::npos) continue;
        const std::string verdict = line.substr(0, space);
        const std::string rest = line.substr(space + 1);
        const std::string file = rest.substr(0, rest.find(' '));
        ++total;
        // Printed before the run, so that a crash names its case.
        std::printf("case %s\n", line.c_str());
        std::fflush(stdout);

        DeleteTree(sandbox);
        CreateDirectoryW(sandbox.c_str(), nullptr);
        bool ok = false;
        {
            CZipArchive archive;
            ok = archive.OpenArchive(cases + L"\\" + Widen(file)) &&
                 archive.ExtractAll(destination, false);
        }
        if (verdict == "damaged") {
            ++damaged;
            if (!ok) ++refused;
            if (ok) {
                std::printf("FINDING damaged archive reported as extracted: %s\n", rest.c_str());
                ++findings;
            }
        } else {
            ++sound;
            if (ok) ++extracted;
        }
        std::vector<std::wstring> items;
        ListTree(sandbox, L"", items);
        for (const std::wstring& item : items) {
            if (std::wstring(L"a\\b\\c\\d\\out").rfind(item, 0) == 0) continue;  // its parents
            if (item.rfind(L"a\\b\\c\\d\\out\\", 0) == 0) continue;
            std::printf("FINDING written outside the destination: %s (%s)\n",
                        Narrow(item).c_str(), rest.c_str());
            ++findings;
        }
        for (const std::wstring& item : MarkedRootEntries(root)) {
            std::printf("FINDING written at the drive root: %s (%s)\n", Narrow(item).c_str(),
                        rest.c_str());
            DeleteFileW((root + item).c_str());
            RemoveDirectoryW((root + item).c_str());
            ++findings;
        }
    }
    DeleteTree(sandbox);
    std::printf("summary: %d cases, %d damaged (%d refused), %d sound (%d extracted), "
                "%d findings\n",
                total, damaged, refused, sound, extracted, findings);
    return findings == 0 && total > 0 ? 0 : 1;
}
