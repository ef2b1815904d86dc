// Extraction of a brand-sized archive (1,000 entries, 50 MB) through
// CZipArchive::ExtractAll against a bare minizip loop over the same archive in
// the same run: unzOpenCurrentFile / unzReadCurrentFile with a 64 KiB buffer,
// no checks beyond minizip's own, no file times. Prints the median of the runs
// and the ratio.
// Usage: extract_bench.exe [repetitions]

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include <unzip.h>

#include "bench_files.h"
#include "zip/zip_archive.h"

namespace {

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

// The bare loop: names taken as they stand (the archive's are ASCII), one
// folder creation per entry, 64 KiB reads.
bool BareExtract(const std::string& archivePath, const std::wstring& destination) {
    unzFile archive = unzOpen64(archivePath.c_str());
    if (archive == nullptr) return false;
    CreateDirectoryW(destination.c_str(), nullptr);
    std::vector<char> buffer(65536);
    bool ok = unzGoToFirstFile(archive) == UNZ_OK;
    while (ok) {
        char name[512] = {};
        unz_file_info64 info{};
        if (unzGetCurrentFileInfo64(archive, &info, name, sizeof name - 1, nullptr, 0, nullptr, 0) !=
            UNZ_OK) {
            ok = false;
            break;
        }
        std::wstring path = destination + L"\\";
        for (const char* c = name; *c != 0; ++c) path.push_back(*c == '/' ? L'\\' : *c);
        CreateDirectoryW(path.substr(0, path.rfind(L'\\')).c_str(), nullptr);
        std::FILE* file = _wfopen(path.c_str(), L"wb");
        if (file == nullptr || unzOpenCurrentFile(archive) != UNZ_OK) {
            if (file != nullptr) std::fclose(file);
            ok = false;
            break;
        }
        int count = 0;
        while ((count = unzReadCurrentFile(archive, buffer.data(),
                                           static_cast<unsigned>(buffer.size()))) > 0) {
            std::fwrite(buffer.data(), 1, static_cast<size_t>(count), file);
        }
        std::fclose(file);
        ok = unzCloseCurrentFile(archive) == UNZ_OK && count == 0;
        if (!ok) break;
        const int next = unzGoToNextFile(archive);
        if (next == UNZ_END_OF_LIST_OF_FILE) break;
        ok = next == UNZ_OK;
    }
    unzClose(archive);
    return ok;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    const int repetitions = argc > 1 ? _wtoi(argv[1]) : 3;
    const std::wstring folder = ModuleFolder();
    const std::wstring archivePath = folder + L"\\extract_bench_archive.zip";
    const std::string narrowPath(archivePath.begin(), archivePath.end());
    const std::wstring ours = TempPath(L"extract_bench_ours");
    const std::wstring bare = TempPath(L"extract_bench_bare");

    std::vector<double> oursTimes, bareTimes;
    for (int i = 0; i < repetitions; ++i) {
        RemoveTree(ours);
        RemoveTree(bare);
        bool ok = false;
        oursTimes.push_back(Seconds([&] {
            CZipArchive archive;
            ok = archive.OpenArchive(archivePath) && archive.ExtractAll(ours, false);
        }));
        bool bareOk = false;
        bareTimes.push_back(Seconds([&] { bareOk = BareExtract(narrowPath, bare); }));
        if (!ok || !bareOk) {
            std::printf("extraction failed (ours %d, bare loop %d)\n", ok, bareOk);
            return 1;
        }
    }
    RemoveTree(ours);
    RemoveTree(bare);
    const double measured = Median(oursTimes);
    const double baseline = Median(bareTimes);
    std::printf("%-44s %9.1f ms   bare loop %9.1f ms   ratio %6.2f\n",
                "zip: 1,000 entries, 50 MB, ExtractAll", measured * 1000, baseline * 1000,
                measured / baseline);
    return 0;
}
