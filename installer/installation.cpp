#include "installer/installation.h"

#include <cctype>
#include <string>

namespace zep {

namespace {

// A runaway numbering would mean the spooler opens any name; stop long before.
constexpr int kMaxPrinterNumber = 9999;

// The name the installer gives a model's printer: the model's, or the
// model's followed by "(#N)".
bool IsNameOfModel(const std::string& name, const std::string& model) {
    if (name.size() < model.size() || !EqualsNoCase(name.substr(0, model.size()), model)) return false;
    std::string rest = name.substr(model.size());
    if (rest.empty()) return true;
    if (rest.size() < 4 || rest.compare(0, 2, "(#") != 0 || rest.back() != ')') return false;
    for (size_t i = 2; i + 1 < rest.size(); ++i)
        if (!std::isdigit(static_cast<unsigned char>(rest[i]))) return false;
    return true;
}

}  // namespace

CInstallation::CInstallation(Support& sys, StatusRefreshTarget& mainWindow)
    : sys_(sys), mainWindow_(mainWindow) {
    User& user = sys_.os.user;
    m_strDriverName = user.LoadStringA(17);
    m_strMonitorName = user.LoadStringA(6);
    m_strProcessorName = user.LoadStringA(8);
    m_strMiniDriverFile = user.LoadStringA(11);
    m_strMonitorFile = user.LoadStringA(7);
    m_strProcessorFile = user.LoadStringA(9);
    m_strUIPluginFile = user.LoadStringA(14);
    m_strScratch = user.LoadStringA(10);
    m_strProcessorIniFile = m_strScratch;
    m_chosenModels.clear();
}

std::string CInstallation::LoadScratch(uint32_t id) {
    m_strScratch = sys_.os.user.LoadStringA(id);
    return m_strScratch;
}

void CInstallation::StepReport(const std::string& text, uint32_t pauseMs) {
    if (m_pStatusText) *m_pStatusText = text;
    if (m_pProgress) m_pProgress->StepIt();
    mainWindow_.PostStatusRefresh();
    sys_.PacingWait(pauseMs);  // the step's text stays readable
}

// ------------------------------------------------------------------ sequence

void CInstallation::AddToWin2K(int portCode) {
    RoutineScope scope("AddToWin2K");
    TraceLog& log = sys_.log;
    sys_.LogBegin("AddToWin2K");
    SetSystemInfo();
    StepReport("Preparing for installation...\r\n");
    bool present = PrinterDrvExist(m_strDriverName) != 0;
    StepReport("Adding a printer...\r\n");

    std::string port = PortName(portCode);
    for (const std::string& model : m_chosenModels) {
        m_strModelName = model;
        std::string printerName = model;
        if (present && sys_.run.Unattended()) {
            // A deployment tool reruns an installation it is unsure of: a
            // model that already has its printer on the port is not added again.
            std::string existing = PrinterOfModelOnPort(model, port);
            if (!existing.empty()) {
                log.WriteLog("PRINTER ALREADY INSTALLED : %s on %s", existing.c_str(),
                             port.c_str());
                continue;
            }
        }
        if (present) {
            // A name that a printer already carries gets the next free "(#N)".
            for (int n = 1; n <= kMaxPrinterNumber; ++n) {
                Result<HPrinter> open = sys_.os.spooler.OpenPrinterA(printerName.c_str(), nullptr);
                if (!open.ok) break;
                sys_.os.spooler.ClosePrinter(open.value);
                printerName = model + "(#" + std::to_string(n) + ")";
            }
        }
        log.WriteLog("PRINTER-DRIVER NAME TO ADD : %s ", printerName.c_str());
        if (!present) {
            CopyFilesNeededToAddPrnDrv();
            AddLanguageMonitor();
            AddPrinterProcessor();
            AddPrinterDriverToSystem();
        }
        AddPrinterToSystem(portCode, printerName);
    }

    if (!present) {
        CopyINFFile();
        DeleteFilesUsed();
        RegisterUninstallInfo();
        CopyFilesOfUtilities();
        if (m_pStatusText) *m_pStatusText = "The driver has been successfully installed.";
        if (m_pProgress) m_pProgress->SetPos(100);
        mainWindow_.PostStatusRefresh();
        int answer = sys_.os.user.AfxMessageBox(
            std::string("Restarting your computer can take effect.\nPlease restart your computer.") +
                "\n\n[Yes] I want to restart my computer now.\n[No] I will restart my computer "
                "later.",
            kMbYesNo | kMbIconQuestion);
        if (answer == kIdYes) {
            log.WriteLog("AddToWin2K END");
            sys_.RestartSystem();
        } else {
            sys_.run.RestartNeeded();  // left for later
        }
    }
    log.WriteLog("\r\n");
    log.WriteLog("AddToWin2K END");
    if (m_pStatusText) *m_pStatusText = "Completed.";
    if (m_pProgress) m_pProgress->SetPos(100);
    mainWindow_.PostStatusRefresh();
    sys_.PacingWait(2000);  // "Completed." stays readable before the process ends
}

void CInstallation::SetSystemInfo() {
    RoutineScope scope("SetSystemInfo");
    sys_.LogBegin("SetSystemInfo");
    m_bWow64 = sys_.IsWow64();
    m_nOsCode = sys_.CheckOS();
    if (m_bWow64) {
        m_strEnvironment = "Windows x64";
        m_strDriverSourceDir = ".\\Driver64\\";
    } else {
        m_strEnvironment = "Windows NT x86";
        m_strDriverSourceDir = ".\\Driver32\\";
    }
    sys_.log.WriteLog("ENV : %s, DRV DIR : %s ", m_strEnvironment.c_str(),
                      m_strDriverSourceDir.c_str());
    sys_.LogEnd("SetSystemInfo");
}

std::string CInstallation::PortName(int portCode) {
    if (portCode < 1000 || portCode > 1007) return std::string();
    return "COM" + std::to_string(portCode - 999) + ":";
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
    RoutineScope scope("PrinterDrvExist");
    sys_.LogBegin("PrinterDrvExist");
    StepReport("Checking existing drivers...\r\n");
    Result<std::vector<DriverInfo3>> drivers =
        sys_.os.spooler.EnumPrinterDriversA(nullptr, m_strEnvironment.c_str(), 3);
    if (drivers.ok) {
        for (const DriverInfo3& driver : drivers.value) {
            if (driver.name == driverName) {
                sys_.log.WriteLog("%s PRINTER DRIVER EXISTS.", driverName.c_str());
                sys_.LogEnd("PrinterDrvExist");
                return 1;
            }
        }
    }
    sys_.log.WriteLog("%s PRINTER DRIVER DOES NOT EXIST.", driverName.c_str());
    sys_.LogEnd("PrinterDrvExist");
    return 0;
}

}  // namespace zep
