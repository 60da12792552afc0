/*
 * ZEPMON.dll: the language monitor of the sample driver package.
 *
 * A language monitor sits between the spooler and the port monitor of the
 * port the printer uses (COM1: and so on). This one passes the job data
 * through unchanged and answers the printer-data queries for the driver's
 * version values itself, so the spooler and the installer see the version
 * of the package; everything else it forwards to the port monitor.
 */
#include <windows.h>
#include <winspool.h>
#include <winsplp.h>

#include "zep_package.h"

typedef struct zep_port {
    HANDLE port;          /* the port monitor's handle for the port */
    MONITOR2 *port_mon;   /* the port monitor's function table */
} zep_port;

static MONITORINIT g_init;

static BOOL WINAPI ZepOpenPortEx(HANDLE monitor, HANDLE port_monitor, LPWSTR port_name,
                                 LPWSTR printer_name, PHANDLE handle, MONITOR2 *port_mon)
{
    zep_port *p;

    (void)monitor;
    (void)printer_name;
    if (!handle || !port_mon || !port_mon->pfnOpenPort) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    p = (zep_port *)HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, sizeof(*p));
    if (!p) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return FALSE;
    }
    p->port_mon = port_mon;
    if (!port_mon->pfnOpenPort(port_monitor, port_name, &p->port)) {
        DWORD err = GetLastError();
        HeapFree(GetProcessHeap(), 0, p);
        SetLastError(err);
        return FALSE;
    }
    *handle = (HANDLE)p;
    return TRUE;
}

/* A handle the spooler got from ZepOpenPortEx, or NULL with the error set. */
static zep_port *port_of(HANDLE h)
{
    if (!h) SetLastError(ERROR_INVALID_HANDLE);
    return (zep_port *)h;
}

static BOOL WINAPI ZepStartDocPort(HANDLE h, LPWSTR printer_name, DWORD job_id, DWORD level,
                                   LPBYTE doc_info)
{
    zep_port *p = port_of(h);
    if (!p) return FALSE;
    if (!p->port_mon->pfnStartDocPort) return TRUE;
    return p->port_mon->pfnStartDocPort(p->port, printer_name, job_id, level, doc_info);
}

static BOOL WINAPI ZepWritePort(HANDLE h, LPBYTE buffer, DWORD size, LPDWORD written)
{
    zep_port *p = port_of(h);
    if (!p) return FALSE;
    if (!p->port_mon->pfnWritePort) {
        SetLastError(ERROR_NOT_SUPPORTED);
        return FALSE;
    }
    return p->port_mon->pfnWritePort(p->port, buffer, size, written);
}

static BOOL WINAPI ZepReadPort(HANDLE h, LPBYTE buffer, DWORD size, LPDWORD read)
{
    zep_port *p = port_of(h);
    if (!p) return FALSE;
    if (!p->port_mon->pfnReadPort) {
        if (read) *read = 0;
        SetLastError(ERROR_NOT_SUPPORTED);
        return FALSE;
    }
    return p->port_mon->pfnReadPort(p->port, buffer, size, read);
}

static BOOL WINAPI ZepEndDocPort(HANDLE h)
{
    zep_port *p = port_of(h);
    if (!p) return FALSE;
    if (!p->port_mon->pfnEndDocPort) return TRUE;
    return p->port_mon->pfnEndDocPort(p->port);
}

static BOOL WINAPI ZepClosePort(HANDLE h)
{
    zep_port *p = port_of(h);
    BOOL ok = TRUE;
    DWORD err = ERROR_SUCCESS;

    if (!p) return FALSE;
    if (p->port_mon->pfnClosePort) {
        ok = p->port_mon->pfnClosePort(p->port);
        if (!ok) err = GetLastError();
    }
    /* The spooler never uses the handle again, whatever the port said. */
    HeapFree(GetProcessHeap(), 0, p);
    if (!ok) SetLastError(err);
    return ok;
}

/* The version values the installer reads from the driver's printers. */
static BOOL version_value(LPCWSTR name, DWORD *value)
{
    static const struct { LPCWSTR name; DWORD value; } values[] = {
        { L"MajorVersion", ZEP_VERSION_MAJOR },
        { L"MinorVersion", ZEP_VERSION_MINOR },
        { L"BuildVersion", ZEP_VERSION_BUILD },
        { L"ExtraVersion", ZEP_VERSION_EXTRA },
    };
    size_t i;

    if (!name) return FALSE;
    for (i = 0; i < sizeof(values) / sizeof(values[0]); i++) {
        if (lstrcmpiW(name, values[i].name) == 0) {
            *value = values[i].value;
            return TRUE;
        }
    }
    return FALSE;
}

static BOOL WINAPI ZepGetPrinterDataFromPort(HANDLE h, DWORD control_id, LPWSTR value_name,
                                             LPWSTR in, DWORD in_size, LPWSTR out,
                                             DWORD out_size, LPDWORD returned)
{
    zep_port *p = port_of(h);
    DWORD value;

    if (!p) return FALSE;
    if (control_id == 0 && version_value(value_name, &value)) {
        if (returned) *returned = sizeof(DWORD);
        if (!out || out_size < sizeof(DWORD)) {
            SetLastError(ERROR_INSUFFICIENT_BUFFER);
            return FALSE;
        }
        CopyMemory(out, &value, sizeof(DWORD));
        return TRUE;
    }
    if (!p->port_mon->pfnGetPrinterDataFromPort) {
        SetLastError(ERROR_NOT_SUPPORTED);
        return FALSE;
    }
    return p->port_mon->pfnGetPrinterDataFromPort(p->port, control_id, value_name, in, in_size,
                                                  out, out_size, returned);
}

static BOOL WINAPI ZepSetPortTimeOuts(HANDLE h, LPCOMMTIMEOUTS timeouts, DWORD reserved)
{
    zep_port *p = port_of(h);
    if (!p) return FALSE;
    if (!p->port_mon->pfnSetPortTimeOuts) return TRUE;
    return p->port_mon->pfnSetPortTimeOuts(p->port, timeouts, reserved);
}

static VOID WINAPI ZepShutdown(HANDLE monitor)
{
    (void)monitor;
    ZeroMemory(&g_init, sizeof(g_init));
}

/* A language monitor fills only the port functions; the port-management
 * entries (EnumPorts, AddPort, ConfigurePort, ...) belong to port monitors. */
static MONITOR2 g_monitor = {
    sizeof(MONITOR2),
    NULL,                       /* pfnEnumPorts */
    NULL,                       /* pfnOpenPort */
    ZepOpenPortEx,
    ZepStartDocPort,
    ZepWritePort,
    ZepReadPort,
    ZepEndDocPort,
    ZepClosePort,
    NULL,                       /* pfnAddPort */
    NULL,                       /* pfnAddPortEx */
    NULL,                       /* pfnConfigurePort */
    NULL,                       /* pfnDeletePort */
    ZepGetPrinterDataFromPort,
    ZepSetPortTimeOuts,
    NULL,                       /* pfnXcvOpenPort */
    NULL,                       /* pfnXcvDataPort */
    NULL,                       /* pfnXcvClosePort */
    ZepShutdown,
    NULL,                       /* pfnSendRecvBidiDataFromPort */
};

__declspec(dllexport) LPMONITOR2 WINAPI InitializePrintMonitor2(PMONITORINIT init, PHANDLE monitor)
{
    if (!init || !monitor) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return NULL;
    }
    CopyMemory(&g_init, init, init->cbSize < sizeof(g_init) ? init->cbSize : sizeof(g_init));
    *monitor = (HANDLE)&g_init;
    return &g_monitor;
}

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved)
{
    (void)reserved;
    if (reason == DLL_PROCESS_ATTACH) DisableThreadLibraryCalls(instance);
    return TRUE;
}
