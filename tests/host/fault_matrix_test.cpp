// The fault-injection matrix: every place where the two programs call
// Windows, failed once with each error code Windows gives for that call, in
// every standard run where the place is reached.
//
// The places are not listed by hand: they are the (routine, call) pairs that
// the simulated machine records during the clean runs. Each needs an entry
// in the table of expectations below, which says what the run must show
// when that call fails: whether it goes on to its usual end or ends after a
// box, which error boxes appear, and which log lines name the failure. A new
// call site without an entry, or an entry no run reaches, fails the test.
//
// Every case also checks what holds for any failure: the run ends the way a
// run of that program ends, nothing escapes but the process exit, no handle
// is misused, the run does not loop, and nothing outside the product's own
// names changes on the machine.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <mutex>
#include <thread>

#include "tests/host/fault_codes.h"
#include "tests/host/scenarios.h"

namespace zep::test {
namespace {

using test::Codes;
using test::Unfailable;

// ------------------------------------------------------------------ expectations

// How a run ends.
enum class End {
    Same,      // as the clean run of the scenario: its last status and its way out
    Box,       // right after the box `endBox`, with exit code 0
    Replaced,  // the installer takes the different-version path: removal, restart notice
};

struct Expect {
    End end = End::Same;
    std::string endBox;               // End::Box: the box the run ends with (its start)
    std::vector<std::string> boxes;   // error boxes the failure brings (their starts), in order
    std::vector<std::string> lines;   // log lines that name the failure
    std::vector<std::string> skipped; // routines that no longer run ("X BEGIN")
    bool noLog = false;               // the log cannot be written at all
};

// What a rule knows about the case.
struct Ctx {
    const Scenario& scenario;
    const std::string& args;  // of the call that failed
    uint32_t code;
    const sim::Machine& arranged;  // the machine as the run found it
    bool existed(const std::string& path) const { return arranged.Exists(path); }
    bool installer() const { return scenario.installer; }
    bool wow64() const { return scenario.windows == Windows::Win7x64; }
    bool xp() const { return scenario.windows == Windows::WinXp; }
    bool named(const char* prefix) const { return scenario.name.rfind(prefix, 0) == 0; }
};

using Rule = Expect (*)(const Ctx&);

std::string Fmt(const char* format, const std::string& s, int code) {
    char buf[1200];
    std::snprintf(buf, sizeof buf, format, s.c_str(), code);
    return buf;
}

std::string Fmt(const char* format, int code) {
    char buf[1200];
    std::snprintf(buf, sizeof buf, format, code);
    return buf;
}

std::string Before(const std::string& args) { return args.substr(0, args.find('|')); }
std::string After(const std::string& args) {
    size_t bar = args.find('|');
    return bar == std::string::npos ? "" : args.substr(bar + 1);
}
// Registry args read "HKLM\<path>".
std::string KeyPath(const std::string& args) {
    return args.rfind("HKLM\\", 0) == 0 ? args.substr(5) : args;
}

Expect Silent(const Ctx&) { return {}; }

Expect Line(std::string line) {
    Expect e;
    e.lines.push_back(std::move(line));
    return e;
}

// The run ends after a notice (not an error box).
Expect EndsWithNotice(std::string box) {
    Expect e;
    e.end = End::Box;
    e.endBox = std::move(box);
    return e;
}

Expect EndsWithBox(std::string box) {
    Expect e;
    e.end = End::Box;
    e.endBox = box;
    e.boxes.push_back(std::move(box));
    return e;
}

// A deletion at the next restart that cannot be queued: the file stays, the log says so.
Expect QueueFailed(const Ctx& c) {
    return Line(Fmt("MoveFileEx failed : %s (%d)", Before(c.args), int(c.code)));
}

// A reported deletion: "DeleteFile Error : %s , (%d)" and on.
Expect Reported(const Ctx& c) { return Line(Fmt("DeleteFile Error : %s , (%d)", c.args, int(c.code))); }

// The folder queries whose failure the routine logs and skips the folder's
// files (a path without its folder would point at the root of a drive).
Expect WindowsFolderLost(const Ctx&) { return Line("GetWindowsDirectory failed"); }
Expect SystemFolderLost(const Ctx&) { return Line("GetSystemDirectory failed"); }
Expect DriverFolderLost(const Ctx& c) {
    return Line(Fmt("GetPrinterDriverDirectory failed. (%d)", int(c.code)));
}
Expect ProcessorFolderLost(const Ctx& c) {
    return Line(Fmt("GetPrintProcessorDirectory failed. (%d)", int(c.code)));
}

// The printer that the installation adds cannot be created, so the run ends
// with the printer box: the driver is unknown (1797) or the print processor
// is (1798), or the printer of the model's name is already there (1802).
Expect PrinterBoxEnds(uint32_t code, std::vector<std::string> before = {}) {
    Expect e = EndsWithBox(Fmt("AddPrinter, Error Code: %d\n\n", int(code)));
    e.boxes.insert(e.boxes.begin(), before.begin(), before.end());
    return e;
}

// A checked copy: the ".old" handler for files in use, else the error lines.
Expect CheckedCopy(const Ctx& c) {
    if (c.code == kErrAccessDenied) return Line("ERROR_ACCESS_DENIED HANDLER");
    if (c.code == kErrSharingViolation) return Line("ERROR_SHARING_VIOLATION HANDLER");
    Expect e;
    e.lines = {Fmt("COPYFILE ERROR, SRC : %s ", Before(c.args), 0),
               Fmt("ERROR CODE : %d ", int(c.code)),
               Fmt("COPYFILE ERROR, DES : %s ", After(c.args), 0)};
    return e;
}

// A driver that cannot be registered: its box, then the printer that needs
// it cannot be added either.
Expect DriverRefused(uint32_t code) {
    return PrinterBoxEnds(kErrUnknownPrinterDriver,
                          {Fmt("AddPrinterDriver, ERR CODE: %d\n\n", int(code))});
}

// The language monitor stays unregistered: so does the driver that names it.
Expect MonitorRefused(uint32_t code) {
    return PrinterBoxEnds(kErrUnknownPrinterDriver,
                          {Fmt("AddMonitor, ERR CODE: %d\n\n", int(code)),
                           Fmt("AddPrinterDriver, ERR CODE: %d\n\n", int(kErrUnknownPrintMonitor))});
}

// The monitor's copy did not arrive: the spooler registers the copy an
// earlier installation left, and refuses the monitor when there is none.
Expect MonitorCopyLost(const Ctx& c) {
    std::string target = std::string(c.wow64() ? "C:\\Windows" : "C:\\Windows\\system32") + "\\ZEPMON.dll";
    return c.existed(target) ? Expect{} : MonitorRefused(kErrModNotFound);
}

Expect ProcessorRefused(uint32_t code) {
    return PrinterBoxEnds(kErrUnknownPrintProcessor,
                          {Fmt("AddPrintProcessor, ERR CODE: %d\n\n", int(code))});
}

// ---- the uninstall entry and registry fallbacks: a key that is not there
// counts as deleted; any other failure names the key.
Expect KeyDeleteFailed(const Ctx& c) {
    if (c.code == kErrFileNotFound) return {};
    return Line(Fmt(c.wow64() ? "MyRegDeleteKeyEx failed : %s (%d) " : "SHDeleteKey failed : %s (%d) ",
                    KeyPath(c.args), int(c.code)));
}

// ---- the version check: a printer of the driver whose version cannot be
// read counts as an older version, so a same-version installation is removed.
Expect VersionUnreadable(const Ctx& c) {
    Expect e;
    if (c.named("install-present")) e.end = End::Replaced;
    return e;
}

// ---- a monitor or print processor the spooler keeps: "DeleteMonitor Error"
// and the registry fallback; the uninstaller first starts a stopped spooler.
Expect SpoolerKeepsMonitor(const Ctx& c) {
    if (!c.installer() && c.code == kErrRpcServerUnavailable) return {};
    Expect e = Line(Fmt("DeleteMonitor Error : (%d)", int(c.code)));
    if (c.code == kErrUnknownPrintMonitor)
        e.lines.push_back("The specified print monitor is unknown or not installed on this system.");
    return e;
}
Expect SpoolerKeepsProcessor(const Ctx& c) {
    if (!c.installer() && c.code == kErrRpcServerUnavailable) return {};
    return Line(Fmt("DeleteMonitor Error : (%d)", int(c.code)));
}

const std::map<std::pair<std::string, std::string>, Rule>& Rules() {
    using R = std::map<std::pair<std::string, std::string>, Rule>;
    static const R rules = {
        // ---- trace log: never reports, never stops the program (a lost line at most)
        {{"OpenLog", "GetWindowsDirectoryA"}, Silent},
        {{"OpenLog", "CreateDirectoryA"},
         [](const Ctx& c) {
             // On a first run there is no Temp folder yet: no log at all.
             Expect e;
             e.noLog = !c.existed("C:\\Temp");
             return e;
         }},
        {{"OpenLog", "DeleteFileA"}, Silent},
        // The path's attributes only add to the handle's check of a link.
        {{"OpenLog", "GetFileAttributesA"}, Silent},
        // The run's own handle of the Temp log's file: without it each line
        // opens the file itself, as ever.
        {{"HoldLogFile", "CreateFileA"}, Silent},
        {{"HoldLogFile", "GetFileInformationByHandle"}, Silent},
        {{"HoldLogFile", "GetFileAttributesA"}, Silent},
        // The folder that cannot be opened, or checked for a link, holds no log.
        {{"OpenLog", "CreateFileA"}, [](const Ctx&) { Expect e; e.noLog = true; return e; }},
        {{"OpenLog", "GetFileInformationByHandle"}, [](const Ctx&) { Expect e; e.noLog = true; return e; }},
        {{"CloseLog", "CloseHandle"}, Silent},
        {{"WriteLog", "CreateFileA"}, Silent},
        {{"WriteLog", "GetFileInformationByHandle"}, Silent},  // a line that cannot be checked is lost
        {{"WriteLog", "WriteFile"}, Silent},
        {{"WriteLog", "CloseHandle"}, Silent},

        // ---- platform detection: a failing call gives WOW64 flag 0; the
        // version is asked again with the basic structure.
        {{"IsWow64", "IsWow64Process"},
         [](const Ctx& c) {
             // Counted as 32-bit Windows, the uninstaller looks for the
             // driver among the 32-bit ones and does not find it there.
             if (c.named("uninstall-driver-only") && c.wow64())
                 return EndsWithNotice("The ZEP driver does not exist on this system.");
             return Expect{};
         }},
        {{"CheckOS", "GetVersionExA"}, Silent},

        // ---- start-up: the spooler start is not examined
        {{"OnInitDialog", "WinExec"}, Silent},

        // ---- restart: false, the program ends anyway and the user restarts by hand
        {{"RestartSystem", "OpenProcessToken"}, Silent},
        {{"RestartSystem", "LookupPrivilegeValueA"}, Silent},
        {{"RestartSystem", "AdjustTokenPrivileges"}, Silent},
        {{"RestartSystem", "ExitWindowsEx"}, Silent},

        // ---- port dialog
        {{"OnConfigurePort", "EnumPortsA"},
         [](const Ctx&) {
             Expect e;
             e.boxes = {"The specific port is not supported."};
             return e;
         }},
        {{"OnConfigurePort", "ConfigurePortA"},
         [](const Ctx& c) {
             Expect e;
             if (c.code == kErrInvalidParameter)
                 e.boxes = {"An error occurred during port configuration."};
             return e;
         }},

        // ---- version check
        // Printers that cannot be listed may hold this version: the run ends
        // as the removal ends when it cannot list them.
        {{"DriverVersion", "EnumPrintersA"},
         [](const Ctx& c) { return EndsWithBox(Fmt("EnumPrinters Error Code: %d\n\n", int(c.code))); }},
        {{"DriverVersion", "OpenPrinterA"}, VersionUnreadable},
        {{"DriverVersion", "GetPrinterDataA"}, VersionUnreadable},
        {{"DriverVersion", "ClosePrinter"}, Silent},
        {{"DriverVersion", "EnumPrinterDriversA"}, Silent},
        {{"DriverVersion", "EnumPrintProcessorsA"}, Silent},

        // ---- removal of a different version by the installer
        {{"DeletePrinterObjects", "EnumPrintersA"},
         [](const Ctx& c) { return EndsWithBox(Fmt("EnumPrinters Error Code: %d\n\n", int(c.code))); }},
        {{"DeletePrinterObject", "OpenPrinterA"}, Silent},
        {{"DeletePrinterObject", "DeletePrinter"}, Silent},
        {{"DeletePrinterObject", "ClosePrinter"}, Silent},

        // ---- the uninstaller's printers
        {{"AddPrinterObjectsToList", "EnumPrintersA"},
         [](const Ctx& c) { return EndsWithBox(Fmt("EnumPrinters Error Code: %d\n\n", int(c.code))); }},
        {{"RemovePrinterObjects", "OpenPrinterA"}, Silent},
        {{"RemovePrinterObjects", "DeletePrinter"}, Silent},
        {{"RemovePrinterObjects", "ClosePrinter"}, Silent},
        {{"RemovePrinterObjects", "WinExec"}, Silent},
        {{"DeletePrinterJobs", "EnumJobsA"}, Silent},
        {{"DeletePrinterJobs", "GetVersionExA"}, Silent},
        {{"DeletePrinterJobs", "SetJobA"}, Silent},

        // ---- forms
        {{"DeleteForms", "OpenPrinterA"}, Silent},
        {{"DeleteForms", "EnumFormsA"}, Silent},
        {{"DeleteForms", "DeleteFormA"},
         [](const Ctx& c) { return Line(Fmt("FORM NAMES : %s ", After(c.args), 0)); }},
        {{"DeleteForms", "ClosePrinter"}, Silent},

        // ---- driver, monitor, processor
        {{"DeletePrinterDrv", "DeletePrinterDriverExA"}, Silent},  // the registry fallback takes over
        {{"DeletePrinterDrv", "WinExec"}, Silent},
        {{"DeletePrinterDrv", "RegDeleteKeyExA"}, KeyDeleteFailed},
        // The subkeys of a key deleted in the 64-bit view are listed first;
        // a key that cannot be listed is still tried, and ours have none.
        {{"DeletePrinterDrv", "RegOpenKeyExA"}, Silent},
        {{"DeletePrinterDrv", "RegEnumKeys"}, Silent},
        {{"DeletePrinterDrv", "RegCloseKey"}, Silent},
        {{"DeletePrinterDrv", "SHDeleteKeyA"}, KeyDeleteFailed},
        {{"DeleteLanguageMonitor", "DeleteMonitorA"}, SpoolerKeepsMonitor},
        {{"DeleteLanguageMonitor", "GetSystemDirectoryA"}, SystemFolderLost},
        {{"DeleteLanguageMonitor", "GetSystemWow64DirectoryA"}, Silent},
        {{"DeleteLanguageMonitor", "GetWindowsDirectoryA"}, WindowsFolderLost},
        {{"DeleteLanguageMonitor", "DeleteFileA"}, Reported},
        // A ".old" copy in use is queued for deletion at the restart.
        {{"DeleteLanguageMonitor", "MoveFileExA"}, QueueFailed},
        {{"DeleteProcessor", "DeletePrintProcessorA"}, SpoolerKeepsProcessor},
        {{"DeleteProcessor", "GetPrintProcessorDirectoryA"}, ProcessorFolderLost},
        {{"DeleteProcessor", "DeleteFileA"}, Reported},
        {{"DeleteProcessor", "MoveFileExA"}, QueueFailed},
        // The look whether a processor reported deleted is still registered.
        {{"DeleteProcessor", "RegOpenKeyExA"}, Silent},

        // ---- driver files: the installer's removal logs the name of its
        // staging clean-up (DeleteFilesUsed, below), the uninstaller's its own.
        {{"DeleteDriverFiles", "GetWindowsDirectoryA"}, WindowsFolderLost},
        {{"DeleteDriverFiles", "GetPrinterDriverDirectoryA"}, DriverFolderLost},
        {{"DeleteDriverFiles", "WinExec"}, Silent},
        {{"DeleteDriverFiles", "MoveFileExA"}, QueueFailed},
        {{"DeleteDriverFiles", "DeleteFileA"}, Reported},
        {{"DeleteDriverComponent", "GetWindowsDirectoryA"}, WindowsFolderLost},
        {{"DeleteDriverComponent", "GetPrinterDriverDirectoryA"}, DriverFolderLost},
        {{"DeleteDriverComponent", "WinExec"}, Silent},
        {{"DeleteDriverComponent", "DeleteFileA"}, Reported},
        {{"DeleteDriverComponent", "MoveFileExA"}, QueueFailed},

        // ---- INF copies
        {{"DeleteINFFile", "GetWindowsDirectoryA"}, WindowsFolderLost},
        {{"DeleteINFFile", "SetupGetInfFileListA"},
         [](const Ctx& c) { return c.installer() ? Expect{} : Line("The key name was not found."); }},
        {{"DeleteINFFile", "SetupOpenInfFileA"},
         [](const Ctx& c) {
             return c.installer() ? Expect{} : Line(Fmt("SetupOpenInfFile failed. %d", int(c.code)));
         }},
        {{"DeleteINFFile", "SetupFindFirstLineA"}, Silent},
        {{"DeleteINFFile", "SetupUninstallOEMInfA"}, Silent},  // the copy stays, nothing logged
        {{"DeleteINFFile", "DeleteFileA"}, Reported},

        // ---- uninstall entry
        {{"DeleteUninstallationInfo", "RegDeleteKeyExA"}, KeyDeleteFailed},
        {{"DeleteUninstallationInfo", "RegOpenKeyExA"}, Silent},
        {{"DeleteUninstallationInfo", "RegEnumKeys"}, Silent},
        {{"DeleteUninstallationInfo", "RegCloseKey"}, Silent},
        {{"DeleteUninstallationInfo", "SHDeleteKeyA"}, KeyDeleteFailed},
        {{"DeleteUninstallInfoFromReg", "RegOpenKeyExA"}, Silent},  // a missing key is no error
        {{"DeleteUninstallInfoFromReg", "RegDeleteKeyExA"}, KeyDeleteFailed},
        {{"DeleteUninstallInfoFromReg", "SHDeleteKeyA"}, KeyDeleteFailed},
        {{"DeleteUninstallInfoFromReg", "RegCloseKey"}, Silent},
        {{"DeleteUninstallInfoFromReg", "RegEnumKeys"}, Silent},

        // ---- the maker's folder
        {{"DeleteDirectory", "GetWindowsDirectoryA"}, WindowsFolderLost},
        {{"DeleteProductFolder", "GetWindowsDirectoryA"}, WindowsFolderLost},
        {{"DeleteProductFolder", "GetFileAttributesA"}, Silent},  // taken as not there
        {{"DeleteProductFolder", "MoveFileExA"}, QueueFailed},
        {{"DeleteDirectory", "GetFileAttributesA"}, Silent},
        {{"DeleteDirectory", "RemoveDirectoryA"},
         [](const Ctx& c) {
             if (c.code == kErrDirNotEmpty) return Expect{};
             return Line(Fmt("Failed to remove the directory : %s, (%d)", c.args, int(c.code)));
         }},
        {{"RemoveDirectoryTree", "GetFileAttributesA"}, Silent},
        // The folders it refuses to wipe; one that cannot be learned is not compared.
        {{"RemoveDirectoryTree", "GetWindowsDirectoryA"}, Silent},
        {{"RemoveDirectoryTree", "GetSystemDirectoryA"}, Silent},
        {{"RemoveDirectoryTree", "SetFileAttributesA"}, Silent},
        {{"RemoveDirectoryTree", "FindFiles"}, Silent},
        {{"RemoveDirectoryTree", "DeleteFileA"}, Silent},
        {{"RemoveDirectoryTree", "RemoveDirectoryA"}, Silent},

        // ---- installation sequence
        {{"PrinterDrvExist", "EnumPrinterDriversA"},
         [](const Ctx& c) {
             if (!c.installer()) {
                 // The uninstaller cannot tell whether the driver is there:
                 // it says so and leaves everything, its entry included.
                 Expect e = EndsWithBox(Fmt("EnumPrinterDrivers Error Code: %d\n\n", int(c.code)));
                 e.lines = {Fmt("EnumPrinterDrivers failed. (%d)", int(c.code))};
                 return e;
             }
             // Counted as no driver: a new installation, whose printer of the
             // model's name is already there when the driver was.
             return c.named("install-present") ? PrinterBoxEnds(kErrPrinterAlreadyExists) : Expect{};
         }},
        {{"AddToWin2K", "OpenPrinterA"},
         [](const Ctx&) { return PrinterBoxEnds(kErrPrinterAlreadyExists); }},  // the name looks free
        {{"AddToWin2K", "ClosePrinter"}, Silent},
        {{"CopyFilesNeededToAddPrnDrv", "GetWindowsDirectoryA"},
         [](const Ctx& c) { return c.xp() ? WindowsFolderLost(c) : Expect{}; }},
        {{"CopyFilesNeededToAddPrnDrv", "GetPrinterDriverDirectoryA"},
         [](const Ctx& c) {
             Expect e = DriverRefused(kErrFileNotFound);
             e.lines = DriverFolderLost(c).lines;
             return e;
         }},
        // The first copy is UNIDRV.DLL, not examined: the driver then lacks it.
        {{"CopyFilesNeededToAddPrnDrv", "CopyFileA"},
         [](const Ctx&) { return DriverRefused(kErrFileNotFound); }},
        {{"AddLanguageMonitor", "GetSystemDirectoryA"},
         [](const Ctx& c) {
             Expect e = MonitorCopyLost(c);
             e.lines = SystemFolderLost(c).lines;
             return e;
         }},
        {{"AddLanguageMonitor", "GetWindowsDirectoryA"},
         [](const Ctx& c) {
             Expect e = MonitorCopyLost(c);
             e.lines = WindowsFolderLost(c).lines;
             return e;
         }},
        {{"AddLanguageMonitor", "CopyFileA"},
         [](const Ctx& c) {
             Expect e = CheckedCopy(c);
             if (c.code == kErrAccessDenied || c.code == kErrSharingViolation) return e;
             Expect lost = MonitorCopyLost(c);
             lost.lines = e.lines;
             return lost;
         }},
        {{"AddLanguageMonitor", "AddMonitorA"},
         [](const Ctx& c) {
             Expect e = MonitorRefused(c.code);
             // "Already installed" counts as success: no box of its own. Here
             // the monitor is not there after all, so the driver is refused.
             if (c.code == kErrPrintMonitorAlreadyInstalled) e.boxes.erase(e.boxes.begin());
             return e;
         }},
        {{"AddPrinterProcessor", "GetPrintProcessorDirectoryA"},
         [](const Ctx& c) {
             Expect e = ProcessorRefused(kErrFileNotFound);
             e.lines = ProcessorFolderLost(c).lines;
             return e;
         }},
        {{"AddPrinterProcessor", "CopyFileA"},
         [](const Ctx& c) {
             Expect e = CheckedCopy(c);
             if (c.code == kErrAccessDenied || c.code == kErrSharingViolation) return e;
             Expect refused = ProcessorRefused(kErrFileNotFound);
             refused.lines = e.lines;
             return refused;
         }},
        {{"AddPrinterProcessor", "AddPrintProcessorA"},
         [](const Ctx& c) {
             Expect e = ProcessorRefused(c.code);
             if (c.code == kErrPrintProcessorAlreadyInstalled) e.boxes.erase(e.boxes.begin());
             return e;
         }},
        {{"AddPrinterDriverToSystem", "AddPrinterDriverA"},
         [](const Ctx& c) {
             // Before Vista, a missing module is retried with framedyn.dll lent.
             if (c.code == kErrModNotFound && c.xp()) return Expect{};
             return DriverRefused(c.code);
         }},
        {{"AddPrinterToSystem", "AddPrinterA"},
         [](const Ctx& c) { return PrinterBoxEnds(c.code); }},
        {{"AddPrinterToSystem", "ClosePrinter"}, Silent},
        {{"CopyINFFile", "SetupCopyOEMInfA"},
         [](const Ctx& c) {
             if (c.code == kErrFileExists) return Expect{};
             Expect e = Line(Fmt("SetupCopyOEMInf failed : (%d)", int(c.code)));
             e.boxes = {Fmt("SetupCopyOEMInf, ERR CODE: %d\n\n", int(c.code))};
             return e;
         }},
        // The staging clean-up: the Unidrv copies are deleted unchecked.
        {{"DeleteFilesUsed", "GetPrinterDriverDirectoryA"}, DriverFolderLost},
        {{"DeleteFilesUsed", "DeleteFileA"},
         [](const Ctx& c) {
             std::string name = UpperCopy(c.args.substr(c.args.rfind('\\') + 1));
             for (const char* core : {"UNIDRV.DLL", "UNIDRVUI.DLL", "UNIDRV.HLP", "UNIRES.DLL"})
                 if (name == core) return Expect{};
             return Reported(c);
         }},
        {{"RegisterUninstallInfo", "RegOpenKeyExA"}, Silent},
        // An entry that cannot be deleted is overwritten.
        {{"RegisterUninstallInfo", "RegDeleteKeyExA"},
         [](const Ctx& c) {
             if (c.code == kErrFileNotFound) return Expect{};
             return Line(Fmt("MyRegDeleteKeyEx failed : %s, (%d) ", KeyPath(c.args), int(c.code)));
         }},
        {{"RegisterUninstallInfo", "SHDeleteKeyA"},
         [](const Ctx& c) {
             if (c.code == kErrFileNotFound) return Expect{};
             return Line(Fmt("SHDeleteKey failed : %s , (%d) ", KeyPath(c.args), int(c.code)));
         }},
        {{"RegisterUninstallInfo", "RegEnumKeys"}, Silent},
        {{"RegisterUninstallInfo", "RegCreateKeyExA"},
         [](const Ctx& c) {
             return Line(Fmt(c.wow64() ? "RegCreateKeyEx failed : %s, (%d) "
                                       : "RegCreateKeyEx failed : %s , (%d) ",
                             KeyPath(c.args), int(c.code)));
         }},
        {{"RegisterUninstallInfo", "RegSetValueExA"}, Silent},
        {{"RegisterUninstallInfo", "RegCloseKey"}, Silent},
        {{"RegisterUninstallInfo", "GetWindowsDirectoryA"}, WindowsFolderLost},
        {{"CopyFilesOfUtilities", "GetWindowsDirectoryA"},
         [](const Ctx& c) {
             Expect e = WindowsFolderLost(c);  // no product folder in the root of a drive
             e.skipped = {"CreateDirectoryWithSA BEGIN"};
             return e;
         }},
        {{"CopyFilesOfUtilities", "CopyFileA"}, CheckedCopy},
        {{"CreateDirectoryWithSA", "AllocateAndInitializeSid"},
         [](const Ctx& c) { return Line(Fmt("Fail to get Everyone SID. (%d)", int(c.code))); }},
        {{"CreateDirectoryWithSA", "SetEntriesInAclA"},
         [](const Ctx& c) { return Line(Fmt("SetEntriesInAcl failed : (%d)", int(c.code))); }},
        {{"CreateDirectoryWithSA", "CreateDirectoryWithDacl"}, Silent},  // tried again

        // ---- the ".old" fallback for a file in use
        {{"HandleCopyFileError", "GetFileAttributesA"}, Silent},
        // The older ".old" stays, so the file in use cannot move aside and
        // the new copy cannot take its place: both are reported.
        {{"HandleCopyFileError", "DeleteFileA"},
         [](const Ctx& c) {
             return Line(Fmt("CopyFile Error : %s ", c.args.substr(0, c.args.size() - 4), 0));
         }},
        {{"HandleCopyFileError", "rename"},
         [](const Ctx& c) { return Line(Fmt("CopyFile Error : %s ", Before(c.args), 0)); }},
        // The file moved aside is deleted when Windows restarts; without
        // administrator rights that cannot be queued, and the log says so.
        {{"HandleCopyFileError", "MoveFileExA"}, QueueFailed},
        {{"HandleCopyFileError", "CopyFileA"},
         [](const Ctx& c) {
             Expect e;
             e.lines = {Fmt("CopyFile Error : %s ", Before(c.args), 0),
                        Fmt("Error Code : (%d) ", int(c.code)),
                        Fmt("CopyFile Error : %s ", After(c.args), 0)};
             return e;
         }},
    };
    return rules;
}

// ------------------------------------------------------------------ the runs

std::string Join(const std::vector<std::string>& v, const char* sep = " | ") {
    std::string out;
    for (const std::string& s : v) out += (out.empty() ? "" : sep) + s;
    return out;
}

std::string Printable(std::string s) {
    std::string out;
    for (char ch : s) {
        if (ch == '\r') out += "\\r";
        else if (ch == '\n') out += "\\n";
        else out += ch;
    }
    return out;
}

bool StartsWith(const std::string& s, const std::string& prefix) { return s.rfind(prefix, 0) == 0; }

// What a finished run showed, from the scenario's own events on.
struct Seen {
    RunOutcome end;
    std::vector<sim::UiEvent> ui;     // the run's own events
    std::vector<std::string> log;     // the program's log
    std::vector<sim::CallRecord> calls;
    std::string lastStatus;
    std::string snapshot;
    std::vector<std::string> misuse;

    std::vector<std::string> Boxes(bool errorsOnly) const {
        std::vector<std::string> out;
        for (const sim::UiEvent& e : ui) {
            if (e.kind != "box") continue;
            uint32_t icon = e.style & 0xF0;
            if (errorsOnly && icon != kMbIconError && icon != kMbIconExclamation) continue;
            out.push_back(e.text);
        }
        return out;
    }
    bool ExitedWithZero() const {
        for (const sim::UiEvent& e : ui)
            if (e.kind == "exit") return e.value == 0;
        return false;
    }
    bool AnyExit() const {
        return std::any_of(ui.begin(), ui.end(), [](const sim::UiEvent& e) { return e.kind == "exit"; });
    }
    bool DialogEnded() const {
        return std::any_of(ui.begin(), ui.end(),
                           [](const sim::UiEvent& e) { return e.kind == "end-dialog"; });
    }
    // The last box or status, as the user last saw it.
    std::string LastShown() const {
        for (auto it = ui.rbegin(); it != ui.rend(); ++it)
            if (it->kind == "box" || it->kind == "status") return it->kind + ":" + it->text;
        return "";
    }
};

Seen RunOnce(sim::Machine& m, const Scenario& s, std::string* beforeSnapshot) {
    Seen seen;
    size_t mark = m.Ui().size();
    if (beforeSnapshot) *beforeSnapshot = m.Snapshot();
    seen.end = Play(m, s);
    std::vector<sim::UiEvent> ui = m.Ui();
    seen.ui.assign(ui.begin() + long(mark), ui.end());
    seen.log = LogLines(m.LogText(s.installer ? "ZEP_Installer.txt" : "ZEP_UnInstaller.txt"));
    seen.calls = m.Calls();
    for (const sim::UiEvent& e : seen.ui)
        if (e.kind == "status") seen.lastStatus = e.text;
    seen.snapshot = m.Snapshot();
    seen.misuse = m.HandleMisuse();
    return seen;
}

// A hang fails loudly instead of stalling the whole test run.
class Watchdog {
public:
    explicit Watchdog(std::chrono::seconds limit) : limit_(limit), thread_([this] { Watch(); }) {}
    ~Watchdog() {
        {
            std::lock_guard<std::mutex> g(mutex_);
            done_ = true;
        }
        cv_.notify_all();
        thread_.join();
    }
    void Start(std::string what) {
        std::lock_guard<std::mutex> g(mutex_);
        what_ = std::move(what);
        since_ = std::chrono::steady_clock::now();
    }

private:
    void Watch() {
        std::unique_lock<std::mutex> g(mutex_);
        while (!done_) {
            cv_.wait_for(g, std::chrono::milliseconds(200));
            if (!done_ && !what_.empty() && std::chrono::steady_clock::now() - since_ > limit_) {
                std::fprintf(stderr, "fault matrix: no end after %lld s: %s\n",
                             static_cast<long long>(limit_.count()), what_.c_str());
                std::abort();
            }
        }
    }
    std::chrono::seconds limit_;
    std::mutex mutex_;
    std::condition_variable cv_;
    bool done_ = false;
    std::string what_;
    std::chrono::steady_clock::time_point since_;
    std::thread thread_;
};

struct Site {
    std::string routine, call;
    bool operator<(const Site& o) const { return std::tie(routine, call) < std::tie(o.routine, o.call); }
    std::string Name() const { return routine + "/" + call; }
};

// Checks one faulted run against its clean run and the rule; returns the
// problems found.
std::vector<std::string> BeginLines(const std::vector<std::string>& log) {
    std::vector<std::string> out;
    for (const std::string& line : log)
        if (line.size() > 6 && line.compare(line.size() - 6, 6, " BEGIN") == 0) out.push_back(line);
    return out;
}

std::vector<std::string> Judge(const Scenario& s, const Seen& clean, const Seen& run,
                               const sim::CallRecord& failed, uint32_t code, const Expect& want,
                               const std::string& before, const ProductNames& names) {
    std::vector<std::string> problems;
    auto problem = [&](std::string p) { problems.push_back(std::move(p)); };

    // The run ends as a run of this program ends.
    if (!run.end.escaped.empty()) problem("escaped: " + run.end.escaped);
    if (s.installer) {
        if (!run.ExitedWithZero()) problem("the installer did not end with exit(0)");
    } else {
        if (run.AnyExit()) problem("the uninstaller ended the process");
        if (!run.DialogEnded()) problem("the uninstaller's dialog did not end");
    }
    if (run.calls.size() > clean.calls.size() * 4 + 400)
        problem("runaway: " + std::to_string(run.calls.size()) + " calls against " +
                std::to_string(clean.calls.size()) + " in the clean run");
    if (!run.misuse.empty()) problem("handle misuse: " + Join(run.misuse));

    // The way it ends.
    switch (want.end) {
        case End::Same:
            // Going on means every routine of the clean run still runs, in order.
            if (!want.noLog && failed.routine != "WriteLog") {
                std::vector<std::string> expected;
                for (const std::string& line : BeginLines(clean.log))
                    if (std::find(want.skipped.begin(), want.skipped.end(), line) == want.skipped.end())
                        expected.push_back(line);
                if (!InOrder(BeginLines(run.log), expected))
                    problem("a routine of the clean run did not run");
            }
            if (run.lastStatus != clean.lastStatus)
                problem("last status \"" + Printable(run.lastStatus) + "\" instead of \"" +
                        Printable(clean.lastStatus) + "\"");
            if (StartsWith(clean.LastShown(), "box:The installer has successfully removed") &&
                run.LastShown() != clean.LastShown())
                problem("the different version's removal did not end as usual: " +
                        Printable(run.LastShown()));
            break;
        case End::Box:
            if (!StartsWith(run.LastShown(), "box:" + want.endBox))
                problem("did not end with the box \"" + Printable(want.endBox) + "\" but with " +
                        Printable(run.LastShown()));
            break;
        case End::Replaced:
            if (!StartsWith(run.LastShown(), "box:The installer has successfully removed"))
                problem("did not take the different-version path: " + Printable(run.LastShown()));
            break;
    }

    // Error boxes: those of the clean run and those the failure brings, in order.
    std::vector<std::string> errors = run.Boxes(true);
    std::vector<std::string> cleanErrors = clean.Boxes(true);
    size_t next = 0;
    for (const std::string& box : errors) {
        if (next < want.boxes.size() && StartsWith(box, want.boxes[next])) {
            ++next;
            continue;
        }
        if (std::find(cleanErrors.begin(), cleanErrors.end(), box) != cleanErrors.end()) continue;
        problem("unexpected error box \"" + Printable(box) + "\"");
    }
    if (next < want.boxes.size()) problem("missing error box \"" + Printable(want.boxes[next]) + "\"");

    // The log names the failure.
    for (const std::string& line : want.lines)
        if (!Contains(run.log, line)) problem("log lacks \"" + Printable(line) + "\"");

    // Nothing outside the product's names changed.
    for (const std::string& change : ForeignChanges(before, run.snapshot, names))
        problem("changed outside the product: " + change);

    (void)code;
    return problems;
}

// The matrix runs every case on a copy of one arranged machine: a copy must
// start in the same state and never reach back into its original.
TEST(FaultMatrix, CopiesOfAnArrangedMachineAreIndependent) {
    Scenario s = StandardScenarios(Windows::Win7x64)[3];  // uninstall-complete
    sim::Machine arranged;
    Arrange(arranged, s);
    std::string original = arranged.Snapshot();
    sim::Machine copy(arranged);
    EXPECT_EQ(copy.Snapshot(), original);
    copy.InjectFault(Fault("DeleteFormA").Fails(kErrAccessDenied));
    Play(copy, s);
    EXPECT_NE(copy.Snapshot(), original);
    EXPECT_EQ(arranged.Snapshot(), original);
    EXPECT_TRUE(arranged.Calls().empty());
    EXPECT_EQ(copy.Calls("DeleteFormA").size(), 1u);
    EXPECT_TRUE(copy.Calls("DeleteFormA")[0].failed);
}

TEST(FaultMatrix, EveryCallSiteWithEveryCode) {
    auto started = std::chrono::steady_clock::now();
    Watchdog watchdog(std::chrono::seconds(20));

    std::vector<Scenario> scenarios;
    for (Windows w : {Windows::Win7x64, Windows::Win7x86, Windows::WinXp}) {
        for (Scenario& s : StandardScenarios(w)) scenarios.push_back(std::move(s));
        for (Scenario& s : LeftoverScenarios(w)) scenarios.push_back(std::move(s));
    }

    std::map<Site, std::set<std::string>> sites;  // faultable site -> scenarios reaching it
    std::set<Site> unfailable;
    std::vector<std::string> failures;
    size_t cases = 0;

    for (const Scenario& s : scenarios) {
        // Every case of the scenario starts from a copy of one arrangement.
        sim::Machine arranged;
        Arrange(arranged, s);
        ProductNames arrangedNames;
        CollectOurInfCopies(arranged, arrangedNames);
        const std::string before = arranged.Snapshot();

        sim::Machine cleanMachine(arranged);
        watchdog.Start(s.name + " (clean)");
        ProductNames cleanNames = arrangedNames;
        std::string cleanBefore;
        Seen clean = RunOnce(cleanMachine, s, &cleanBefore);
        CollectOurInfCopies(cleanMachine, cleanNames);
        ASSERT_TRUE(clean.end.escaped.empty()) << s.name << ": " << clean.end.escaped;
        EXPECT_TRUE(clean.misuse.empty()) << s.name << ": " << Join(clean.misuse);
        EXPECT_EQ(ForeignChanges(cleanBefore, clean.snapshot, cleanNames), std::vector<std::string>{})
            << s.name;

        // The sites of this run, each with the first call made there.
        std::map<Site, const sim::CallRecord*> first;
        for (const sim::CallRecord& c : clean.calls) {
            Site site{c.routine, c.call};
            if (Unfailable(c.call)) {
                unfailable.insert(site);
                continue;
            }
            sites[site].insert(s.name);
            first.emplace(site, &c);
        }

        for (const auto& [site, record] : first) {
            auto rule = Rules().find({site.routine, site.call});
            auto codes = Codes().find(site.call);
            if (rule == Rules().end() || codes == Codes().end()) continue;  // reported below
            for (uint32_t code : codes->second) {
                ++cases;
                std::string label = s.name + " " + site.Name() + " fails with " + std::to_string(code);
                watchdog.Start(label);
                sim::Machine m(arranged);
                ProductNames names = arrangedNames;
                m.InjectFault(Fault(site.call).In(site.routine).Fails(code));
                Seen run = RunOnce(m, s, nullptr);
                CollectOurInfCopies(m, names);

                const sim::CallRecord* failed = nullptr;
                for (const sim::CallRecord& c : run.calls)
                    if (c.routine == site.routine && c.call == site.call) {
                        failed = &c;
                        break;
                    }
                if (!failed) {
                    failures.push_back(label + ": the call was not made");
                    continue;
                }
                Ctx ctx{s, failed->args, code, arranged};
                Expect want = rule->second(ctx);
                for (const std::string& p : Judge(s, clean, run, *failed, code, want, before, names))
                    failures.push_back(label + ": " + p);
            }
        }
    }
    watchdog.Start("");

    // Every site has its rule and its codes; every rule has its site.
    std::vector<std::string> gaps;
    for (const auto& [site, where] : sites) {
        if (site.routine.empty()) gaps.push_back("a call outside any routine: " + site.call);
        if (Rules().find({site.routine, site.call}) == Rules().end())
            gaps.push_back("no expectation for " + site.Name() + " (reached by " +
                           Join(std::vector<std::string>(where.begin(), where.end()), ", ") + ")");
        if (Codes().find(site.call) == Codes().end())
            gaps.push_back("no error codes for " + site.call);
    }
    for (const auto& [key, rule] : Rules())
        if (!sites.count(Site{key.first, key.second}))
            gaps.push_back("expectation for a site no run reaches: " + key.first + "/" + key.second);

    size_t covered = 0;
    for (const auto& [site, where] : sites)
        covered += Rules().count({site.routine, site.call}) && Codes().count(site.call);
    double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    std::printf("fault matrix: %zu of %zu call sites, %zu cases in %zu scenarios, %zu failures, "
                "%.1f s (%zu more sites whose calls cannot fail)\n",
                covered, sites.size(), cases, scenarios.size(), failures.size(), seconds,
                unfailable.size());

    for (const std::string& g : gaps) ADD_FAILURE() << g;
    for (const std::string& f : failures) ADD_FAILURE() << f;
    EXPECT_EQ(covered, sites.size());
}

}  // namespace
}  // namespace zep::test
