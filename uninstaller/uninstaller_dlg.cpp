#include "uninstaller/uninstaller_dlg.h"

namespace zep {

CUninstallerDlg::CUninstallerDlg(Support& sys, UninstallerView& view)
    : sys_(sys),
      view_(view),
      removal_(sys, UninstallerRemovalProfile(sys.run.Unattended()), *this) {}

void CUninstallerDlg::ProgressStepIt() { view_.Progress().StepIt(); }

void CUninstallerDlg::ProgressSetPos(int position) { view_.Progress().SetPos(position); }

void CUninstallerDlg::PostStatusRefresh() { view_.PostStatusRefresh(m_strStatus); }

bool CUninstallerDlg::OnInitDialog() {
    RoutineScope scope("OnInitDialog");
    view_.SetIcons();
    sys_.log.OpenLog();
    m_bWow64 = sys_.IsWow64();
    m_nOsCode = sys_.CheckOS();
    m_nPrinterObjects = 0;
    m_bBusy = 0;
    view_.Progress().SetRange(0, 100);
    view_.Progress().SetStep(10);
    m_strScratch = sys_.os.user.LoadStringA(UninstallerString::kProductName);
    view_.SetTitle(m_strScratch + " Uninstaller");
    view_.SetTimer(1, 1);
    return true;
}

void CUninstallerDlg::OnTimer(unsigned id) {
    view_.KillTimer(id);
    if (id == 1) PrepareUninstall();
}

void CUninstallerDlg::StartWorker() {
    // Busy before the worker runs: it may clear the flag before this thread
    // would set it.
    m_bBusy = 1;
    uint32_t error = view_.StartWorker();
    if (error == 0) return;
    // No worker will ever clear the busy state: clear it, say why, and let
    // the user close the program (or try again).
    m_bBusy = 0;
    view_.EnableCancel(true);
    sys_.log.WriteLog("CreateThread failed : (%d)", int(error));
    sys_.ShowSystemErrorBox("CreateThread Error Code: %d\n\n", error, kMbIconError);
}

void CUninstallerDlg::PrepareUninstall() {
    RoutineScope scope("PrepareUninstall");
    m_printerObjects.clear();
    view_.ResetList();
    view_.EnableCancel(true);
    m_nPrinterObjects = AddPrinterObjectsToList();
    if (m_nPrinterObjects < 0) {
        view_.EndDialogOk();
        return;
    }
    if (m_nPrinterObjects == 0) {
        m_strScratch = sys_.os.user.LoadStringA(UninstallerString::kDriverName);
        Status listing = Status::Ok();
        if (PrinterDrvExist(m_strScratch, &listing)) {
            view_.EnableCancel(false);
            StartWorker();
            return;
        }
        if (!listing.ok) {
            // Whether the driver is there cannot be told. Saying it is not,
            // and dropping the uninstall entry, would leave an installed
            // driver that nothing offers to remove.
            sys_.ShowSystemErrorBox("EnumPrinterDrivers Error Code: %d\n\n", listing.error,
                                    kMbIconExclamation);
            view_.EndDialogOk();
            return;
        }
        if (sys_.run.Unattended() && ProductLook(removal_).Look().AnyFound()) {
            // Parts without the driver (a half installation, a half
            // removal) are the product too: the whole removal takes them.
            view_.EnableCancel(false);
            StartWorker();
            return;
        }
        sys_.os.user.AfxMessageBox("The ZEP driver does not exist on this system.",
                                   kMbOk | kMbIconInformation);
        sys_.run.End(RunEnd::NotInstalled);
        DeleteUninstallInfoFromReg();
        view_.EndDialogOk();
        return;
    }
    view_.EnableUninstall(false);
    for (const std::string& name : m_printerObjects) view_.AddString(name);
    int lines = view_.GetCount();
    if (lines > 0) {
        for (int i = 0; i < lines; ++i) view_.SetCheck(i, true);
        view_.EnableUninstall(true);
    }
}

void CUninstallerDlg::OnCheckChange() {
    int lines = view_.GetCount();
    for (int i = 0; i < lines; ++i) {
        if (view_.GetCheck(i)) {
            view_.EnableUninstall(true);
            return;
        }
    }
    view_.EnableUninstall(false);
}

void CUninstallerDlg::OnUninstall() { StartWorker(); }

void CUninstallerDlg::RunUninstall() {
    RoutineScope scope("RunUninstall");
    m_printerObjects.clear();
    view_.EnableUninstall(false);
    view_.EnableCancel(false);
    for (int i = 0; i < view_.GetCount(); ++i)
        if (view_.GetCheck(i)) m_printerObjects.push_front(view_.GetText(i));
    bool complete = int(m_printerObjects.size()) == m_nPrinterObjects;

    if (m_nPrinterObjects != 0) {
        StatusStep(sys_, "Deleting printer-driver objects...", kStep, 1000);
        RemovePrinterObjects();
    }
    if (!complete) {
        // Some printers stay: so do the driver and the uninstall entry.
        m_printerObjects.clear();
        StatusStep(sys_, "The uninstallation has been completed.", 100, 0);
        m_bBusy = 0;
        sys_.PacingWait(2000);
        view_.EndDialogOk();
        return;
    }

    StatusStep(sys_, "Removing printer-drivers...", kStep, 1000);
    removal_.DeleteInstalledDriver();
    DeleteUninstallInfoFromReg();
    DeleteDirectory();
    DeleteProductFolder();
    if (sys_.run.Unattended()) CheckRemoved();
    m_printerObjects.clear();
    StatusStep(sys_, "The uninstallation has been completed.", 100, 1000);
    if (sys_.AskToRestart("I want to restart my computer later.")) {
        m_bBusy = 0;
        StatusStep(sys_, "The uninstallation has been completed.", kStay, 1000);
        sys_.RestartSystem();
    } else {
        sys_.run.RestartNeeded();  // left for later
    }
    view_.EndDialogOk();
}

int CUninstallerDlg::AddPrinterObjectsToList() {
    LoggedRoutine routine(sys_.log, "AddPrinterObjectsToList");
    std::optional<std::vector<PrinterInfo2>> printers = removal_.EnumLocalPrinters();
    if (!printers) return -1;
    m_strScratch = sys_.os.user.LoadStringA(UninstallerString::kDriverName);
    for (const PrinterInfo2& printer : *printers)
        if (printer.driverName == m_strScratch) m_printerObjects.push_front(printer.printerName);
    int count = int(m_printerObjects.size());
    sys_.log.WriteLog("The number of printer-objects : %d", count);
    return count;
}

void CUninstallerDlg::RemovePrinterObjects() {
    LoggedRoutine routine(sys_.log, "RemovePrinterObjects");
    Spooler& spooler = sys_.os.spooler;
    for (const std::string& name : m_printerObjects) {
        sys_.log.WriteLog("OBJECT NAME : %s", name.c_str());
        PrinterDefaults defaults{"raw", kPrinterAllAccess};
        Result<HPrinter> printer = spooler.OpenPrinterA(name.c_str(), &defaults);
        if (!printer.ok) continue;
        sys_.DeletePrinterJobs(printer.value);
        spooler.DeletePrinter(printer.value);
        spooler.ClosePrinter(printer.value);
    }
    // Functional: the spooler lets go of the deleted printers' files and
    // registrations when it stops. The waits: until it has stopped and its
    // process has ended, then until it runs again.
    sys_.StopSpooler(2000);
    sys_.StartSpooler(2000);
}

bool CUninstallerDlg::PrinterDrvExist(const std::string& driverName, Status* listing) {
    LoggedRoutine routine(sys_.log, "PrinterDrvExist");
    Result<bool> listed = LogDriverListed(sys_, DriverEnvironment(m_bWow64), driverName, true);
    if (listing) *listing = listed.ok ? Status::Ok() : Status::Fail(listed.error);
    return listed.value;
}

void CUninstallerDlg::DeleteUninstallInfoFromReg() {
    LoggedRoutine routine(sys_.log, "DeleteUninstallInfoFromReg");
    Advapi& advapi = sys_.os.advapi;
    m_strScratch = sys_.os.user.LoadStringA(UninstallerString::kUninstallKey);
    std::string key = m_strScratch;
    sys_.log.WriteLog("REGKEY : %s", key.c_str());
    uint32_t mask = kKeyRead | kKeySetValue | kKeyCreateSubKey | (m_bWow64 ? kKeyWow64_64Key : 0);
    // The open only tells whether the key exists; the deletion goes by path.
    Advapi::KeyResult open = advapi.RegOpenKeyExA(kHKeyLocalMachine, key, 0, mask);
    if (open.status == 0) {
        sys_.DeleteKeyReported(m_bWow64, key);
        advapi.RegCloseKey(open.key);
    }
}

void CUninstallerDlg::DeleteDirectory() {
    LoggedRoutine routine(sys_.log, "DeleteDirectory");
    Kernel& kernel = sys_.os.kernel;
    Result<std::string> windows = kernel.GetWindowsDirectoryA();
    if (!windows.ok) {
        // Without the system drive the folders below would be guessed.
        sys_.log.WriteLog("GetWindowsDirectory failed");
        return;
    }
    std::string drive = windows.value.substr(0, 2);
    std::string maker = drive + "\\KESTREL Printer Driver";
    std::string product = JoinPath(maker, kProductFolderName);
    // A link in place of the maker's folder would take the tree deletion
    // into a folder that is not ours: only a real folder is entered. The
    // link itself goes below like an empty folder.
    Result<uint32_t> makerAttributes = kernel.GetFileAttributesA(maker);
    bool makerIsLink =
        makerAttributes.ok && (makerAttributes.value & kFileAttributeReparsePoint) != 0;
    if (!makerIsLink && kernel.GetFileAttributesA(product).ok) {
        sys_.RemoveDirectoryTree(product);
        sys_.log.WriteLog("DIRECTORY : %s", product.c_str());
    }
    if (kernel.GetFileAttributesA(maker).ok) {
        Status removed = kernel.RemoveDirectoryA(maker);
        if (!removed.ok && removed.error != kErrDirNotEmpty)
            sys_.log.WriteLog("Failed to remove the directory : %s, (%d)", maker.c_str(),
                              int(removed.error));
    }
}

void CUninstallerDlg::DeleteProductFolder() {
    LoggedRoutine routine(sys_.log, "DeleteProductFolder");
    Kernel& kernel = sys_.os.kernel;
    Result<std::string> windows = kernel.GetWindowsDirectoryA();
    if (windows.ok) {
        std::string folder = ProductFolder(windows.value);
        std::string copy = JoinPath(folder, kUninstallerFile);
        // The file first: a folder goes at the restart only when it is empty.
        if (kernel.GetFileAttributesA(copy).ok) sys_.DeleteAtRestart(copy);
        Result<uint32_t> attributes = kernel.GetFileAttributesA(folder);
        // A link in its place is not ours to follow; it goes like the folder.
        if (attributes.ok && (attributes.value & kFileAttributeDirectory)) sys_.DeleteAtRestart(folder);
    } else {
        sys_.log.WriteLog("GetWindowsDirectory failed");
    }
}

void CUninstallerDlg::CheckRemoved() {
    LoggedRoutine routine(sys_.log, "CheckRemoved");
    ProductState after = ProductLook(removal_).Look();
    for (const std::vector<std::string>& part : after.there) {
        for (const std::string& what : part) {
            sys_.log.WriteLog("NOT REMOVED : %s", what.c_str());
            sys_.run.StepFailed();
        }
    }
    for (const std::string& path : after.queued)
        sys_.log.WriteLog("REMOVED AT THE NEXT RESTART : %s", path.c_str());
    if (!after.queued.empty()) sys_.run.RestartNeeded();
}

unsigned UninstallThreadProc(void* param) {
    static_cast<CUninstallerDlg*>(param)->RunUninstall();
    return 0;
}

}  // namespace zep
