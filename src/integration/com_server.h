#pragma once
// Self-registration of the client's in-process COM server, KivClientSystem.dll.

#include <windows.h>

#include <string>

// Loads installFolder + "KivClientSystem.dll" (installFolder with or without its
// trailing backslash), calls its "DllRegisterServer" (registerServer true) or
// "DllUnregisterServer" and frees it again. Returns the entry point's HRESULT
// (logged as "COM registration for KivClientSystem.dll returned %d\n",
// information, module 0, code 45); when the library cannot be loaded, the
// system error (126 for a missing file), logged as "LoadLibrary %s failed
// (error 0X%08x)\n" (warning, module 0, code 9); when it lacks the entry point,
// the system error (127), logged as "GetProcAddress %s failed\n" (warning,
// module 0, code 44). Never 0 for a failure.
DWORD RegisterComServer(const std::wstring& installFolder, bool registerServer);
