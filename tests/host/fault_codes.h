// The codes Windows gives when each call of the seam fails, shared by the
// fault matrix and the convergence tests.
#pragma once

#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "platform/sim/machine.h"

namespace zep::test {

// ------------------------------------------------------------------ codes

// The codes Windows gives when each call fails. Calls the programs make only
// on a failure path are listed too, for the hostile-state tests' reference.
inline const std::map<std::string, std::vector<uint32_t>>& Codes() {
    static const std::map<std::string, std::vector<uint32_t>> codes = {
        // kernel32
        {"GetWindowsDirectoryA", {kErrNotEnoughMemory}},
        {"GetSystemDirectoryA", {kErrNotEnoughMemory}},
        {"GetSystemWow64DirectoryA", {120}},  // ERROR_CALL_NOT_IMPLEMENTED
        {"GetModuleFileNameA", {kErrInsufficientBuffer}},
        {"CreateFileA", {kErrAccessDenied, kErrSharingViolation, kErrPathNotFound}},
        {"SetFilePointer", {kErrInvalidHandle}},
        {"WriteFile", {112, 33}},  // disk full, lock violation
        {"CloseHandle", {kErrInvalidHandle}},
        {"GetFileInformationByHandle", {kErrInvalidHandle, kErrAccessDenied}},
        {"MoveFileExA", {kErrAccessDenied, kErrFileNotFound, kErrSharingViolation}},
        {"DeleteFileA", {kErrFileNotFound, kErrPathNotFound, kErrAccessDenied, kErrSharingViolation}},
        {"CopyFileA",
         {kErrFileNotFound, kErrPathNotFound, kErrAccessDenied, kErrSharingViolation, 112}},
        {"rename", {kErrAccessDenied, kErrSharingViolation, kErrAlreadyExists}},
        {"GetFileAttributesA", {kErrFileNotFound, kErrPathNotFound, kErrAccessDenied}},
        {"SetFileAttributesA", {kErrFileNotFound, kErrAccessDenied}},
        {"CreateDirectoryA", {kErrPathNotFound, kErrAccessDenied, kErrAlreadyExists}},
        {"CreateDirectoryWithDacl", {kErrPathNotFound, kErrAccessDenied, kErrAlreadyExists, 1336}},
        {"RemoveDirectoryA", {kErrFileNotFound, kErrAccessDenied, kErrSharingViolation, kErrDirNotEmpty}},
        {"FindFiles", {kErrFileNotFound, kErrPathNotFound, kErrAccessDenied}},
        {"GetVersionExA", {kErrInvalidParameter, kErrInsufficientBuffer}},
        {"IsWow64Process", {kErrAccessDenied, kErrInvalidHandle}},
        {"WinExec", {kErrFileNotFound, kErrPathNotFound, 11}},  // 11: bad format
        // 87: no such process (it has ended); 258: it still runs
        {"WaitForProcessExit", {kErrInvalidParameter, kErrAccessDenied, kErrWaitTimeout}},
        {"FormatMessageA", {317}},                               // no text for the code
        // advapi32, shlwapi
        {"RegOpenKeyExA", {kErrFileNotFound, kErrAccessDenied}},
        {"RegCreateKeyExA", {kErrAccessDenied, 1021}},  // 1021: under a volatile key
        {"RegSetValueExA", {kErrAccessDenied, 1018}},   // 1018: key marked for deletion
        {"RegQueryValueExA", {kErrFileNotFound, kErrAccessDenied}},
        {"RegCloseKey", {kErrInvalidHandle}},
        {"RegEnumKeys", {kErrAccessDenied, 1018}},  // 1018: key marked for deletion
        {"SHDeleteKeyA", {kErrFileNotFound, kErrAccessDenied}},
        {"RegDeleteKeyExA", {kErrFileNotFound, kErrAccessDenied}},
        {"AllocateAndInitializeSid", {kErrNotEnoughMemory}},
        {"SetEntriesInAclA", {kErrInvalidParameter, kErrNotEnoughMemory}},
        {"OpenProcessToken", {kErrAccessDenied}},
        {"LookupPrivilegeValueA", {1313}},  // ERROR_NO_SUCH_PRIVILEGE
        {"AdjustTokenPrivileges", {kErrAccessDenied, kErrNotAllAssigned}},
        {"QueryServiceStatusEx", {kErrAccessDenied, kErrServiceDoesNotExist}},
        {"QueryServiceConfigA", {kErrAccessDenied, kErrServiceDoesNotExist}},
        {"ExitWindowsEx", {kErrPrivilegeNotHeld, 1115}},  // 1115: shutdown in progress
        // winspool
        {"EnumPortsA", {kErrRpcServerUnavailable, kErrAccessDenied}},
        {"ConfigurePortA", {kErrInvalidParameter, 1223, kErrRpcServerUnavailable}},
        {"AddMonitorA",
         {kErrAccessDenied, kErrModNotFound, kErrRpcServerUnavailable, kErrPrintMonitorAlreadyInstalled}},
        {"DeleteMonitorA",
         {kErrAccessDenied, kErrRpcServerUnavailable, kErrUnknownPrintMonitor, kErrPrintMonitorInUse}},
        {"AddPrintProcessorA",
         {kErrAccessDenied, kErrFileNotFound, kErrRpcServerUnavailable,
          kErrPrintProcessorAlreadyInstalled}},
        {"DeletePrintProcessorA",
         {kErrAccessDenied, kErrRpcServerUnavailable, kErrUnknownPrintProcessor}},
        {"EnumPrintProcessorsA", {kErrRpcServerUnavailable, kErrInvalidEnvironment}},
        {"GetPrintProcessorDirectoryA", {kErrRpcServerUnavailable, kErrInvalidEnvironment}},
        {"GetPrinterDriverDirectoryA", {kErrRpcServerUnavailable, kErrInvalidEnvironment}},
        {"AddPrinterDriverA",
         {kErrFileNotFound, kErrAccessDenied, kErrModNotFound, kErrRpcServerUnavailable,
          kErrUnknownPrintMonitor}},
        {"EnumPrinterDriversA", {kErrRpcServerUnavailable, kErrAccessDenied}},
        {"DeletePrinterDriverExA",
         {kErrAccessDenied, kErrRpcServerUnavailable, kErrUnknownPrinterDriver, kErrPrinterDriverInUse}},
        {"AddPrinterA",
         {kErrAccessDenied, kErrRpcServerUnavailable, 1796, kErrUnknownPrinterDriver,
          kErrUnknownPrintProcessor, kErrPrinterAlreadyExists}},  // 1796: unknown port
        {"OpenPrinterA", {kErrAccessDenied, kErrRpcServerUnavailable, kErrInvalidPrinterName}},
        {"ClosePrinter", {kErrInvalidHandle, kErrRpcServerUnavailable}},
        {"DeletePrinter", {kErrAccessDenied, kErrRpcServerUnavailable}},
        {"EnumPrintersA", {kErrAccessDenied, kErrRpcServerUnavailable}},
        {"GetPrinterDataA", {kErrFileNotFound, kErrAccessDenied, kErrRpcServerUnavailable}},
        {"EnumFormsA", {kErrAccessDenied, kErrRpcServerUnavailable}},
        {"DeleteFormA", {kErrAccessDenied, kErrInvalidFormName}},
        {"EnumJobsA", {kErrAccessDenied, kErrRpcServerUnavailable}},
        {"SetJobA", {kErrAccessDenied, kErrInvalidParameter}},
        // setupapi
        {"SetupCopyOEMInfA",
         {kErrFileNotFound, kErrAccessDenied, kErrFileExists, sim::kErrWrongInfStyle}},
        {"SetupGetInfFileListA", {kErrPathNotFound, kErrAccessDenied}},
        {"SetupOpenInfFileA", {kErrFileNotFound, kErrAccessDenied, sim::kErrGeneralSyntax}},
        {"SetupFindFirstLineA", {kErrLineNotFound, 0xE0000101u}},  // line, section not found
        {"SetupUninstallOEMInfA", {kErrAccessDenied, sim::kErrNotAnInstalledOemInf}},
    };
    return codes;
}

// Calls the simulated machine never fails: the clock, the string table, the
// user's boxes, the process exit and the calls without a result.
inline bool Unfailable(const std::string& call) {
    static const std::set<std::string> calls = {"Sleep",         "GetLocalTime", "LoadStringA",
                                                "AfxMessageBox", "MessageBoxA",  "exit",
                                                "FreeSid",       "LocalFree",    "SetupCloseInfFile"};
    return calls.count(call) != 0;
}

}  // namespace zep::test
