/*
 * A planted DLL for tests/e2e/planting.sh: built under the names of the
 * system DLLs the programs load at run time (winspool.drv, setupapi.dll,
 * shlwapi.dll, comctl32.dll) and put beside them. When a process loads it,
 * it writes "<its own path>.loaded" holding the path of that process, and
 * does nothing else. OpenPrinterA is exported so that a program importing
 * it statically (planting_probe.c) starts with this DLL.
 */
#include <windows.h>

static void Mark(HINSTANCE self) {
    char path[MAX_PATH + 16];
    char exe[MAX_PATH];
    DWORD n = GetModuleFileNameA(self, path, MAX_PATH);
    DWORD m = GetModuleFileNameA(NULL, exe, sizeof exe);
    if (n == 0 || n >= MAX_PATH) return;
    lstrcatA(path, ".loaded");
    HANDLE file = CreateFileA(path, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
    if (file == INVALID_HANDLE_VALUE) return;
    DWORD written = 0;
    WriteFile(file, exe, m, &written, NULL);
    CloseHandle(file);
}

BOOL WINAPI DllMain(HINSTANCE self, DWORD reason, LPVOID reserved) {
    (void)reserved;
    if (reason == DLL_PROCESS_ATTACH) Mark(self);
    return TRUE;
}

__declspec(dllexport) BOOL WINAPI OpenPrinterA(LPSTR name, LPHANDLE printer, LPPRINTER_DEFAULTSA defaults) {
    (void)name;
    (void)defaults;
    if (printer) *printer = NULL;
    SetLastError(ERROR_INVALID_PRINTER_NAME);
    return FALSE;
}
