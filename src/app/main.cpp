// Process entry: the DLL search restricted first, then one application
// object, one StartUp call on the main thread, no message loop, exit code 0.
#include <windows.h>

#include "app/installer_app.h"
#include "app/own_file_removal.h"
#include "win/dll_search.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    // Before anything loads a library: not from the download folder the
    // installer was started from, nor from the current folder.
    RestrictDllSearch();
    // A copy started to delete the ended uninstaller's file does only that.
    if (RunOwnFileRemovalWhenAsked()) return 0;
    static CBasicClientInstallerApp app;
    app.StartUp();
    return 0;
}
