// A simulated Windows machine for host tests.
//
// It implements every seam interface over an in-memory model of a machine
// (version and bitness, file system, registry with its two views, spooler,
// setup API's INF folder, the user in front of it) detailed enough that a
// wrong call fails the way it fails on Windows. Tests arrange the machine
// through the helpers below, script the user's answers, inject faults, run a
// program's logic against platform(), and then inspect the machine, the
// recorded calls and what the user saw.
//
// All methods are safe to call from several threads (one lock).
//
// Behaviour worth knowing when writing tests:
// - Every seam call is recorded (Calls()) with its canonical arguments: the
//   path ("src|dst" for two), the registry path as the program named it
//   ("HKLM\SOFTWARE\...", "|value" appended for value calls), spooler calls
//   "environment|name" (an environment not given is empty), printer-handle
//   calls the printer's name ("" for the print server) plus "|value",
//   "|form" or "|job". A missing optional function is recorded as failed
//   with ERROR_PROC_NOT_FOUND (127).
// - Faults: each fault counts every call that matches it; the first fault
//   (in injection order) that is past its skip and has times left makes the
//   call fail. Sleep, GetLocalTime, LoadStringA, the message boxes, exit and
//   the void calls are never failed; a failed WinExec returns the fault's
//   code when it is below 32, else 2, and runs nothing.
// - Helpers take native paths: no WOW64 redirection (name SysWOW64 yourself);
//   junctions on the way are followed.
// - CreateFileA with OPEN_ALWAYS or CREATE_ALWAYS on an existing file
//   succeeds with error 183, as GetLastError reads on Windows.
// - CopyFileA keeps the source's read-only, hidden and system attributes and
//   adds ARCHIVE; it refuses (5) to overwrite a read-only or hidden file.
// - SetupCopyOEMInfA's value is the full path of the copy in the INF folder
//   ("C:\Windows\inf\oem0.inf"), also with ERROR_FILE_EXISTS: Windows fills
//   DestinationInfFileName with the path and points the optional component
//   pointer at the name inside it. An identical copy is reused.
// - The spooler keeps drivers, monitors and print processors as registry
//   keys below HKLM\SYSTEM\CurrentControlSet\Control\Print; a key deleted
//   directly removes its component when the spooler next starts.
// - Stopping the spooler closes every printer handle.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace zep::sim {

// Thrown by Kernel::exit to unwind the simulated program to its runner.
// Production code never catches it.
struct ProcessExit {
    int code;
};

// One platform call, named by the routine that made it.
struct CallRecord {
    std::string call;     // e.g. "DeleteFileA"
    std::string args;     // canonical text of the arguments that matter
    std::string routine;  // CurrentRoutine() at the time of the call
    bool failed = false;  // the call reported a failure
    uint32_t error = 0;
};

// A failure to inject, named as it reads:
//   Fault("DeleteFormA").Fails(kErrAccessDenied)           the next such call, once
//   Fault("RegDeleteKeyExA").For("Drivers").Always()       every call whose args hold "Drivers"
//   Fault("CopyFileA").In("HandleCopyFileError").After(1)  the second call from that routine
// An empty name matches any call.
struct Fault {
    std::string call;         // the seam method name, e.g. "EnumPrintersA"
    std::string routine;      // only when made from this routine
    std::string argContains;  // only when the canonical args contain this (case-insensitive)
    uint32_t error = 5;       // the code the call fails with (or the registry status)
    int skip = 0;             // let this many matching calls through first
    int times = 1;            // how many calls fail; -1 for every one

    Fault() = default;
    explicit Fault(std::string seamCall) : call(std::move(seamCall)) {}
    Fault& In(std::string name) { routine = std::move(name); return *this; }
    Fault& For(std::string text) { argContains = std::move(text); return *this; }
    Fault& Fails(uint32_t code) { error = code; return *this; }
    Fault& After(int calls) { skip = calls; return *this; }
    Fault& Times(int calls) { times = calls; return *this; }
    Fault& Always() { times = -1; return *this; }
};

// What the user saw or did, in order: message boxes, dialogs, status texts,
// progress, pauses, restarts. Program views add their own kinds.
struct UiEvent {
    std::string kind;     // "box", "pause", "restart", "exec", "exit", and view kinds
    std::string text;     // box text, status text, command line
    std::string caption;  // box caption
    uint32_t style = 0;   // box style
    int64_t value = 0;    // pause ms, progress position, answer, exit code
};

// Windows versions the tests use (GetVersionExA values).
struct VersionPreset {
    uint32_t platformId, major, minor, build;
    uint8_t productType;
};
namespace versions {
constexpr VersionPreset kWin95{1, 4, 0, 950, 0};
constexpr VersionPreset kWin98{1, 4, 10, 1998, 0};
constexpr VersionPreset kWinMe{1, 4, 90, 3000, 0};
constexpr VersionPreset kNt351{2, 3, 51, 1057, 1};
constexpr VersionPreset kNt4{2, 4, 0, 1381, 1};
constexpr VersionPreset kWin2000{2, 5, 0, 2195, 1};
constexpr VersionPreset kWinXp{2, 5, 1, 2600, 1};
constexpr VersionPreset kWinXp64{2, 5, 2, 3790, 1};
constexpr VersionPreset kWin2003{2, 5, 2, 3790, 3};
constexpr VersionPreset kVista{2, 6, 0, 6002, 1};
constexpr VersionPreset kWin2008{2, 6, 0, 6002, 3};
constexpr VersionPreset kWin7{2, 6, 1, 7601, 1};
constexpr VersionPreset kWin2008R2{2, 6, 1, 7601, 3};
constexpr VersionPreset kWin8{2, 6, 2, 9200, 1};
}  // namespace versions

// Windows' codes that types.h has no name for, which the simulated machine
// gives and tests inject.
namespace err {
constexpr uint32_t kInvalidFunction = 1;
constexpr uint32_t kLockViolation = 33;
constexpr uint32_t kBadNetPath = 53;
constexpr uint32_t kDiskFull = 112;
constexpr uint32_t kCallNotImplemented = 120;
constexpr uint32_t kInvalidName = 123;
constexpr uint32_t kInvalidLevel = 124;
constexpr uint32_t kNegativeSeek = 131;
constexpr uint32_t kBadPathname = 161;
constexpr uint32_t kDirectory = 267;
constexpr uint32_t kMrMidNotFound = 317;
constexpr uint32_t kKeyDeleted = 1018;
constexpr uint32_t kChildMustBeVolatile = 1021;
constexpr uint32_t kShutdownInProgress = 1115;
constexpr uint32_t kCancelled = 1223;
constexpr uint32_t kNoSuchPrivilege = 1313;
constexpr uint32_t kInvalidAcl = 1336;
constexpr uint32_t kCantResolveFilename = 1921;
constexpr uint32_t kResourceLangNotFound = 15100;
}  // namespace err

// Setup API codes (setupapi.h) that the simulated INF parser and look-ups give.
constexpr uint32_t kErrExpectedSectionName = 0xE0000000u;  // a line before any section
constexpr uint32_t kErrBadSectionNameLine = 0xE0000001u;   // "[" without "]"
constexpr uint32_t kErrSectionNameTooLong = 0xE0000002u;
constexpr uint32_t kErrGeneralSyntax = 0xE0000003u;
constexpr uint32_t kErrWrongInfStyle = 0xE0000100u;
constexpr uint32_t kErrClassMismatch = 0xE0000201u;
constexpr uint32_t kErrNotAnInstalledOemInf = 0xE000023Cu;

class Machine : public Kernel, public Advapi, public User, public Spooler, public Setup {
public:
    // A 64-bit Windows 7 with the 32-bit program running under WOW64,
    // Windows in C:\Windows, the program's current folder C:\Package.
    Machine();
    ~Machine() override;
    // A second machine in the same state (files, registry, spooler, scripted
    // answers, faults, calls), so that many runs can start from one
    // arrangement without repeating it.
    Machine(const Machine& other);
    Machine& operator=(const Machine&) = delete;

    Platform platform();

    // ------------------------------------------------------------ configuration
    // Call before the program runs.
    void SetVersion(const VersionPreset& v);
    void SetVersion(const OsVersion& v);
    void SetWindows64(bool is64);                 // false: 32-bit Windows
    void SetWindowsDirectory(const std::string& dir);  // e.g. "D:\\WINNT"
    void SetCurrentDirectory(const std::string& dir);
    // The running program's file (GetModuleFileNameA); by default
    // C:\\Package\\ZEP_Installer.exe.
    void SetProgramPath(const std::string& path);
    void SetHasIsWow64Process(bool present);
    void SetHasRegDeleteKeyEx(bool present);
    void SetHasSetupUninstallOEMInf(bool present);
    void SetHasGetSystemWow64Directory(bool present);
    void SetRefusesExtendedVersionInfo(bool refuses);  // GetVersionExA(156) fails
    void SetShutdownPrivilege(bool held);
    void SetStringTable(std::map<uint32_t, std::string> table);
    void SetApplicationName(const std::string& name);  // AfxMessageBox caption

    // ------------------------------------------------------------ files
    // Paths are Windows paths; parents are created as needed by these helpers.
    void AddFile(const std::string& path, const std::string& contents = "",
                 uint32_t attributes = 0);
    void AddDirectory(const std::string& path);
    // A junction at `path` pointing to the folder `target`.
    void AddJunction(const std::string& path, const std::string& target);
    // A symbolic link at `path` to an existing file, or (directory) to a
    // folder, which the programs' calls meet like a junction.
    void AddSymbolicLink(const std::string& path, const std::string& target, bool directory);
    // A second name `path` of the existing file: a change under one name
    // shows under the other, and deleting one name keeps the other.
    void AddHardLink(const std::string& path, const std::string& existing);
    // Another process holds the file open with this sharing mode.
    // The holder has read access unless `access` says otherwise.
    void HoldOpen(const std::string& path, uint32_t shareMode);
    void HoldOpen(const std::string& path, uint32_t shareMode, uint32_t access);
    void ReleaseHolds(const std::string& path);
    bool Exists(const std::string& path) const;
    bool IsDirectory(const std::string& path) const;
    std::string FileContents(const std::string& path) const;
    uint32_t Attributes(const std::string& path) const;  // kInvalidFileAttributes if missing
    // Names (not paths) directly inside a folder, sorted.
    std::vector<std::string> ListDirectory(const std::string& path) const;
    // ACL given at creation by CreateDirectoryWithDacl; empty if none.
    struct AceRecord {
        std::string trustee;  // "Everyone", "Administrators", "SYSTEM"
        uint32_t permissions;
        uint32_t inheritance;
    };
    std::vector<AceRecord> DirectoryAcl(const std::string& path) const;
    // Made by CreateDirectoryWithDacl with a NULL ACL: open to everyone.
    bool HasNullDacl(const std::string& path) const;

    // The trace log text of a program ("ZEP_Installer.txt" or
    // "ZEP_UnInstaller.txt") in the system drive's Temp folder.
    std::string LogText(const std::string& fileName) const;

    // Renames and deletions queued with MOVEFILE_DELAY_UNTIL_REBOOT, as
    // (source, target) in the form Windows keeps them ("\\??\\C:\\..."; an
    // empty target deletes the source).
    std::vector<std::pair<std::string, std::string>> PendingFileOperations() const;
    // Windows restarts: the other programs' open files are released and the
    // queued renames and deletions are made.
    void RestartWindows();

    // ------------------------------------------------------------ registry
    // view64: the 64-bit view (or the only view on 32-bit Windows);
    // false: the 32-bit view under WOW64 (SOFTWARE\Wow6432Node).
    // path is below HKLM, e.g. "SOFTWARE\\Microsoft\\...".
    void SetRegString(const std::string& path, const std::string& name, const std::string& value,
                      bool view64 = true);
    void AddRegKey(const std::string& path, bool view64 = true);
    bool RegKeyExists(const std::string& path, bool view64 = true) const;
    // A string value as stored, less its one terminating NUL: other NULs
    // stay, and a string stored without one ends in kUnterminated, so that
    // neither compares equal to the text alone.
    std::optional<std::string> RegString(const std::string& path, const std::string& name,
                                         bool view64 = true) const;
    static constexpr const char* kUnterminated = "<no terminating NUL>";
    std::vector<std::string> RegValueNames(const std::string& path, bool view64 = true) const;
    void SetRegValue(const std::string& path, const std::string& name, uint32_t type,
                     const std::string& data, bool view64 = true);
    std::optional<RegValue> RegRawValue(const std::string& path, const std::string& name,
                                        bool view64 = true) const;

    // ------------------------------------------------------------ spooler
    struct SimPrinter {
        PrinterInfo2 info;
        std::map<std::string, std::pair<uint32_t, std::string>> data;  // name -> (type, bytes)
        std::vector<uint32_t> jobs;
        bool pendingDeletion = false;
    };
    // Arrange without going through the spooler's checks.
    void AddPrinterDirect(const std::string& name, const std::string& driver,
                          const std::string& port = "COM1:",
                          const std::string& processor = "WinPrint");
    void SetPrinterVersion(const std::string& printer, uint32_t major, uint32_t minor,
                           uint32_t build, std::optional<uint32_t> extra);
    uint32_t AddJob(const std::string& printer);
    // The printer's jobs finish printing; a printer pending deletion goes.
    void FinishJobs(const std::string& printer);
    void SetPrinterDataDirect(const std::string& printer, const std::string& name, uint32_t type,
                              const std::string& data);
    // File names are kept as given (bare names); no file is checked or copied.
    void AddDriverDirect(const DriverInfo3& info);
    void AddDriverDirect(const std::string& name, const std::string& environment,
                         const std::string& monitor = "");
    void AddMonitorDirect(const std::string& name, const std::string& dll);
    void AddPrintProcessorDirect(const std::string& name, const std::string& environment,
                                 const std::string& dll);
    void AddFormDirect(const std::string& name);
    // At once, without the service's delays.
    void SetSpoolerRunning(bool running);
    bool SpoolerRunning() const;
    // How long the spooler service takes, on the virtual clock, after
    // "net stop spooler" or "net start spooler". 0 is at once (the default);
    // kNever a service that never gets there. From the stop it answers
    // 1722; until its process has ended it holds the files it loaded (those
    // in the spooler's driver and print-processor folders), so deleting
    // them fails with 32.
    static constexpr uint32_t kNever = 0xFFFFFFFFu;
    struct SpoolerTiming {
        uint32_t stopMs = 0;       // STOP_PENDING until STOPPED
        uint32_t exitMs = 0;       // then until its process has ended
        uint32_t startMs = 0;      // START_PENDING until RUNNING
        uint32_t jobCancelMs = 0;  // a cancelled or deleted job stays listed this long
    };
    void SetSpoolerTiming(const SpoolerTiming& timing);
    // The service's start type (kServiceAutoStart by default); a disabled
    // one is not started by "net start spooler".
    void SetSpoolerStartType(uint32_t startType);
    // What QueryServiceStatusEx reports for "Spooler".
    ServiceStatus SpoolerService() const;
    std::vector<SimPrinter> Printers() const;
    std::optional<SimPrinter> FindPrinter(const std::string& name) const;
    // All environments, with full paths in the version folder as
    // EnumPrinterDriversA gives them.
    std::vector<DriverInfo3> Drivers() const;
    std::vector<MonitorInfo2> Monitors() const;
    std::vector<std::pair<std::string, std::string>> PrintProcessors() const;  // (env, name)
    std::vector<std::string> FormNames() const;
    std::vector<std::string> Ports() const;
    void SetPorts(std::vector<std::string> ports);
    // The answer the system's port settings dialog gives to ConfigurePortA
    // (true: OK; false: the user cancels, error 1223).
    void SetPortDialogAnswer(bool ok);
    // A COM port's default settings as "9600,n,8,1" (the local port
    // monitor's GetDefaultCommConfig); empty for a device that is no COM port.
    std::string PortSettingsText(const std::string& port) const;

    // Folders the spooler uses, for the default environment of the caller.
    std::string DriverDirectory(const std::string& environment) const;
    std::string PrintProcessorDirectory(const std::string& environment) const;
    std::string DefaultEnvironment() const;

    // ------------------------------------------------------------ setup API
    std::string InfDirectory() const;  // Windows folder + "\inf"

    // ------------------------------------------------------------ the user
    // Answers for the next message boxes, in order (IDOK, IDYES, IDNO ...).
    // Unscripted: MB_OK boxes answer IDOK, MB_YESNO boxes IDNO, others
    // IDCANCEL. Each call adds to the answers still waiting.
    void ScriptAnswers(std::vector<int> answers);
    void RecordUi(UiEvent event);  // used by program views
    std::vector<UiEvent> Ui() const;
    std::vector<UiEvent> Ui(const std::string& kind) const;
    std::vector<std::string> BoxTexts() const;

    // ------------------------------------------------------------ time
    // Virtual clock: the sum of all Sleep calls and of the time spent in
    // WaitForProcessExit (which is not among the pauses).
    uint64_t ElapsedMs() const;
    std::vector<uint32_t> Pauses() const;

    // ------------------------------------------------------------ processes
    bool Exited() const;
    int ExitCode() const;
    // Restart requests accepted by ExitWindowsEx (their flags).
    std::vector<uint32_t> Restarts() const;
    // Named mutexes: another process holds one open, or lets go of it; the
    // handles open on one, of every process (names are case-sensitive).
    void HoldMutex(const std::string& name);
    void ReleaseMutex(const std::string& name);
    int MutexHandles(const std::string& name) const;
    std::vector<std::string> Commands() const;  // WinExec command lines

    // ------------------------------------------------------------ faults and calls
    void InjectFault(const Fault& fault);
    void ClearFaults();
    std::vector<CallRecord> Calls() const;
    std::vector<CallRecord> Calls(const std::string& call) const;  // of one seam method
    void ClearCalls();

    // Handles open now, and every misuse seen: a handle closed or freed
    // twice or never issued, an ACL used after LocalFree.
    struct HandleCounts {
        size_t files = 0, keys = 0, printers = 0, infs = 0, sids = 0, acls = 0, tokens = 0;
    };
    HandleCounts OpenHandles() const;
    std::vector<std::string> HandleMisuse() const;

    // A text of the whole machine state (files, registry, spooler, INF
    // folder), for before/after comparisons.
    std::string Snapshot() const;

    // ------------------------------------------------------------ seam: Kernel
    Result<std::string> GetWindowsDirectoryA() override;
    Result<std::string> GetSystemDirectoryA() override;
    std::optional<Result<std::string>> GetSystemWow64DirectoryA() override;
    Result<std::string> GetModuleFileNameA() override;
    Result<HFile> CreateFileA(const std::string& path, uint32_t access, uint32_t share,
                              uint32_t disposition, uint32_t flags) override;
    Status SetFilePointer(HFile file, int32_t distance, uint32_t method) override;
    Status WriteFile(HFile file, const std::string& bytes) override;
    Result<std::string> ReadFile(HFile file, uint32_t maxBytes) override;
    Status CloseHandle(HFile file) override;
    Result<FileInformation> GetFileInformationByHandle(HFile file) override;
    Status DeleteFileA(const std::string& path) override;
    Status CopyFileA(const std::string& source, const std::string& dest,
                     bool failIfExists) override;
    Status rename(const std::string& from, const std::string& to) override;
    Status MoveFileExA(const std::string& from, const char* to, uint32_t flags) override;
    Result<uint32_t> GetFileAttributesA(const std::string& path) override;
    Status SetFileAttributesA(const std::string& path, uint32_t attributes) override;
    Status CreateDirectoryA(const std::string& path) override;
    Status CreateDirectoryWithDacl(const std::string& path, HAcl dacl) override;
    Status RemoveDirectoryA(const std::string& path) override;
    Result<std::vector<FindRecord>> FindFiles(const std::string& pattern) override;
    Result<OsVersion> GetVersionExA(uint32_t structSize) override;
    std::optional<Result<bool>> IsWow64Process() override;
    void Sleep(uint32_t milliseconds) override;
    SystemTime GetLocalTime() override;
    uint32_t WinExec(const std::string& commandLine, uint32_t show) override;
    Status WaitForProcessExit(uint32_t processId, uint32_t milliseconds) override;
    [[noreturn]] void exit(int code) override;
    Result<HMutex> CreateMutexA(const std::string& name) override;
    Result<std::string> FormatMessageA(uint32_t code, uint32_t languageId) override;

    // ------------------------------------------------------------ seam: Advapi
    KeyResult RegOpenKeyExA(HKey root, const std::string& subKey, uint32_t options,
                            uint32_t samDesired) override;
    KeyResult RegCreateKeyExA(HKey root, const std::string& subKey, uint32_t options,
                              uint32_t samDesired) override;
    int32_t RegSetValueExA(HKey key, const std::string& name, uint32_t type,
                           const std::string& data) override;
    Result<RegValue> RegQueryValueExA(HKey key, const std::string& name) override;
    Result<std::vector<std::string>> RegEnumKeys(HKey key) override;
    Result<std::vector<RegValue>> RegEnumValues(HKey key) override;
    int32_t RegCloseKey(HKey key) override;
    int32_t SHDeleteKeyA(HKey root, const std::string& subKey) override;
    std::optional<int32_t> RegDeleteKeyExA(HKey root, const std::string& subKey,
                                           uint32_t samDesired, uint32_t reserved) override;
    Result<HSid> AllocateAndInitializeSid(WellKnownSid sid) override;
    void FreeSid(HSid sid) override;
    Result<HAcl> SetEntriesInAclA(const std::vector<ExplicitAccess>& entries) override;
    void LocalFree(HAcl acl) override;
    Result<HToken> OpenProcessToken(uint32_t desiredAccess) override;
    Result<Luid> LookupPrivilegeValueA(const std::string& name) override;
    Status AdjustTokenPrivileges(HToken token, Luid privilege, uint32_t attributes) override;
    Result<ServiceStatus> QueryServiceStatusEx(const std::string& serviceName) override;
    Result<ServiceConfig> QueryServiceConfigA(const std::string& serviceName) override;

    // ------------------------------------------------------------ seam: User
    std::string LoadStringA(uint32_t id) override;
    Status ExitWindowsEx(uint32_t flags, uint32_t reason) override;
    int AfxMessageBox(const std::string& text, uint32_t style) override;
    int MessageBoxA(uintptr_t owner, const std::string& text, const std::string& caption,
                    uint32_t style) override;

    // ------------------------------------------------------------ seam: Spooler
    Result<std::vector<std::string>> EnumPortsA(const char* server) override;
    Status ConfigurePortA(const char* server, uintptr_t window,
                          const std::string& portName) override;
    std::optional<Result<CommConfig>> XcvDataGetDefaultCommConfig(
        HPrinter xcv, const std::string& device) override;
    std::optional<Status> XcvDataSetDefaultCommConfig(HPrinter xcv,
                                                      const CommConfig& config) override;
    // winspool without XcvDataW (the call then reports "missing").
    void SetXcvDataMissing(bool missing);
    Status AddMonitorA(const char* server, const MonitorInfo2& info) override;
    Status DeleteMonitorA(const char* server, const char* environment,
                          const std::string& name) override;
    Status AddPrintProcessorA(const char* server, const std::string& environment,
                              const std::string& pathName,
                              const std::string& processorName) override;
    Status DeletePrintProcessorA(const char* server, const char* environment,
                                 const std::string& name) override;
    Result<std::vector<std::string>> EnumPrintProcessorsA(const char* server,
                                                          const char* environment) override;
    Result<std::string> GetPrintProcessorDirectoryA(const char* server,
                                                    const char* environment) override;
    Result<std::string> GetPrinterDriverDirectoryA(const char* server,
                                                   const char* environment) override;
    Status AddPrinterDriverA(const char* server, const DriverInfo3& info) override;
    Result<std::vector<DriverInfo3>> EnumPrinterDriversA(const char* server,
                                                         const char* environment,
                                                         uint32_t level) override;
    Status DeletePrinterDriverExA(const char* server, const char* environment,
                                  const std::string& driverName, uint32_t deleteFlag,
                                  uint32_t versionFlag) override;
    Result<HPrinter> AddPrinterA(const char* server, const PrinterInfo2& info) override;
    Result<HPrinter> OpenPrinterA(const char* printerName,
                                  const PrinterDefaults* defaults) override;
    Status ClosePrinter(HPrinter printer) override;
    Status DeletePrinter(HPrinter printer) override;
    Result<std::vector<PrinterInfo2>> EnumPrintersA(uint32_t flags, const char* name) override;
    Status SetPrinterA(HPrinter printer, const PrinterInfo2& info) override;
    DataResult GetPrinterDataA(HPrinter printer, const std::string& valueName,
                               uint32_t bufferSize) override;
    uint32_t SetPrinterDataA(HPrinter printer, const std::string& valueName, uint32_t type,
                             const std::string& data) override;
    Result<std::vector<FormInfo1>> EnumFormsA(HPrinter printer) override;
    Status AddFormA(HPrinter printer, const FormInfo1& form) override;
    Status DeleteFormA(HPrinter printer, const std::string& formName) override;
    Result<std::vector<JobInfo3>> EnumJobsA(HPrinter printer, uint32_t firstJob,
                                            uint32_t count) override;
    Status SetJobA(HPrinter printer, uint32_t jobId, uint32_t level, uint32_t command) override;

    // ------------------------------------------------------------ seam: Setup
    Result<std::string> SetupCopyOEMInfA(const std::string& source, uint32_t mediaType,
                                         uint32_t copyStyle) override;
    Result<std::vector<std::string>> SetupGetInfFileListA(const char* directory,
                                                          uint32_t style) override;
    InfResult SetupOpenInfFileA(const std::string& fileName, const char* infClass,
                                uint32_t style) override;
    Status SetupFindFirstLineA(HInf inf, const std::string& section,
                               const std::string& key) override;
    void SetupCloseInfFile(HInf inf) override;
    std::optional<Status> SetupUninstallOEMInfA(const std::string& infFileName,
                                                uint32_t flags) override;

private:
    struct State;
    mutable std::recursive_mutex mutex_;
    std::unique_ptr<State> s_;
};

}  // namespace zep::sim
