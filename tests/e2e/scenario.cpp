#include "e2e/scenario.h"

#include <objbase.h>
#include <shlobj.h>

#include <algorithm>

#include "win/handles.h"
#include "win/registry.h"

namespace e2e {

using namespace testing_support;

namespace {

constexpr wchar_t kUserShellFolders[] =
    L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\User Shell Folders";
// The value of the Downloads folder in the user's shell folders.
constexpr wchar_t kDownloadsValue[] = L"{374DE290-123F-4565-9164-39C4925E467B}";
constexpr wchar_t kShellFolders[] =
    L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";

// Everything the installer, the client's lists and the stand-ins write under
// HKEY_CURRENT_USER: removed before and after every scenario.
const wchar_t* const kInstallerKeys[] = {
    L"Software\\Classes\\.n4a",
    L"Software\\Classes\\VuClient.Document",
    L"Software\\Classes\\kivclient",
    L"Software\\Classes\\MIME\\Database\\Content Type\\application/x-n4a",
    L"Software\\Classes\\CLSID\\{7D6048FC-30BF-4B43-A6CF-AD23CA8F44D8}",
    L"Software\\Quellmoor",
    L"Software\\Classes\\.rdx",
    L"Software\\Classes\\KIVShortCut.rdx",
    L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\QuellmoorClient",
};

std::optional<SavedRegistryValue> SaveValue(const wchar_t* key, const std::wstring& name) {
    SavedRegistryValue saved;
    DWORD bytes = 0;
    if (RegGetValueW(HKEY_CURRENT_USER, key, name.c_str(), RRF_RT_ANY | RRF_NOEXPAND, &saved.type,
                     nullptr, &bytes) != ERROR_SUCCESS) {
        return std::nullopt;
    }
    saved.data.resize(bytes);
    if (RegGetValueW(HKEY_CURRENT_USER, key, name.c_str(), RRF_RT_ANY | RRF_NOEXPAND, &saved.type,
                     saved.data.data(), &bytes) != ERROR_SUCCESS) {
        return std::nullopt;
    }
    saved.data.resize(bytes);
    return saved;
}

void RestoreValue(const wchar_t* key, const std::wstring& name,
                  const std::optional<SavedRegistryValue>& saved) {
    if (saved) {
        RegSetKeyValueW(HKEY_CURRENT_USER, key, name.c_str(), saved->type, saved->data.data(),
                        static_cast<DWORD>(saved->data.size()));
    } else {
        RegDeleteKeyValueW(HKEY_CURRENT_USER, key, name.c_str());
    }
}

void CleanInstallerKeys() {
    for (const wchar_t* key : kInstallerKeys) DeleteRegistryTree(HKEY_CURRENT_USER, key);
}

std::vector<std::wstring> SplitLines(const std::wstring& text, const std::wstring& separator) {
    std::vector<std::wstring> lines;
    size_t pos = 0;
    for (size_t end; (end = text.find(separator, pos)) != std::wstring::npos;
         pos = end + separator.size()) {
        lines.push_back(text.substr(pos, end - pos));
    }
    if (pos < text.size()) lines.push_back(text.substr(pos));
    return lines;
}

void WriteUtf8Lines(const std::wstring& path, const std::vector<std::wstring>& lines) {
    std::wstring text;
    for (const auto& line : lines) text += line + L"\r\n";
    WriteFileBytes(path, ToUtf8(text));
}

}  // namespace

Scenario::Scenario(const std::wstring& roamingName) : roamingName_(roamingName) {
    for (const std::wstring& folder : {Temp(), Desktop(), Programs(), Startup(), Downloads()}) {
        CreateDirectoryW(folder.c_str(), nullptr);
    }
    std::wstring roaming = L"\\\\?\\" + root_.Path();
    for (size_t start = 0; start <= roamingName_.size();) {
        const size_t end = std::min(roamingName_.find(L'\\', start), roamingName_.size());
        roaming += L"\\" + roamingName_.substr(start, end - start);
        CreateDirectoryW(roaming.c_str(), nullptr);
        start = end + 1;
    }
    CleanInstallerKeys();
    // The roaming folder too: the shell writes what it finds there into the
    // legacy Shell Folders key, which the uninstall's cleanup reads.
    for (const auto& [name, folder] :
         {std::pair{L"Desktop", Desktop()}, std::pair{L"Programs", Programs()},
          std::pair{L"Startup", Startup()}, std::pair{kDownloadsValue, Downloads()},
          std::pair{L"AppData", Roaming()}}) {
        savedShellFolders_.emplace_back(name, SaveValue(kUserShellFolders, name));
        WriteString(kUserShellFolders, name, folder);
    }
    savedAppDataValue_ = SaveValue(kShellFolders, L"AppData");
    WriteString(kShellFolders, L"AppData", Roaming());
}

Scenario::~Scenario() {
    // Clients a scenario left running would hold files of the next one.
    RunProgram(L"taskkill.exe /f /im VuClient.exe", {}, 20000);
    RunProgram(L"taskkill.exe /f /im DESKHubClient.exe", {}, 20000);
    for (const auto& [name, value] : savedShellFolders_) {
        RestoreValue(kUserShellFolders, name, value);
    }
    RestoreValue(kShellFolders, L"AppData", savedAppDataValue_);
    CleanInstallerKeys();
}

std::wstring Scenario::MakePayload(const std::wstring& folder,
                                   const std::vector<std::wstring>& clientSettings,
                                   const std::vector<std::wstring>& comServerSettings,
                                   bool withComServer) const {
    CreateDirectoryW(folder.c_str(), nullptr);
    const std::wstring bin = BinFolder();
    for (const wchar_t* file : {L"Uninstall.exe", L"VuClient.exe", L"DESKHubClient.exe"}) {
        CopyFileW((bin + L"\\" + file).c_str(), (folder + L"\\" + file).c_str(), FALSE);
    }
    if (withComServer) {
        CopyFileW((bin + L"\\KivClientSystem.dll").c_str(),
                  (folder + L"\\KivClientSystem.dll").c_str(), FALSE);
    }
    std::vector<std::wstring> client = {L"[client]", L"Log=" + ClientRecord()};
    client.insert(client.end(), clientSettings.begin(), clientSettings.end());
    WriteUtf8Lines(folder + L"\\stand_in_client.ini", client);
    std::vector<std::wstring> server = {L"[server]"};
    server.insert(server.end(), comServerSettings.begin(), comServerSettings.end());
    WriteUtf8Lines(folder + L"\\stand_in_com_server.ini", server);
    return folder;
}

EnvironmentChanges Scenario::Environment() const {
    return {{L"APPDATA", Roaming()}, {L"TEMP", Temp()}, {L"TMP", Temp()}};
}

std::optional<DWORD> Scenario::Run(const std::wstring& program, const std::wstring& arguments,
                                   DWORD timeoutMs, const EnvironmentChanges& overrides) const {
    ChildProcess child;
    EnvironmentChanges environment = Environment();
    environment.insert(environment.end(), overrides.begin(), overrides.end());
    if (!child.Start(Quoted(program) + L" " + arguments, environment, Root())) {
        return std::nullopt;
    }
    return child.Wait(timeoutMs);
}

std::optional<DWORD> Scenario::RunCommandLine(const std::wstring& commandLine,
                                              const std::wstring& workingFolder) const {
    ChildProcess child;
    if (!child.Start(commandLine, Environment(), workingFolder.empty() ? Root() : workingFolder)) {
        return std::nullopt;
    }
    return child.Wait(180000);
}

std::optional<DWORD> Scenario::RunAsStandardUser(const std::wstring& program,
                                                 const std::wstring& arguments) const {
    ChildProcess child;
    if (!child.Start(Quoted(BinFolder() + L"\\standard_user_launcher.exe") + L" " +
                         Quoted(program) + L" " + arguments,
                     Environment(), Root())) {
        return std::nullopt;
    }
    return child.Wait(180000);
}

ChildProcess Scenario::Start(const std::wstring& program, const std::wstring& arguments) const {
    ChildProcess child;
    child.Start(Quoted(program) + (arguments.empty() ? L"" : L" " + arguments), Environment(),
                Root());
    return child;
}

std::vector<std::wstring> Scenario::LogRecords() const {
    std::vector<std::wstring> records;
    for (auto& line : SplitLines(ReadUtf16File(LogPath()), L"\r\n")) {
        while (!line.empty() && (line.back() == L'\r' || line.back() == L'\n')) line.pop_back();
        if (!line.empty()) records.push_back(line);
    }
    return records;
}

std::vector<std::wstring> Scenario::LogMessages() const {
    std::vector<std::wstring> messages;
    for (const auto& record : LogRecords()) {
        const size_t start = record.find(L" - ");
        messages.push_back(start == std::wstring::npos ? record : record.substr(start + 3));
    }
    return messages;
}

std::vector<std::wstring> Scenario::ClientRecords() const {
    std::vector<std::wstring> lines;
    for (auto& line : SplitLines(FromUtf8(ReadFileBytes(ClientRecord())), L"\n")) {
        if (!line.empty() && line.back() == L'\r') line.pop_back();
        if (!line.empty()) lines.push_back(line);
    }
    return lines;
}

std::vector<std::wstring> SplitFields(const std::wstring& line) {
    return SplitLines(line, L"\t");
}

std::optional<std::wstring> ReadString(const std::wstring& key, const std::wstring& value) {
    DWORD bytes = 0;
    if (RegGetValueW(HKEY_CURRENT_USER, key.c_str(), value.c_str(),
                     RRF_RT_REG_SZ | RRF_RT_REG_EXPAND_SZ | RRF_NOEXPAND, nullptr, nullptr,
                     &bytes) != ERROR_SUCCESS) {
        return std::nullopt;
    }
    std::wstring data(bytes / sizeof(wchar_t) + 1, L'\0');
    bytes = static_cast<DWORD>(data.size() * sizeof(wchar_t));
    if (RegGetValueW(HKEY_CURRENT_USER, key.c_str(), value.c_str(),
                     RRF_RT_REG_SZ | RRF_RT_REG_EXPAND_SZ | RRF_NOEXPAND, nullptr, data.data(),
                     &bytes) != ERROR_SUCCESS) {
        return std::nullopt;
    }
    data.resize(wcslen(data.c_str()));
    return data;
}

std::optional<DWORD> ReadDword(const std::wstring& key, const std::wstring& value) {
    DWORD data = 0;
    DWORD bytes = sizeof(data);
    if (RegGetValueW(HKEY_CURRENT_USER, key.c_str(), value.c_str(), RRF_RT_REG_DWORD, nullptr,
                     &data, &bytes) != ERROR_SUCCESS) {
        return std::nullopt;
    }
    return data;
}

bool KeyExists(const std::wstring& key) {
    UniqueHkey opened;
    return RegOpenKeyExW(HKEY_CURRENT_USER, key.c_str(), 0, KEY_READ, opened.Put()) ==
           ERROR_SUCCESS;
}

void WriteString(const std::wstring& key, const std::wstring& value, const std::wstring& data) {
    RegSetKeyValueW(HKEY_CURRENT_USER, key.c_str(), value.c_str(), REG_SZ, data.c_str(),
                    static_cast<DWORD>((data.size() + 1) * sizeof(wchar_t)));
}

void WriteDword(const std::wstring& key, const std::wstring& value, DWORD data) {
    RegSetKeyValueW(HKEY_CURRENT_USER, key.c_str(), value.c_str(), REG_DWORD, &data, sizeof(data));
}

testing::AssertionResult ContainsInOrder(const std::vector<std::wstring>& messages,
                                         const std::vector<std::wstring>& expected) {
    size_t next = 0;
    for (const auto& message : messages) {
        if (next < expected.size() && message == expected[next]) ++next;
    }
    if (next == expected.size()) return testing::AssertionSuccess();
    std::wstring report = L"missing \"" + expected[next] + L"\"";
    if (next > 0) report += L" after \"" + expected[next - 1] + L"\"";
    report += L"; the messages were:\n";
    for (const auto& message : messages) report += L"  " + message + L"\n";
    return testing::AssertionFailure() << ToUtf8(report);
}

testing::AssertionResult Contains(const std::vector<std::wstring>& messages,
                                  const std::wstring& expected) {
    return ContainsInOrder(messages, {expected});
}

size_t CountStartingWith(const std::vector<std::wstring>& lines, const std::wstring& prefix) {
    size_t count = 0;
    for (const auto& line : lines) {
        if (line.rfind(prefix, 0) == 0) ++count;
    }
    return count;
}

std::wstring LinkTarget(const std::wstring& linkPath) {
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    return ReadLink(linkPath).target;
}

}  // namespace e2e
