/* The uninstaller's string table: the one list for the .rc and the host build.
   Each entry is ZEP_STRING(name, id, "text"); the includer defines ZEP_STRING
   and includes resources/product.h first. There are no entries 1, 9 and 11
   to 19. */
ZEP_STRING(kFirstModel, 2, ZEP_MODEL_4000)
ZEP_STRING(kMonitorName, 3, "ZEP Language Monitor")
ZEP_STRING(kProcessorName, 4, "ZEP PRINT PROCESSOR")
ZEP_STRING(kMiniDriver, 5, "ZEP1TE.dll")
ZEP_STRING(kMonitorDll, 6, "ZEPMON.dll")
ZEP_STRING(kProcessorDll, 7, "ZEPPRO.dll")
ZEP_STRING(kUiPlugin, 8, "ZEPUI1T.dll")
ZEP_STRING(kProcessorIni, 10, "ZEP.ini")
ZEP_STRING(kUninstallKey, 20, ZEP_UNINSTALL_KEY)
ZEP_STRING(kMakerName, 21, "KESTREL")
ZEP_STRING(kGpdFile, 22, "ZEP1TE.gpd")
ZEP_STRING(kBudFile, 23, "ZEP1TE.bud")
ZEP_STRING(kUiPluginIni, 24, "ZEPUI1T.ini")
ZEP_STRING(kProductWord, 25, "ZEP")
ZEP_STRING(kDriverName, 26, "ZEP Character Type")
ZEP_STRING(kProductName, 27, "Kestrel Customer Display")
ZEP_STRING(kSecondModel, 28, ZEP_MODEL_4100)
