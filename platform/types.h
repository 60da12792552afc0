// Values and records that cross the seam to Windows.
//
// The logic folders never include windows.h, so the Win32 constants they need
// live here under names that cannot collide with windows.h macros (k prefix).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace zep {

// ---------------------------------------------------------------- results

// Outcome of a call that returns BOOL: the error code is read right after the
// call by the implementation, so nothing written in between can clobber it.
struct Status {
    bool ok = false;
    uint32_t error = 0;

    static Status Ok() { return {true, 0}; }
    static Status Fail(uint32_t code) { return {false, code}; }
};

// Outcome of a call that also produces data.
template <class T>
struct Result {
    bool ok = false;
    uint32_t error = 0;
    T value{};

    static Result Ok(T v) { return {true, 0, std::move(v)}; }
    static Result Fail(uint32_t code) { return {false, code, T{}}; }
};

// ---------------------------------------------------------------- handles

enum class HFile : uintptr_t { Invalid = 0 };
enum class HPrinter : uintptr_t { None = 0 };
enum class HKey : uintptr_t { None = 0 };
enum class HInf : uintptr_t { None = 0 };
enum class HToken : uintptr_t { None = 0 };
enum class HSid : uintptr_t { None = 0 };
enum class HAcl : uintptr_t { None = 0 };
enum class HMutex : uintptr_t { None = 0 };

// Predefined registry root (HKEY_LOCAL_MACHINE); the implementations map it.
constexpr HKey kHKeyLocalMachine = static_cast<HKey>(0x80000002u);
constexpr HKey kHKeyCurrentUser = static_cast<HKey>(0x80000001u);

// ---------------------------------------------------------------- error codes

constexpr uint32_t kErrSuccess = 0;
constexpr uint32_t kErrFileNotFound = 2;
constexpr uint32_t kErrPathNotFound = 3;
constexpr uint32_t kErrAccessDenied = 5;
constexpr uint32_t kErrInvalidHandle = 6;
constexpr uint32_t kErrNotEnoughMemory = 8;
constexpr uint32_t kErrSharingViolation = 32;
constexpr uint32_t kErrNotSupported = 50;
constexpr uint32_t kErrFileExists = 80;
constexpr uint32_t kErrInvalidParameter = 87;
constexpr uint32_t kErrInsufficientBuffer = 122;
constexpr uint32_t kErrModNotFound = 126;
constexpr uint32_t kErrProcNotFound = 127;
constexpr uint32_t kErrDirNotEmpty = 145;
constexpr uint32_t kErrAlreadyExists = 183;
constexpr uint32_t kErrFilenameExcedRange = 206;
constexpr uint32_t kErrMoreData = 234;
constexpr uint32_t kErrNoMoreItems = 259;
constexpr uint32_t kErrWaitTimeout = 258;  // WAIT_TIMEOUT, also an error code
constexpr uint32_t kErrServiceDisabled = 1058;
constexpr uint32_t kErrServiceDoesNotExist = 1060;
constexpr uint32_t kErrNotAllAssigned = 1300;
constexpr uint32_t kErrPrivilegeNotHeld = 1314;
constexpr uint32_t kErrUnknownPort = 1796;
constexpr uint32_t kErrInvalidPrinterName = 1801;
constexpr uint32_t kErrPrinterAlreadyExists = 1802;
constexpr uint32_t kErrUnknownPrinterDriver = 1797;
constexpr uint32_t kErrUnknownPrintProcessor = 1798;
constexpr uint32_t kErrInvalidEnvironment = 1805;
constexpr uint32_t kErrRpcServerUnavailable = 1722;
constexpr uint32_t kErrInvalidFormName = 1902;
constexpr uint32_t kErrUnknownPrintMonitor = 3000;
constexpr uint32_t kErrPrinterDriverInUse = 3001;
constexpr uint32_t kErrPrintProcessorAlreadyInstalled = 3005;
constexpr uint32_t kErrPrintMonitorAlreadyInstalled = 3006;
constexpr uint32_t kErrPrintMonitorInUse = 3008;
constexpr uint32_t kErrLineNotFound = 0xE0000102u;  // setup API: ERROR_LINE_NOT_FOUND

// Registry statuses are the same numbers (ERROR_FILE_NOT_FOUND and so on).

// ---------------------------------------------------------------- files

constexpr uint32_t kInvalidFileAttributes = 0xFFFFFFFFu;
constexpr uint32_t kFileAttributeReadonly = 0x1;
constexpr uint32_t kFileAttributeHidden = 0x2;
constexpr uint32_t kFileAttributeSystem = 0x4;
constexpr uint32_t kFileAttributeDirectory = 0x10;
constexpr uint32_t kFileAttributeArchive = 0x20;
constexpr uint32_t kFileAttributeNormal = 0x80;
constexpr uint32_t kFileAttributeReparsePoint = 0x400;

// Specific file rights: a handle with FILE_APPEND_DATA but not
// FILE_WRITE_DATA writes every byte at the end of the file.
constexpr uint32_t kFileReadData = 0x1;  // FILE_LIST_DIRECTORY on a folder
constexpr uint32_t kFileWriteData = 0x2;
constexpr uint32_t kFileAppendData = 0x4;
constexpr uint32_t kFileReadAttributes = 0x80;
constexpr uint32_t kSynchronize = 0x100000;
constexpr uint32_t kGenericRead = 0x80000000u;
constexpr uint32_t kGenericWrite = 0x40000000u;
constexpr uint32_t kGenericExecute = 0x20000000u;
constexpr uint32_t kGenericAll = 0x10000000u;
constexpr uint32_t kFileShareRead = 0x1;
constexpr uint32_t kFileShareWrite = 0x2;
constexpr uint32_t kFileShareDelete = 0x4;
constexpr uint32_t kCreateNew = 1;
constexpr uint32_t kCreateAlways = 2;
constexpr uint32_t kOpenExisting = 3;
constexpr uint32_t kOpenAlways = 4;
constexpr uint32_t kFileBegin = 0;
constexpr uint32_t kFileEnd = 2;
// CreateFileA flags: open a folder; open a link itself instead of its target.
constexpr uint32_t kFileFlagBackupSemantics = 0x02000000;
constexpr uint32_t kFileFlagOpenReparsePoint = 0x00200000;
// MoveFileExA: with no new name, the file is deleted at the next restart.
constexpr uint32_t kMovefileReplaceExisting = 0x1;
constexpr uint32_t kMovefileDelayUntilReboot = 0x4;

// GetFileInformationByHandle.
struct FileInformation {
    uint32_t attributes = 0;
    uint32_t volumeSerial = 0;
    uint32_t numberOfLinks = 0;  // names of the file (hard links)
    uint64_t fileIndex = 0;
};

struct FindRecord {
    std::string name;  // file name only
    uint32_t attributes = 0;
};

// ---------------------------------------------------------------- system

constexpr uint32_t kVerPlatformWin32s = 0;
constexpr uint32_t kVerPlatformWin32Windows = 1;
constexpr uint32_t kVerPlatformWin32Nt = 2;
constexpr uint8_t kVerNtWorkstation = 1;
constexpr uint8_t kVerNtDomainController = 2;
constexpr uint8_t kVerNtServer = 3;

constexpr uint32_t kOsVersionInfoExSize = 156;  // sizeof(OSVERSIONINFOEXA)
constexpr uint32_t kOsVersionInfoSize = 148;    // sizeof(OSVERSIONINFOA)

struct OsVersion {
    uint32_t platformId = 0;
    uint32_t major = 0;
    uint32_t minor = 0;
    uint32_t build = 0;
    std::string csdVersion;
    // Filled only when the extended structure (156 bytes) was accepted.
    uint16_t servicePackMajor = 0;
    uint16_t servicePackMinor = 0;
    uint16_t suiteMask = 0;
    uint8_t productType = 0;
};

struct SystemTime {
    uint16_t year = 0, month = 0, dayOfWeek = 0, day = 0;
    uint16_t hour = 0, minute = 0, second = 0, milliseconds = 0;
};

constexpr uint32_t kSwHide = 0;
constexpr uint32_t kTokenAdjustPrivileges = 0x20;
constexpr uint32_t kTokenQuery = 0x8;
constexpr uint32_t kSePrivilegeEnabled = 0x2;
constexpr uint32_t kEwxReboot = 0x2;
// A planned restart for an application's installation (ExitWindowsEx's reason).
constexpr uint32_t kShtdnReasonPlannedInstallation = 0x80000000u | 0x00040000u | 0x00000002u;
constexpr uint32_t kEwxForce = 0x4;
constexpr uint32_t kEwxForceIfHung = 0x10;
constexpr uint32_t kLangEnglishUs = 1033;

struct Luid {
    uint32_t low = 0;
    int32_t high = 0;
};

// ---------------------------------------------------------------- services

// SERVICE_STATUS_PROCESS dwCurrentState.
constexpr uint32_t kServiceStopped = 1;
constexpr uint32_t kServiceStartPending = 2;
constexpr uint32_t kServiceStopPending = 3;
constexpr uint32_t kServiceRunning = 4;
constexpr uint32_t kServiceContinuePending = 5;
constexpr uint32_t kServicePausePending = 6;
constexpr uint32_t kServicePaused = 7;
// QUERY_SERVICE_CONFIG dwStartType.
constexpr uint32_t kServiceBootStart = 0;
constexpr uint32_t kServiceSystemStart = 1;
constexpr uint32_t kServiceAutoStart = 2;
constexpr uint32_t kServiceDemandStart = 3;
constexpr uint32_t kServiceDisabled = 4;
// dwServiceType bits.
constexpr uint32_t kServiceWin32OwnProcess = 0x10;
constexpr uint32_t kServiceWin32ShareProcess = 0x20;
constexpr uint32_t kServiceInteractiveProcess = 0x100;

// QueryServiceStatusEx (SC_STATUS_PROCESS_INFO).
struct ServiceStatus {
    uint32_t serviceType = 0;
    uint32_t currentState = 0;
    uint32_t win32ExitCode = 0;
    uint32_t checkPoint = 0;
    uint32_t waitHint = 0;
    uint32_t processId = 0;  // 0 while no process runs the service
};

// QueryServiceConfigA.
struct ServiceConfig {
    uint32_t serviceType = 0;
    uint32_t startType = 0;
    std::string binaryPathName;
};

// ---------------------------------------------------------------- registry and security

constexpr uint32_t kKeyQueryValue = 0x1;
constexpr uint32_t kKeySetValue = 0x2;
constexpr uint32_t kKeyCreateSubKey = 0x4;
constexpr uint32_t kKeyEnumerateSubKeys = 0x8;
constexpr uint32_t kKeyWow64_64Key = 0x100;
constexpr uint32_t kKeyWow64_32Key = 0x200;
constexpr uint32_t kKeyRead = 0x20019;
constexpr uint32_t kKeyWrite = 0x20006;
constexpr uint32_t kKeyAllAccess = 0xF003F;
constexpr uint32_t kRegOptionNonVolatile = 0;
constexpr uint32_t kRegCreatedNewKey = 1;
constexpr uint32_t kRegOpenedExistingKey = 2;
constexpr uint32_t kRegSz = 1;
constexpr uint32_t kRegDword = 4;

struct RegValue {
    std::string name;
    uint32_t type = 0;
    std::string data;  // raw bytes (a REG_SZ includes its terminating NUL)
};

// Well-known trustees that the programs grant folder rights to.
enum class WellKnownSid { Everyone, Administrators, LocalSystem };

constexpr uint32_t kGrantAccess = 1;  // ACCESS_MODE GRANT_ACCESS
constexpr uint32_t kSetAccess = 2;    // ACCESS_MODE SET_ACCESS
constexpr uint32_t kSubContainersAndObjectsInherit = 0x3;
constexpr uint32_t kFileGenericReadExecute = kGenericRead | kGenericExecute;

struct ExplicitAccess {
    uint32_t permissions = 0;
    uint32_t mode = kSetAccess;
    uint32_t inheritance = 0;
    HSid trustee = HSid::None;  // a SID from AllocateAndInitializeSid
};

// ---------------------------------------------------------------- spooler

constexpr uint32_t kPrinterEnumLocal = 0x2;
constexpr uint32_t kPrinterAllAccess = 0xF000C;
constexpr uint32_t kPrinterAttributeEnableBidi = 0x800;
constexpr uint32_t kPrinterAttributeRawOnly = 0x1000;
constexpr uint32_t kPrinterStatusOffline = 0x80;
constexpr uint32_t kDpdDeleteUnusedFiles = 0x1;
constexpr uint32_t kJobControlCancel = 3;
constexpr uint32_t kJobControlDelete = 5;

struct MonitorInfo2 {
    std::string name;
    std::string environment;
    std::string dllName;
};

struct DriverInfo3 {
    uint32_t version = 0;
    std::string name;
    std::string environment;
    std::string driverPath;
    std::string dataFile;
    std::string configFile;
    std::string helpFile;
    std::vector<std::string> dependentFiles;  // the NUL-separated list, split
    std::string monitorName;
    std::string defaultDataType;
};

struct PrinterInfo2 {
    std::string serverName;
    std::string printerName;
    std::string shareName;
    std::string portName;
    std::string driverName;
    std::string comment;
    std::string location;
    std::string sepFile;
    std::string printProcessor;
    std::string datatype;
    std::string parameters;
    uint32_t attributes = 0;
    uint32_t priority = 0;
    uint32_t defaultPriority = 0;
    uint32_t startTime = 0;
    uint32_t untilTime = 0;
    uint32_t status = 0;
    uint32_t cJobs = 0;
    uint32_t averagePPM = 0;
    // Input only: AddPrinterA takes a null port name when this is false.
    bool hasPortName = true;
};

struct PrinterDefaults {
    const char* datatype = nullptr;  // nullptr: no data type
    uint32_t desiredAccess = 0;
};

// OpenPrinterA's access for the local port monitor's Xcv handle that may
// change a port (SERVER_ACCESS_ADMINISTER).
constexpr uint32_t kServerAccessAdminister = 0x1;

// DCB values of a COM port's default configuration (COMMCONFIG).
constexpr uint8_t kNoParity = 0, kOddParity = 1, kEvenParity = 2, kMarkParity = 3, kSpaceParity = 4;
constexpr uint8_t kOneStopBit = 0, kOne5StopBits = 1, kTwoStopBits = 2;

// A COM port's default configuration: the DCB fields the programs set, and
// the whole COMMCONFIG as the system gave it (`raw`, empty where no real
// structure stands behind it), so that every other field goes back as it was.
struct CommConfig {
    uint32_t baudRate = 0;
    uint8_t byteSize = 0;
    uint8_t parity = 0;
    uint8_t stopBits = 0;
    std::string raw;
};

struct JobInfo3 {
    uint32_t jobId = 0;
    uint32_t nextJobId = 0;
};

struct FormInfo1 {
    uint32_t flags = 0;
    std::string name;
    int32_t width = 0, height = 0;  // thousandths of a millimetre
};

// ---------------------------------------------------------------- setup API

constexpr uint32_t kSpostPath = 1;
constexpr uint32_t kSpCopyReplaceOnly = 0x2;
constexpr uint32_t kSpCopyNoOverwrite = 0x8;
constexpr uint32_t kInfStyleOldNt = 0x1;
constexpr uint32_t kInfStyleWin4 = 0x2;
constexpr uint32_t kSuoiForceDelete = 0x1;

// ---------------------------------------------------------------- user interface

constexpr uint32_t kMbOk = 0x0;
constexpr uint32_t kMbYesNo = 0x4;
constexpr uint32_t kMbIconError = 0x10;
constexpr uint32_t kMbIconQuestion = 0x20;
constexpr uint32_t kMbIconExclamation = 0x30;
constexpr uint32_t kMbIconInformation = 0x40;
constexpr int kIdOk = 1;
constexpr int kIdCancel = 2;
constexpr int kIdYes = 6;
constexpr int kIdNo = 7;

}  // namespace zep
