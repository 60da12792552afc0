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
        {"GetSystemWow64DirectoryA", {sim::err::kCallNotImplemented}},
        {"GetModuleFileNameA", {kErrInsufficientBuffer}},
        {"CreateFileA", {kErrAccessDenied, kErrSharingViolation, kErrPathNotFound}},
        {"SetFilePointer", {kErrInvalidHandle}},
        {"WriteFile", {sim::err::kDiskFull, sim::err::kLockViolation}},
        {"CloseHandle", {kErrInvalidHandle}},
        {"GetFileInformationByHandle", {kErrInvalidHandle, kErrAccessDenied}},
        {"MoveFileExA", {kErrAccessDenied, kErrFileNotFound, kErrSharingViolation}},
        {"DeleteFileA", {kErrFileNotFound, kErrPathNotFound, kErrAccessDenied, kErrSharingViolation}},
        {"CopyFileA",
         {kErrFileNotFound, kErrPathNotFound, kErrAccessDenied, kErrSharingViolation, sim::err::kDiskFull}},
        {"rename", {kErrAccessDenied, kErrSharingViolation, kErrAlreadyExists}},
        {"GetFileAttributesA", {kErrFileNotFound, kErrPathNotFound, kErrAccessDenied}},
        {"SetFileAttributesA", {kErrFileNotFound, kErrAccessDenied}},
        {"CreateDirectoryA", {kErrPathNotFound, kErrAccessDenied, kErrAlreadyExists}},
        {"CreateDirectoryWithDacl", {kErrPathNotFound, kErrAccessDenied, kErrAlreadyExists, sim::err::kInvalidAcl}},
        {"RemoveDirectoryA", {kErrFileNotFound, kErrAccessDenied, kErrSharingViolation, kErrDirNotEmpty}},
        {"FindFiles", {kErrFileNotFound, kErrPathNotFound, kErrAccessDenied}},
        {"GetVersionExA", {kErrInvalidParameter, kErrInsufficientBuffer}},
        {"IsWow64Process", {kErrAccessDenied, kErrInvalidHandle}},
        {"WinExec", {kErrFileNotFound, kErrPathNotFound, 11}},  // 11: bad format
        // 87: no such process (it has ended); 258: it still runs
        {"WaitForProcessExit", {kErrInvalidParameter, kErrAccessDenied, kErrWaitTimeout}},
        {"FormatMessageA", {sim::err::kMrMidNotFound}},  // no text for the code
        // advapi32, shlwapi
        {"RegOpenKeyExA", {kErrFileNotFound, kErrAccessDenied}},
        {"RegCreateKeyExA", {kErrAccessDenied, sim::err::kChildMustBeVolatile}},
        {"RegSetValueExA", {kErrAccessDenied, sim::err::kKeyDeleted}},
        {"RegQueryValueExA", {kErrFileNotFound, kErrAccessDenied}},
        {"RegCloseKey", {kErrInvalidHandle}},
        {"RegEnumKeys", {kErrAccessDenied, sim::err::kKeyDeleted}},
        {"SHDeleteKeyA", {kErrFileNotFound, kErrAccessDenied}},
        {"RegDeleteKeyExA", {kErrFileNotFound, kErrAccessDenied}},
        {"AllocateAndInitializeSid", {kErrNotEnoughMemory}},
        {"SetEntriesInAclA", {kErrInvalidParameter, kErrNotEnoughMemory}},
        {"OpenProcessToken", {kErrAccessDenied}},
        {"LookupPrivilegeValueA", {sim::err::kNoSuchPrivilege}},
        {"AdjustTokenPrivileges", {kErrAccessDenied, kErrNotAllAssigned}},
        {"QueryServiceStatusEx", {kErrAccessDenied, kErrServiceDoesNotExist}},
        {"QueryServiceConfigA", {kErrAccessDenied, kErrServiceDoesNotExist}},
        {"ExitWindowsEx", {kErrPrivilegeNotHeld, sim::err::kShutdownInProgress}},
        // winspool
        {"EnumPortsA", {kErrRpcServerUnavailable, kErrAccessDenied}},
        {"ConfigurePortA", {kErrInvalidParameter, sim::err::kCancelled, kErrRpcServerUnavailable}},
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
         {kErrAccessDenied, kErrRpcServerUnavailable, kErrUnknownPort, kErrUnknownPrinterDriver,
          kErrUnknownPrintProcessor, kErrPrinterAlreadyExists}},
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
