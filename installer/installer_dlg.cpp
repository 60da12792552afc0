#include "installer/installer_dlg.h"

#include <climits>
#include <cstdlib>

#include "installer/driver_version.h"

namespace zep {

int VersionNumber(const std::string& text) {
    long long value = std::strtoll(text.c_str(), nullptr, 10);
    if (value > INT_MAX) return INT_MAX;
    if (value < INT_MIN) return INT_MIN;
    return static_cast<int>(value);
}

CInstallerDlg::CInstallerDlg(Support& sys, InstallerView& view)
    : m_installation(sys, *this),
      m_portDlg(sys.os),
      sys_(sys),
      view_(view),
      removal_(sys, InstallerRemovalProfile(), *this) {}

bool CInstallerDlg::OnInitDialog() {
    RoutineScope scope("OnInitDialog");
    view_.SetIcons();
    m_bWow64 = sys_.IsWow64();
    m_nOsCode = sys_.CheckOS();

    m_strVersion = "Driver Version: V";
    m_strScratch = sys_.os.user.LoadStringA(InstallerString::kVersionMajor);
    m_strVersion += m_strScratch + ".";
    m_strScratch = sys_.os.user.LoadStringA(InstallerString::kVersionMinor);
    m_strVersion += m_strScratch + ".";
    m_strScratch = sys_.os.user.LoadStringA(InstallerString::kVersionBuild);
    m_strVersion += m_strScratch + "E";

    // Functional: the worker's first spooler calls need the spooler running.
    // An unattended run waits for it on the worker, once the log is open.
    sys_.StartSpoolerEarly(2000);
    PostStatusRefresh();
    view_.Progress().SetRange(0, 100);
    view_.Progress().SetStep(6);
    view_.SetTimer(1, 1);
    // The worker reports through these: they are handed over before it
    // starts, never while it may be reading them.
    m_installation.m_pStatusText = &m_strStatus;
    m_installation.m_pProgress = &view_.Progress();
    if (uint32_t error = view_.StartWorker()) {
        // Nothing will install: say why, and leave the window to be closed.
        m_bBusy = 0;
        sys_.ShowSystemErrorBox("CreateThread Error Code: %d\n\n", error, kMbIconError);
    }
    return true;
}

void CInstallerDlg::OnTimer(unsigned /*id*/) { view_.KillTimer(1); }

void CInstallerDlg::PostStatusRefresh() { view_.PostStatusRefresh(m_strStatus, m_strVersion); }

void CInstallerDlg::RunWorker() {
    RoutineScope scope("InstallThreadProc");
    sys_.log.OpenLog();
    if (m_nOsCode < kOsWin2000) {
        sys_.os.user.AfxMessageBox("THE DRIVER CAN NOT BE INSTALLED ON THIS OS.",
                                   kMbOk | kMbIconInformation);
        sys_.run.End(RunEnd::SystemTooOld);
        sys_.EndProcess();
    }
    m_bBusy = 1;
    sys_.AwaitSpoolerStart();
    if (sys_.run.Unattended()) {
        RunUnattended();
    } else {
        CheckDriverVersion();
        AskModelsAndPort();
        if (static_cast<unsigned>(m_portDlg.m_nPortIndex) <= 7)
            m_installation.AddToWin2K(1000 + m_portDlg.m_nPortIndex);
    }
    m_bBusy = 0;
    sys_.EndProcess();
}

void CInstallerDlg::AskModelsAndPort() {
    User& user = sys_.os.user;
    if (view_.RunModelDialog(m_modelDlg) != kIdOk) {
        user.AfxMessageBox("The driver installation canceled.", kMbOk | kMbIconInformation);
        sys_.run.End(RunEnd::Canceled);
        sys_.EndProcess();
    }
    // The dialog built its list head-first; adding each at the head again
    // restores check-list order.
    m_installation.m_chosenModels.clear();
    for (const std::string& model : m_modelDlg.m_chosenModels)
        m_installation.m_chosenModels.push_front(model);

    if (view_.RunPortDialog(m_portDlg) != kIdOk) {
        user.AfxMessageBox("The driver installation canceled.", kMbOk | kMbIconInformation);
        sys_.run.End(RunEnd::Canceled);
        sys_.EndProcess();
    }
}

void CInstallerDlg::CheckDriverVersion() {
    RoutineScope scope("CheckDriverVersion");
    User& user = sys_.os.user;
    int major = VersionNumber(user.LoadStringA(InstallerString::kVersionMajor));
    int minor = VersionNumber(user.LoadStringA(InstallerString::kVersionMinor));
    int build = VersionNumber(user.LoadStringA(InstallerString::kVersionBuild));
    int extra = VersionNumber(user.LoadStringA(InstallerString::kVersionExtra));
    std::string driverName = user.LoadStringA(InstallerString::kDriverName);
    std::string processorName = user.LoadStringA(InstallerString::kProcessorName);
    uint32_t listError = 0;
    int result = DriverVersion(sys_.os, DriverEnvironment(m_bWow64), driverName, processorName,
                               major, minor, build, extra, &listError);
    if (result == kVersionUnknown) {
        // Taking it for an older version would remove a healthy
        // installation: end as the removal ends when it cannot list them.
        sys_.ShowSystemErrorBox("EnumPrinters Error Code: %d\n\n", listError, kMbIconExclamation);
        sys_.EndProcess();
    }
    if (result != 0 && result != 1) return;
    OnDifferentVersion();
}

unsigned InstallThreadProc(void* param) {
    static_cast<CInstallerDlg*>(param)->RunWorker();
    return 0;
}

}  // namespace zep
