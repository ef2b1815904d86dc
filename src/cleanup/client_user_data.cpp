#include "cleanup/client_user_data.h"

#include <string>

#include "cleanup/registry_text.h"
#include "fs/folder_tree.h"
#include "fs/robust_delete.h"
#include "logging/log_write.h"
#include "logging/logger.h"
#include "win/full_path.h"
#include "win/handles.h"
#include "win/wide_format.h"

namespace {

constexpr wchar_t kShellFoldersKey[] =
    L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";
constexpr wchar_t kAppDataValue[] = L"AppData";
constexpr wchar_t kClientDataFolder[] = L"N4Client";
constexpr DWORD kAppDataChars = MAX_PATH;
constexpr uint32_t kCleaningLogCode = 17;

}  // namespace

void CleanClientUserData(HKEY root) {
    UniqueHkey shellFolders;
    if (RegOpenKeyExW(root, kShellFoldersKey, 0, KEY_READ | KEY_WRITE, shellFolders.Put()) !=
        ERROR_SUCCESS) {
        return;
    }
    const RegistryText appData = ReadRegistryText(shellFolders.Get(), kAppDataValue, kAppDataChars);
    if (!appData.IsString() || appData.text.empty()) return;
    // A relative value would name folders below whatever the current folder is.
    if (!IsAbsolutePath(appData.text)) {
        LogWriteDefault(LogLevelWarning, kCleaningLogCode,
                        L"Shell folder AppData (%s) is not an absolute path; the client's data "
                        L"is left in place.\n",
                        appData.text.c_str());
        return;
    }

    const std::wstring dataFolder = appData.text + FormatWide(L"\\%s\\", kClientDataFolder);
    DeleteFolderTree((dataFolder + L"ico").c_str());
    DeleteFolderTree((dataFolder + L"Fonts").c_str());
    DeleteFileRobust((dataFolder + L"SessionIDs.cache").c_str());
    DeleteFileRobust((dataFolder + L"ClientCache.db").c_str());
}
