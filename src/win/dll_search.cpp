#include "win/dll_search.h"

namespace {

// Kept here so that the build does not depend on the SDK's version macros.
constexpr DWORD kSearchSystem32 = 0x00000800;      // LOAD_LIBRARY_SEARCH_SYSTEM32
constexpr DWORD kSearchDllLoadDir = 0x00000100;    // LOAD_LIBRARY_SEARCH_DLL_LOAD_DIR
constexpr DWORD kSearchDefaultDirs = 0x00001000;   // LOAD_LIBRARY_SEARCH_DEFAULT_DIRS
constexpr DWORD kSafeSearchMode = 0x00000001;      // BASE_SEARCH_PATH_ENABLE_SAFE_SEARCHMODE
constexpr DWORD kSearchModePermanent = 0x00008000; // BASE_SEARCH_PATH_PERMANENT

template <typename Function>
Function Kernel32Function(const char* name) {
    const HMODULE kernel = GetModuleHandleW(L"kernel32.dll");
    if (kernel == nullptr) return nullptr;
    return reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(kernel, name)));
}

}  // namespace

void RestrictDllSearch() {
    using SetDefaultDirectories = BOOL(WINAPI*)(DWORD);
    using SetSearchMode = BOOL(WINAPI*)(DWORD);
    if (const auto set = Kernel32Function<SetDefaultDirectories>("SetDefaultDllDirectories")) {
        set(kSearchSystem32);
    }
    SetDllDirectoryW(L"");
    if (const auto set = Kernel32Function<SetSearchMode>("SetSearchPathMode")) {
        set(kSafeSearchMode | kSearchModePermanent);
    }
}

HMODULE LoadLibraryBesideItsFolder(const std::wstring& libraryPath) {
    HMODULE library =
        LoadLibraryExW(libraryPath.c_str(), nullptr, kSearchDllLoadDir | kSearchDefaultDirs);
    if (library == nullptr && GetLastError() == ERROR_INVALID_PARAMETER) {
        library = LoadLibraryExW(libraryPath.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
    }
    return library;
}
