// The uninstaller's dialog: the printers of the driver in a check list, the
// start-up decision, and the uninstall sequence run by its worker.
#pragma once

#include <atomic>
#include <deque>
#include <string>

#include "common/support.h"
#include "removal/product_state.h"
#include "removal/removal.h"
#include "uninstaller/views.h"

namespace zep {

class CUninstallerDlg : public RemovalHost {
public:
    CUninstallerDlg(Support& sys, UninstallerView& view);

    int m_nOsCode = kOsWin7;
    int m_bWow64 = 0;
    std::atomic<int> m_bBusy{0};
    std::string m_strScratch;
    std::deque<std::string> m_printerObjects;
    int m_nPrinterObjects = 0;
    std::string m_strStatus;

    // User-interface thread.
    bool OnInitDialog();
    void OnTimer(unsigned id);
    void PrepareUninstall();
    void OnCheckChange();
    void OnUninstall();
    // While busy the main window drops Escape and Enter and has no Close.
    bool IsBusy() const { return m_bBusy.load() != 0; }

    // Worker thread.
    void RunUninstall();

    int AddPrinterObjectsToList();
    void RemovePrinterObjects();
    // `listing` (when given) tells whether the drivers could be listed at all.
    bool PrinterDrvExist(const std::string& driverName, Status* listing = nullptr);
    void DeleteUninstallInfoFromReg();
    void DeleteDirectory();
    // The uninstaller's own copy, then its folder, go when Windows restarts:
    // the copy may be the program that runs now.
    void DeleteProductFolder();
    // Unattended: every part still there is named, and fails the run.
    void CheckRemoved();

    // RemovalHost.
    int Wow64() const override { return m_bWow64; }
    int OsCode() const override { return m_nOsCode; }
    std::string& Scratch() override { return m_strScratch; }
    void SetStatusText(const std::string& text) override { m_strStatus = text; }
    void ProgressStepIt() override;
    void ProgressSetPos(int position) override;
    void PostStatusRefresh() override;

    DriverRemoval& removal() { return removal_; }

private:
    void StartWorker();

    Support& sys_;
    UninstallerView& view_;
    DriverRemoval removal_;
};

// The worker's entry: `param` is the CUninstallerDlg.
unsigned UninstallThreadProc(void* param);

}  // namespace zep
