#include "integration/com_server.h"

#include "fs/join_path.h"
#include "integration/client_contract.h"
#include "logging/log_write.h"
#include "win/dll_search.h"
#include "win/handles.h"

namespace {

using RegistrationEntry = HRESULT(STDAPICALLTYPE*)();

// A failed call that left no error code must still read as a failure.
DWORD ErrorOr(DWORD error, DWORD fallback) {
    return error != ERROR_SUCCESS ? error : fallback;
}

}  // namespace

DWORD RegisterComServer(const std::wstring& installFolder, bool registerServer) {
    const std::wstring libraryPath = JoinPath(installFolder, kComServerDll);
    // The DLLs the server needs lie beside it in the install folder.
    UniqueModule library(LoadLibraryBesideItsFolder(libraryPath));
    if (!library) {
        const DWORD error = ErrorOr(GetLastError(), ERROR_MOD_NOT_FOUND);
        LogWrite(2, 0, 9, L"LoadLibrary %s failed (error 0X%08x)\n", libraryPath.c_str(), error);
        return error;
    }

    const char* entryName = registerServer ? "DllRegisterServer" : "DllUnregisterServer";
    const wchar_t* entryText = registerServer ? L"DllRegisterServer" : L"DllUnregisterServer";
    const auto entry = reinterpret_cast<RegistrationEntry>(
        reinterpret_cast<void*>(GetProcAddress(library.Get(), entryName)));
    if (entry == nullptr) {
        const DWORD error = ErrorOr(GetLastError(), ERROR_PROC_NOT_FOUND);
        LogWrite(2, 0, 44, L"GetProcAddress %s failed\n", entryText);
        library.Reset();  // keeps the last error
        return error;
    }

    const HRESULT result = entry();
    library.Reset();
    LogWrite(3, 0, 45, L"COM registration for %s returned %d\n", kComServerDll,
             static_cast<int>(result));
    return static_cast<DWORD>(result);
}
