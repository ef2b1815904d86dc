#include "platform/os_version.h"

#include <cstring>

namespace {

OSVERSIONINFOEXA g_versionRecord;
bool g_versionFilled = false;

}  // namespace

bool GetOsVersionInfo(OSVERSIONINFOEXA* record) {
    if (!g_versionFilled) {
        std::memset(&g_versionRecord, 0, sizeof(g_versionRecord));
        g_versionRecord.dwOSVersionInfoSize = sizeof(g_versionRecord);
        if (!GetVersionExA(reinterpret_cast<OSVERSIONINFOA*>(&g_versionRecord))) return false;
        g_versionFilled = true;
    }
    if (record != nullptr) *record = g_versionRecord;
    return true;
}

DWORD GetOsMajorVersion() {
    OSVERSIONINFOEXA record{};
    return GetOsVersionInfo(&record) ? record.dwMajorVersion : 0;
}
