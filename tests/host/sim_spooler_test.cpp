// The simulated spooler: the rules of registration and removal that the
// programs depend on, and a stopped spooler.
#include <gtest/gtest.h>

#include "platform/sim/machine.h"

namespace zep::sim {
namespace {

const char* kX64 = "Windows x64";
const std::string kX64Dir = "C:\\Windows\\system32\\spool\\drivers\\x64";

class SimSpooler : public ::testing::Test {
protected:
    Machine m;
    Spooler& sp = m;
    Kernel& k = m;

    DriverInfo3 ZepDriver() {
        DriverInfo3 d;
        d.version = 3;
        d.name = "ZEP Character Type";
        d.environment = kX64;
        d.driverPath = "UNIDRV.DLL";
        d.dataFile = "ZEP1TE.gpd";
        d.configFile = "UNIDRVUI.DLL";
        d.helpFile = "UNIDRV.HLP";
        d.dependentFiles = {"UNIRES.DLL", "ZEPUI1T.INI"};
        d.monitorName = "ZEP Language Monitor";
        d.defaultDataType = "RAW";
        return d;
    }
    void StageDriverFiles() {
        for (const char* f : {"UNIDRV.DLL", "ZEP1TE.gpd", "UNIDRVUI.DLL", "UNIDRV.HLP", "UNIRES.DLL"})
            m.AddFile(kX64Dir + "\\" + f, f);
    }
    PrinterInfo2 Printer(const std::string& name) {
        PrinterInfo2 p;
        p.printerName = name;
        p.portName = "COM1:";
        p.driverName = "ZEP Character Type";
        p.printProcessor = "WinPrint";
        p.datatype = "RAW";
        return p;
    }
    HPrinter Open(const std::string& name, uint32_t access = kPrinterAllAccess) {
        PrinterDefaults d{"RAW", access};
        Result<HPrinter> h = sp.OpenPrinterA(name.c_str(), &d);
        EXPECT_TRUE(h.ok) << h.error;
        return h.value;
    }
};

TEST_F(SimSpooler, StoppedSpoolerAnswers1722UntilStarted) {
    m.AddPrinterDirect("P1", "X");
    HPrinter before = Open("P1");
    EXPECT_EQ(k.WinExec("net stop spooler", kSwHide), 33u);
    EXPECT_FALSE(m.SpoolerRunning());
    EXPECT_EQ(sp.OpenPrinterA(nullptr, nullptr).error, kErrRpcServerUnavailable);
    EXPECT_EQ(sp.EnumPrintersA(kPrinterEnumLocal, nullptr).error, kErrRpcServerUnavailable);
    EXPECT_EQ(sp.DeleteMonitorA(nullptr, nullptr, "Any").error, kErrRpcServerUnavailable);
    EXPECT_EQ(sp.GetPrinterDriverDirectoryA(nullptr, nullptr).error, kErrRpcServerUnavailable);
    EXPECT_EQ(sp.GetPrinterDataA(before, "MajorVersion", 4).status, kErrRpcServerUnavailable);
    EXPECT_EQ(k.WinExec("NET  START   Spooler", kSwHide), 33u);
    EXPECT_TRUE(sp.EnumPrintersA(kPrinterEnumLocal, nullptr).ok);
    // Handles died with the old service.
    EXPECT_EQ(sp.ClosePrinter(before).error, kErrInvalidHandle);
    EXPECT_EQ(m.Commands().size(), 2u);

    // No net command, nothing happens.
    m.SetWindows64(false);
    ASSERT_TRUE(k.DeleteFileA("C:\\Windows\\system32\\net.exe").ok);
    EXPECT_EQ(k.WinExec("net stop spooler", kSwHide), kErrFileNotFound);
    EXPECT_TRUE(m.SpoolerRunning());
}

TEST_F(SimSpooler, DriverRegistrationChecksFilesMonitorAndEnvironment) {
    DriverInfo3 d = ZepDriver();
    EXPECT_EQ(sp.AddPrinterDriverA(nullptr, d).error, kErrFileNotFound);
    StageDriverFiles();
    EXPECT_EQ(sp.AddPrinterDriverA(nullptr, d).error, kErrUnknownPrintMonitor);
    d.environment = "Windows IA64";
    EXPECT_EQ(sp.AddPrinterDriverA(nullptr, d).error, kErrInvalidEnvironment);

    m.AddMonitorDirect("ZEP Language Monitor", "ZEPMON.dll");
    ASSERT_TRUE(sp.AddPrinterDriverA(nullptr, ZepDriver()).ok);
    // Listed files went into "3"; the missing dependent file was skipped.
    EXPECT_EQ(m.FileContents(kX64Dir + "\\3\\ZEP1TE.gpd"), "ZEP1TE.gpd");
    EXPECT_TRUE(m.Exists(kX64Dir + "\\3\\UNIRES.DLL"));
    EXPECT_FALSE(m.Exists(kX64Dir + "\\3\\ZEPUI1T.INI"));
    // The 32-bit caller's default environment is x86: the x64 driver is not listed there.
    Result<std::vector<DriverInfo3>> x86 = sp.EnumPrinterDriversA(nullptr, nullptr, 4);
    ASSERT_TRUE(x86.ok);
    EXPECT_TRUE(x86.value.empty());
    Result<std::vector<DriverInfo3>> x64 = sp.EnumPrinterDriversA(nullptr, kX64, 3);
    ASSERT_EQ(x64.value.size(), 1u);
    EXPECT_EQ(x64.value[0].dataFile, kX64Dir + "\\3\\ZEP1TE.gpd");
    EXPECT_EQ(sp.GetPrinterDriverDirectoryA(nullptr, nullptr).value,
              "C:\\Windows\\system32\\spool\\drivers\\w32x86");
}

TEST_F(SimSpooler, DriverDeletionRespectsUseAndSharedFiles) {
    StageDriverFiles();
    m.AddMonitorDirect("ZEP Language Monitor", "ZEPMON.dll");
    ASSERT_TRUE(sp.AddPrinterDriverA(nullptr, ZepDriver()).ok);
    DriverInfo3 other = ZepDriver();
    other.name = "Other Unidrv";
    other.dataFile = "UNIDRV.DLL";
    other.dependentFiles.clear();
    ASSERT_TRUE(sp.AddPrinterDriverA(nullptr, other).ok);
    m.AddPrinterDirect("ZEP-4000", "ZEP Character Type");
    m.AddJob("ZEP-4000");
    ASSERT_TRUE(sp.DeletePrinter(Open("ZEP-4000")).ok);

    // Pending deletion still holds the driver.
    EXPECT_EQ(sp.DeletePrinterDriverExA(nullptr, kX64, "ZEP Character Type", kDpdDeleteUnusedFiles, 3).error,
              kErrPrinterDriverInUse);
    EXPECT_EQ(sp.DeletePrinterDriverExA(nullptr, nullptr, "ZEP Character Type", 0, 3).error,
              kErrUnknownPrinterDriver);  // nothing of it in x86
    EXPECT_EQ(sp.DeletePrinterDriverExA(nullptr, kX64, "ZEP Character Type", 0x4, 3).error,
              kErrInvalidParameter);
    m.FinishJobs("ZEP-4000");
    ASSERT_TRUE(sp.DeletePrinterDriverExA(nullptr, kX64, "ZEP Character Type", kDpdDeleteUnusedFiles, 3).ok);
    EXPECT_FALSE(m.Exists(kX64Dir + "\\3\\ZEP1TE.gpd"));
    EXPECT_FALSE(m.Exists(kX64Dir + "\\3\\UNIRES.DLL"));
    EXPECT_TRUE(m.Exists(kX64Dir + "\\3\\UNIDRV.DLL"));  // the other driver lists it
    EXPECT_FALSE(m.RegKeyExists("SYSTEM\\CurrentControlSet\\Control\\Print\\Environments\\Windows x64\\"
                                "Drivers\\Version-3\\ZEP Character Type"));
}

TEST_F(SimSpooler, AddPrinterRefusesInThisOrder) {
    m.AddMonitorDirect("ZEP Language Monitor", "ZEPMON.dll");
    m.AddDriverDirect("ZEP Character Type", "Windows NT x86");
    m.AddPrinterDirect("Existing", "Other");
    PrinterInfo2 p = Printer("EXISTING");
    EXPECT_EQ(sp.AddPrinterA(nullptr, p).error, kErrPrinterAlreadyExists);
    p = Printer("KESTREL ZEP-4000");
    p.hasPortName = false;
    EXPECT_EQ(sp.AddPrinterA(nullptr, p).error, kErrInvalidParameter);
    p = Printer("KESTREL ZEP-4000");
    p.portName = "COM8:";
    EXPECT_EQ(sp.AddPrinterA(nullptr, p).error, 1796u);
    p = Printer("KESTREL ZEP-4000");
    EXPECT_EQ(sp.AddPrinterA(nullptr, p).error, kErrUnknownPrinterDriver);  // only the x86 one exists
    m.AddDriverDirect("ZEP Character Type", kX64);
    p.printProcessor = "ZEP PRINT PROCESSOR";
    EXPECT_EQ(sp.AddPrinterA(nullptr, p).error, kErrUnknownPrintProcessor);
    m.AddPrintProcessorDirect("ZEP PRINT PROCESSOR", kX64, "ZEPPRO.dll");
    Result<HPrinter> h = sp.AddPrinterA(nullptr, p);
    ASSERT_TRUE(h.ok);
    EXPECT_TRUE(sp.ClosePrinter(h.value).ok);
    std::optional<Machine::SimPrinter> made = m.FindPrinter("kestrel zep-4000");
    ASSERT_TRUE(made);
    EXPECT_TRUE(made->data.empty());
    EXPECT_TRUE(made->jobs.empty());
    // A print processor in use cannot go.
    EXPECT_EQ(sp.DeletePrintProcessorA(nullptr, kX64, "ZEP PRINT PROCESSOR").error, kErrInvalidParameter);
}

TEST_F(SimSpooler, PrinterWithJobsIsDeletedWithItsLastJob) {
    m.AddPrinterDirect("B", "ZEP Character Type");
    m.AddPrinterDirect("a", "ZEP Character Type");
    uint32_t j1 = m.AddJob("B"), j2 = m.AddJob("B");
    HPrinter h = Open("B");
    ASSERT_TRUE(sp.DeletePrinter(h).ok);
    Result<std::vector<PrinterInfo2>> list = sp.EnumPrintersA(kPrinterEnumLocal, nullptr);
    ASSERT_EQ(list.value.size(), 2u);
    EXPECT_EQ(list.value[0].printerName, "a");  // sorted without regard to case
    EXPECT_EQ(list.value[1].status & 0x4, 0x4u);
    EXPECT_EQ(list.value[1].cJobs, 2u);
    EXPECT_EQ(sp.OpenPrinterA("B", nullptr).error, 1905u);

    Result<std::vector<JobInfo3>> jobs = sp.EnumJobsA(h, 0, 1);
    ASSERT_EQ(jobs.value.size(), 1u);
    EXPECT_EQ(jobs.value[0].jobId, j1);
    EXPECT_EQ(sp.SetJobA(h, 999, 0, kJobControlDelete).error, kErrInvalidParameter);
    EXPECT_TRUE(sp.SetJobA(h, j1, 0, kJobControlCancel).ok);
    EXPECT_TRUE(m.FindPrinter("B"));
    EXPECT_TRUE(sp.SetJobA(h, j2, 0, kJobControlDelete).ok);
    EXPECT_FALSE(m.FindPrinter("B"));
    EXPECT_EQ(sp.EnumJobsA(h, 0, 10).error, kErrInvalidHandle);
    EXPECT_TRUE(sp.ClosePrinter(h).ok);

    // Deleting needs the access asked for when opening.
    HPrinter user = Open("a", 0);
    EXPECT_EQ(sp.DeletePrinter(user).error, kErrAccessDenied);
    EXPECT_EQ(sp.SetPrinterDataA(user, "MajorVersion", kRegDword, std::string(4, '\0')), kErrAccessDenied);
}

TEST_F(SimSpooler, SetPrinterChecksLikeAddPrinterAndRenames) {
    m.AddDriverDirect("ZEP Character Type", kX64);
    m.AddPrinterDirect("One", "ZEP Character Type");
    m.AddPrinterDirect("Two", "ZEP Character Type");
    HPrinter h = Open("One");
    PrinterInfo2 p = m.FindPrinter("One")->info;
    p.printerName = "two";
    EXPECT_EQ(sp.SetPrinterA(h, p).error, kErrPrinterAlreadyExists);
    p.printerName = "Zero";
    p.portName = "COM9:";
    EXPECT_EQ(sp.SetPrinterA(h, p).error, 1796u);
    p.portName = "COM2:";
    p.driverName = "Nope";
    EXPECT_EQ(sp.SetPrinterA(h, p).error, kErrUnknownPrinterDriver);
    p.driverName = "ZEP Character Type";
    p.comment = "renamed";
    ASSERT_TRUE(sp.SetPrinterA(h, p).ok);
    EXPECT_FALSE(m.FindPrinter("One"));
    EXPECT_EQ(m.FindPrinter("Zero")->info.comment, "renamed");
    // The handle follows the printer; once it is gone the handle is stale.
    ASSERT_TRUE(sp.DeletePrinter(h).ok);
    EXPECT_EQ(sp.SetPrinterA(h, p).error, kErrInvalidHandle);
    EXPECT_TRUE(sp.ClosePrinter(h).ok);
    EXPECT_EQ(sp.OpenPrinterA("Zero", nullptr).error, kErrInvalidPrinterName);
}

TEST_F(SimSpooler, PrinterDataAndVersionValues) {
    m.AddPrinterDirect("P", "ZEP Character Type");
    m.SetPrinterVersion("P", 1, 1, 0, std::nullopt);
    HPrinter h = Open("P");
    Spooler::DataResult major = sp.GetPrinterDataA(h, "majorversion", 4);
    EXPECT_EQ(major.status, 0u);
    EXPECT_EQ(major.type, kRegDword);
    EXPECT_EQ(major.data, std::string("\1\0\0\0", 4));
    EXPECT_EQ(sp.GetPrinterDataA(h, "ExtraVersion", 4).status, kErrFileNotFound);
    EXPECT_EQ(sp.SetPrinterDataA(h, "ExtraVersion", kRegDword, std::string("\0\0\0\0\0\0", 6)), 0u);
    Spooler::DataResult small = sp.GetPrinterDataA(h, "ExtraVersion", 4);
    EXPECT_EQ(small.status, kErrMoreData);
    EXPECT_TRUE(small.data.empty());
}

TEST_F(SimSpooler, MonitorsProcessorsFormsAndPorts) {
    // The 64-bit spooler finds the monitor in its own system folder or the Windows folder.
    MonitorInfo2 mon{"ZEP Language Monitor", kX64, "ZEPMON.dll"};
    m.AddFile("C:\\Windows\\SysWOW64\\ZEPMON.dll");
    EXPECT_EQ(sp.AddMonitorA(nullptr, mon).error, kErrModNotFound);
    m.AddFile("C:\\Windows\\ZEPMON.dll");
    EXPECT_TRUE(sp.AddMonitorA(nullptr, mon).ok);
    EXPECT_EQ(sp.AddMonitorA(nullptr, mon).error, kErrPrintMonitorAlreadyInstalled);
    EXPECT_EQ(sp.DeleteMonitorA(nullptr, nullptr, "No Monitor").error, kErrUnknownPrintMonitor);

    std::string dir = sp.GetPrintProcessorDirectoryA(nullptr, kX64).value;
    EXPECT_EQ(sp.AddPrintProcessorA(nullptr, kX64, "ZEPPRO.dll", "ZEP PRINT PROCESSOR").error,
              kErrFileNotFound);
    m.AddFile(dir + "\\ZEPPRO.dll");
    EXPECT_TRUE(sp.AddPrintProcessorA(nullptr, kX64, "ZEPPRO.dll", "ZEP PRINT PROCESSOR").ok);
    EXPECT_EQ(sp.AddPrintProcessorA(nullptr, kX64, "ZEPPRO.dll", "zep print processor").error,
              kErrPrintProcessorAlreadyInstalled);
    EXPECT_EQ(sp.EnumPrintProcessorsA(nullptr, kX64).value,
              (std::vector<std::string>{"WinPrint", "ZEP PRINT PROCESSOR"}));
    // The caller's default environment is x86, where it was never registered.
    EXPECT_EQ(sp.DeletePrintProcessorA(nullptr, nullptr, "ZEP PRINT PROCESSOR").error,
              kErrUnknownPrintProcessor);

    HPrinter server = sp.OpenPrinterA(nullptr, nullptr).value;
    EXPECT_TRUE(sp.AddFormA(server, FormInfo1{0, "ZEP 80mm", 80000, 200000}).ok);
    EXPECT_EQ(sp.AddFormA(server, FormInfo1{0, "zep 80MM", 80000, 200000}).error, kErrFileExists);
    EXPECT_EQ(sp.EnumFormsA(server).value.back().name, "ZEP 80mm");
    EXPECT_EQ(sp.DeleteFormA(server, "A4").error, kErrInvalidParameter);
    EXPECT_EQ(sp.DeleteFormA(server, "Nope").error, kErrInvalidFormName);
    EXPECT_TRUE(sp.DeleteFormA(server, "ZEP 80mm").ok);
    sp.ClosePrinter(server);

    EXPECT_TRUE(sp.ConfigurePortA(nullptr, 0, "COM2:").ok);
    m.SetPortDialogAnswer(false);
    EXPECT_EQ(sp.ConfigurePortA(nullptr, 0, "COM1:").error, 1223u);
    EXPECT_EQ(sp.ConfigurePortA(nullptr, 0, "COM7:").error, kErrNotSupported);
    EXPECT_EQ(m.Ui("port-dialog").size(), 2u);
}

TEST_F(SimSpooler, KeyDeletedBehindTheSpoolersBackTakesEffectOnRestart) {
    m.AddMonitorDirect("ZEP Language Monitor", "ZEPMON.dll");
    m.AddPrintProcessorDirect("ZEP PRINT PROCESSOR", kX64, "ZEPPRO.dll");
    Advapi& a = m;
    std::string print = "SYSTEM\\CurrentControlSet\\Control\\Print\\";
    EXPECT_EQ(*a.RegDeleteKeyExA(kHKeyLocalMachine, print + "Monitors\\ZEP Language Monitor", kKeyWow64_64Key, 0), 0);
    EXPECT_EQ(*a.RegDeleteKeyExA(kHKeyLocalMachine,
                                 print + "Environments\\Windows x64\\Print Processors\\ZEP PRINT PROCESSOR",
                                 kKeyWow64_64Key, 0),
              0);
    EXPECT_EQ(m.Monitors().size(), 1u);  // still loaded
    k.WinExec("net stop spooler", kSwHide);
    k.WinExec("net start spooler", kSwHide);
    EXPECT_TRUE(m.Monitors().empty());
    EXPECT_EQ(m.PrintProcessors().size(), 2u);  // WinPrint for both environments
}

// The service takes its time on the virtual clock: STOP_PENDING, then
// STOPPED while its process still holds the driver files; a wait for the
// process takes the clock along. (Whole runs against slow and stuck
// spoolers are in deploy_test.cpp.)
TEST_F(SimSpooler, ServiceStopTakesItsTimeAndADisabledOneDoesNotStart) {
    const std::string file = kX64Dir + "\\3\\ZEP1TE.gpd";
    m.AddFile(file, "gpd");
    m.SetSpoolerTiming({1000, 2000, 0, 0});
    uint32_t pid = m.SpoolerService().processId;
    k.WinExec("net stop spooler", kSwHide);
    EXPECT_EQ(m.SpoolerService().currentState, kServiceStopPending);
    EXPECT_EQ(sp.EnumPrintersA(kPrinterEnumLocal, nullptr).error, kErrRpcServerUnavailable);
    k.Sleep(1000);
    EXPECT_EQ(m.SpoolerService().currentState, kServiceStopped);
    EXPECT_EQ(m.SpoolerService().processId, 0u);
    EXPECT_EQ(k.DeleteFileA(file).error, kErrSharingViolation);
    EXPECT_EQ(k.WaitForProcessExit(pid, 500).error, kErrWaitTimeout);
    EXPECT_TRUE(k.WaitForProcessExit(pid, 5000).ok);
    EXPECT_EQ(m.ElapsedMs(), 3000u);  // the wait ended with the process
    EXPECT_EQ(k.WaitForProcessExit(pid, 0).error, kErrInvalidParameter);
    EXPECT_TRUE(k.DeleteFileA(file).ok);

    m.SetSpoolerStartType(kServiceDisabled);
    EXPECT_EQ(static_cast<Advapi&>(m).QueryServiceConfigA("Spooler").value.startType, kServiceDisabled);
    k.WinExec("net start spooler", kSwHide);
    EXPECT_EQ(m.SpoolerService().currentState, kServiceStopped);
}

}  // namespace
}  // namespace zep::sim
