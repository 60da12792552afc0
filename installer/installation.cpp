#include "installer/installation.h"

#include "removal/product_state.h"

#include <cctype>
#include <string>

namespace zep {

namespace {

// A runaway numbering would mean the spooler opens any name; stop long before.
constexpr int kMaxPrinterNumber = 9999;

}  // namespace

InstallPlan InstallPlan::ForPerson(bool driverPresent) {
    InstallPlan plan;
    plan.driver = plan.inf = plan.entry = plan.uninstaller = plan.restart = !driverPresent;
    plan.numberNames = driverPresent;
    return plan;
}

CInstallation::CInstallation(Support& sys, StatusHost& mainWindow)
    : sys_(sys), mainWindow_(mainWindow) {
    // The product's names from the string table, in this order.
    const struct {
        std::string CInstallation::*member;
        uint32_t id;
    } names[] = {
        {&CInstallation::m_strDriverName, InstallerString::kDriverName},
        {&CInstallation::m_strMonitorName, InstallerString::kMonitorName},
        {&CInstallation::m_strProcessorName, InstallerString::kProcessorName},
        {&CInstallation::m_strMiniDriverFile, InstallerString::kMiniDriver},
        {&CInstallation::m_strMonitorFile, InstallerString::kMonitorDll},
        {&CInstallation::m_strProcessorFile, InstallerString::kProcessorDll},
        {&CInstallation::m_strUIPluginFile, InstallerString::kUiPlugin},
        {&CInstallation::m_strScratch, InstallerString::kProcessorIni},
    };
    for (const auto& name : names) this->*name.member = sys_.os.user.LoadStringA(name.id);
    m_strProcessorIniFile = m_strScratch;
}

std::string CInstallation::LoadScratch(uint32_t id) {
    m_strScratch = sys_.os.user.LoadStringA(id);
    return m_strScratch;
}

void CInstallation::StatusSteps::SetStatusText(const std::string& text) {
    if (installation_.m_pStatusText) *installation_.m_pStatusText = text;
}

void CInstallation::StatusSteps::ProgressStepIt() {
    if (installation_.m_pProgress) installation_.m_pProgress->StepIt();
}

void CInstallation::StatusSteps::ProgressSetPos(int position) {
    if (installation_.m_pProgress) installation_.m_pProgress->SetPos(position);
}

// ------------------------------------------------------------------ sequence

void CInstallation::AddToWin2K(int portCode) {
    LoggedRoutine routine(sys_.log, "AddToWin2K");
    TraceLog& log = sys_.log;
    SetSystemInfo();
    StatusStep("Preparing for installation...\r\n");
    bool present = PrinterDrvExist(m_strDriverName) != 0;
    StatusStep("Adding a printer...\r\n");
    InstallPlan plan = m_pUnattended ? m_pUnattended->Plan() : InstallPlan::ForPerson(present);

    std::string port = PortName(portCode);
    bool registered = false;
    for (const std::string& model : m_chosenModels) {
        m_strModelName = model;
        std::string printerName = model;
        if (m_pUnattended) {
            // A deployment tool reruns an installation it is unsure of: a
            // model that already has its printer on the port is not added again.
            std::string existing = PrinterOfModelOnPort(model, port);
            if (!existing.empty()) {
                log.WriteLog("PRINTER ALREADY INSTALLED : %s on %s", existing.c_str(),
                             port.c_str());
                continue;
            }
        }
        if (plan.numberNames) {
            // A name that a printer already carries gets the next free "(#N)".
            for (int n = 1; n <= kMaxPrinterNumber; ++n) {
                Result<HPrinter> open = sys_.os.spooler.OpenPrinterA(printerName.c_str(), nullptr);
                if (!open.ok) break;
                sys_.os.spooler.ClosePrinter(open.value);
                printerName = model + "(#" + Decimal(n) + ")";
            }
        }
        log.WriteLog("PRINTER-DRIVER NAME TO ADD : %s ", printerName.c_str());
        if (plan.driver) {
            StageAndRegister();
            registered = true;
        }
        AddPrinterToSystem(portCode, printerName);
    }
    // Every model had its printer: the driver's parts still go in place.
    if (plan.driver && !registered) StageAndRegister();

    if (plan.inf) CopyINFFile();
    if (plan.driver) DeleteFilesUsed();
    if (plan.entry) RegisterUninstallInfo();
    if (plan.uninstaller) CopyFilesOfUtilities();
    // An unattended run that failed says so and asks nothing: it is never restarted.
    if (m_pUnattended) m_pUnattended->CheckInstalled();
    if (plan.restart && !(m_pUnattended && sys_.run.Failed())) {
        StatusStep("The driver has been successfully installed.", 100, 0);
        if (sys_.AskToRestart("I will restart my computer later.")) {
            // The log has always closed the routine before the restart
            // request, and again at its end.
            routine.End();
            sys_.RestartSystem();
        } else {
            sys_.run.RestartNeeded();  // left for later
        }
    }
    log.WriteLog("\r\n");
    routine.End();
    StatusStep("Completed.", 100, 2000);  // readable before the process ends
}

void CInstallation::StageAndRegister() {
    CopyFilesNeededToAddPrnDrv();
    AddLanguageMonitor();
    AddPrinterProcessor();
    AddPrinterDriverToSystem();
}

void CInstallation::SetSystemInfo() {
    LoggedRoutine routine(sys_.log, "SetSystemInfo");
    m_bWow64 = sys_.IsWow64();
    m_nOsCode = sys_.CheckOS();
    m_strEnvironment = DriverEnvironment(m_bWow64);
    m_strDriverSourceDir = DriverSourceFolder(m_bWow64);
    sys_.log.WriteLog("ENV : %s, DRV DIR : %s ", m_strEnvironment.c_str(),
                      m_strDriverSourceDir.c_str());
}

std::string CInstallation::PackageFolder() {
    if (!sys_.run.Unattended()) return ".\\";
    Result<std::string> program = sys_.os.kernel.GetModuleFileNameA();
    size_t cut = program.value.find_last_of('\\');
    if (!program.ok || cut == std::string::npos) {
        sys_.log.WriteLog("GetModuleFileName failed (%d): the package is read from the current folder",
                          int(program.error));
        return ".\\";
    }
    return program.value.substr(0, cut + 1);
}

std::string CInstallation::DriverSourceFolder(int wow64) {
    return PackageFolder() + (wow64 ? "Driver64\\" : "Driver32\\");
}

std::string CInstallation::PortName(int portCode) {
    return portCode < 1000 ? std::string() : zep::PortName(portCode - 1000);
}

std::string CInstallation::PrinterOfModelOnPort(const std::string& model, const std::string& port) {
    Result<std::vector<PrinterInfo2>> printers =
        sys_.os.spooler.EnumPrintersA(kPrinterEnumLocal, nullptr);
    if (!printers.ok) {
        // Unknown: the printer is added, as a person's run would add it.
        sys_.log.WriteLog("EnumPrinters failed. (%d)", int(printers.error));
        return std::string();
    }
    for (const PrinterInfo2& printer : printers.value) {
        if (printer.driverName != m_strDriverName || !EqualsNoCase(printer.portName, port)) continue;
        if (IsNameOfModel(printer.printerName, model)) return printer.printerName;
    }
    return std::string();
}

int CInstallation::PrinterDrvExist(const std::string& driverName) {
    LoggedRoutine routine(sys_.log, "PrinterDrvExist");
    StatusStep("Checking existing drivers...\r\n");
    // A list that cannot be read counts as no driver.
    return LogDriverListed(sys_, m_strEnvironment.c_str(), driverName, false).value ? 1 : 0;
}

}  // namespace zep
