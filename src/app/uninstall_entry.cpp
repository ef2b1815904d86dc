#include "app/uninstall_entry.h"

#include <cstdint>
#include <vector>

#include "branding/brand_settings.h"
#include "fs/join_path.h"
#include "integration/client_contract.h"
#include "logging/log_write.h"
#include "win/full_path.h"
#include "win/handles.h"
#include "win/registry.h"
#include "win/wide_format.h"

namespace {

constexpr uint8_t kAppLogModule = 33;
constexpr uint32_t kEntryLogCode = 30;
constexpr wchar_t kEntryKeyText[] =
    L"HKCU\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\QuellmoorClient";

// Bytes of every file below folder, deep ones past MAX_PATH and ones in
// folders named with a trailing dot or blank included; folder links are not
// followed.
uint64_t FolderBytes(const std::wstring& folder) {
    uint64_t total = 0;
    WIN32_FIND_DATAW data;
    UniqueFindHandle find(FindFirstFileW(ReachablePath(JoinPath(folder, L"*")).c_str(), &data));
    if (!find) return 0;
    do {
        const std::wstring name = data.cFileName;
        if (name == L"." || name == L"..") continue;
        if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            if (!(data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
                total += FolderBytes(JoinPath(folder, name));
            }
        } else {
            total += (static_cast<uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
        }
    } while (FindNextFileW(find.Get(), &data));
    return total;
}

std::wstring OwnExecutablePath() {
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length =
            GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (length == 0) return {};
        if (length < path.size()) {
            path.resize(length);
            return path;
        }
        path.resize(path.size() * 2);
    }
}

LSTATUS SetString(HKEY key, const wchar_t* name, const std::wstring& value) {
    return RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                          static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
}

LSTATUS SetDword(HKEY key, const wchar_t* name, DWORD value) {
    return RegSetValueExW(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value),
                          sizeof(value));
}

}  // namespace

std::wstring ReadFileVersion(const std::wstring& path) {
    DWORD handle = 0;
    const DWORD size = GetFileVersionInfoSizeW(path.c_str(), &handle);
    if (size == 0) return {};
    std::vector<BYTE> block(size);
    if (!GetFileVersionInfoW(path.c_str(), 0, size, block.data())) return {};
    VS_FIXEDFILEINFO* info = nullptr;
    UINT infoSize = 0;
    if (!VerQueryValueW(block.data(), L"\\", reinterpret_cast<void**>(&info), &infoSize) ||
        info == nullptr || infoSize < sizeof(VS_FIXEDFILEINFO) ||
        info->dwSignature != VS_FFI_SIGNATURE) {
        return {};
    }
    return FormatWide(L"%u.%u.%u.%u", HIWORD(info->dwFileVersionMS),
                      LOWORD(info->dwFileVersionMS), HIWORD(info->dwFileVersionLS),
                      LOWORD(info->dwFileVersionLS));
}

bool WriteUninstallEntry(HKEY root, const std::wstring& installFolder) {
    const std::wstring ini = JoinPath(installFolder, kInstalledBrandIni);
    const std::wstring title = ReadAppTitle(ini);
    const std::wstring publisher = ReadCompanyName(ini);
    const std::wstring client = JoinPath(installFolder, kVuClientExe);
    const std::wstring brandIcon = JoinPath(installFolder, kInstalledBrandIcon);
    const std::wstring icon = PathExists(brandIcon) ? brandIcon : client;
    std::wstring version = ReadFileVersion(client);
    if (version.empty()) version = ReadFileVersion(OwnExecutablePath());
    const std::wstring uninstaller = L"\"" + JoinPath(installFolder, kUninstallerExe) + L"\"";
    const uint64_t kib = (FolderBytes(installFolder) + 1023) / 1024;
    SYSTEMTIME now;
    GetLocalTime(&now);
    const std::wstring date = FormatWide(L"%04u%02u%02u", now.wYear, now.wMonth, now.wDay);

    UniqueHkey key;
    LSTATUS status = RegCreateKeyExW(root, kUninstallEntryKey, 0, nullptr, 0, KEY_SET_VALUE,
                                     nullptr, key.Put(), nullptr);
    const std::pair<const wchar_t*, std::wstring> strings[] = {
        {L"DisplayName", title},
        {L"Publisher", publisher},
        {L"DisplayIcon", icon},
        {L"DisplayVersion", version},
        {L"InstallLocation", installFolder},
        {L"UninstallString", uninstaller + L" -u"},
        {L"QuietUninstallString", uninstaller + L" -u -q"},
        {L"InstallDate", date},
    };
    for (const auto& [name, value] : strings) {
        if (status == ERROR_SUCCESS) status = SetString(key.Get(), name, value);
    }
    if (status == ERROR_SUCCESS) status = SetDword(key.Get(), L"NoModify", 1);
    if (status == ERROR_SUCCESS) status = SetDword(key.Get(), L"NoRepair", 1);
    if (status == ERROR_SUCCESS) {
        status = SetDword(key.Get(), L"EstimatedSize",
                          kib > MAXDWORD ? MAXDWORD : static_cast<DWORD>(kib));
    }
    if (status != ERROR_SUCCESS) {
        LogWrite(2, kAppLogModule, kEntryLogCode,
                 L"Failed to write installed-apps entry %s. Error: %d.\n", kEntryKeyText,
                 static_cast<int>(status));
        return false;
    }
    LogWrite(3, kAppLogModule, kEntryLogCode,
             L"Installed-apps entry %s written (%s, version %s).\n", kEntryKeyText, title.c_str(),
             version.c_str());
    return true;
}

bool DeleteUninstallEntry(HKEY root) {
    const LSTATUS status = DeleteRegistryTree(root, kUninstallEntryKey);
    if (status == ERROR_FILE_NOT_FOUND) return true;
    if (status != ERROR_SUCCESS) {
        LogWrite(2, kAppLogModule, kEntryLogCode,
                 L"Failed to delete installed-apps entry %s. Error: %d.\n", kEntryKeyText,
                 static_cast<int>(status));
        return false;
    }
    LogWrite(3, kAppLogModule, kEntryLogCode, L"Installed-apps entry %s deleted.\n",
             kEntryKeyText);
    return true;
}
