// Replacing a different installed version: remove it, then restart.
#include "installer/installer_dlg.h"

namespace zep {

void CInstallerDlg::ProgressStepIt() { view_.Progress().StepIt(); }

void CInstallerDlg::ProgressSetPos(int position) { view_.Progress().SetPos(position); }

void CInstallerDlg::OnDifferentVersion() {
    User& user = sys_.os.user;
    user.AfxMessageBox(kDifferentVersionText, kMbOk | kMbIconInformation);
    DeletePrinterObjects();
    user.AfxMessageBox(std::string("The installer has successfully removed the different version.\n") +
                           "Now it is going to restart your computer to take effect." +
                           "\nAfter restarting, you may reinstall the driver again.",
                       kMbOk | kMbIconInformation);
    if (sys_.run.Unattended())
        sys_.log.WriteLog("Nothing of this version was installed: run the installer again after "
                          "the restart.");
    sys_.RestartSystem();
    sys_.EndProcess();
}

void CInstallerDlg::DeletePrinterObjects() {
    RoutineScope scope("DeletePrinterObjects");
    m_strScratch = sys_.os.user.LoadStringA(InstallerString::kDriverName);
    std::string driverName = m_strScratch;
    StatusStep(sys_, "Deleting printer-objects...", kStep, 0);

    std::optional<std::vector<PrinterInfo2>> printers = removal_.EnumLocalPrinters();
    if (!printers) sys_.EndProcess();
    for (const PrinterInfo2& printer : *printers)
        if (printer.driverName == driverName) DeletePrinterObject(printer.printerName);
    RemovePrinterDriver();
}

void CInstallerDlg::DeletePrinterObject(std::string printerName) {
    RoutineScope scope("DeletePrinterObject");
    Spooler& spooler = sys_.os.spooler;
    PrinterDefaults defaults{"raw", kPrinterAllAccess};
    Result<HPrinter> printer = spooler.OpenPrinterA(printerName.c_str(), &defaults);
    if (!printer.ok) return;
    spooler.DeletePrinter(printer.value);
    spooler.ClosePrinter(printer.value);
}

void CInstallerDlg::RemovePrinterDriver() {
    RoutineScope scope("RemovePrinterDriver");
    StatusStep(sys_, "Removing printer-driver...", kStep, 1000);
    removal_.DeleteInstalledDriver();
    StatusStep(sys_, "The uninstallation has been completed.", 100, 1000);
}

}  // namespace zep
