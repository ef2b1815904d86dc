#include "app/installer_app.h"

bool CBasicClientInstallerApp::Install() {
    return true;
}
void CBasicClientInstallerApp::DetectRunningClients() {}
bool CBasicClientInstallerApp::RegisterClient() {
    return true;
}
void CBasicClientInstallerApp::RelaunchClients() {}
