/*
 * winspool_probe: drives the spooler calls the installer relies on, with the
 * sample package, and prints one line per call:
 *
 *   call=<name> [case=<id>] [processor="..."] result=ok
 *   call=<name> [case=<id>] [processor="..."] result=fail error=<code>
 *
 * winspool_probe check PACKAGE_DIR
 *     Registers ZEPPRO.dll as "ZEP PRINT PROCESSOR" and a plain test driver,
 *     then tries AddPrinterW and AddPrinterA with these print processors:
 *       registered   "ZEP PRINT PROCESSOR" (sorts after "winprint")
 *       winprint     "WinPrint"
 *       unknown      a name that is not registered
 *       empty        a key without a Driver value
 *     Every printer created is deleted again. Exit code 0.
 *
 * winspool_probe install PACKAGE_DIR [PRINTER]
 *     What the installer does for one model: copies and registers the
 *     language monitor, the print processor and the driver, then adds the
 *     printer (default "KESTREL ZEP-4000") on COM1: with the print processor
 *     "ZEP PRINT PROCESSOR". Exit code 0 when every call succeeded. Before
 *     that, a monitor whose DLL is nowhere must be refused:
 *       call=AddMonitorA case=missing result=fail error=126
 *
 * Everything is registered for the system's environment, as the installer
 * does ("Windows x64" for a 32-bit program on 64-bit Windows), and
 * PACKAGE_DIR is the package folder of the system's architecture.
 */
#include <windows.h>
#include <winspool.h>
#include <fcntl.h>
#include <io.h>
#include <stdio.h>
#include <string.h>

#define MONITOR_NAME "ZEP Language Monitor"
#define PROCESSOR_NAME "ZEP PRINT PROCESSOR"
#define DRIVER_NAME "ZEP Character Type"
#define PROBE_DRIVER "ZEP Probe Driver"

static const char *g_pkg;

static const char *environment(void)
{
    /* A 32-bit program on 64-bit Windows registers for the system's environment. */
    typedef BOOL(WINAPI * wow_fn)(HANDLE, PBOOL);
    BOOL wow = FALSE;
    wow_fn f;
    if (sizeof(void *) == 8) return "Windows x64";
    f = (wow_fn)(void *)GetProcAddress(GetModuleHandleA("kernel32.dll"), "IsWow64Process");
    if (f && f(GetCurrentProcess(), &wow) && wow) return "Windows x64";
    return "Windows NT x86";
}

static int report(const char *call, const char *extra, BOOL ok, DWORD err)
{
    if (ok)
        printf("call=%s%s result=ok\n", call, extra);
    else
        printf("call=%s%s result=fail error=%lu\n", call, extra, err);
    fflush(stdout);
    return ok ? 0 : 1;
}

/* Copies a package file into a folder; reports only a failure. */
static int copy_in(const char *name, const char *dir)
{
    char src[MAX_PATH], dst[MAX_PATH], extra[MAX_PATH + 16];
    snprintf(src, sizeof src, "%s\\%s", g_pkg, name);
    snprintf(dst, sizeof dst, "%s\\%s", dir, name);
    if (CopyFileA(src, dst, FALSE)) return 0;
    snprintf(extra, sizeof extra, " file=\"%s\"", name);
    return report("CopyFileA", extra, FALSE, GetLastError());
}

static BOOL driver_dir(const char *env, char *dir)
{
    DWORD needed;
    return GetPrinterDriverDirectoryA(NULL, (char *)env, 1, (BYTE *)dir, MAX_PATH, &needed);
}

static int add_processor(void)
{
    char dir[MAX_PATH];
    DWORD needed;
    int bad = 0;
    if (!GetPrintProcessorDirectoryA(NULL, (char *)environment(), 1, (BYTE *)dir, sizeof dir, &needed))
        return report("GetPrintProcessorDirectoryA", "", FALSE, GetLastError());
    bad += copy_in("ZEPPRO.dll", dir);
    bad += copy_in("ZEP.ini", dir);
    bad += report("AddPrintProcessorA", "",
                  AddPrintProcessorA(NULL, (char *)environment(), "ZEPPRO.dll", PROCESSOR_NAME),
                  GetLastError());
    return bad;
}

static void delete_printer(const char *name)
{
    PRINTER_DEFAULTSA pd = { NULL, NULL, PRINTER_ALL_ACCESS };
    HANDLE h;
    if (OpenPrinterA((char *)name, &h, &pd)) {
        DeletePrinter(h);
        ClosePrinter(h);
    }
}

/* ---- check --------------------------------------------------------------- */

static void try_add_printer(const char *id, const char *processor)
{
    char extra[256];
    char name[64];
    HANDLE h;
    DWORD err;
    PRINTER_INFO_2A pa;
    PRINTER_INFO_2W pw;
    WCHAR wname[64], wdriver[64], wport[8], wproc[64], wtype[8];

    snprintf(extra, sizeof extra, " case=%s processor=\"%s\"", id, processor);

    snprintf(name, sizeof name, "ZEP Probe W %s", id);
    MultiByteToWideChar(CP_ACP, 0, name, -1, wname, 64);
    MultiByteToWideChar(CP_ACP, 0, PROBE_DRIVER, -1, wdriver, 64);
    MultiByteToWideChar(CP_ACP, 0, processor, -1, wproc, 64);
    lstrcpyW(wport, L"COM1:");
    lstrcpyW(wtype, L"RAW");
    memset(&pw, 0, sizeof pw);
    pw.pPrinterName = wname;
    pw.pPortName = wport;
    pw.pDriverName = wdriver;
    pw.pPrintProcessor = wproc;
    pw.pDatatype = wtype;
    pw.Priority = 1;
    SetLastError(0xdeadbeef);
    h = AddPrinterW(NULL, 2, (BYTE *)&pw);
    err = GetLastError();
    report("AddPrinterW", extra, h != NULL, err);
    if (h) ClosePrinter(h);
    delete_printer(name);

    snprintf(name, sizeof name, "ZEP Probe A %s", id);
    memset(&pa, 0, sizeof pa);
    pa.pPrinterName = name;
    pa.pPortName = "COM1:";
    pa.pDriverName = PROBE_DRIVER;
    pa.pPrintProcessor = (char *)processor;
    pa.pDatatype = "RAW";
    pa.Priority = 1;
    SetLastError(0xdeadbeef);
    h = AddPrinterA(NULL, 2, (BYTE *)&pa);
    err = GetLastError();
    report("AddPrinterA", extra, h != NULL, err);
    if (h) ClosePrinter(h);
    delete_printer(name);
}

static int cmd_check(void)
{
    char dir[MAX_PATH], key[512];
    DRIVER_INFO_3A di;
    HKEY hk;

    add_processor();

    /* A driver of its own, so that only the print processor can be refused.
     * Like the print processor it goes to the system's environment, where
     * AddPrinter takes it from on Windows (stock Wine looks in the caller's
     * own environment: a 32-bit caller on 64-bit Wine is refused with 1797). */
    if (!driver_dir(environment(), dir)) return report("GetPrinterDriverDirectoryA", "", FALSE, GetLastError());
    copy_in("UNIDRV.DLL", dir);
    copy_in("UNIDRVUI.DLL", dir);
    copy_in("ZEP1TE.gpd", dir);
    memset(&di, 0, sizeof di);
    di.cVersion = 3;
    di.pName = PROBE_DRIVER;
    di.pEnvironment = (char *)environment();
    di.pDriverPath = "UNIDRV.DLL";
    di.pDataFile = "ZEP1TE.gpd";
    di.pConfigFile = "UNIDRVUI.DLL";
    di.pDefaultDataType = "RAW";
    report("AddPrinterDriverA", "", AddPrinterDriverA(NULL, 3, (BYTE *)&di), GetLastError());

    /* A processor key without its DLL name must not count as registered. */
    snprintf(key, sizeof key,
             "System\\CurrentControlSet\\Control\\Print\\Environments\\%s\\Print Processors\\ZEP EMPTY PROCESSOR",
             environment());
    if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, key, 0, NULL, 0, KEY_WRITE, NULL, &hk, NULL) == ERROR_SUCCESS) {
        RegSetValueExA(hk, "Driver", 0, REG_SZ, (const BYTE *)"", 1);
        RegCloseKey(hk);
    }

    try_add_printer("registered", PROCESSOR_NAME);
    try_add_printer("winprint", "WinPrint");
    try_add_printer("unknown", "ZEP NOT REGISTERED");
    try_add_printer("empty", "ZEP EMPTY PROCESSOR");
    return 0;
}

/* ---- install ------------------------------------------------------------- */

static int cmd_install(const char *printer)
{
    static const char *const staged[] = { "UNIDRV.DLL", "UNIDRVUI.DLL", "UNIDRV.HLP", "UNIRES.DLL",
                                          "ZEP1TE.dll", "ZEPUI1T.dll", "ZEPUI1T.ini", "ZEP1TE.gpd",
                                          "STDNAMES.GPD" };
    char dir[MAX_PATH];
    MONITOR_INFO_2A mi;
    DRIVER_INFO_3A di;
    PRINTER_INFO_2A pi;
    HANDLE h;
    int bad = 0;
    size_t i;
    BOOL ok;
    DWORD err;

    /* A DLL that is nowhere: the spooler cannot load it (126). */
    mi.pName = "ZEP Missing Monitor";
    mi.pEnvironment = (char *)environment();
    mi.pDLLName = "ZEPNOSUCH.dll";
    SetLastError(0xdeadbeef);
    ok = AddMonitorA(NULL, 2, (BYTE *)&mi);
    report("AddMonitorA", " case=missing", ok, GetLastError());

    /* The monitor DLL must be on the DLL search path: the Windows folder. */
    GetWindowsDirectoryA(dir, sizeof dir);
    bad += copy_in("ZEPMON.dll", dir);
    mi.pName = MONITOR_NAME;
    mi.pEnvironment = (char *)environment();
    mi.pDLLName = "ZEPMON.dll";
    ok = AddMonitorA(NULL, 2, (BYTE *)&mi);
    err = GetLastError();
    if (!ok && err == ERROR_PRINT_MONITOR_ALREADY_INSTALLED) ok = TRUE;
    bad += report("AddMonitorA", "", ok, err);

    bad += add_processor();

    if (!driver_dir(environment(), dir)) return report("GetPrinterDriverDirectoryA", "", FALSE, GetLastError());
    for (i = 0; i < sizeof staged / sizeof staged[0]; i++) bad += copy_in(staged[i], dir);
    memset(&di, 0, sizeof di);
    di.cVersion = 3;
    di.pName = DRIVER_NAME;
    di.pEnvironment = (char *)environment();
    di.pDriverPath = "UNIDRV.DLL";
    di.pDataFile = "ZEP1TE.gpd";
    di.pConfigFile = "UNIDRVUI.DLL";
    di.pHelpFile = "UNIDRV.HLP";
    di.pDependentFiles = "UNIRES.DLL\0STDNAMES.GPD\0ZEP1TE.DLL\0ZEPUI1T.DLL\0ZEPUI1T.INI\0";
    di.pMonitorName = MONITOR_NAME;
    di.pDefaultDataType = "RAW";
    bad += report("AddPrinterDriverA", "", AddPrinterDriverA(NULL, 3, (BYTE *)&di), GetLastError());

    memset(&pi, 0, sizeof pi);
    pi.pPrinterName = (char *)printer;
    pi.pPortName = "COM1:";
    pi.pDriverName = DRIVER_NAME;
    pi.pPrintProcessor = PROCESSOR_NAME;
    pi.pDatatype = "RAW";
    pi.Attributes = PRINTER_ATTRIBUTE_RAW_ONLY | PRINTER_ATTRIBUTE_ENABLE_BIDI;
    pi.Priority = 1;
    pi.Status = PRINTER_STATUS_OFFLINE;
    h = AddPrinterA(NULL, 2, (BYTE *)&pi);
    bad += report("AddPrinterA", "", h != NULL, GetLastError());
    if (h) ClosePrinter(h);
    return bad ? 1 : 0;
}

int main(int argc, char **argv)
{
    _setmode(_fileno(stdout), _O_BINARY); /* "\n" line ends for the shell side */
    if (argc == 3 && strcmp(argv[1], "check") == 0) {
        g_pkg = argv[2];
        return cmd_check();
    }
    if (argc >= 3 && strcmp(argv[1], "install") == 0 && argc <= 4) {
        g_pkg = argv[2];
        return cmd_install(argc == 4 ? argv[3] : "KESTREL ZEP-4000");
    }
    fprintf(stderr, "usage: winspool_probe check|install PACKAGE_DIR [PRINTER]\n");
    return 2;
}
