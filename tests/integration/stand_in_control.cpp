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

bool StartClientWindow(testing_support::ChildProcess& child, const std::wstring& exePath,
                       DWORD timeoutMs) {
    if (!child.Start(testing_support::Quoted(exePath))) return false;
    const std::wstring folder = exePath.substr(0, exePath.find_last_of(L'\\'));
    const DWORD pid = child.Id();
    return testing_support::WaitUntil([&] { return !RecordsOf(folder, pid, L"window").empty(); },
                                      timeoutMs);
}

}  // namespace stand_in
