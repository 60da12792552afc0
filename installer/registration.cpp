// Registration of the language monitor, the print processor, the printer
// driver and the printers with the local print spooler.
#include "installer/installation.h"

namespace zep {

bool CInstallation::AddLanguageMonitor() {
    LoggedRoutine routine(sys_.log, "AddLanguageMonitor");
    TraceLog& log = sys_.log;
    log.WriteLog("MONITOR FILE: %s", m_strMonitorFile.c_str());
    log.WriteLog("MONITOR NAME: %s", m_strMonitorName.c_str());
    StatusStep("Installing L/M...\r\n");

    // The 64-bit spooler finds the DLL in the Windows folder; a 32-bit
    // program cannot reach the 64-bit system folder.
    Result<std::string> folder = m_bWow64 ? sys_.os.kernel.GetWindowsDirectoryA()
                                          : sys_.os.kernel.GetSystemDirectoryA();
    // Without its folder the copy would land in the root of a drive.
    if (folder.ok)
        CopyChecked(m_strDriverSourceDir + m_strMonitorFile, JoinPath(folder.value, m_strMonitorFile));
    else
        log.WriteLog(m_bWow64 ? "GetWindowsDirectory failed" : "GetSystemDirectory failed");

    MonitorInfo2 info{m_strMonitorName, m_strEnvironment, m_strMonitorFile};
    Status added = sys_.os.spooler.AddMonitorA(nullptr, info);
    if (!added.ok && added.error != kErrPrintMonitorAlreadyInstalled) {
        sys_.ShowSystemErrorBox("AddMonitor, ERR CODE: %d\n\n", added.error, kMbIconError);
        return false;
    }
    return true;
}

bool CInstallation::AddPrinterProcessor() {
    LoggedRoutine routine(sys_.log, "AddPrinterProcessor");
    TraceLog& log = sys_.log;
    log.WriteLog("PROCESSOR FILE: %s", m_strProcessorFile.c_str());
    log.WriteLog("PROCESSOR NAME: %s", m_strProcessorName.c_str());
    log.WriteLog("ENVIROMENT: %s", m_strEnvironment.c_str());
    StatusStep("Installing printer processor...\r\n");

    Result<std::string> folder =
        sys_.os.spooler.GetPrintProcessorDirectoryA(nullptr, m_strEnvironment.c_str());
    if (folder.ok) {
        CopyChecked(m_strDriverSourceDir + m_strProcessorFile,
                    JoinPath(folder.value, m_strProcessorFile));
        CopyChecked(m_strDriverSourceDir + m_strProcessorIniFile,
                    JoinPath(folder.value, m_strProcessorIniFile));
    } else {
        log.WriteLog("GetPrintProcessorDirectory failed. (%d)", int(folder.error));
    }

    Status added = sys_.os.spooler.AddPrintProcessorA(nullptr, m_strEnvironment,
                                                      m_strProcessorFile, m_strProcessorName);
    if (!added.ok && added.error != kErrPrintProcessorAlreadyInstalled) {
        sys_.ShowSystemErrorBox("AddPrintProcessor, ERR CODE: %d\n\n", added.error,
                                kMbIconError);
        return false;
    }
    return true;
}

bool CInstallation::AddPrinterDriverToSystem() {
    LoggedRoutine routine(sys_.log, "AddPrinterDriverToSystem");
    Spooler& spooler = sys_.os.spooler;
    StatusStep("Installing printer driver...\r\n");

    DriverInfo3 info;
    info.version = 3;
    info.name = m_strDriverName;
    info.environment = m_strEnvironment;
    info.driverPath = kUnidrvCore[0];
    info.dataFile = LoadScratch(InstallerString::kGpdFile);
    info.configFile = kUnidrvCore[1];
    info.helpFile = kUnidrvCore[2];
    info.dependentFiles = {kUnidrvCore[3], kStdNamesFile, "ZEP1TE.DLL", "ZEPUI1T.DLL",
                           "ZEPUI1T.INI"};
    info.monitorName = m_strMonitorName;
    info.defaultDataType = "RAW";

    Status added = spooler.AddPrinterDriverA(nullptr, info);
    int osCode = sys_.CheckOS();
    if (!added.ok && added.error == kErrModNotFound && osCode < kOsVista) {
        // Older systems miss framedyn.dll on the search path; lend them the
        // copy from wbem for one retry. A copy that was already there is not
        // ours to delete, so it is only used: the copy never overwrites, and
        // only the copy made here is deleted again. Without the system folder
        // there is nothing to lend (the copy would land in a drive's root).
        Kernel& kernel = sys_.os.kernel;
        Result<std::string> system = kernel.GetSystemDirectoryA();
        if (system.ok) {
            std::string lent = system.value + "\\framedyn.dll";
            bool ours = kernel.CopyFileA(system.value + "\\wbem\\framedyn.dll", lent, true).ok;
            added = spooler.AddPrinterDriverA(nullptr, info);
            if (ours) kernel.DeleteFileA(lent);
        } else {
            sys_.log.WriteLog("GetSystemDirectory failed");
        }
    }
    if (!added.ok) {
        sys_.ShowSystemErrorBox("AddPrinterDriver, ERR CODE: %d\n\n", added.error, kMbIconError);
        return false;
    }
    return true;
}

bool CInstallation::AddPrinterToSystem(int portCode, std::string printerName) {
    LoggedRoutine routine(sys_.log, "AddPrinterToSystem");
    StatusStep("Adding a printer...\r\n");
    StatusStep("Please wait for adding printer.\r\nIt takes a couple of minutes.", StatusHost::kStep, 0);

    PrinterInfo2 info;
    info.printerName = printerName;
    info.portName = PortName(portCode);
    info.hasPortName = !info.portName.empty();
    info.driverName = m_strDriverName;
    info.printProcessor = m_strProcessorName;
    info.datatype = "RAW";
    info.attributes = kPrinterAttributeRawOnly | kPrinterAttributeEnableBidi;
    info.priority = 1;
    info.status = kPrinterStatusOffline;

    Result<HPrinter> added = sys_.os.spooler.AddPrinterA(nullptr, info);
    if (added.ok) {
        sys_.os.spooler.ClosePrinter(added.value);
        return true;
    }
    sys_.ShowSystemErrorBox("AddPrinter, Error Code: %d\n\n", added.error, kMbIconError);
    routine.End();
    // A person's run ends here. An unattended run goes on, so that the check
    // after it names everything that is missing and a rerun has only that
    // left to do.
    if (!sys_.run.Unattended()) sys_.EndProcess();
    return false;
}

}  // namespace zep
