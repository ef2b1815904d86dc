// Speed of the two loops that handle bulk data: log records written to the
// file sink, and archive extraction. Each is timed beside a baseline that does
// the bare file work of the same size in the same run, and the ratio is printed.
// Usage: installer_bench.exe [repetitions]

#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>

#include "logging/log_write.h"
#include "logging/logger.h"
#include "bench_files.h"
#include "zip/zip_archive.h"

namespace {

constexpr int kRecords = 2000;

void Report(const char* what, double measured, double baseline) {
    std::printf("%-44s %9.1f ms   baseline %9.1f ms   ratio %6.2f\n", what, measured * 1000,
                baseline * 1000, measured / baseline);
}

// Records through LogWrite against opening, appending and closing the same
// file per record with the same text.
void BenchLogging() {
    const std::wstring logFile = TempPath(L"bench_log.txt");
    const std::wstring plainFile = TempPath(L"bench_plain.txt");
    DeleteFileW(logFile.c_str());
    DeleteFileW(plainFile.c_str());
    LogInitialize(logFile.c_str());

    const double logged = Seconds([] {
        for (int i = 0; i < kRecords; ++i) {
            LogWrite(LogLevelInfo, 33, 111, L"Backing up file %s %d\n",
                     L"C:\\Users\\someone\\AppData\\Roaming\\N4Client\\mysettings.xml", i);
        }
    });
    const std::wstring line =
        L"[I 21/0000006F/T0001/P0001/S0001] 09-12-26 10:00:00 - Backing up file "
        L"C:\\Users\\someone\\AppData\\Roaming\\N4Client\\mysettings.xml 1000\r\n";
    const double plain = Seconds([&] {
        for (int i = 0; i < kRecords; ++i) {
            HANDLE file = CreateFileW(plainFile.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ, nullptr,
                                      OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
            DWORD written = 0;
            WriteFile(file, line.data(), static_cast<DWORD>(line.size() * sizeof(wchar_t)),
                      &written, nullptr);
            CloseHandle(file);
        }
    });
    Report("log: 2000 records, file sink", logged, plain);
    LogInitialize(nullptr);
    DeleteFileW(logFile.c_str());
    DeleteFileW(plainFile.c_str());
}

// Extraction of 200 deflated files of 64 KiB against writing the same bytes
// into the same number of files.
void BenchExtraction(const std::wstring& archivePath) {
    const std::wstring extracted = TempPath(L"bench_extracted");
    const std::wstring written = TempPath(L"bench_written");
    RemoveTree(extracted);
    RemoveTree(written);

    bool ok = false;
    const double extraction = Seconds([&] {
        CZipArchive archive;
        archive.OpenArchive(archivePath);
        ok = archive.ExtractAll(extracted, false);
        archive.CloseArchive();
    });
    if (!ok) {
        std::printf("extraction of %ls failed\n", archivePath.c_str());
        return;
    }
    const std::string block(65536, 'x');
    const double baseline = Seconds([&] {
        CreateDirectoryW(written.c_str(), nullptr);
        for (int folder = 0; folder < 10; ++folder) {
            CreateDirectoryW((written + L"\\folder" + std::to_wstring(folder)).c_str(), nullptr);
        }
        for (int n = 0; n < 200; ++n) {
            const std::wstring path = written + L"\\folder" + std::to_wstring(n % 10) + L"\\file" +
                                      std::to_wstring(n) + L".txt";
            FILE* file = _wfopen(path.c_str(), L"wb");
            if (file == nullptr) continue;
            for (size_t done = 0; done < block.size(); done += 2048) {
                std::fwrite(block.data() + done, 1, 2048, file);
            }
            std::fclose(file);
        }
    });
    Report("zip: 200 files x 64 KiB, deflated", extraction, baseline);
    RemoveTree(extracted);
    RemoveTree(written);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    const int repetitions = argc > 1 ? _wtoi(argv[1]) : 3;
    const std::wstring folder = ModuleFolder();
    for (int i = 0; i < repetitions; ++i) {
        BenchLogging();
        BenchExtraction(folder + L"\\bench_archive.zip");
    }
    return 0;
}
