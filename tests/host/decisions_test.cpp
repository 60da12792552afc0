// Where the other tests were blind: the Windows Installer values as
// literals, the start-up decisions crossed, whole logs after an early end,
// near misses of the "already installed" match, faults that persist, and
// the calls made where the end state cannot tell.
#include <gtest/gtest.h>

#include "removal/product_state.h"
#include "tests/host/deploy_runs.h"
#include "tests/host/scenarios.h"

namespace zep::test {
namespace {

// ------------------------------------------------------------------ codes

// The values deployment tools know, written out once: a wrong constant in
// the code would otherwise pass every test that compares with it.
TEST(Decisions, ExitCodesAreTheWindowsInstallerValues) {
    const std::pair<int, int> codes[] = {
        {kExitDone, 0},          {kExitBadCommandLine, 87},   {kExitCanceled, 1602},
        {kExitFailed, 1603},     {kExitNotInstalled, 1605},   {kExitAnotherRunning, 1618},
        {kExitLogFailure, 1622}, {kExitPackageRejected, 1625}, {kExitSystemTooOld, 1633},
        {kExitNewerVersion, 1638}, {kExitRestartStarted, 1641}, {kExitRestartNeeded, 3010},
    };
    for (const auto& [constant, value] : codes) EXPECT_EQ(constant, value);
    EXPECT_EQ(ExitCodeLine(3010), "EXIT CODE : 3010 (ERROR_SUCCESS_REBOOT_REQUIRED: done; restart Windows to complete it)");
    EXPECT_EQ(ExitCodeLine(1638), "EXIT CODE : 1638 (ERROR_PRODUCT_VERSION: a newer version is installed; nothing changed)");
    EXPECT_EQ(kShtdnReasonPlannedInstallation, 0x80040002u);
}

// ------------------------------------------------------------------ start-up

// Every mode, with a usable and an unusable command line, with and without
// another run holding the lock: what ends the start, and what it shows.
TEST(Decisions, StartUpDecisionsCrossed) {
    struct Case {
        const char* args;
        bool another;
        int code;         // -1: the program runs
        bool box;         // a box was shown
        bool logTouched;  // the start wrote to the Temp log
    };
    const std::string models = std::string(" ") + kBoth;
    const Case cases[] = {
        {"", false, -1, false, false},
        {"", true, 0, true, false},
        {"/bogus", false, 87, true, true},
        {"/bogus", true, 1618, false, false},
        {"/quiet", false, 87, false, true},  // no model, no port
        {"/quiet /bogus", true, 1618, false, false},
        {"/passive", false, 87, true, true},
        {"/passive", true, 1618, false, false},
        {"/quiet /passive", false, 87, false, true},
        {"/quiet /?", true, 0, false, true},
        {"/?", true, 0, true, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string("\"") + c.args + "\"" + (c.another ? " while another runs" : ""));
        sim::Machine m;
        PrepareInstallerMachine(m);
        m.AddFile("C:\\Temp\\ZEP_Installer.txt", "another run's log\r\n");
        if (c.another) m.HoldMutex(kInstanceMutexName);
        TraceLog log(m, "\\ZEP_Installer.txt");
        Platform os = m.platform();
        Support sys(os, log);
        std::string line = std::string("ZEP_Installer.exe ") + c.args;
        StartDecision d = StartProgram(Program::Installer, SplitCommandLine(line), line, sys);
        EXPECT_EQ(d.run ? -1 : d.exitCode, c.code);
        EXPECT_EQ(!m.Ui("box").empty(), c.box);
        EXPECT_EQ(m.FileContents("C:\\Temp\\ZEP_Installer.txt") != "another run's log\r\n", c.logTouched);
    }
}

// ------------------------------------------------------------------ early ends

// A run that ends early writes its reason and nothing after it.
TEST(Decisions, AnEarlyEndIsTheLogsLastWord) {
    struct Case {
        const char* name;
        void (*arrange)(sim::Machine&);
        std::string args;
        int code;
        std::vector<std::string> log;  // the whole log, empty lines left out
    };
    const std::string quiet = std::string("/quiet ") + kBoth;
    const std::string program = "PROGRAM : ZEP_Installer.exe 1.1.0.0";
    const std::string command = "COMMAND LINE : ZEP_Installer.exe " + quiet;
    const std::string wow64 = "The process is running under WOW64.";
    const std::vector<std::string> win7 = {"CheckOS BEGIN", "osvi.dwPlatformID   : 2", "osvi.dwMajorVersion : 6",
                                           "osvi.dwMinorVersion : 1", "osvi.dwBuildNumber  : 7601", "CheckOS END"};
    auto lines = [&](std::vector<std::string> os, std::vector<std::string> rest) {
        std::vector<std::string> all = {program, command, wow64};
        all.insert(all.end(), os.begin(), os.end());
        all.insert(all.end(), rest.begin(), rest.end());
        return all;
    };
    const Case cases[] = {
        {"too old", [](sim::Machine& m) { m.SetVersion(sim::versions::kNt4); }, quiet, 1633,
         lines({"CheckOS BEGIN", "osvi.dwPlatformID   : 2", "osvi.dwMajorVersion : 4", "osvi.dwMinorVersion : 0",
                "osvi.dwBuildNumber  : 1381", "CheckOS END"},
               {"MESSAGE : THE DRIVER CAN NOT BE INSTALLED ON THIS OS.", ExitCodeLine(1633)})},
        {"refused by policy", [](sim::Machine& m) { m.SetSpoolerStartType(kServiceDisabled); }, quiet, 1625,
         lines(win7, {"DIALOG : Select ZEP Model -> KESTREL ZEP-4000, KESTREL ZEP-4100",
                      "DIALOG : Select Port Type -> COM3", "AcceptsInstallation BEGIN",
                      "THE PRINT SPOOLER SERVICE IS DISABLED : nothing can be installed", "AcceptsInstallation END",
                      ExitCodeLine(1625)})},
        {"printers not listed", [](sim::Machine& m) { m.InjectFault(Fault("EnumPrintersA").Fails(kErrAccessDenied)); },
         quiet, 1603,
         lines(win7, {"DIALOG : Select ZEP Model -> KESTREL ZEP-4000, KESTREL ZEP-4100",
                      "DIALOG : Select Port Type -> COM3", "AcceptsInstallation BEGIN", "AcceptsInstallation END",
                      "ERROR : EnumPrinters Error Code: 5 Access is denied.", ExitCodeLine(1603)})},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        sim::Machine m;
        PrepareInstallerMachine(m);
        c.arrange(m);
        std::string before = State(m);
        EXPECT_EQ(Start(m, Program::Installer, c.args).code, c.code);
        std::vector<std::string> log;
        for (const std::string& line : LogLines(m.LogText("ZEP_Installer.txt")))
            if (!line.empty()) log.push_back(line);
        EXPECT_EQ(log, c.log);
        EXPECT_TRUE(State(m) == before) << "the machine changed";
    }
}

// ------------------------------------------------------------------ near misses

TEST(Decisions, OnlyTheInstallersOwnNamesCountAsAModelsPrinter) {
    const std::pair<const char*, bool> names[] = {
        {"KESTREL ZEP-4000", true},       {"kestrel zep-4000(#12)", true}, {"KESTREL ZEP-4000(#)", false},
        {"KESTREL ZEP-4000(#1", false},   {"KESTREL ZEP-4000(#x)", false}, {"KESTREL ZEP-40000", false},
        {"KESTREL ZEP-4000 (#1)", false}, {"KESTREL ZEP-400", false},      {"KESTREL ZEP-4000(1)", false},
        {"KESTREL ZEP-4000(#12", false},
    };
    for (const auto& [name, ours] : names) EXPECT_EQ(IsNameOfModel(name, "KESTREL ZEP-4000"), ours) << name;

    // A rerun adds the model's printer beside a near miss of the driver's
    // own, and beside the right name on another port or of another driver.
    sim::Machine m;
    PrepareInstallerMachine(m);
    ASSERT_EQ(Install(m, std::string("/quiet ") + kBoth), kExitRestartNeeded);
    DeletePrinterByHand(m, "KESTREL ZEP-4000");
    m.AddPrinterDirect("KESTREL ZEP-4000(#)", "ZEP Character Type", "COM3:", "ZEP PRINT PROCESSOR");
    m.AddPrinterDirect("KESTREL ZEP-4000(#2)", "ZEP Character Type", "COM4:", "ZEP PRINT PROCESSOR");
    m.AddDriverDirect("Other Driver", "Windows x64");
    m.AddPrinterDirect("KESTREL ZEP-4000(#3)", "Other Driver", "COM3:");
    EXPECT_EQ(Install(m, std::string("/quiet ") + kBoth), kExitDone);
    std::optional<sim::Machine::SimPrinter> added = m.FindPrinter("KESTREL ZEP-4000");
    ASSERT_TRUE(added.has_value());
    EXPECT_EQ(added->info.portName, "COM3:");
    EXPECT_EQ(m.Printers().size(), 5u);
}

// ------------------------------------------------------------------ faults that persist

// Faults that do not go away on the retry: each fallback after it is reached.
TEST(Decisions, AFaultThatPersistsReachesTheFallbackBehindTheRetry) {
    struct Case {
        const char* name;
        bool installer;
        sim::Fault fault;
        std::vector<std::string> lines;  // in this order
    };
    const Case cases[] = {
        {"the monitor, with the spooler not answering", false,
         Fault("DeleteMonitorA").Fails(kErrRpcServerUnavailable).Always(),
         {"DeleteMonitor Error : (1722)", "DeleteLanguageMonitor END"}},
        {"the processor, with the spooler not answering", false,
         Fault("DeletePrintProcessorA").Fails(kErrRpcServerUnavailable).Always(),
         {"DeleteMonitor Error : (1722)", "DeleteProcessor END"}},
        {"a file in use on the copy and on its retry", true,
         Fault("CopyFileA").For("ZEP1TE.gpd").Fails(kErrSharingViolation).Always(),
         {"ERROR_SHARING_VIOLATION HANDLER", "CopyFile Error : .\\Driver64\\ZEP1TE.gpd "}},
        {"the product folder refused every way", true, Fault("CreateDirectoryWithDacl").Fails(kErrAccessDenied).Always(),
         {"CreateDirectoryWithSA BEGIN", "CreateDirectoryWithSA END"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        sim::Machine m;
        if (c.installer) {
            PrepareInstallerMachine(m);
        } else {
            InstallFirst(m, {"KESTREL ZEP-4000"});
            PrepareUninstallerMachine(m);
        }
        m.InjectFault(c.fault);
        if (c.installer) {
            EXPECT_EQ(InstallerRun(m).Run(), 0);
        } else {
            EXPECT_TRUE(UninstallerRun(m).Run());
        }
        std::vector<std::string> log = LogLines(m.LogText(c.installer ? "ZEP_Installer.txt" : "ZEP_UnInstaller.txt"));
        EXPECT_TRUE(InOrder(log, c.lines));
        size_t failed = 0;
        for (const sim::CallRecord& call : m.Calls(c.fault.call)) failed += call.failed;
        EXPECT_GE(failed, 2u) << "the retry was not made";
    }
    // The monitor and the processor went by their keys all the same.
    sim::Machine m;
    InstallFirst(m, {"KESTREL ZEP-4000"});
    PrepareUninstallerMachine(m);
    m.InjectFault(Fault("DeleteMonitorA").Fails(kErrRpcServerUnavailable).Always());
    m.InjectFault(Fault("DeletePrintProcessorA").Fails(kErrRpcServerUnavailable).Always());
    EXPECT_TRUE(UninstallerRun(m).Run());
    EXPECT_TRUE(m.Monitors().empty());
    for (const auto& p : m.PrintProcessors()) EXPECT_NE(p.second, "ZEP PRINT PROCESSOR");
    // The folder made with default security in the end: the uninstaller is there.
    sim::Machine folder;
    PrepareInstallerMachine(folder);
    folder.InjectFault(Fault("CreateDirectoryWithDacl").Fails(kErrAccessDenied).Always());
    InstallerRun(folder).Run();
    EXPECT_TRUE(folder.Exists("C:\\Windows\\ZEP\\ZEP_Uninstaller.exe"));
    EXPECT_EQ(folder.Calls("CreateDirectoryWithDacl").size(), 2u);
}

// ------------------------------------------------------------------ the calls made

// Where the end state is the same either way, the calls tell.
TEST(Decisions, TheCallsMadeWhereTheEndStateCannotTell) {
    // A SID that cannot be had: no ACL is attempted with the others alone.
    for (const char* missing : {"Everyone", "Administrators", "SYSTEM"}) {
        SCOPED_TRACE(missing);
        sim::Machine m;
        PrepareInstallerMachine(m);
        m.InjectFault(Fault("AllocateAndInitializeSid").For(missing).Fails(kErrNotEnoughMemory));
        InstallerRun(m).Run();
        EXPECT_TRUE(m.Calls("SetEntriesInAclA").empty());
        EXPECT_TRUE(m.Calls("CreateDirectoryWithDacl").empty());
        EXPECT_EQ(m.Calls("FreeSid").size(), 2u);  // the two that were had
        EXPECT_TRUE(m.HandleMisuse().empty());
    }
    // An unattended run restarts only with /forcerestart, and asks Windows
    // nothing towards it otherwise: a new installation, and a passive one
    // that replaces an older version.
    sim::Machine quiet;
    EXPECT_EQ(Install(quiet, std::string("/quiet ") + kBoth), kExitRestartNeeded);
    quiet.SetPrinterVersion("KESTREL ZEP-4000", 1, 0, 0, 0);
    EXPECT_EQ(Install(quiet, std::string("/passive ") + kBoth), kExitRestartNeeded);
    EXPECT_TRUE(Contains(LogLines(quiet.LogText("ZEP_Installer.txt")), "INSTALLED VERSION : 1.0.0.0"));
    EXPECT_TRUE(quiet.Calls("ExitWindowsEx").empty());
    EXPECT_TRUE(quiet.Calls("OpenProcessToken").empty());
    // A removal whose driver folder cannot be learned queues no ".old" copy
    // in a folder it does not know, and deletes nothing at a drive's root.
    sim::Machine noFolder;
    InstallFirst(noFolder, {"KESTREL ZEP-4000"});
    PrepareUninstallerMachine(noFolder);
    noFolder.ClearCalls();
    noFolder.InjectFault(Fault("GetPrinterDriverDirectoryA").Fails(kErrRpcServerUnavailable).Always());
    EXPECT_TRUE(UninstallerRun(noFolder).Run());
    for (const sim::CallRecord& call : noFolder.Calls())
        if (call.call == "DeleteFileA" || call.call == "MoveFileExA")
            EXPECT_NE(call.args.rfind("\\3\\", 0), 0u) << call.call << " " << call.args;
    EXPECT_TRUE(noFolder.Calls("MoveFileExA").size() <= 2u);  // the uninstaller's copy and folder

    // A folder that is not there holds no ".old" copy: nothing is queued in it.
    sim::Machine gone;
    InstallFirst(gone, {"KESTREL ZEP-4000"});
    const std::string versionFolder = gone.DriverDirectory("Windows x64") + "\\3";
    for (const std::string& name : gone.ListDirectory(versionFolder)) gone.DeleteFileA(versionFolder + "\\" + name);
    ASSERT_TRUE(gone.RemoveDirectoryA(versionFolder).ok);
    PrepareUninstallerMachine(gone);
    gone.ClearCalls();
    EXPECT_TRUE(UninstallerRun(gone).Run());
    for (const sim::CallRecord& call : gone.Calls("MoveFileExA"))
        EXPECT_EQ(call.args.find(versionFolder), std::string::npos) << call.args;
    for (const std::string& line : LogLines(gone.LogText("ZEP_UnInstaller.txt")))
        EXPECT_EQ(line.rfind("MoveFileEx failed", 0), std::string::npos) << line;
}

}  // namespace
}  // namespace zep::test
