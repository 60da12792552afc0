// The installer's main dialog (installation progress window) and its worker.
#pragma once

#include <atomic>
#include <string>

#include "common/support.h"
#include "installer/installation.h"
#include "installer/model_dlg.h"
#include "installer/port_dlg.h"
#include "installer/views.h"
#include "removal/product_state.h"
#include "removal/removal.h"

namespace zep {

class CInstallerDlg : public RemovalHost, private UnattendedInstall {
public:
    CInstallerDlg(Support& sys, InstallerView& view);

    CInstallation m_installation;
    CPortDlg m_portDlg;
    CModelDlg m_modelDlg;
    int m_bWow64 = 0;
    int m_nOsCode = 0;
    std::atomic<int> m_bBusy{0};
    std::string m_strScratch;
    std::string m_strStatus;
    std::string m_strVersion;

    // User-interface thread.
    bool OnInitDialog();
    void OnTimer(unsigned id);
    // While busy the main window drops Escape and Enter and has no Close.
    bool IsBusy() const { return m_bBusy.load() != 0; }

    // Worker thread.
    void RunWorker();
    void CheckDriverVersion();
    // Quiet and passive: the answers, the refusals, what is installed, then
    // the installation that leaves this version complete, and the check.
    void RunUnattended();
    // Whatever would fail for certain, before anything changes: the package
    // beside the program, the port, the spooler service, the print policy.
    bool AcceptsInstallation(int portCode);
    // A different version is installed: tell the user, remove it, restart.
    void OnDifferentVersion();

    // Removal of a different version: every printer of the driver, then
    // the whole installation.
    void DeletePrinterObjects();
    void DeletePrinterObject(std::string printerName);
    void RemovePrinterDriver();

    // RemovalHost: the installation and the removal routines work on this
    // dialog's members.
    void PostStatusRefresh() override;
    int Wow64() const override { return m_bWow64; }
    int OsCode() const override { return m_nOsCode; }
    std::string& Scratch() override { return m_strScratch; }
    void SetStatusText(const std::string& text) override { m_strStatus = text; }
    void ProgressStepIt() override;
    void ProgressSetPos(int position) override;

    DriverRemoval& removal() { return removal_; }

    Support& sys() { return sys_; }

private:
    // UnattendedInstall: what the look before the run found missing.
    InstallPlan Plan() override { return plan_; }
    void CheckInstalled() override;
    InstallTarget Target(int portCode);
    // The wizard's answers; a dialog closed ends the run.
    void AskModelsAndPort();

    Support& sys_;
    InstallerView& view_;
    DriverRemoval removal_;
    InstallPlan plan_;
    InstallTarget target_;
};

// The notice before another version is removed.
inline constexpr char kDifferentVersionText[] =
    "There is a different version driver in this system.\r\n\r\nThe installed driver will be "
    "removed.";

// atoi's reading of a version string (leading blanks, a sign, digits, then
// anything), without its undefined behaviour for numbers out of range.
int VersionNumber(const std::string& text);

// The worker's entry: `param` is the CInstallerDlg. Every path ends the process.
unsigned InstallThreadProc(void* param);

}  // namespace zep
