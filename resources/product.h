/* The product's names that the string tables, the other resources and the
   programs' code use, one source each (C and resource compiler: #defines
   only). */
#ifndef ZEP_RESOURCES_PRODUCT_H
#define ZEP_RESOURCES_PRODUCT_H

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
