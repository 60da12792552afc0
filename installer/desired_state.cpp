// An unattended installation: look at what is installed, refuse what would
// fail for certain before anything changes, put in place what is missing
// (after removing another version), then look again: what is found decides
// how the run ends.
#include "installer/installer_dlg.h"
#include "installer/port_settings.h"

namespace zep {

namespace {

// Windows protected print mode admits no third-party driver, monitor or
// print processor; the group policy keeps its state here.
const char* const kProtectedPrintKey = "SOFTWARE\\Policies\\Microsoft\\Windows NT\\Printers\\WPP";
const char* const kProtectedPrintValue = "WindowsProtectedPrintGroupPolicyState";

// The driver package's files, as the installation copies them: the Unidrv
// core and the product's files from the platform's folder.
// The product's files in that folder: minidriver, its data, the plug-in and
// its settings, monitor, processor and its settings, INF.
const uint32_t kPackageFiles[] = {
    InstallerString::kMiniDriver,   InstallerString::kGpdFile,       InstallerString::kUiPlugin,
    InstallerString::kUiPluginIni,  InstallerString::kMonitorDll,    InstallerString::kProcessorDll,
    InstallerString::kProcessorIni, InstallerString::kInfFile};

}  // namespace

void CInstallerDlg::RunUnattended() {
    AskModelsAndPort();
    // The command line allows COM1 to COM8 only.
    int portCode = 1000 + m_portDlg.m_nPortIndex;
    if (!AcceptsInstallation(portCode)) sys_.EndProcess();

    TraceLog& log = sys_.log;
    ProductLook look(removal_);
    target_ = Target(portCode);
    ProductState before = look.Look(&target_);
    if (!before.printersListed) {
        // Nothing can be told about the installed version: change nothing.
        sys_.ShowSystemErrorBox("EnumPrinters Error Code: %d\n\n", before.printersError,
                                kMbIconExclamation);
        sys_.EndProcess();
    }
    User& user = sys_.os.user;
    ProductVersion mine;
    for (uint32_t i = 0; i < 4; ++i)
        mine.number[i] = uint32_t(VersionNumber(user.LoadStringA(InstallerString::kVersionMajor + i)));
    std::optional<ProductVersion> installed = before.Version();
    if (installed) log.WriteLog("INSTALLED VERSION : %s", installed->Text().c_str());

    if (installed && installed->Compare(mine) > 0) {
        // A stale deployment would downgrade the terminal: whoever means it
        // removes the newer version first.
        log.WriteLog("A NEWER VERSION IS INSTALLED : %s", installed->Text().c_str());
        sys_.run.End(RunEnd::NewerInstalled);
        sys_.EndProcess();
    }
    // The port's own settings (/portsettings), before anything is removed and
    // before any printer is on the port.
    if (!ApplyPortSettings(sys_, m_portDlg.m_nPortIndex)) sys_.EndProcess();

    // Another version, or parts whose version nothing tells, go first; then
    // this version is installed whole in the same run.
    bool replace = installed ? installed->Compare(mine) < 0 : before.AnyFound();
    if (replace) {
        for (const std::vector<std::string>& part : before.there)
            for (const std::string& what : part) log.WriteLog("REMOVING : %s", what.c_str());
        user.AfxMessageBox(kDifferentVersionText, kMbOk | kMbIconInformation);
        DeletePrinterObjects();
        plan_.driver = plan_.inf = plan_.entry = plan_.uninstaller = true;
    } else {
        plan_.driver = !before.Complete(ProductPart::Monitor) ||
                       !before.Complete(ProductPart::Processor) ||
                       !before.Complete(ProductPart::Driver) ||
                       !before.Complete(ProductPart::DriverFiles);
        plan_.inf = !before.Complete(ProductPart::InfCopy);
        plan_.entry = !before.Complete(ProductPart::UninstallEntry);
        plan_.uninstaller = !before.Complete(ProductPart::ProductFolder);
    }
    // Printers and the entry take effect at once; every other part at the
    // next restart.
    plan_.restart = plan_.driver || plan_.inf || plan_.uninstaller;
    plan_.numberNames = true;
    m_installation.m_pUnattended = this;
    m_installation.AddToWin2K(portCode);
}

InstallTarget CInstallerDlg::Target(int portCode) {
    InstallTarget target;
    target.models.assign(m_installation.m_chosenModels.begin(), m_installation.m_chosenModels.end());
    target.port = CInstallation::PortName(portCode);
    target.entryValues = m_installation.UninstallValues();
    return target;
}

void CInstallerDlg::CheckInstalled() {
    LoggedRoutine routine(sys_.log, "CheckInstalled");
    ProductState after = ProductLook(removal_).Look(&target_);
    for (const std::vector<std::string>& part : after.missing) {
        for (const std::string& what : part) {
            sys_.log.WriteLog("NOT INSTALLED : %s", what.c_str());
            sys_.run.StepFailed();
        }
    }
}

bool CInstallerDlg::AcceptsInstallation(int portCode) {
    LoggedRoutine routine(sys_.log, "AcceptsInstallation");
    Platform& os = sys_.os;
    TraceLog& log = sys_.log;
    bool accepted = true;
    auto refuse = [&](const char* format, const std::string& what) {
        log.WriteLog(format, what.c_str());
        accepted = false;
    };

    // The package beside the program, whole, for this platform.
    std::vector<std::string> files;
    std::string source = m_installation.DriverSourceFolder(m_bWow64);
    for (const char* file : kUnidrvCore) files.push_back(source + file);
    files.push_back(source + kStdNamesFile);
    for (uint32_t id : kPackageFiles) files.push_back(source + os.user.LoadStringA(id));
    files.push_back(m_installation.PackageFolder() +
                    os.user.LoadStringA(InstallerString::kUninstallerFile));
    for (const std::string& file : files) {
        Result<uint32_t> attributes = os.kernel.GetFileAttributesA(file);
        if (!attributes.ok || (attributes.value & kFileAttributeDirectory))
            refuse("PACKAGE FILE MISSING : %s", file);
    }

    // The port, as the spooler knows it (the port dialog lists any COM port).
    std::string port = CInstallation::PortName(portCode);
    Result<std::vector<std::string>> ports = os.spooler.EnumPortsA(nullptr);
    bool known = false;
    for (const std::string& p : ports.value) known = known || EqualsNoCase(p, port);
    if (!ports.ok)
        refuse("EnumPorts failed. (%s)", Decimal(ports.error));
    else if (!known)
        refuse("PORT NOT FOUND : %s", port);
    if (!accepted) sys_.run.StepFailed();

    // Policy: a disabled spooler service, or protected print mode, admits
    // no driver of this kind.
    Result<ServiceConfig> service = os.advapi.QueryServiceConfigA(kSpoolerService);
    bool policy = false;
    if (service.ok && service.value.startType == kServiceDisabled) {
        log.WriteLog("THE PRINT SPOOLER SERVICE IS DISABLED : nothing can be installed");
        policy = true;
    }
    uint32_t view = m_bWow64 ? kKeyWow64_64Key : 0;
    Advapi::KeyResult key = os.advapi.RegOpenKeyExA(kHKeyLocalMachine, kProtectedPrintKey, 0,
                                                    kKeyRead | view);
    if (key.status == 0) {
        Result<RegValue> state = os.advapi.RegQueryValueExA(key.key, kProtectedPrintValue);
        os.advapi.RegCloseKey(key.key);
        bool on = state.ok && state.value.type == kRegDword && state.value.data.size() >= 4 &&
                  state.value.data.find_first_not_of('\0', 0) < 4;
        if (on) {
            log.WriteLog("WINDOWS PROTECTED PRINT MODE IS ON : it admits no driver of this kind");
            policy = true;
        }
    }
    if (policy) sys_.run.End(RunEnd::RefusedByPolicy);
    return accepted && !policy;
}

}  // namespace zep
