/* The product's names that the string tables, the other resources and the
   programs' code use, one source each (C and resource compiler: #defines
   only). */
#ifndef ZEP_RESOURCES_PRODUCT_H
#define ZEP_RESOURCES_PRODUCT_H

/* The driver's parts, as both string tables name them: the word its forms
   carry, the language monitor, the print processor, the driver's files,
   the maker and the driver. */
#define ZEP_WORD "ZEP"
#define ZEP_MONITOR_NAME "ZEP Language Monitor"
#define ZEP_MONITOR_DLL "ZEPMON.dll"
#define ZEP_PROCESSOR_NAME "ZEP PRINT PROCESSOR"
#define ZEP_PROCESSOR_DLL "ZEPPRO.dll"
#define ZEP_PROCESSOR_INI "ZEP.ini"
#define ZEP_MINIDRIVER "ZEP1TE.dll"
#define ZEP_GPD_FILE "ZEP1TE.gpd"
#define ZEP_BUD_FILE "ZEP1TE.bud"
#define ZEP_UI_PLUGIN "ZEPUI1T.dll"
#define ZEP_UI_PLUGIN_INI "ZEPUI1T.ini"
#define ZEP_MAKER "KESTREL"
#define ZEP_DRIVER_NAME "ZEP Character Type"
/* The display models, as the model dialog lists them. */
#define ZEP_MODEL_4000 "KESTREL ZEP-4000"
#define ZEP_MODEL_4100 "KESTREL ZEP-4100"
/* The product's entry in the system's list of installed programs ("Cutomer"
   is spelled so). */
#define ZEP_UNINSTALL_KEY "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\KESTREL Cutomer Display Driver"
/* The programs and their trace logs. */
#define ZEP_INSTALLER_FILE "ZEP_Installer.exe"
#define ZEP_UNINSTALLER_FILE "ZEP_Uninstaller.exe"
#define ZEP_INSTALLER_LOG "ZEP_Installer.txt"
#define ZEP_UNINSTALLER_LOG "ZEP_UnInstaller.txt"
#define ZEP_INF_FILE "ZEP.inf"

#endif
