#include "removal/removal.h"

#include "removal/product_state.h"

namespace zep {

namespace {

std::string ReplaceAll(std::string text, const std::string& from, const std::string& to) {
    for (size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()))
        text.replace(at, from.size(), to);
    return text;
}

// A profile with the string-table IDs of the program's table (`Table`).
template <class Table>
RemovalProfile ProfileOf() {
    RemovalProfile p{};
    p.driverName = Table::kDriverName;
    p.productWord = Table::kProductWord;
    p.monitorName = Table::kMonitorName;
    p.monitorDll = Table::kMonitorDll;
    p.processorName = Table::kProcessorName;
    p.processorDll = Table::kProcessorDll;
    p.processorIni = Table::kProcessorIni;
    p.miniDriver = Table::kMiniDriver;
    p.gpdFile = Table::kGpdFile;
    p.budFile = Table::kBudFile;
    p.uiPlugin = Table::kUiPlugin;
    p.uiPluginIni = Table::kUiPluginIni;
    p.makerName = Table::kMakerName;
    p.firstModel = Table::kFirstModel;
    return p;
}

}  // namespace

RemovalProfile InstallerRemovalProfile() {
    RemovalProfile p = ProfileOf<InstallerString>();
    p.statusPauseMs = 100;
    p.retryWhenSpoolerStopped = false;
    // The staging clean-up logs the same name; the call sites differ.
    p.fileRoutineName = "DeleteFilesUsed";
    p.fileRoutineScope = "DeleteDriverFiles";
    p.deleteMiniDriverFromDriverFolder = false;
    p.logFolders = false;
    p.logInfDetails = false;
    p.uninstallKeys = {kUninstallKey, kUninstallKeyOtherSpelling};
    p.logRegKey = false;
    return p;
}

RemovalProfile UninstallerRemovalProfile(bool bothSpellings) {
    RemovalProfile p = ProfileOf<UninstallerString>();
    p.formsStatus = "Deleting forms...";
    p.monitorStatus = "Deleting L/M...";
    p.processorStatus = "Deleting the processor...";
    p.filesStatus = "Deleting driver-components...";
    p.infStatus = "Deleting the INF file...";
    p.statusPauseMs = 100;
    p.retryWhenSpoolerStopped = true;
    p.fileRoutineName = p.fileRoutineScope = "DeleteDriverComponent";
    p.deleteMiniDriverFromDriverFolder = true;
    p.logFolders = true;
    p.logInfDetails = true;
    p.uninstallKeys = {kUninstallKey};
    if (bothSpellings) p.uninstallKeys.push_back(kUninstallKeyOtherSpelling);
    p.logRegKey = true;
    return p;
}

DriverRemoval::DriverRemoval(Support& sys, RemovalProfile profile, RemovalHost& host)
    : sys_(sys), profile_(std::move(profile)), host_(host) {}

std::string DriverRemoval::EnvironmentKey() const {
    return std::string(kPrintKey) + "Environments\\" + Environment() + "\\";
}

std::string DriverRemoval::MonitorKey(const std::string& name) const {
    return std::string(kPrintKey) + "Monitors\\" + name;
}

std::string DriverRemoval::ProcessorKey(const std::string& name) const {
    return EnvironmentKey() + "Print Processors\\" + name;
}

std::string DriverRemoval::Load(uint32_t id) {
    host_.Scratch() = sys_.os.user.LoadStringA(id);
    return host_.Scratch();
}

void DriverRemoval::ShowProfileStatus(const char* text, bool step) {
    if (text)
        host_.StatusStep(sys_, text, step ? StatusHost::kStep : StatusHost::kStay, profile_.statusPauseMs);
}

std::optional<std::vector<PrinterInfo2>> DriverRemoval::EnumLocalPrinters() {
    Result<std::vector<PrinterInfo2>> printers =
        sys_.os.spooler.EnumPrintersA(kPrinterEnumLocal, nullptr);
    if (!printers.ok) {
        sys_.ShowSystemErrorBox("EnumPrinters Error Code: %d\n\n", printers.error,
                                kMbIconExclamation);
        return std::nullopt;
    }
    return std::move(printers.value);
}

bool DriverRemoval::DeleteRegistryKey(const std::string& path) {
    return sys_.DeleteKeyReported(host_.Wow64(), path);
}

Result<bool> DriverListed(Spooler& spooler, const char* environment, const std::string& driverName) {
    Result<std::vector<DriverInfo3>> drivers = spooler.EnumPrinterDriversA(nullptr, environment, 3);
    if (!drivers.ok) return Result<bool>::Fail(drivers.error);
    for (const DriverInfo3& driver : drivers.value)
        if (driver.name == driverName) return Result<bool>::Ok(true);
    return Result<bool>::Ok(false);
}

Result<bool> LogDriverListed(Support& sys, const char* environment, const std::string& driverName,
                             bool reportListFailure) {
    Result<bool> listed = DriverListed(sys.os.spooler, environment, driverName);
    if (!listed.ok && reportListFailure) {
        sys.log.WriteLog("EnumPrinterDrivers failed. (%d)", int(listed.error));
        return listed;
    }
    sys.log.WriteLog(listed.value ? "%s PRINTER DRIVER EXISTS." : "%s PRINTER DRIVER DOES NOT EXIST.",
                     driverName.c_str());
    return listed;
}

bool DriverRemoval::DeleteInstalledDriver() {
    DeleteForms();
    DeletePrinterDrv();
    DeleteLanguageMonitor();
    DeleteProcessor();
    DeleteDriverFiles();
    DeleteINFFile();
    return DeleteUninstallationInfo();
}

void DriverRemoval::DeleteForms() {
    LoggedRoutine routine(sys_.log, "DeleteForms");
    Spooler& spooler = sys_.os.spooler;
    ShowProfileStatus(profile_.formsStatus, false);
    Result<HPrinter> server = spooler.OpenPrinterA(nullptr, nullptr);
    if (!server.ok) return;
    Result<std::vector<FormInfo1>> forms = spooler.EnumFormsA(server.value);
    std::string word = Load(profile_.productWord);
    for (const FormInfo1& form : forms.value) {
        if (form.name.find(word) == std::string::npos) continue;
        spooler.DeleteFormA(server.value, form.name);
        sys_.log.WriteLog("FORM NAMES : %s ", form.name.c_str());
    }
    spooler.ClosePrinter(server.value);
}

bool DriverRemoval::DeletePrinterDrv() {
    LoggedRoutine routine(sys_.log, "DeletePrinterDrv");
    std::string name = Load(profile_.driverName);
    Status deleted =
        sys_.os.spooler.DeletePrinterDriverExA(nullptr, Environment(), name, kDpdDeleteUnusedFiles, 3);
    bool result = deleted.ok;
    if (!deleted.ok)
        result = DeleteRegistryKey(EnvironmentKey() + "Drivers\\Version-3\\" + name);
    // Functional: a driver deleted by its key goes when the spooler starts
    // again. The waits: until it has stopped, then until it runs again.
    sys_.StopSpooler(2000);
    sys_.StartSpooler(2000);
    return result;
}

void DriverRemoval::DeleteLanguageMonitor() {
    LoggedRoutine routine(sys_.log, "DeleteLanguageMonitor");
    Kernel& kernel = sys_.os.kernel;
    TraceLog& log = sys_.log;
    ShowProfileStatus(profile_.monitorStatus, false);
    std::string name = Load(profile_.monitorName);
    Status deleted = sys_.os.spooler.DeleteMonitorA(nullptr, Environment(), name);
    if (!deleted.ok && profile_.retryWhenSpoolerStopped &&
        deleted.error == kErrRpcServerUnavailable) {
        // Functional: waits until the spooler runs, which the retry needs.
        sys_.StartSpooler(2000);
        deleted = sys_.os.spooler.DeleteMonitorA(nullptr, Environment(), name);
    }
    if (!deleted.ok) {
        log.WriteLog("DeleteMonitor Error : (%d)", int(deleted.error));
        if (deleted.error == kErrUnknownPrintMonitor)
            log.WriteLog("The specified print monitor is unknown or not installed on this system.");
        DeleteRegistryKey(MonitorKey(name));
    }

    std::string dll = Load(profile_.monitorDll);
    // A folder that cannot be learned is skipped: its paths would point at
    // the root of the current drive.
    Result<std::string> system = kernel.GetSystemDirectoryA();
    if (system.ok)
        sys_.DeleteFileAndOldCopy(JoinPath(system.value, dll));
    else
        log.WriteLog("GetSystemDirectory failed");
    if (host_.Wow64()) {
        std::optional<Result<std::string>> wow = kernel.GetSystemWow64DirectoryA();
        if (wow && wow->ok) sys_.DeleteFileAndOldCopy(JoinPath(wow->value, dll));
        Result<std::string> windows = kernel.GetWindowsDirectoryA();
        if (windows.ok)
            sys_.DeleteFileAndOldCopy(JoinPath(windows.value, dll));
        else
            log.WriteLog("GetWindowsDirectory failed");
    }
}

void DriverRemoval::DeleteProcessor() {
    LoggedRoutine routine(sys_.log, "DeleteProcessor");
    Spooler& spooler = sys_.os.spooler;
    ShowProfileStatus(profile_.processorStatus, false);
    std::string name = Load(profile_.processorName);
    Status deleted = spooler.DeletePrintProcessorA(nullptr, Environment(), name);
    if (!deleted.ok && profile_.retryWhenSpoolerStopped &&
        deleted.error == kErrRpcServerUnavailable) {
        // Functional: waits until the spooler runs, which the retry needs.
        sys_.StartSpooler(2000);
        deleted = spooler.DeletePrintProcessorA(nullptr, Environment(), name);
    }
    std::string key = ProcessorKey(name);
    if (!deleted.ok) {
        sys_.log.WriteLog("DeleteMonitor Error : (%d)", int(deleted.error));
        DeleteRegistryKey(key);
    } else if (ProductLook(*this).KeyExists(key)) {
        // Reported deleted, still registered (some spoolers answer without
        // doing it): the key goes as it would after a refusal.
        DeleteRegistryKey(key);
    }
    Result<std::string> folder = spooler.GetPrintProcessorDirectoryA(nullptr, Environment());
    if (folder.ok) {
        sys_.DeleteFileAndOldCopy(JoinPath(folder.value, Load(profile_.processorDll)));
        sys_.DeleteFileAndOldCopy(JoinPath(folder.value, Load(profile_.processorIni)));
    } else {
        sys_.log.WriteLog("GetPrintProcessorDirectory failed. (%d)", int(folder.error));
    }
}

void DriverRemoval::DeleteDriverFiles() {
    LoggedRoutine routine(sys_.log, profile_.fileRoutineScope, profile_.fileRoutineName);
    TraceLog& log = sys_.log;
    ShowProfileStatus(profile_.filesStatus, true);

    Result<std::string> windows = sys_.os.kernel.GetWindowsDirectoryA();
    if (!windows.ok) log.WriteLog("GetWindowsDirectory failed");
    Result<std::string> drivers = sys_.os.spooler.GetPrinterDriverDirectoryA(nullptr, Environment());
    if (!drivers.ok) log.WriteLog("GetPrinterDriverDirectory failed. (%d)", int(drivers.error));
    if (profile_.logFolders) {
        log.WriteLog("PrinterDriverDirectory : %s", drivers.value.c_str());
        log.WriteLog("WindowsDirectory : %s", windows.value.c_str());
    }
    // Functional: waits until the spooler has stopped and its process, which
    // holds the driver files, has ended.
    sys_.StopSpooler(1500);

    // W: the Windows folder; D: the driver's version-3 folder. A folder that
    // could not be learned is skipped.
    auto inWindows = [&](uint32_t id) {
        if (windows.ok) sys_.DeleteFileAndOldCopy(JoinPath(windows.value, Load(id)));
    };
    auto inDrivers = [&](uint32_t id) {
        if (drivers.ok) sys_.DeleteFileAndOldCopy(drivers.value + "\\3\\" + Load(id));
    };
    inWindows(profile_.miniDriver);
    if (profile_.deleteMiniDriverFromDriverFolder) inDrivers(profile_.miniDriver);
    inDrivers(profile_.gpdFile);
    inWindows(profile_.gpdFile);
    inDrivers(profile_.budFile);
    inDrivers(profile_.uiPlugin);
    inWindows(profile_.uiPlugin);
    // The plug-in's settings file is one of the driver files the spooler keeps there.
    inDrivers(profile_.uiPluginIni);
    inWindows(profile_.uiPluginIni);

    routine.End();
    sys_.StartSpooler(2000);  // functional: waits until it runs; the later steps call it
}

void DriverRemoval::DeleteINFFile() {
    LoggedRoutine routine(sys_.log, "DeleteINFFile");
    Setup& setup = sys_.os.setup;
    TraceLog& log = sys_.log;
    ShowProfileStatus(profile_.infStatus, false);

    std::string section = InfSection();
    if (profile_.logInfDetails) log.WriteLog("SECTION NAME : %s", section.c_str());
    std::string key = Load(profile_.firstModel);
    if (profile_.logInfDetails) log.WriteLog("KEY NAME : %s", key.c_str());

    Result<std::string> windows = sys_.os.kernel.GetWindowsDirectoryA();
    if (!windows.ok) log.WriteLog("GetWindowsDirectory failed");
    std::string infFolder = windows.value + "\\inf";
    std::vector<std::string> copies =
        DriverInfCopies(windows, section, key, profile_.logInfDetails);
    for (const std::string& name : copies) {
        std::string path = JoinPath(infFolder, name);
        std::string pnf = ReplaceAll(path, ".inf", ".PNF");
        if (host_.Wow64() || host_.OsCode() > kOsWin2003) {
            std::optional<Status> removed = setup.SetupUninstallOEMInfA(name, kSuoiForceDelete);
            if (removed && removed->ok && windows.ok) sys_.DeleteFileReported(pnf);
        } else if (windows.ok) {
            sys_.DeleteFileReported(path);
            sys_.DeleteFileReported(pnf);
        }
    }
    bool found = !copies.empty();
    if (profile_.logInfDetails && !found) log.WriteLog("The key name was not found.");
}

std::string DriverRemoval::InfSection() {
    std::string section = Load(profile_.makerName);
    if (host_.Wow64()) section += ".NTamd64";
    return section;
}

std::vector<std::string> DriverRemoval::DriverInfCopies(const Result<std::string>& windows,
                                                        const std::string& section,
                                                        const std::string& key, bool logFailures) {
    Setup& setup = sys_.os.setup;
    // The INF folder by its explicit path (the Windows folder's "inf"): some
    // systems list nothing for the default folder.
    std::string infFolder = windows.value + "\\inf";
    Result<std::vector<std::string>> files =
        setup.SetupGetInfFileListA(windows.ok ? infFolder.c_str() : nullptr, kInfStyleWin4);
    std::vector<std::string> copies;
    // A person's removal keeps to the names Windows gives the copies; an
    // unattended run, which must leave nothing, takes the source's name too.
    bool sourceName = sys_.run.Unattended();
    for (const std::string& name : files.value) {
        if (name.compare(0, 3, "oem") != 0 && !(sourceName && EqualsNoCase(name, kPackageInfFile)))
            continue;
        Setup::InfResult inf = setup.SetupOpenInfFileA(name, nullptr, kInfStyleOldNt | kInfStyleWin4);
        if (!inf.ok) {
            if (logFailures) sys_.log.WriteLog("SetupOpenInfFile failed. %d", int(inf.error));
            continue;
        }
        Status line = setup.SetupFindFirstLineA(inf.inf, section, key);
        setup.SetupCloseInfFile(inf.inf);
        if (line.ok) copies.push_back(name);
    }
    return copies;
}

bool DriverRemoval::DeleteUninstallationInfo() {
    LoggedRoutine routine(sys_.log, "DeleteUninstallationInfo");
    if (profile_.logRegKey && !profile_.uninstallKeys.empty())
        sys_.log.WriteLog("RegKey : %s", profile_.uninstallKeys.front().c_str());
    // Every spelling is tried: one of them is normally absent, which is no
    // failure, and a key that cannot go must not keep the next one.
    bool all = true;
    for (const std::string& key : profile_.uninstallKeys)
        if (!DeleteRegistryKey(key)) all = false;
    return all;
}

}  // namespace zep
