// Removal of an installed copy of the driver, shared by both programs.
//
// The installer runs it when it finds a different version, the uninstaller
// on the user's command. What differs between the two programs is data
// (RemovalProfile), supplied by each program.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "common/status.h"
#include "common/support.h"
#include "resources/string_ids.h"

namespace zep {

// Where the spooler keeps its registrations, below HKLM.
inline constexpr char kPrintKey[] = "SYSTEM\\CurrentControlSet\\Control\\Print\\";

// The program's choices for the shared routines.
struct RemovalProfile {
    // String-table IDs.
    uint32_t driverName;
    uint32_t productWord;
    uint32_t monitorName;
    uint32_t monitorDll;
    uint32_t processorName;
    uint32_t processorDll;
    uint32_t processorIni;
    uint32_t miniDriver;
    uint32_t gpdFile;
    uint32_t budFile;
    uint32_t uiPlugin;
    uint32_t uiPluginIni;
    uint32_t makerName;
    uint32_t firstModel;

    // Status texts shown by the routines (nullptr: no status step) and the
    // pause after each.
    const char* formsStatus;
    const char* monitorStatus;
    const char* processorStatus;
    const char* filesStatus;  // with a progress step
    const char* infStatus;
    uint32_t statusPauseMs;

    // DeleteMonitorA/DeletePrintProcessorA failing with 1722: start the
    // spooler and try once more before falling back to the registry.
    bool retryWhenSpoolerStopped;
    // Step five of the sequence: its log name and the name of its call
    // sites, whether it also deletes the minidriver from the driver's
    // version-3 folder, and whether it logs the two folders.
    const char* fileRoutineName;
    const char* fileRoutineScope;
    bool deleteMiniDriverFromDriverFolder;
    bool logFolders;
    // "SECTION NAME", "KEY NAME", "SetupOpenInfFile failed", "The key name was not found."
    bool logInfDetails;
    // Uninstall keys below HKLM, deleted in order; whether "RegKey : %s" is logged first.
    std::vector<std::string> uninstallKeys;
    bool logRegKey;
};

RemovalProfile InstallerRemovalProfile();
// bothSpellings: the uninstall entry goes under both keys, as the
// installer's removal deletes it (an unattended run leaves nothing).
RemovalProfile UninstallerRemovalProfile(bool bothSpellings = false);

// What the routines use of the program's main dialog: its status line and
// progress bar, and these.
class RemovalHost : public StatusHost {
public:
    virtual int Wow64() const = 0;
    virtual int OsCode() const = 0;
    virtual std::string& Scratch() = 0;
};

// Whether the spooler's drivers of the environment (level 3) list the
// driver; the listing's error when they cannot be listed.
Result<bool> DriverListed(Spooler& spooler, const char* environment, const std::string& driverName);
// PrinterDrvExist's look, for both programs: DriverListed and its line,
// "<name> PRINTER DRIVER EXISTS." or "... DOES NOT EXIST.". A listing that
// fails is "EnumPrinterDrivers failed. (<n>)" and returned when
// `reportListFailure`; otherwise it counts as no driver.
Result<bool> LogDriverListed(Support& sys, const char* environment, const std::string& driverName,
                             bool reportListFailure);

class DriverRemoval {
public:
    DriverRemoval(Support& sys, RemovalProfile profile, RemovalHost& host);

    // The local printers (level 2). On failure shows the error box
    // "EnumPrinters Error Code: %d" and returns nullopt; the caller decides.
    std::optional<std::vector<PrinterInfo2>> EnumLocalPrinters();

    // The fixed sequence; returns the result of DeleteUninstallationInfo.
    bool DeleteInstalledDriver();
    void DeleteForms();
    bool DeletePrinterDrv();
    void DeleteLanguageMonitor();
    void DeleteProcessor();
    void DeleteDriverFiles();  // DeleteFilesUsed / DeleteDriverComponent
    void DeleteINFFile();
    bool DeleteUninstallationInfo();

    // Deletes a key below HKLM in the view that the WOW64 flag selects and
    // logs the failure line (Support::DeleteKeyReported); true on success.
    bool DeleteRegistryKey(const std::string& path);

    // The oem copies in the INF folder that carry the driver's first model in
    // the maker's section (the section name InfSection gives).
    // `windows` is GetWindowsDirectoryA's answer; without it the default
    // folder is listed.
    std::vector<std::string> DriverInfCopies(const Result<std::string>& windows,
                                             const std::string& section, const std::string& key,
                                             bool logFailures);
    std::string InfSection();

    const RemovalProfile& profile() const { return profile_; }
    Support& sys() { return sys_; }
    RemovalHost& host() { return host_; }
    // A name of the program's string table, through the host's scratch text.
    std::string Load(uint32_t id);
    const char* Environment() const { return DriverEnvironment(host_.Wow64()); }
    // The keys of the environment (with its backslash), of a language
    // monitor and of a print processor of the environment.
    std::string EnvironmentKey() const;
    std::string MonitorKey(const std::string& name) const;
    std::string ProcessorKey(const std::string& name) const;

private:
    // The profile's status step of a routine, when it has one.
    void ShowProfileStatus(const char* text, bool step);

    Support& sys_;
    RemovalProfile profile_;
    RemovalHost& host_;
};

}  // namespace zep
