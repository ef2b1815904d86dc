#pragma once
// Tying the installed client into Windows for the current user, and untying it.
// Both take the install folder with a trailing backslash and log every step;
// no step's failure stops the next one.

#include <windows.h>

#include <cstdint>
#include <string>

// Registers the COM server, the ".n4a" file type and the "kivclient" URL
// scheme, has the client install the RDP control (administrators only), sets up
// the links (applying the brand archive when one is named) and has the client
// add its Defender exclusion. Returns the "-regocx" run's exit code when that
// step ran, else the COM registration's result; 0 is success.
uint32_t ClientInstall(const std::wstring& installDir, int32_t clientUiLevel,
                       const std::wstring& brandArchivePath);

// Removes the file type, the URL scheme and the COM server, and unless
// keepUserData is set (an upgrade) the client's per-user traces; has the client
// revert the RDP control (administrators only), tears the links down and has
// the client remove its Defender exclusion. Always returns 0.
uint32_t ClientUninstall(const std::wstring& installDir, int32_t clientUiLevel,
                         int32_t keepUserData);
