// Client registration at install and unregistration at uninstall.
