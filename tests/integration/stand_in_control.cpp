#include "integration/stand_in_control.h"

namespace stand_in {

namespace {

constexpr wchar_t kRecordFileName[] = L"stand_in_client.log";
constexpr wchar_t kSettingsFileName[] = L"stand_in_client.ini";
constexpr wchar_t kBuiltClient[] = L"VuClient.exe";

std::vector<std::wstring> SplitTabs(const std::wstring& line) {
    std::vector<std::wstring> fields;
    size_t start = 0;
    for (;;) {
        const size_t tab = line.find(L'\t', start);
        fields.push_back(line.substr(start, tab - start));
        if (tab == std::wstring::npos) return fields;
        start = tab + 1;
    }
}

}  // namespace

std::wstring PlaceClient(const std::wstring& folder, const std::wstring& asName) {
    const std::wstring source = testing_support::BinFolder() + L"\\" + kBuiltClient;
    const std::wstring target = folder + L"\\" + asName;
    // A failed copy shows as a start failure naming the missing file.
    CopyFileW(source.c_str(), target.c_str(), FALSE);
    return target;
}

void WriteClientSettings(const std::wstring& folder, const std::string& iniText) {
    testing_support::WriteFileBytes(folder + L"\\" + kSettingsFileName, iniText);
}

std::vector<ClientRecord> ReadClientRecords(const std::wstring& folder) {
    const std::wstring text =
        testing_support::FromUtf8(testing_support::ReadFileBytes(folder + L"\\" + kRecordFileName));
    std::vector<ClientRecord> records;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find(L'\n', start);
        if (end == std::wstring::npos) end = text.size();
        const std::vector<std::wstring> fields = SplitTabs(text.substr(start, end - start));
        start = end + 1;
        if (fields.size() < 4) continue;
        ClientRecord record;
        record.event = fields[0];
        record.exe = fields[1];
        record.pid = wcstoul(fields[2].c_str(), nullptr, 10);
        record.time = fields[3];
        record.fields.assign(fields.begin() + 4, fields.end());
        records.push_back(record);
    }
    return records;
}

std::vector<ClientRecord> RecordsOf(const std::wstring& folder, DWORD pid, const wchar_t* event) {
    std::vector<ClientRecord> matching;
    for (const ClientRecord& record : ReadClientRecords(folder)) {
        if (record.pid == pid && record.event == event) matching.push_back(record);
    }
    return matching;
}

testing::AssertionResult StartClientWindow(testing_support::ChildProcess& child,
                                           const std::wstring& exePath, DWORD timeoutMs) {
    // Wine under load now and then refuses a process start for a moment; a
    // start that keeps failing is reported with its error.
    DWORD startError = ERROR_SUCCESS;
    for (int attempt = 0; attempt < 3; ++attempt) {
        if (child.Start(testing_support::Quoted(exePath))) {
            startError = ERROR_SUCCESS;
            break;
        }
        startError = GetLastError();
        Sleep(200);
    }
    if (startError != ERROR_SUCCESS) {
        return testing::AssertionFailure()
               << "cannot start " << testing_support::ToUtf8(exePath) << " (error " << startError
               << (testing_support::FileExists(exePath) ? ")" : ", the file is missing)");
    }
    const std::wstring folder = exePath.substr(0, exePath.find_last_of(L'\\'));
    const DWORD pid = child.Id();
    if (testing_support::WaitUntil([&] { return !RecordsOf(folder, pid, L"window").empty(); },
                                   timeoutMs)) {
        return testing::AssertionSuccess();
    }
    return testing::AssertionFailure() << testing_support::ToUtf8(exePath) << " (process " << pid
                                       << ") made no window within " << timeoutMs << " ms";
}

}  // namespace stand_in
