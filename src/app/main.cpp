// Process entry: one application object, one StartUp call on the main thread,
// no message loop, exit code 0.
#include <windows.h>

#include "app/installer_app.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    static CBasicClientInstallerApp app;
    app.StartUp();
    return 0;
}
