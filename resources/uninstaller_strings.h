/* The uninstaller's string table: the one list for the .rc and the host build.
   Each entry is ZEP_STRING(name, id, "text"); the includer defines ZEP_STRING
   and includes resources/product.h first. There are no entries 1, 9 and 11
   to 19. */
ZEP_STRING(kFirstModel, 2, ZEP_MODEL_4000)
ZEP_STRING(kMonitorName, 3, ZEP_MONITOR_NAME)
ZEP_STRING(kProcessorName, 4, ZEP_PROCESSOR_NAME)
ZEP_STRING(kMiniDriver, 5, ZEP_MINIDRIVER)
ZEP_STRING(kMonitorDll, 6, ZEP_MONITOR_DLL)
ZEP_STRING(kProcessorDll, 7, ZEP_PROCESSOR_DLL)
ZEP_STRING(kUiPlugin, 8, ZEP_UI_PLUGIN)
ZEP_STRING(kProcessorIni, 10, ZEP_PROCESSOR_INI)
ZEP_STRING(kUninstallKey, 20, ZEP_UNINSTALL_KEY)
ZEP_STRING(kMakerName, 21, ZEP_MAKER)
ZEP_STRING(kGpdFile, 22, ZEP_GPD_FILE)
ZEP_STRING(kBudFile, 23, ZEP_BUD_FILE)
ZEP_STRING(kUiPluginIni, 24, ZEP_UI_PLUGIN_INI)
ZEP_STRING(kProductWord, 25, ZEP_WORD)
ZEP_STRING(kDriverName, 26, ZEP_DRIVER_NAME)
ZEP_STRING(kProductName, 27, "Kestrel Customer Display")
ZEP_STRING(kSecondModel, 28, ZEP_MODEL_4100)
