#include "app/installer_app.h"

bool CBasicClientInstallerApp::Uninstall() {
    return true;
}
bool CBasicClientInstallerApp::UnregisterClient() {
    return true;
}
