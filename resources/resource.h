/* Resource and control IDs of the two programs (C and resource compiler). */
#ifndef ZEP_RESOURCE_H
#define ZEP_RESOURCE_H

/* Both programs */
#define IDR_MAINFRAME 128 /* application icon */

/* Installer */
#define IDD_ZEP_INSTALLER_DIALOG 102 /* installation progress window */
#define IDD_MODEL_DIALOG 129
#define IDD_PORT_DIALOG 130
#define IDC_INSTALL_PROGRESS 1000
#define IDC_VERSION_TEXT 1002
#define IDC_STATUS_TEXT 1003
#define IDC_CONFIGURE_PORT 1001
#define IDC_MODEL_LIST 1006
/* The port radio buttons, in template order (COM1 starts the group). */
#define IDC_PORT_COM1 1006
#define IDC_PORT_COM2 1008
#define IDC_PORT_COM3 1009
#define IDC_PORT_COM4 1011
#define IDC_PORT_COM5 1007
#define IDC_PORT_COM6 1010
#define IDC_PORT_COM7 1012
#define IDC_PORT_COM8 1013

/* Uninstaller */
#define IDD_ZEP_UNINSTALLER_DIALOG 102
#define IDC_UNINSTALL_STATUS 1000
#define IDC_UNINSTALL_BUTTON 1001
#define IDC_UNINSTALL_PROGRESS 1002
#define IDC_PRINTER_LIST 1006

#endif
