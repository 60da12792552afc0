/*
 * The control of tests/e2e/planting.sh: a program that imports winspool.drv
 * statically, as the installer must not. Started beside a planted
 * winspool.drv it loads that one, which shows that the planted DLL would be
 * picked up by such a program. Prints the result of OpenPrinterA.
 */
#include <windows.h>
#include <winspool.h>
#include <stdio.h>

int main(void) {
    HANDLE printer = NULL;
    BOOL ok = OpenPrinterA(NULL, &printer, NULL);
    printf("OpenPrinterA=%d error=%lu\n", ok ? 1 : 0, ok ? 0UL : (unsigned long)GetLastError());
    if (ok) ClosePrinter(printer);
    return 0;
}
