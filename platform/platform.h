// The seam to Windows: every operating-system call the two programs make.
//
// Methods carry the Win32 names and the arguments that matter, and return the
// result together with the error code the call produced (there is no global
// last-error here). Enumerations return records; the two-call size/data dance
// lives in the Win32 implementation. Functions that older systems lack and
// that are looked up at run time return std::optional: nullopt means
// "missing", as distinct from "failed".
//
// Nullable string arguments are plain `const char*` (nullptr is NULL), as in
// the Win32 call they stand for.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "platform/types.h"

namespace zep {

// kernel32 and the C run-time: files, folders, version, time, processes.
class Kernel {
public:
    virtual ~Kernel() = default;

    // Folders (GetWindowsDirectoryA and friends); fails when the call returns 0.
    virtual Result<std::string> GetWindowsDirectoryA() = 0;
    virtual Result<std::string> GetSystemDirectoryA() = 0;
    // Looked up in "kernel32" at run time.
    virtual std::optional<Result<std::string>> GetSystemWow64DirectoryA() = 0;
    // GetModuleFileNameA(NULL): the full path of the running program's file.
    virtual Result<std::string> GetModuleFileNameA() = 0;

    // Files.
    virtual Result<HFile> CreateFileA(const std::string& path, uint32_t access, uint32_t share,
                                      uint32_t disposition, uint32_t flags) = 0;
    virtual Status SetFilePointer(HFile file, int32_t distance, uint32_t method) = 0;
    virtual Status WriteFile(HFile file, const std::string& bytes) = 0;
    virtual Result<std::string> ReadFile(HFile file, uint32_t maxBytes) = 0;
    virtual Status CloseHandle(HFile file) = 0;
    virtual Result<FileInformation> GetFileInformationByHandle(HFile file) = 0;
    virtual Status DeleteFileA(const std::string& path) = 0;
    virtual Status CopyFileA(const std::string& source, const std::string& dest,
                             bool failIfExists) = 0;
    // The C run-time's rename(); ok is its result of 0.
    virtual Status rename(const std::string& from, const std::string& to) = 0;
    // to nullptr: with MOVEFILE_DELAY_UNTIL_REBOOT the file is deleted at the
    // next restart.
    virtual Status MoveFileExA(const std::string& from, const char* to, uint32_t flags) = 0;
    // value is kInvalidFileAttributes when the call fails.
    virtual Result<uint32_t> GetFileAttributesA(const std::string& path) = 0;
    virtual Status SetFileAttributesA(const std::string& path, uint32_t attributes) = 0;
    virtual Status CreateDirectoryA(const std::string& path) = 0;
    // CreateDirectoryA with a security descriptor that carries `dacl`
    // (InitializeSecurityDescriptor + SetSecurityDescriptorDacl, inheritable
    // security attributes).
    virtual Status CreateDirectoryWithDacl(const std::string& path, HAcl dacl) = 0;
    virtual Status RemoveDirectoryA(const std::string& path) = 0;
    // FindFirstFileA / FindNextFileA / FindClose over a pattern such as
    // "C:\dir\*.*"; the records include "." and ".." as Windows gives them.
    // A pattern that matches nothing fails with ERROR_FILE_NOT_FOUND.
    virtual Result<std::vector<FindRecord>> FindFiles(const std::string& pattern) = 0;

    // Version and bitness.
    // structSize is the dwOSVersionInfoSize passed (156 extended, 148 basic).
    virtual Result<OsVersion> GetVersionExA(uint32_t structSize) = 0;
    // IsWow64Process(GetCurrentProcess()), looked up in "kernel32" at run time.
    virtual std::optional<Result<bool>> IsWow64Process() = 0;

    // Time and processes.
    virtual void Sleep(uint32_t milliseconds) = 0;
    virtual SystemTime GetLocalTime() = 0;
    virtual uint32_t WinExec(const std::string& commandLine, uint32_t show) = 0;
    // OpenProcess(SYNCHRONIZE) and WaitForSingleObject on it: ok when the
    // process has ended within the time; WAIT_TIMEOUT (258) when it still
    // runs; OpenProcess's code when it cannot be opened (87: no process has
    // that id, so it has ended; 5: not allowed to wait for it).
    virtual Status WaitForProcessExit(uint32_t processId, uint32_t milliseconds) = 0;
    // exit(code): ends the process with the run-time's clean-up. Never returns.
    [[noreturn]] virtual void exit(int code) = 0;
    // CreateMutexA with no security attributes, not owned, named. ok with
    // error ERROR_ALREADY_EXISTS (183) when the mutex already existed. The
    // handle stays open until the process ends.
    virtual Result<HMutex> CreateMutexA(const std::string& name) = 0;

    // FormatMessageA(FROM_SYSTEM | ALLOCATE_BUFFER | IGNORE_INSERTS) for a
    // system error code: the text as the system words it, "%1" left as is.
    virtual Result<std::string> FormatMessageA(uint32_t code, uint32_t languageId) = 0;
};

// advapi32 and shlwapi: registry, security, privileges.
class Advapi {
public:
    virtual ~Advapi() = default;

    // Registry calls report their status as their value (0 = success).
    struct KeyResult {
        int32_t status = 0;
        HKey key = HKey::None;
        uint32_t disposition = 0;
    };
    virtual KeyResult RegOpenKeyExA(HKey root, const std::string& subKey, uint32_t options,
                                    uint32_t samDesired) = 0;
    virtual KeyResult RegCreateKeyExA(HKey root, const std::string& subKey, uint32_t options,
                                      uint32_t samDesired) = 0;
    virtual int32_t RegSetValueExA(HKey key, const std::string& name, uint32_t type,
                                   const std::string& data) = 0;
    virtual Result<RegValue> RegQueryValueExA(HKey key, const std::string& name) = 0;
    virtual Result<std::vector<std::string>> RegEnumKeys(HKey key) = 0;
    virtual Result<std::vector<RegValue>> RegEnumValues(HKey key) = 0;
    virtual int32_t RegCloseKey(HKey key) = 0;
    // shlwapi: deletes the key with everything below it.
    virtual int32_t SHDeleteKeyA(HKey root, const std::string& subKey) = 0;
    // Looked up in "Advapi32" at run time (missing on 32-bit Windows XP).
    virtual std::optional<int32_t> RegDeleteKeyExA(HKey root, const std::string& subKey,
                                                   uint32_t samDesired, uint32_t reserved) = 0;

    // Security for folders.
    virtual Result<HSid> AllocateAndInitializeSid(WellKnownSid sid) = 0;
    virtual void FreeSid(HSid sid) = 0;
    // SetEntriesInAclA with no old ACL; value is the new ACL (freed with LocalFree).
    virtual Result<HAcl> SetEntriesInAclA(const std::vector<ExplicitAccess>& entries) = 0;
    virtual void LocalFree(HAcl acl) = 0;

    // Privileges, for the restart.
    virtual Result<HToken> OpenProcessToken(uint32_t desiredAccess) = 0;
    virtual Result<Luid> LookupPrivilegeValueA(const std::string& name) = 0;
    // error is GetLastError right after the call, also on success
    // (ERROR_NOT_ALL_ASSIGNED while ok is true).
    virtual Status AdjustTokenPrivileges(HToken token, Luid privilege, uint32_t attributes) = 0;

    // Services of the local machine: OpenSCManagerA(SC_MANAGER_CONNECT),
    // OpenServiceA with only the right the query needs, the query, and both
    // handles closed. A failure carries the code of the first call that
    // failed (1060: no such service).
    virtual Result<ServiceStatus> QueryServiceStatusEx(const std::string& serviceName) = 0;
    virtual Result<ServiceConfig> QueryServiceConfigA(const std::string& serviceName) = 0;
};

// user32 and the program's resources.
class User {
public:
    virtual ~User() = default;

    // CString::LoadString from the program's string table; empty when missing.
    virtual std::string LoadStringA(uint32_t id) = 0;
    virtual Status ExitWindowsEx(uint32_t flags, uint32_t reason) = 0;

    // AfxMessageBox: caption is the application name (the program's file
    // name without extension), owner the main window. Returns the button ID.
    virtual int AfxMessageBox(const std::string& text, uint32_t style) = 0;
    // MessageBoxA with a caption of its own, owned by the given window
    // (an opaque HWND value; 0 for none).
    virtual int MessageBoxA(uintptr_t owner, const std::string& text, const std::string& caption,
                            uint32_t style) = 0;
};

// winspool.drv: the local print spooler.
class Spooler {
public:
    virtual ~Spooler() = default;

    virtual Result<std::vector<std::string>> EnumPortsA(const char* server) = 0;  // level 1
    virtual Status ConfigurePortA(const char* server, uintptr_t window,
                                  const std::string& portName) = 0;
    // XcvDataW on the local port monitor's handle of a COM port (OpenPrinterA
    // of ",XcvPort COMn:"): its two commands for the port's default
    // settings, the ones the system's Configure Port uses.
    // "GetDefaultCommConfig" takes the device name without its colon
    // ("COM3"); "SetDefaultCommConfig" sets the handle's port, with a
    // configuration read before. error is the call's own failure, else the
    // monitor's status. Looked up at run time: nullopt when winspool has
    // no XcvDataW.
    virtual std::optional<Result<CommConfig>> XcvDataGetDefaultCommConfig(
        HPrinter xcv, const std::string& device) = 0;
    virtual std::optional<Status> XcvDataSetDefaultCommConfig(HPrinter xcv,
                                                              const CommConfig& config) = 0;

    virtual Status AddMonitorA(const char* server, const MonitorInfo2& info) = 0;  // level 2
    virtual Status DeleteMonitorA(const char* server, const char* environment,
                                  const std::string& name) = 0;

    virtual Status AddPrintProcessorA(const char* server, const std::string& environment,
                                      const std::string& pathName,
                                      const std::string& processorName) = 0;
    virtual Status DeletePrintProcessorA(const char* server, const char* environment,
                                         const std::string& name) = 0;
    virtual Result<std::vector<std::string>> EnumPrintProcessorsA(const char* server,
                                                                  const char* environment) = 0;
    virtual Result<std::string> GetPrintProcessorDirectoryA(const char* server,
                                                            const char* environment) = 0;

    virtual Result<std::string> GetPrinterDriverDirectoryA(const char* server,
                                                           const char* environment) = 0;
    virtual Status AddPrinterDriverA(const char* server, const DriverInfo3& info) = 0;  // level 3
    // level 3 or 4; records carry what DRIVER_INFO_3 holds.
    virtual Result<std::vector<DriverInfo3>> EnumPrinterDriversA(const char* server,
                                                                 const char* environment,
                                                                 uint32_t level) = 0;
    virtual Status DeletePrinterDriverExA(const char* server, const char* environment,
                                          const std::string& driverName, uint32_t deleteFlag,
                                          uint32_t versionFlag) = 0;

    virtual Result<HPrinter> AddPrinterA(const char* server, const PrinterInfo2& info) = 0;
    // name nullptr opens the local print server; defaults nullptr passes none.
    virtual Result<HPrinter> OpenPrinterA(const char* printerName,
                                          const PrinterDefaults* defaults) = 0;
    virtual Status ClosePrinter(HPrinter printer) = 0;
    virtual Status DeletePrinter(HPrinter printer) = 0;
    virtual Result<std::vector<PrinterInfo2>> EnumPrintersA(uint32_t flags, const char* name) = 0;
    virtual Status SetPrinterA(HPrinter printer, const PrinterInfo2& info) = 0;  // level 2

    // GetPrinterDataA / SetPrinterDataA return their status as their value.
    struct DataResult {
        uint32_t status = 0;
        uint32_t type = 0;
        std::string data;
    };
    virtual DataResult GetPrinterDataA(HPrinter printer, const std::string& valueName,
                                       uint32_t bufferSize) = 0;
    virtual uint32_t SetPrinterDataA(HPrinter printer, const std::string& valueName, uint32_t type,
                                     const std::string& data) = 0;

    virtual Result<std::vector<FormInfo1>> EnumFormsA(HPrinter printer) = 0;  // level 1
    virtual Status AddFormA(HPrinter printer, const FormInfo1& form) = 0;
    virtual Status DeleteFormA(HPrinter printer, const std::string& formName) = 0;

    virtual Result<std::vector<JobInfo3>> EnumJobsA(HPrinter printer, uint32_t firstJob,
                                                    uint32_t count) = 0;  // level 3
    virtual Status SetJobA(HPrinter printer, uint32_t jobId, uint32_t level,
                           uint32_t command) = 0;
};

// setupapi.dll.
class Setup {
public:
    virtual ~Setup() = default;

    // value is the destination name the system chose (or of the existing copy
    // when the call fails with ERROR_FILE_EXISTS).
    virtual Result<std::string> SetupCopyOEMInfA(const std::string& source, uint32_t mediaType,
                                                 uint32_t copyStyle) = 0;
    // directory nullptr asks for the default INF folder.
    virtual Result<std::vector<std::string>> SetupGetInfFileListA(const char* directory,
                                                                  uint32_t style) = 0;
    struct InfResult {
        bool ok = false;
        uint32_t error = 0;
        HInf inf = HInf::None;
        uint32_t errorLine = 0;
    };
    virtual InfResult SetupOpenInfFileA(const std::string& fileName, const char* infClass,
                                        uint32_t style) = 0;
    virtual Status SetupFindFirstLineA(HInf inf, const std::string& section,
                                       const std::string& key) = 0;
    virtual void SetupCloseInfFile(HInf inf) = 0;
    // Looked up in "setupapi" at run time.
    virtual std::optional<Status> SetupUninstallOEMInfA(const std::string& infFileName,
                                                        uint32_t flags) = 0;
};

// Everything a program reaches through the seam.
struct Platform {
    Kernel& kernel;
    Advapi& advapi;
    User& user;
    Spooler& spooler;
    Setup& setup;
};

}  // namespace zep
