/*
 * Checks one package folder (Driver32 or Driver64) of this build's
 * architecture: every file the installer copies is there under its name,
 * the DLLs are of the folder's architecture, the INF has the sections and
 * keys the programs look up, and the two DLLs behave as the spooler expects.
 *
 *   zep_package_test <folder>      exit code 0 when every check passed
 */
#include <windows.h>
#include <winspool.h>
#include <winsplp.h>
#include <setupapi.h>
#include <stddef.h>
#include <stdio.h>
#include <string.h>

#include "zep_package.h"

static int g_failed;
static int g_checks;

#define CHECK(cond, ...)                                         \
    do {                                                         \
        g_checks++;                                              \
        if (!(cond)) {                                           \
            g_failed++;                                          \
            printf("FAIL %s:%d: ", __FILE__, __LINE__);          \
            printf(__VA_ARGS__);                                 \
            printf("\n");                                        \
        }                                                        \
    } while (0)

static WCHAR g_dir[MAX_PATH];

static void path_in(WCHAR *out, const WCHAR *name)
{
    lstrcpynW(out, g_dir, MAX_PATH);
    lstrcatW(out, L"\\");
    lstrcatW(out, name);
}

/* ---- files ------------------------------------------------------------ */

static const WCHAR *const k_files[] = {
    L"UNIDRV.DLL", L"UNIDRVUI.DLL", L"UNIDRV.HLP", L"UNIRES.DLL", L"STDNAMES.GPD",
    L"ZEP1TE.dll", L"ZEP1TE.gpd", L"ZEP1TE.bud", L"ZEPUI1T.dll", L"ZEPUI1T.ini",
    L"ZEPMON.dll", L"ZEPPRO.dll", L"ZEP.ini", L"ZEP.inf",
};

static void test_files_present_under_their_names(void)
{
    size_t i;
    for (i = 0; i < sizeof(k_files) / sizeof(k_files[0]); i++) {
        WCHAR path[MAX_PATH];
        WIN32_FIND_DATAW fd;
        HANDLE h;

        path_in(path, k_files[i]);
        h = FindFirstFileW(path, &fd);
        CHECK(h != INVALID_HANDLE_VALUE, "missing %ls", k_files[i]);
        if (h == INVALID_HANDLE_VALUE) continue;
        FindClose(h);
        CHECK(lstrcmpW(fd.cFileName, k_files[i]) == 0, "%ls is named %ls", k_files[i], fd.cFileName);
        CHECK(fd.nFileSizeLow > 0 || fd.nFileSizeHigh > 0, "%ls is empty", k_files[i]);
    }
}

/* Machine field of a PE file, 0 when the file is not one. */
static WORD pe_machine(const WCHAR *name)
{
    WCHAR path[MAX_PATH];
    BYTE buf[1024];
    DWORD got = 0, off;
    HANDLE h;

    path_in(path, name);
    h = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING, 0, NULL);
    if (h == INVALID_HANDLE_VALUE) return 0;
    ReadFile(h, buf, sizeof(buf), &got, NULL);
    CloseHandle(h);
    if (got < 0x40 || buf[0] != 'M' || buf[1] != 'Z') return 0;
    off = *(DWORD *)(buf + 0x3c);
    if (off + 6 > got || memcmp(buf + off, "PE\0\0", 4) != 0) return 0;
    return *(WORD *)(buf + off + 4);
}

static void test_dlls_match_the_folder_architecture(void)
{
#ifdef _WIN64
    const WORD want = IMAGE_FILE_MACHINE_AMD64;
#else
    const WORD want = IMAGE_FILE_MACHINE_I386;
#endif
    CHECK(pe_machine(L"ZEPMON.dll") == want, "ZEPMON.dll machine 0x%x", pe_machine(L"ZEPMON.dll"));
    CHECK(pe_machine(L"ZEPPRO.dll") == want, "ZEPPRO.dll machine 0x%x", pe_machine(L"ZEPPRO.dll"));
}

/* ---- INF -------------------------------------------------------------- */

static BOOL file_in_folder(const WCHAR *name)
{
    WCHAR path[MAX_PATH];
    path_in(path, name);
    return GetFileAttributesW(path) != INVALID_FILE_ATTRIBUTES;
}

/* Every file a model's install section copies must be in the folder. */
static void check_install_section(HINF inf, const WCHAR *section)
{
    INFCONTEXT ctx, file_ctx;
    WCHAR list[256], name[MAX_PATH];
    DWORD i, n;

    CHECK(SetupFindFirstLineW(inf, section, L"CopyFiles", &ctx), "[%ls] has no CopyFiles", section);
    n = SetupGetFieldCount(&ctx);
    CHECK(n >= 3, "[%ls] copies %lu file lists", section, n);
    for (i = 1; i <= n; i++) {
        if (!SetupGetStringFieldW(&ctx, i, list, 256, NULL)) continue;
        CHECK(SetupFindFirstLineW(inf, list, NULL, &file_ctx), "file list [%ls] is empty", list);
        do {
            if (!SetupGetStringFieldW(&file_ctx, 0, name, MAX_PATH, NULL) &&
                !SetupGetStringFieldW(&file_ctx, 1, name, MAX_PATH, NULL))
                continue;
            CHECK(file_in_folder(name), "[%ls] names %ls, which is not in the folder", list, name);
        } while (SetupFindNextLine(&file_ctx, &file_ctx));
    }
}

static void test_inf_sections_and_keys(void)
{
    static const WCHAR *const sections[] = { L"KESTREL", L"KESTREL.NTamd64" };
    static const WCHAR *const models[] = { L"KESTREL ZEP-4000", L"KESTREL ZEP-4100" };
    WCHAR path[MAX_PATH], text[256];
    UINT err_line = 0;
    INFCONTEXT ctx;
    HINF inf;
    size_t s, m;

    path_in(path, L"ZEP.inf");
    inf = SetupOpenInfFileW(path, NULL, INF_STYLE_WIN4, &err_line);
    CHECK(inf != INVALID_HANDLE_VALUE, "ZEP.inf does not open as a Win4 INF (line %u, error %lu)",
          err_line, GetLastError());
    if (inf == INVALID_HANDLE_VALUE) return;

    CHECK(SetupFindFirstLineW(inf, L"Version", L"Class", &ctx) &&
          SetupGetStringFieldW(&ctx, 1, text, 256, NULL) && lstrcmpW(text, L"Printer") == 0,
          "[Version] Class is not Printer");
    CHECK(SetupFindFirstLineW(inf, L"Version", L"ClassGUID", &ctx) &&
          SetupGetStringFieldW(&ctx, 1, text, 256, NULL) &&
          lstrcmpiW(text, L"{4D36E979-E325-11CE-BFC1-08002BE10318}") == 0,
          "[Version] ClassGUID is not the printer class");
    CHECK(SetupFindFirstLineW(inf, L"Version", L"DriverVer", &ctx) &&
          SetupGetStringFieldW(&ctx, 2, text, 256, NULL) && lstrcmpW(text, ZEP_VERSION_W) == 0,
          "[Version] DriverVer does not carry " ZEP_VERSION_TEXT);

    for (s = 0; s < 2; s++) {
        for (m = 0; m < 2; m++) {
            BOOL found = SetupFindFirstLineW(inf, sections[s], models[m], &ctx);
            CHECK(found, "[%ls] has no line keyed \"%ls\"", sections[s], models[m]);
            if (found && SetupGetStringFieldW(&ctx, 1, text, 256, NULL))
                check_install_section(inf, text);
        }
    }
    SetupCloseInfFile(inf);
}

/* ---- language monitor ------------------------------------------------- */

/* A port monitor that records what the language monitor passes on. */
static struct {
    int opened, closed, started, ended;
    WCHAR port[32];
    BYTE data[64];
    DWORD data_len;
    BOOL fail_open;
} g_port;

static const HANDLE k_port_handle = (HANDLE)(ULONG_PTR)0x5150;
static const HANDLE k_port_monitor = (HANDLE)(ULONG_PTR)0x7170;

static BOOL WINAPI fake_open(HANDLE mon, LPWSTR name, PHANDLE h)
{
    if (g_port.fail_open || mon != k_port_monitor) {
        SetLastError(ERROR_FILE_NOT_FOUND);
        return FALSE;
    }
    lstrcpynW(g_port.port, name, 32);
    g_port.opened++;
    *h = k_port_handle;
    return TRUE;
}
static BOOL WINAPI fake_start(HANDLE h, LPWSTR printer, DWORD job, DWORD level, LPBYTE info)
{
    (void)printer; (void)job; (void)level; (void)info;
    g_port.started += h == k_port_handle;
    return TRUE;
}
static BOOL WINAPI fake_write(HANDLE h, LPBYTE buf, DWORD len, LPDWORD written)
{
    if (h != k_port_handle || g_port.data_len + len > sizeof(g_port.data)) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    memcpy(g_port.data + g_port.data_len, buf, len);
    g_port.data_len += len;
    *written = len;
    return TRUE;
}
static BOOL WINAPI fake_read(HANDLE h, LPBYTE buf, DWORD len, LPDWORD read)
{
    (void)h;
    if (len < 2) return FALSE;
    buf[0] = 'O';
    buf[1] = 'K';
    *read = 2;
    return TRUE;
}
static BOOL WINAPI fake_end(HANDLE h)
{
    g_port.ended += h == k_port_handle;
    return TRUE;
}
static BOOL WINAPI fake_close(HANDLE h)
{
    g_port.closed += h == k_port_handle;
    return TRUE;
}
static BOOL WINAPI fake_getdata(HANDLE h, DWORD id, LPWSTR name, LPWSTR in, DWORD in_len,
                                LPWSTR out, DWORD out_len, LPDWORD ret)
{
    (void)h; (void)id; (void)in; (void)in_len;
    if (lstrcmpW(name, L"PortStatus") != 0 || out_len < sizeof(DWORD)) {
        SetLastError(ERROR_NOT_SUPPORTED);
        return FALSE;
    }
    *(DWORD *)out = 7;
    *ret = sizeof(DWORD);
    return TRUE;
}

typedef LPMONITOR2(WINAPI *init_monitor2_fn)(PMONITORINIT, PHANDLE);

static void test_language_monitor(void)
{
    WCHAR path[MAX_PATH];
    HMODULE dll;
    init_monitor2_fn init_fn;
    MONITORINIT init;
    MONITOR2 *mon, port_mon;
    HANDLE hmon = NULL, hport = NULL;
    DWORD value = 0, got = 0, written = 0;
    BYTE reply[8];
    static BYTE job[] = "\x1b@HELLO";
    const WCHAR *names[] = { L"MajorVersion", L"MinorVersion", L"BuildVersion", L"ExtraVersion" };
    const DWORD want[] = { ZEP_VERSION_MAJOR, ZEP_VERSION_MINOR, ZEP_VERSION_BUILD, ZEP_VERSION_EXTRA };
    int i;

    path_in(path, L"ZEPMON.dll");
    dll = LoadLibraryW(path);
    CHECK(dll != NULL, "ZEPMON.dll does not load (%lu)", GetLastError());
    if (!dll) return;
    init_fn = (init_monitor2_fn)(void *)GetProcAddress(dll, "InitializePrintMonitor2");
    CHECK(init_fn != NULL, "ZEPMON.dll does not export InitializePrintMonitor2");
    if (!init_fn) goto out;

    memset(&init, 0, sizeof(init));
    init.cbSize = sizeof(init);
    init.bLocal = TRUE;
    mon = init_fn(&init, &hmon);
    CHECK(mon != NULL && hmon != NULL, "InitializePrintMonitor2 returned no table");
    if (!mon) goto out;
    CHECK(mon->cbSize >= offsetof(MONITOR2, pfnShutdown) + sizeof(void *),
          "cbSize %lu too small", mon->cbSize);
    CHECK(mon->pfnOpenPortEx && mon->pfnStartDocPort && mon->pfnWritePort && mon->pfnReadPort &&
          mon->pfnEndDocPort && mon->pfnClosePort && mon->pfnGetPrinterDataFromPort &&
          mon->pfnShutdown, "a language-monitor entry is missing");
    /* Port management belongs to the port monitor; a language monitor
     * offering it would be taken for one. */
    CHECK(!mon->pfnEnumPorts && !mon->pfnOpenPort && !mon->pfnAddPort && !mon->pfnConfigurePort &&
          !mon->pfnDeletePort, "the language monitor offers port-monitor entries");

    memset(&port_mon, 0, sizeof(port_mon));
    port_mon.cbSize = sizeof(port_mon);
    port_mon.pfnOpenPort = fake_open;
    port_mon.pfnStartDocPort = fake_start;
    port_mon.pfnWritePort = fake_write;
    port_mon.pfnReadPort = fake_read;
    port_mon.pfnEndDocPort = fake_end;
    port_mon.pfnClosePort = fake_close;

    /* A port that cannot be opened gives no handle and keeps the error. */
    g_port.fail_open = TRUE;
    SetLastError(0);
    CHECK(!mon->pfnOpenPortEx(hmon, k_port_monitor, (LPWSTR)L"COM1:", (LPWSTR)L"ZEP", &hport, &port_mon),
          "OpenPortEx succeeded on a port that does not open");
    CHECK(GetLastError() == ERROR_FILE_NOT_FOUND, "OpenPortEx error %lu", GetLastError());
    g_port.fail_open = FALSE;

    CHECK(mon->pfnOpenPortEx(hmon, k_port_monitor, (LPWSTR)L"COM1:", (LPWSTR)L"ZEP", &hport, &port_mon),
          "OpenPortEx failed (%lu)", GetLastError());
    if (!hport) goto shutdown;
    CHECK(g_port.opened == 1 && lstrcmpW(g_port.port, L"COM1:") == 0, "the port monitor did not open COM1:");

    /* Job data reaches the port byte for byte. */
    CHECK(mon->pfnStartDocPort(hport, (LPWSTR)L"ZEP", 1, 1, NULL) && g_port.started == 1, "StartDocPort");
    CHECK(mon->pfnWritePort(hport, job, sizeof(job) - 1, &written) && written == sizeof(job) - 1,
          "WritePort wrote %lu", written);
    CHECK(g_port.data_len == sizeof(job) - 1 && memcmp(g_port.data, job, sizeof(job) - 1) == 0,
          "the port received other bytes");
    CHECK(mon->pfnReadPort(hport, reply, sizeof(reply), &got) && got == 2 && reply[0] == 'O',
          "ReadPort did not pass the reply on");
    CHECK(mon->pfnEndDocPort(hport) && g_port.ended == 1, "EndDocPort");

    /* The version values come from the monitor, as 32-bit numbers. */
    for (i = 0; i < 4; i++) {
        value = 0xdead;
        got = 0;
        CHECK(mon->pfnGetPrinterDataFromPort(hport, 0, (LPWSTR)names[i], NULL, 0, (LPWSTR)&value,
                                             sizeof(value), &got) &&
              got == sizeof(DWORD) && value == want[i],
              "%ls: got %lu (size %lu)", names[i], value, got);
    }
    got = 0;
    SetLastError(0);
    CHECK(!mon->pfnGetPrinterDataFromPort(hport, 0, (LPWSTR)L"MajorVersion", NULL, 0, (LPWSTR)&value,
                                          2, &got) &&
          GetLastError() == ERROR_INSUFFICIENT_BUFFER && got == sizeof(DWORD),
          "a short buffer gave error %lu, size %lu", GetLastError(), got);

    /* Anything else is the port monitor's: refused when it has no answer,
     * forwarded when it has one. */
    SetLastError(0);
    CHECK(!mon->pfnGetPrinterDataFromPort(hport, 0, (LPWSTR)L"PortStatus", NULL, 0, (LPWSTR)&value,
                                          sizeof(value), &got) &&
          GetLastError() == ERROR_NOT_SUPPORTED, "unknown value: error %lu", GetLastError());
    port_mon.pfnGetPrinterDataFromPort = fake_getdata;
    value = 0;
    CHECK(mon->pfnGetPrinterDataFromPort(hport, 0, (LPWSTR)L"PortStatus", NULL, 0, (LPWSTR)&value,
                                         sizeof(value), &got) && value == 7,
          "the port monitor's value was not forwarded");

    CHECK(mon->pfnClosePort(hport) && g_port.closed == 1, "ClosePort did not close the port");

shutdown:
    mon->pfnShutdown(hmon);
out:
    FreeLibrary(dll);
}

/* ---- print processor -------------------------------------------------- */

typedef BOOL(WINAPI *enum_types_fn)(LPWSTR, LPWSTR, DWORD, LPBYTE, DWORD, LPDWORD, LPDWORD);
typedef HANDLE(WINAPI *open_proc_fn)(LPWSTR, PPRINTPROCESSOROPENDATA);
typedef BOOL(WINAPI *handle_fn)(HANDLE);
typedef BOOL(WINAPI *control_fn)(HANDLE, DWORD);
typedef BOOL(WINAPI *print_fn)(HANDLE, LPWSTR);
typedef DWORD(WINAPI *caps_fn)(LPWSTR, DWORD, LPBYTE, DWORD, LPDWORD);

static void test_print_processor(void)
{
    WCHAR path[MAX_PATH];
    HMODULE dll;
    enum_types_fn enum_types;
    open_proc_fn open_proc;
    control_fn control;
    caps_fn caps;
    BYTE buf[256];
    DWORD needed = 0, count = 5;
    PRINTPROCESSOROPENDATA od;
    PRINTPROCESSOR_CAPS_1 c;

    path_in(path, L"ZEPPRO.dll");
    dll = LoadLibraryW(path);
    CHECK(dll != NULL, "ZEPPRO.dll does not load (%lu)", GetLastError());
    if (!dll) return;
    enum_types = (enum_types_fn)(void *)GetProcAddress(dll, "EnumPrintProcessorDatatypesW");
    open_proc = (open_proc_fn)(void *)GetProcAddress(dll, "OpenPrintProcessor");
    control = (control_fn)(void *)GetProcAddress(dll, "ControlPrintProcessor");
    caps = (caps_fn)(void *)GetProcAddress(dll, "GetPrintProcessorCapabilities");
    CHECK(enum_types && open_proc && control && caps &&
          GetProcAddress(dll, "PrintDocumentOnPrintProcessor") &&
          GetProcAddress(dll, "ClosePrintProcessor"),
          "ZEPPRO.dll lacks a print-processor export");
    if (!enum_types || !open_proc || !control || !caps) goto out;

    /* Size first, then the data: one entry, "RAW", inside the buffer. */
    SetLastError(0);
    CHECK(!enum_types(NULL, (LPWSTR)L"ZEP PRINT PROCESSOR", 1, NULL, 0, &needed, &count) &&
          GetLastError() == ERROR_INSUFFICIENT_BUFFER && count == 0 &&
          needed >= sizeof(DATATYPES_INFO_1W) + sizeof(L"RAW"),
          "size query: error %lu needed %lu count %lu", GetLastError(), needed, count);
    CHECK(!enum_types(NULL, NULL, 1, buf, needed - 1, &needed, &count) &&
          GetLastError() == ERROR_INSUFFICIENT_BUFFER, "a one-byte-short buffer was filled");
    memset(buf, 0xcc, sizeof(buf));
    CHECK(enum_types(NULL, NULL, 1, buf, sizeof(buf), &needed, &count) && count == 1,
          "enumeration failed (%lu)", GetLastError());
    if (count == 1) {
        DATATYPES_INFO_1W *info = (DATATYPES_INFO_1W *)buf;
        CHECK((BYTE *)info->pName >= buf && (BYTE *)info->pName + sizeof(L"RAW") <= buf + needed &&
              lstrcmpW(info->pName, L"RAW") == 0, "the data type is not RAW inside the buffer");
    }
    SetLastError(0);
    CHECK(!enum_types(NULL, NULL, 2, buf, sizeof(buf), &needed, &count) &&
          GetLastError() == ERROR_INVALID_LEVEL, "level 2: error %lu", GetLastError());

    /* Only RAW jobs are taken. */
    memset(&od, 0, sizeof(od));
    od.pDatatype = (LPWSTR)L"NT EMF 1.008";
    od.JobId = 3;
    SetLastError(0);
    CHECK(open_proc((LPWSTR)L"ZEP", &od) == NULL && GetLastError() == ERROR_INVALID_DATATYPE,
          "an EMF job was accepted (%lu)", GetLastError());
    od.pDatatype = (LPWSTR)L"raw";
    {
        HANDLE h = open_proc((LPWSTR)L"ZEP", &od);
        handle_fn close_proc = (handle_fn)(void *)GetProcAddress(dll, "ClosePrintProcessor");
        CHECK(h != NULL, "a RAW job was refused (%lu)", GetLastError());
        if (h) {
            CHECK(control(h, JOB_CONTROL_PAUSE) && control(h, JOB_CONTROL_RESUME) &&
                  control(h, JOB_CONTROL_CANCEL), "pause, resume or cancel failed");
            SetLastError(0);
            CHECK(!control(h, 99) && GetLastError() == ERROR_INVALID_PARAMETER, "command 99 accepted");
            CHECK(close_proc(h), "ClosePrintProcessor failed");
        }
        /* A handle that is not one of ours is refused, not dereferenced blindly. */
        {
            DWORD junk[8] = { 0 };
            SetLastError(0);
            CHECK(!control((HANDLE)junk, JOB_CONTROL_PAUSE) && GetLastError() == ERROR_INVALID_HANDLE,
                  "a foreign handle was accepted");
        }
    }

    needed = 0;
    CHECK(caps((LPWSTR)L"RAW", 0, NULL, 0, &needed) == ERROR_MORE_DATA && needed == sizeof(c),
          "capabilities size query");
    memset(&c, 0, sizeof(c));
    CHECK(caps((LPWSTR)L"RAW", 0, (LPBYTE)&c, sizeof(c), &needed) == ERROR_SUCCESS && c.dwLevel == 1 &&
          c.dwNupOptions == 1 && c.dwNumberOfCopies == 1 && c.dwPageOrderFlags == NORMAL_PRINT,
          "RAW capabilities");
    CHECK(caps((LPWSTR)L"NT EMF 1.008", 0, (LPBYTE)&c, sizeof(c), &needed) == ERROR_INVALID_DATATYPE,
          "EMF capabilities were given");
out:
    FreeLibrary(dll);
}

int wmain(int argc, WCHAR **argv)
{
    if (argc != 2) {
        fprintf(stderr, "usage: zep_package_test <package folder>\n");
        return 2;
    }
    lstrcpynW(g_dir, argv[1], MAX_PATH - 20);

    test_files_present_under_their_names();
    test_dlls_match_the_folder_architecture();
    test_inf_sections_and_keys();
    test_language_monitor();
    test_print_processor();

    printf("%s: %d checks, %d failed\n", g_failed ? "FAILED" : "PASSED", g_checks, g_failed);
    return g_failed ? 1 : 0;
}
