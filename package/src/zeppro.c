/*
 * ZEPPRO.dll: the print processor of the sample driver package.
 *
 * The display takes the bytes of a job as they are, so the processor
 * handles the RAW data type only: it reads the spooled job and writes it
 * unchanged to the printer, where the language monitor and the port pass it
 * on. Pause, resume and cancel from the print queue are honoured between
 * blocks.
 */
#include <windows.h>
#include <winspool.h>
#include <winsplp.h>

#include "zep_package.h"

#define ZEP_PROC_SIGNATURE 0x4F525A50u /* "PZRO" */
#define ZEP_BLOCK_SIZE 4096

typedef struct zep_proc {
    DWORD signature;
    DWORD job_id;
    LPWSTR printer_name;
    LPWSTR output_file;      /* NULL: the printer's port */
    HANDLE running;          /* manual-reset: signalled unless paused */
    volatile LONG cancelled;
} zep_proc;

static LPWSTR dup_string(LPCWSTR s)
{
    LPWSTR copy;
    int len;

    if (!s) return NULL;
    len = lstrlenW(s) + 1;
    copy = (LPWSTR)HeapAlloc(GetProcessHeap(), 0, len * sizeof(WCHAR));
    if (copy) CopyMemory(copy, s, len * sizeof(WCHAR));
    return copy;
}

static void free_proc(zep_proc *p)
{
    if (!p) return;
    if (p->running) CloseHandle(p->running);
    p->signature = 0;
    HeapFree(GetProcessHeap(), 0, p->printer_name);
    HeapFree(GetProcessHeap(), 0, p->output_file);
    HeapFree(GetProcessHeap(), 0, p);
}

static zep_proc *proc_of(HANDLE h)
{
    zep_proc *p = (zep_proc *)h;
    if (!p || p->signature != ZEP_PROC_SIGNATURE) {
        SetLastError(ERROR_INVALID_HANDLE);
        return NULL;
    }
    return p;
}

static BOOL is_raw(LPCWSTR datatype)
{
    return datatype && lstrcmpiW(datatype, ZEP_DATATYPE_RAW) == 0;
}

/* "<printer>, Job <id>": the name under which the spooler opens a job's data. */
static LPWSTR job_printer_name(LPCWSTR printer, DWORD job_id)
{
    static const WCHAR infix[] = L", Job ";
    WCHAR digits[11];
    int n = 0, plen = lstrlenW(printer), ilen = lstrlenW(infix), i;
    LPWSTR name;

    do {
        digits[n++] = (WCHAR)(L'0' + job_id % 10);
        job_id /= 10;
    } while (job_id);
    name = (LPWSTR)HeapAlloc(GetProcessHeap(), 0, (plen + ilen + n + 1) * sizeof(WCHAR));
    if (!name) return NULL;
    CopyMemory(name, printer, plen * sizeof(WCHAR));
    CopyMemory(name + plen, infix, ilen * sizeof(WCHAR));
    for (i = 0; i < n; i++) name[plen + ilen + i] = digits[n - 1 - i];
    name[plen + ilen + n] = 0;
    return name;
}

__declspec(dllexport) BOOL WINAPI EnumPrintProcessorDatatypesW(LPWSTR server, LPWSTR processor,
                                                               DWORD level, LPBYTE buffer,
                                                               DWORD size, LPDWORD needed,
                                                               LPDWORD returned)
{
    DWORD need = sizeof(DATATYPES_INFO_1W) + sizeof(ZEP_DATATYPE_RAW);
    DATATYPES_INFO_1W *info;

    (void)server;
    (void)processor;
    if (!needed || !returned) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    *returned = 0;
    *needed = need;
    if (level != 1) {
        SetLastError(ERROR_INVALID_LEVEL);
        return FALSE;
    }
    if (!buffer || size < need) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return FALSE;
    }
    /* The structures first, the strings they point at behind them. */
    info = (DATATYPES_INFO_1W *)buffer;
    info->pName = (LPWSTR)(buffer + sizeof(DATATYPES_INFO_1W));
    CopyMemory(info->pName, ZEP_DATATYPE_RAW, sizeof(ZEP_DATATYPE_RAW));
    *returned = 1;
    return TRUE;
}

__declspec(dllexport) HANDLE WINAPI OpenPrintProcessor(LPWSTR printer_name,
                                                       PPRINTPROCESSOROPENDATA open_data)
{
    zep_proc *p;

    if (!printer_name || !open_data) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return NULL;
    }
    if (!is_raw(open_data->pDatatype)) {
        SetLastError(ERROR_INVALID_DATATYPE);
        return NULL;
    }
    p = (zep_proc *)HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, sizeof(*p));
    if (!p) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return NULL;
    }
    p->signature = ZEP_PROC_SIGNATURE;
    p->job_id = open_data->JobId;
    p->printer_name = dup_string(printer_name);
    p->output_file = dup_string(open_data->pOutputFile);
    p->running = CreateEventW(NULL, TRUE, TRUE, NULL);
    if (!p->printer_name || (open_data->pOutputFile && !p->output_file) || !p->running) {
        free_proc(p);
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return NULL;
    }
    return (HANDLE)p;
}

__declspec(dllexport) BOOL WINAPI PrintDocumentOnPrintProcessor(HANDLE h, LPWSTR document_name)
{
    zep_proc *p = proc_of(h);
    LPWSTR job_name;
    HANDLE job = NULL, printer = NULL;
    DOC_INFO_1W doc;
    BYTE *block = NULL;
    DWORD read, written, err = ERROR_SUCCESS;
    BOOL started = FALSE;

    if (!p) return FALSE;
    job_name = job_printer_name(p->printer_name, p->job_id);
    block = (BYTE *)HeapAlloc(GetProcessHeap(), 0, ZEP_BLOCK_SIZE);
    if (!job_name || !block) {
        err = ERROR_NOT_ENOUGH_MEMORY;
        goto done;
    }
    if (!OpenPrinterW(job_name, &job, NULL) || !OpenPrinterW(p->printer_name, &printer, NULL)) {
        err = GetLastError();
        goto done;
    }
    doc.pDocName = document_name;
    doc.pOutputFile = p->output_file;
    doc.pDatatype = (LPWSTR)ZEP_DATATYPE_RAW;
    if (!StartDocPrinterW(printer, 1, (LPBYTE)&doc)) {
        err = GetLastError();
        goto done;
    }
    started = TRUE;
    while (!p->cancelled && ReadPrinter(job, block, ZEP_BLOCK_SIZE, &read) && read) {
        WaitForSingleObject(p->running, INFINITE);
        if (p->cancelled) break;
        if (!WritePrinter(printer, block, read, &written) || written != read) {
            err = GetLastError();
            if (err == ERROR_SUCCESS) err = ERROR_WRITE_FAULT;
            break;
        }
    }

done:
    if (started) EndDocPrinter(printer);
    if (printer) ClosePrinter(printer);
    if (job) ClosePrinter(job);
    HeapFree(GetProcessHeap(), 0, block);
    HeapFree(GetProcessHeap(), 0, job_name);
    if (err != ERROR_SUCCESS) {
        SetLastError(err);
        return FALSE;
    }
    return TRUE;
}

__declspec(dllexport) BOOL WINAPI ControlPrintProcessor(HANDLE h, DWORD command)
{
    zep_proc *p = proc_of(h);

    if (!p) return FALSE;
    switch (command) {
    case JOB_CONTROL_PAUSE:
        return ResetEvent(p->running);
    case JOB_CONTROL_RESUME:
        return SetEvent(p->running);
    case JOB_CONTROL_CANCEL:
        InterlockedExchange(&p->cancelled, 1);
        /* A paused job must wake up to see the cancel. */
        return SetEvent(p->running);
    default:
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
}

__declspec(dllexport) BOOL WINAPI ClosePrintProcessor(HANDLE h)
{
    zep_proc *p = proc_of(h);

    if (!p) return FALSE;
    free_proc(p);
    return TRUE;
}

__declspec(dllexport) DWORD WINAPI GetPrintProcessorCapabilities(LPWSTR datatype, DWORD attributes,
                                                                 LPBYTE data, DWORD size,
                                                                 LPDWORD needed)
{
    PRINTPROCESSOR_CAPS_1 caps;

    (void)attributes;
    if (!needed) return ERROR_INVALID_PARAMETER;
    *needed = sizeof(caps);
    if (!is_raw(datatype)) return ERROR_INVALID_DATATYPE;
    if (!data || size < sizeof(caps)) return ERROR_MORE_DATA;
    /* RAW data goes out as it came: one page per sheet, in order, once. */
    caps.dwLevel = 1;
    caps.dwNupOptions = 1;
    caps.dwPageOrderFlags = NORMAL_PRINT;
    caps.dwNumberOfCopies = 1;
    CopyMemory(data, &caps, sizeof(caps));
    return ERROR_SUCCESS;
}

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved)
{
    (void)reserved;
    if (reason == DLL_PROCESS_ATTACH) DisableThreadLibraryCalls(instance);
    return TRUE;
}
