// The installation sequence: what the user sees, what lands on the machine,
// and how each step reacts when Windows refuses.
#include <gtest/gtest.h>

#include "installer/driver_version.h"
#include "tests/host/harness.h"

namespace zep {
namespace {

using test::InstallerRun;
using test::InstallerScript;
using test::LogLines;

const char* const kUninstallKey =
    "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\KESTREL Cutomer Display Driver";
const char* const kDrivers64 = "C:\\Windows\\system32\\spool\\drivers\\x64";
// Every value of the uninstall entry, in the order they are written.
const std::vector<std::string> kEntryValues{"DisplayName",    "UninstallString",
                                            "QuietUninstallString", "DisplayIcon",
                                            "DisplayVersion", "Publisher",
                                            "NoModify",       "NoRepair"};

struct InstallationTest : ::testing::Test {
    sim::Machine m;
    void SetUp() override { test::PrepareInstallerMachine(m); }

    std::vector<std::string> Log() { return LogLines(m.LogText("ZEP_Installer.txt")); }
    // Status texts, bar positions and pauses after the start-up.
    std::vector<std::string> Progress() {
        std::vector<std::string> all = test::Timeline(m, {"status", "progress", "pause"});
        // Drop the start-up: the spooler's 2000 ms and the first (empty) refresh.
        return std::vector<std::string>(all.begin() + 2, all.end());
    }
    // An installed driver of this version with one printer.
    void InstallSameVersion() {
        m.AddMonitorDirect("ZEP Language Monitor", "ZEPMON.dll");
        m.AddPrintProcessorDirect("ZEP PRINT PROCESSOR", "Windows x64", "ZEPPRO.dll");
        m.AddDriverDirect("ZEP Character Type", "Windows x64", "ZEP Language Monitor");
        m.AddDriverDirect("ZEP Character Type", "Windows NT x86", "ZEP Language Monitor");
        m.AddPrinterDirect("KESTREL ZEP-4000", "ZEP Character Type", "COM1:", "ZEP PRINT PROCESSOR");
        m.SetPrinterVersion("KESTREL ZEP-4000", 1, 1, 0, 0);
    }
};

std::vector<std::string> Step(const std::string& text, int bar, int pause = 500) {
    std::vector<std::string> s{"progress:" + std::to_string(bar), "status:" + text};
    if (pause) s.push_back("pause:" + std::to_string(pause));
    return s;
}

void Append(std::vector<std::string>& to, const std::vector<std::string>& more) {
    to.insert(to.end(), more.begin(), more.end());
}

std::vector<std::string> ModelSteps(int start) {
    std::vector<std::string> s;
    Append(s, Step("Copying files...\r\n", start + 6));
    Append(s, Step("Installing L/M...\r\n", start + 12));
    Append(s, Step("Installing printer processor...\r\n", start + 18));
    Append(s, Step("Installing printer driver...\r\n", start + 24));
    Append(s, Step("Adding a printer...\r\n", start + 30));
    Append(s, Step("Please wait for adding printer.\r\nIt takes a couple of minutes.", start + 36, 0));
    return s;
}

TEST_F(InstallationTest, NewInstallationOfOneModelOnCom1) {
    InstallerRun run(m);
    EXPECT_EQ(run.Run(), 0);

    std::vector<std::string> expected;
    Append(expected, Step("Preparing for installation...\r\n", 6));
    Append(expected, Step("Checking existing drivers...\r\n", 12));
    Append(expected, Step("Adding a printer...\r\n", 18));
    Append(expected, ModelSteps(18));
    Append(expected, Step("Deleting files used to install...\r\n", 60));
    Append(expected, {"progress:100", "status:The driver has been successfully installed.",
                      "progress:100", "status:Completed.", "pause:2000"});
    EXPECT_EQ(Progress(), expected);

    // The printer and the components.
    std::optional<sim::Machine::SimPrinter> p = m.FindPrinter("KESTREL ZEP-4000");
    ASSERT_TRUE(p);
    EXPECT_EQ(p->info.portName, "COM1:");
    EXPECT_EQ(p->info.driverName, "ZEP Character Type");
    EXPECT_EQ(p->info.printProcessor, "ZEP PRINT PROCESSOR");
    EXPECT_EQ(p->info.datatype, "RAW");
    EXPECT_EQ(p->info.attributes, 0x1800u);
    EXPECT_EQ(p->info.priority, 1u);
    ASSERT_EQ(m.Monitors().size(), 1u);
    EXPECT_EQ(m.Monitors()[0].environment, "Windows x64");
    EXPECT_TRUE(m.Exists("C:\\Windows\\ZEPMON.dll"));  // 64-bit: the Windows folder

    // The INF copy, the uninstall entry, the uninstaller, the staged files gone.
    EXPECT_TRUE(m.Exists("C:\\Windows\\inf\\oem0.inf"));
    EXPECT_EQ(m.RegString(kUninstallKey, "DisplayName", true),
              "KESTREL Customer Display Windows Driver V1.1.0E");
    EXPECT_EQ(m.RegString(kUninstallKey, "UninstallString", true),
              "C:\\Windows\\ZEP\\ZEP_Uninstaller.exe");
    // What deployment tools detect and remove the product by.
    EXPECT_EQ(m.RegString(kUninstallKey, "QuietUninstallString", true),
              "\"C:\\Windows\\ZEP\\ZEP_Uninstaller.exe\" /quiet");
    EXPECT_EQ(m.RegString(kUninstallKey, "DisplayIcon", true),
              "C:\\Windows\\ZEP\\ZEP_Uninstaller.exe");
    EXPECT_EQ(m.RegString(kUninstallKey, "DisplayVersion", true), "1.1.0.0");
    EXPECT_EQ(m.RegString(kUninstallKey, "Publisher", true), "KESTREL");
    for (const char* flag : {"NoModify", "NoRepair"}) {
        std::optional<RegValue> v = m.RegRawValue(kUninstallKey, flag, true);
        ASSERT_TRUE(v) << flag;
        EXPECT_EQ(v->type, kRegDword);
        EXPECT_EQ(v->data, std::string("\1\0\0\0", 4));
    }
    EXPECT_EQ(m.RegValueNames(kUninstallKey, true), kEntryValues);
    EXPECT_FALSE(m.RegKeyExists(kUninstallKey, false));
    EXPECT_EQ(m.FileContents("C:\\Windows\\ZEP\\ZEP_Uninstaller.exe"), "uninstaller");
    for (const char* f : {"UNIDRV.DLL", "UNIDRVUI.DLL", "UNIDRV.HLP", "UNIRES.DLL", "STDNAMES.GPD",
                          "ZEP1TE.dll", "ZEP1TE.gpd", "ZEPUI1T.dll", "ZEPUI1T.ini"}) {
        EXPECT_FALSE(m.Exists(std::string(kDrivers64) + "\\" + f))
            << f;
    }

    // The restart question, answered No: nothing restarts.
    std::vector<sim::UiEvent> boxes = m.Ui("box");
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text,
              "Restarting your computer can take effect.\nPlease restart your computer.\n\n[Yes] I "
              "want to restart my computer now.\n[No] I will restart my computer later.");
    EXPECT_EQ(boxes[0].style, kMbYesNo | kMbIconQuestion);
    EXPECT_TRUE(m.Restarts().empty());

    std::vector<std::string> log = Log();
    EXPECT_TRUE(test::InOrder(
        test::BeginLines(m.LogText("ZEP_Installer.txt")),
        {"AddToWin2K BEGIN", "SetSystemInfo BEGIN", "CheckOS BEGIN", "PrinterDrvExist BEGIN",
         "CopyFilesNeededToAddPrnDrv BEGIN", "AddLanguageMonitor BEGIN",
         "AddPrinterProcessor BEGIN", "AddPrinterDriverToSystem BEGIN", "CheckOS BEGIN",
         "AddPrinterToSystem BEGIN", "CopyINFFile BEGIN", "DeleteFilesUsed BEGIN",
         "RegisterUninstallInfo BEGIN", "CopyFilesOfUtilities BEGIN",
         "CreateDirectoryWithSA BEGIN"}));
    EXPECT_TRUE(test::InOrder(log, {"SetSystemInfo BEGIN", "The process is running under WOW64.",
                                    "CheckOS BEGIN", "CheckOS END",
                                    "ENV : Windows x64, DRV DIR : .\\Driver64\\ ",
                                    "SetSystemInfo END"}));
    EXPECT_TRUE(test::Contains(log, "ZEP Character Type PRINTER DRIVER DOES NOT EXIST."));
    EXPECT_TRUE(test::Contains(log, "PRINTER-DRIVER NAME TO ADD : KESTREL ZEP-4000 "));
    EXPECT_EQ(std::count(log.begin(), log.end(), "AddToWin2K END"), 1);
}

TEST_F(InstallationTest, BothModelsRegisterTwiceAndAskOnce) {
    InstallerScript script;
    script.models = {"KESTREL ZEP-4000", "KESTREL ZEP-4100"};
    script.port = 2;
    InstallerRun run(m, script);
    run.Run();

    std::vector<std::string> expected;
    Append(expected, Step("Preparing for installation...\r\n", 6));
    Append(expected, Step("Checking existing drivers...\r\n", 12));
    Append(expected, Step("Adding a printer...\r\n", 18));
    Append(expected, ModelSteps(18));
    Append(expected, ModelSteps(54));
    Append(expected, Step("Deleting files used to install...\r\n", 96));
    Append(expected, {"progress:100", "status:The driver has been successfully installed.",
                      "progress:100", "status:Completed.", "pause:2000"});
    EXPECT_EQ(Progress(), expected);

    std::vector<sim::Machine::SimPrinter> printers = m.Printers();
    ASSERT_EQ(printers.size(), 2u);
    EXPECT_EQ(printers[0].info.printerName, "KESTREL ZEP-4000");
    EXPECT_EQ(printers[1].info.printerName, "KESTREL ZEP-4100");
    for (const auto& p : printers) EXPECT_EQ(p.info.portName, "COM3:");
    EXPECT_EQ(m.BoxTexts().size(), 1u);  // no box for the already-installed codes
    int monitorCalls = 0;
    for (const sim::CallRecord& c : m.Calls()) monitorCalls += c.call == "AddMonitorA";
    EXPECT_EQ(monitorCalls, 2);
}

TEST_F(InstallationTest, DriverPresentAddsNumberedPrintersOnly) {
    InstallSameVersion();
    m.AddPrinterDirect("KESTREL ZEP-4000(#1)", "Other", "COM2:");
    InstallerRun run(m);
    run.Run();

    std::vector<std::string> expected;
    Append(expected, Step("Preparing for installation...\r\n", 6));
    Append(expected, Step("Checking existing drivers...\r\n", 12));
    Append(expected, Step("Adding a printer...\r\n", 18));
    Append(expected, Step("Adding a printer...\r\n", 24));
    Append(expected, Step("Please wait for adding printer.\r\nIt takes a couple of minutes.", 30, 0));
    Append(expected, {"progress:100", "status:Completed.", "pause:2000"});
    EXPECT_EQ(Progress(), expected);

    EXPECT_TRUE(m.FindPrinter("KESTREL ZEP-4000(#2)"));
    EXPECT_TRUE(m.BoxTexts().empty());  // no restart question
    std::vector<std::string> log = Log();
    EXPECT_TRUE(test::Contains(log, "ZEP Character Type PRINTER DRIVER EXISTS."));
    EXPECT_FALSE(test::Contains(log, "AddLanguageMonitor BEGIN"));
    EXPECT_FALSE(test::Contains(log, "RegisterUninstallInfo BEGIN"));
    EXPECT_FALSE(m.RegKeyExists(kUninstallKey));
}

TEST_F(InstallationTest, RestartAnsweredYesRestartsAndStillCompletes) {
    m.ScriptAnswers({kIdYes});
    InstallerRun run(m);
    run.Run();
    EXPECT_EQ(m.Restarts().size(), 1u);
    std::vector<std::string> log = Log();
    EXPECT_EQ(std::count(log.begin(), log.end(), "AddToWin2K END"), 2);
    EXPECT_EQ(m.Ui("status").back().text, "Completed.");
}

TEST_F(InstallationTest, FailedPrinterCreationEndsTheRunAfterItsBox) {
    InstallerScript script;
    script.models = {"KESTREL ZEP-4000", "KESTREL ZEP-4100"};
    m.InjectFault(sim::Fault("AddPrinterA").Fails(kErrPrinterAlreadyExists));
    InstallerRun run(m, script);
    EXPECT_EQ(run.Run(), 0);
    std::vector<std::string> boxes = m.BoxTexts();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].rfind("AddPrinter, Error Code: 1802\n\n", 0), 0u);
    EXPECT_EQ(m.Ui("box")[0].style, kMbOk | kMbIconError);
    EXPECT_TRUE(m.Printers().empty());
    EXPECT_FALSE(m.Monitors().empty());  // what was registered stays
    std::vector<std::string> log = Log();
    EXPECT_TRUE(test::Contains(log, "AddPrinterToSystem END"));
    EXPECT_FALSE(test::Contains(log, "CopyINFFile BEGIN"));
    EXPECT_FALSE(test::Contains(log, "PRINTER-DRIVER NAME TO ADD : KESTREL ZEP-4100 "));
    EXPECT_NE(m.Ui("status").back().text, "Completed.");
}

TEST_F(InstallationTest, OlderThirtyTwoBitSystemsAlsoStageInTheWindowsFolder) {
    m.SetWindows64(false);
    m.SetVersion(sim::versions::kWinXp);
    InstallerRun run(m);
    run.Run();
    for (const char* f : {"ZEP1TE.dll", "ZEPUI1T.dll", "ZEPUI1T.ini", "ZEP1TE.gpd"})
        EXPECT_EQ(m.FileContents(std::string("C:\\Windows\\") + f), std::string("sample ") + f);
    EXPECT_TRUE(m.Exists("C:\\Windows\\system32\\ZEPMON.dll"));
    EXPECT_FALSE(m.Exists("C:\\Windows\\ZEPMON.dll"));
    EXPECT_EQ(m.Monitors()[0].environment, "Windows NT x86");
    EXPECT_EQ(m.RegString(kUninstallKey, "DisplayName", true),
              "KESTREL Customer Display Windows Driver V1.1.0E");
    EXPECT_TRUE(test::Contains(Log(), "ENV : Windows NT x86, DRV DIR : .\\Driver32\\ "));
}

TEST_F(InstallationTest, VistaAndWow64StageOnlyInTheDriverFolder) {
    m.SetWindows64(false);
    m.SetVersion(sim::versions::kVista);
    InstallerRun run(m);
    run.Run();
    EXPECT_FALSE(m.Exists("C:\\Windows\\ZEP1TE.dll"));
    EXPECT_TRUE(m.FindPrinter("KESTREL ZEP-4000"));
}

TEST_F(InstallationTest, OlderSystemsEndWithServer2003) {
    // 2006 (Server 2003) is the last code that also stages in the Windows
    // folder and lends framedyn.dll; 2007 (Vista) is the first that does not.
    for (auto v : {sim::versions::kWin2003, sim::versions::kVista}) {
        bool older = v.major == 5;
        sim::Machine machine;
        test::PrepareInstallerMachine(machine);
        machine.SetWindows64(false);
        machine.SetVersion(v);
        machine.AddFile("C:\\Windows\\system32\\wbem\\framedyn.dll", "wmi");
        machine.InjectFault(sim::Fault("AddPrinterDriverA").Fails(kErrModNotFound));
        InstallerRun run(machine);
        run.Run();
        EXPECT_EQ(machine.Exists("C:\\Windows\\ZEP1TE.dll"), older) << v.major;
        EXPECT_EQ(machine.Calls("AddPrinterDriverA").size(), older ? 2u : 1u) << v.major;
        EXPECT_EQ(machine.FindPrinter("KESTREL ZEP-4000").has_value(), older) << v.major;
    }
}

TEST_F(InstallationTest, MissingPackageFolderIsReportedStepByStep) {
    m.AddDirectory("C:\\Empty");
    m.SetCurrentDirectory("C:\\Empty");
    m.AddFile("C:\\Empty\\ZEP_Uninstaller.exe", "u");
    InstallerRun run(m);
    EXPECT_EQ(run.Run(), 0);
    std::vector<std::string> log = Log();
    EXPECT_TRUE(test::Contains(log, "COPYFILE ERROR, SRC : .\\Driver64\\ZEP1TE.dll "));
    EXPECT_TRUE(test::Contains(log, "ERROR CODE : 3 "));  // the folder is missing
    std::vector<std::string> boxes = m.BoxTexts();
    ASSERT_FALSE(boxes.empty());
    EXPECT_EQ(boxes[0].rfind("AddMonitor, ERR CODE: 126", 0), 0u);
    // The printer cannot be added without its driver: its box ends the run.
    EXPECT_EQ(boxes.back().rfind("AddPrinter, Error Code: 1797", 0), 0u);
}

TEST_F(InstallationTest, CopyHandlerRenamesAFileInUse) {
    InstallerRun run(m);
    run.dialog.m_installation.SetSystemInfo();
    const std::string dest = std::string(kDrivers64) + "\\ZEP1TE.dll";
    m.AddFile(dest, "old driver");
    m.AddFile(dest + ".old", "older");
    m.HoldOpen(dest, kFileShareRead | kFileShareDelete);
    m.ClearCalls();
    Status copy = m.CopyFileA("C:\\Package\\Driver64\\ZEP1TE.dll", dest, false);
    ASSERT_FALSE(copy.ok);
    run.log.OpenLog();
    EXPECT_TRUE(run.dialog.m_installation.HandleCopyFileError("C:\\Package\\Driver64\\ZEP1TE.dll",
                                                              dest, copy.error));
    EXPECT_EQ(m.FileContents(dest), "sample ZEP1TE.dll");
    EXPECT_EQ(m.FileContents(dest + ".old"), "old driver");
    EXPECT_EQ(Log(), (std::vector<std::string>{"ERROR_SHARING_VIOLATION HANDLER",
                                               "strDest : " + dest,
                                               "strDestWithOldExt : " + dest + ".old",
                                               "MOVEFILE_DELAY_UNTIL_REBOOT : " + dest + ".old"}));
    // Still in use now; gone once Windows restarts.
    m.RestartWindows();
    EXPECT_FALSE(m.Exists(dest + ".old"));
    EXPECT_EQ(m.FileContents(dest), "sample ZEP1TE.dll");
}

TEST_F(InstallationTest, CopyHandlerWithAStuckOldFileKeepsTheDestination) {
    InstallerRun run(m);
    const std::string dest = std::string(kDrivers64) + "\\ZEPUI1T.dll";
    m.AddFile(dest, "in use");
    m.AddFile(dest + ".old", "stuck");
    m.HoldOpen(dest, 0);
    m.HoldOpen(dest + ".old", 0);
    run.log.OpenLog();
    EXPECT_TRUE(run.dialog.m_installation.HandleCopyFileError("C:\\Package\\Driver64\\ZEPUI1T.dll",
                                                              dest, kErrSharingViolation));
    EXPECT_EQ(m.FileContents(dest), "in use");
    EXPECT_EQ(m.FileContents(dest + ".old"), "stuck");
    std::vector<std::string> log = Log();
    EXPECT_TRUE(test::Contains(log, "CopyFile Error : C:\\Package\\Driver64\\ZEPUI1T.dll "));
    EXPECT_TRUE(test::Contains(log, "Error Code : (32) "));
    EXPECT_TRUE(test::Contains(log, "CopyFile Error : " + dest + " "));
    EXPECT_TRUE(m.PendingFileOperations().empty());  // nothing was moved aside
}

TEST_F(InstallationTest, CopyHandlerRestoresTheFileWhenTheRetryFails) {
    InstallerRun run(m);
    const std::string dest = std::string(kDrivers64) + "\\ZEP1TE.gpd";
    m.AddFile(dest, "current", kFileAttributeReadonly);
    m.InjectFault(sim::Fault("CopyFileA").In("HandleCopyFileError").Fails(kErrAccessDenied));
    run.log.OpenLog();
    EXPECT_TRUE(run.dialog.m_installation.HandleCopyFileError("C:\\Package\\Driver64\\ZEP1TE.gpd",
                                                              dest, kErrAccessDenied));
    EXPECT_EQ(m.FileContents(dest), "current");
    EXPECT_FALSE(m.Exists(dest + ".old"));
    EXPECT_TRUE(m.PendingFileOperations().empty());  // the file back in place is not queued
}

TEST_F(InstallationTest, CopyHandlerRefusesOtherCodes) {
    InstallerRun run(m);
    run.log.OpenLog();
    EXPECT_FALSE(run.dialog.m_installation.HandleCopyFileError(".\\Driver64\\x", "C:\\y",
                                                               kErrFileNotFound));
    EXPECT_EQ(Log(), (std::vector<std::string>{"COPYFILE ERROR, SRC : .\\Driver64\\x ",
                                               "ERROR CODE : 2 ", "COPYFILE ERROR, DES : C:\\y "}));
}

TEST_F(InstallationTest, InfAlreadyHeldIsReplacedWithoutABox) {
    m.AddFile("C:\\Windows\\inf\\oem3.inf", m.FileContents("C:\\Package\\Driver64\\ZEP.inf"));
    InstallerRun run(m);
    run.dialog.m_installation.SetSystemInfo();
    run.log.OpenLog();
    m.ClearCalls();
    run.dialog.m_installation.CopyINFFile();
    EXPECT_TRUE(m.BoxTexts().empty());
    EXPECT_FALSE(m.Exists("C:\\Windows\\inf\\oem0.inf"));
    std::vector<std::string> calls;
    for (const sim::CallRecord& c : m.Calls())
        if (c.call == "SetupCopyOEMInfA") calls.push_back(c.args);
    EXPECT_EQ(calls.size(), 2u);
    std::vector<std::string> log = Log();
    ASSERT_GE(log.size(), 2u);
    EXPECT_NE(log[log.size() - 2].find("oem3.inf"), std::string::npos) << log[log.size() - 2];
}

TEST_F(InstallationTest, InfCopyFailureShowsTheSystemErrorBox) {
    InstallerRun run(m);
    run.dialog.m_installation.SetSystemInfo();
    run.log.OpenLog();
    m.InjectFault(sim::Fault("SetupCopyOEMInfA").Fails(kErrAccessDenied));
    run.dialog.m_installation.CopyINFFile();
    std::vector<std::string> log = Log();
    EXPECT_TRUE(test::Contains(log, "SetupCopyOEMInf failed : (5)"));
    EXPECT_TRUE(test::Contains(log, "INF FILE NAME : "));
    ASSERT_EQ(m.BoxTexts().size(), 1u);
    EXPECT_EQ(m.BoxTexts()[0], "SetupCopyOEMInf, ERR CODE: 5\n\nAccess is denied.\r\n");
}

struct DriverRetryTest : InstallationTest {
    void SetUp() override {
        InstallationTest::SetUp();
        m.SetWindows64(false);
        m.SetVersion(sim::versions::kWinXp);
        m.AddFile("C:\\Windows\\system32\\wbem\\framedyn.dll", "wmi");
    }
};

TEST_F(DriverRetryTest, ModuleNotFoundRetriesOnceWithFramedyn) {
    m.InjectFault(sim::Fault("AddPrinterDriverA").Fails(kErrModNotFound));
    InstallerRun run(m);
    run.Run();
    EXPECT_TRUE(m.BoxTexts().size() == 1u);  // only the restart question
    EXPECT_FALSE(m.Exists("C:\\Windows\\system32\\framedyn.dll"));
    EXPECT_EQ(m.Drivers().size(), 1u);
    bool copied = false;
    for (const sim::CallRecord& c : m.Calls())
        copied |= c.call == "CopyFileA" && c.args.find("wbem\\framedyn.dll") != std::string::npos;
    EXPECT_TRUE(copied);
}

TEST_F(DriverRetryTest, FailedRetryShowsTheRetrysCode) {
    m.InjectFault(sim::Fault("AddPrinterDriverA").Fails(kErrModNotFound));
    m.InjectFault(sim::Fault("AddPrinterDriverA").Fails(kErrAccessDenied));
    InstallerRun run(m);
    run.Run();
    ASSERT_GE(m.BoxTexts().size(), 1u);
    EXPECT_EQ(m.BoxTexts()[0].rfind("AddPrinterDriver, ERR CODE: 5\n\n", 0), 0u);
}

TEST_F(DriverRetryTest, ASystemCopyOfFramedynIsNotOursToDelete) {
    m.AddFile("C:\\Windows\\system32\\framedyn.dll", "already there");
    m.InjectFault(sim::Fault("AddPrinterDriverA").Fails(kErrModNotFound));
    // Whether a file is there is judged by the copy itself, not by a look
    // beforehand that can fail for other reasons (or be overtaken).
    m.InjectFault(sim::Fault("GetFileAttributesA").For("framedyn").Fails(kErrAccessDenied).Always());
    InstallerRun run(m);
    run.Run();
    EXPECT_EQ(m.FileContents("C:\\Windows\\system32\\framedyn.dll"), "already there");
    EXPECT_EQ(m.Drivers().size(), 1u);  // the retry used it
}

TEST_F(DriverRetryTest, ACopyThatFailsIsNotDeletedAfterTheRetry) {
    m.InjectFault(sim::Fault("AddPrinterDriverA").Fails(kErrModNotFound));
    m.InjectFault(sim::Fault("CopyFileA").For("framedyn").Fails(kErrAccessDenied));
    InstallerRun run(m);
    run.Run();
    for (const sim::CallRecord& c : m.Calls("DeleteFileA"))
        EXPECT_EQ(c.args.find("framedyn"), std::string::npos) << c.args;
}

TEST_F(DriverRetryTest, VistaDoesNotRetry) {
    m.SetVersion(sim::versions::kVista);
    m.InjectFault(sim::Fault("AddPrinterDriverA").Fails(kErrModNotFound));
    InstallerRun run(m);
    run.Run();
    ASSERT_GE(m.BoxTexts().size(), 1u);
    EXPECT_EQ(m.BoxTexts()[0].rfind("AddPrinterDriver, ERR CODE: 126", 0), 0u);
}

TEST_F(InstallationTest, LogOfTheDriverRegistrationHoldsACheckOSBlock) {
    InstallerRun run(m);
    run.Run();
    std::vector<std::string> log = Log();
    EXPECT_TRUE(test::InOrder(log, {"AddPrinterDriverToSystem BEGIN", "CheckOS BEGIN",
                                    "osvi.dwPlatformID   : 2", "CheckOS END",
                                    "AddPrinterDriverToSystem END"}));
}

TEST_F(InstallationTest, ProductFolderIsRecreatedReadableButNotWritableByEveryone) {
    m.AddFile("C:\\Windows\\ZEP\\stale\\old.exe", "x", kFileAttributeReadonly);
    m.AddFile("C:\\Windows\\ZEP\\ZEP_Uninstaller.exe", "previous", kFileAttributeReadonly);
    InstallerRun run(m);
    run.Run();
    EXPECT_FALSE(m.Exists("C:\\Windows\\ZEP\\stale"));
    EXPECT_EQ(m.FileContents("C:\\Windows\\ZEP\\ZEP_Uninstaller.exe"), "uninstaller");
    std::vector<sim::Machine::AceRecord> acl = m.DirectoryAcl("C:\\Windows\\ZEP");
    ASSERT_EQ(acl.size(), 3u);
    EXPECT_EQ(acl[0].trustee, "Everyone");
    EXPECT_EQ(acl[0].permissions, kGenericRead | kGenericExecute);
    for (const auto& ace : acl) EXPECT_EQ(ace.inheritance, kSubContainersAndObjectsInherit);
    EXPECT_EQ(acl[1].trustee, "Administrators");
    EXPECT_EQ(acl[1].permissions, kGenericAll);
    EXPECT_EQ(acl[2].trustee, "SYSTEM");
    EXPECT_EQ(acl[2].permissions, kGenericAll);
}

TEST_F(InstallationTest, ProductFolderShortOfItsFullAclTakesDefaultSecurity) {
    // Any SID that cannot be made, all of them, or an ACL that cannot be
    // built: the folder gets what it inherits, never a partial list and
    // never a NULL DACL, and the uninstaller still arrives in it.
    const std::vector<std::pair<std::vector<const char*>, std::string>> cases = {
        {{"Everyone"}, "Fail to get Everyone SID. (8)"},
        {{"Administrators"}, "Fail to get Administrators SID. (8)"},
        {{"SYSTEM"}, "Fail to get SYSTEM SID. (8)"},
        {{"Everyone", "Administrators", "SYSTEM"}, "Fail to get SYSTEM SID. (8)"},
        {{}, "SetEntriesInAcl failed : (8)"}};
    for (const auto& [sids, line] : cases) {
        sim::Machine fresh;
        test::PrepareInstallerMachine(fresh);
        for (const char* sid : sids)
            fresh.InjectFault(sim::Fault("AllocateAndInitializeSid").For(sid).Fails(kErrNotEnoughMemory));
        if (sids.empty()) fresh.InjectFault(sim::Fault("SetEntriesInAclA").Fails(kErrNotEnoughMemory));
        InstallerRun run(fresh);
        run.Run();
        EXPECT_TRUE(fresh.IsDirectory("C:\\Windows\\ZEP")) << line;
        EXPECT_TRUE(fresh.DirectoryAcl("C:\\Windows\\ZEP").empty()) << line;
        EXPECT_FALSE(fresh.HasNullDacl("C:\\Windows\\ZEP")) << line;
        EXPECT_EQ(fresh.FileContents("C:\\Windows\\ZEP\\ZEP_Uninstaller.exe"), "uninstaller") << line;
        EXPECT_TRUE(test::Contains(test::LogLines(fresh.LogText("ZEP_Installer.txt")), line)) << line;
        EXPECT_EQ(fresh.OpenHandles().sids + fresh.OpenHandles().acls, 0u) << line;
        EXPECT_TRUE(fresh.HandleMisuse().empty()) << line;
    }
}

// ------------------------------------------------------------------ uninstall entry

struct UninstallEntryTest : InstallationTest {
    void Register(bool wow64) {
        InstallerRun run(m);
        run.log.OpenLog();
        run.dialog.m_installation.m_bWow64 = wow64;
        run.dialog.m_installation.RegisterUninstallInfo();
    }
};

TEST_F(UninstallEntryTest, ReplacesAnExistingEntryWhole) {
    m.SetRegString(kUninstallKey, "DisplayName", "old");
    m.SetRegString(kUninstallKey, "Stale", "x");
    Register(true);
    EXPECT_EQ(m.RegValueNames(kUninstallKey, true), kEntryValues);
    EXPECT_EQ(Log().front(), "");
    EXPECT_TRUE(test::Contains(Log(), std::string("REGKEY : ") + kUninstallKey));
}

TEST_F(UninstallEntryTest, ThirtyTwoBitWindowsUsesTheOnlyView) {
    m.SetWindows64(false);
    m.SetRegString(kUninstallKey, "Stale", "x");
    m.AddRegKey(std::string(kUninstallKey) + "\\Sub");
    Register(false);
    EXPECT_EQ(m.RegValueNames(kUninstallKey, true), kEntryValues);
    EXPECT_FALSE(m.RegKeyExists(std::string(kUninstallKey) + "\\Sub"));  // SHDeleteKeyA: the tree
}

TEST_F(UninstallEntryTest, AnEarlierEntryGoesWithItsSubkeysOn64BitWindows) {
    m.SetRegString(kUninstallKey, "Stale", "x");
    m.AddRegKey(std::string(kUninstallKey) + "\\Sub\\Deeper");
    Register(true);
    EXPECT_FALSE(m.RegKeyExists(std::string(kUninstallKey) + "\\Sub"));
    EXPECT_EQ(m.RegValueNames(kUninstallKey, true), kEntryValues);
}

TEST_F(UninstallEntryTest, FailuresAreLoggedWithTheirStatus) {
    m.SetRegString(kUninstallKey, "Stale", "x");
    m.AddRegKey(std::string(kUninstallKey) + "\\Sub");
    m.InjectFault(sim::Fault("RegDeleteKeyExA").For("Sub").Fails(kErrAccessDenied));
    m.InjectFault(sim::Fault("RegCreateKeyExA").Fails(kErrAccessDenied));
    Register(true);
    std::vector<std::string> log = Log();
    EXPECT_TRUE(test::Contains(log, std::string("MyRegDeleteKeyEx failed : ") + kUninstallKey +
                                        ", (5) "));
    EXPECT_TRUE(test::Contains(log, std::string("RegCreateKeyEx failed : ") + kUninstallKey +
                                        ", (5) "));
    EXPECT_EQ(log.back(), "RegisterUninstallInfo END");
    EXPECT_EQ(m.RegString(kUninstallKey, "Stale"), "x");
}

// ------------------------------------------------------------------ version check

struct DriverVersionTest : InstallationTest {
    int Check() {
        Platform os = m.platform();
        return DriverVersion(os, "Windows x64", "ZEP Character Type", "ZEP PRINT PROCESSOR", 1, 1, 0, 0);
    }
    void Printer(const std::string& name, uint32_t a, uint32_t b, uint32_t c,
                 std::optional<uint32_t> d) {
        m.AddPrinterDirect(name, "ZEP Character Type");
        m.SetPrinterVersion(name, a, b, c, d);
    }
};

TEST_F(DriverVersionTest, ComparesTheFirstPrintersVersion) {
    EXPECT_EQ(Check(), 2);
    Printer("A", 1, 1, 0, 0);
    EXPECT_EQ(Check(), 3);
    Printer("B", 1, 0, 0, 0);  // later in enumeration order: not looked at
    EXPECT_EQ(Check(), 3);
}

TEST_F(DriverVersionTest, OlderNewerAndMissingExtra) {
    struct Case {
        uint32_t a, b, c;
        std::optional<uint32_t> d;
        int result;
    } cases[] = {{1, 0, 9, 9, 0}, {1, 2, 0, 0, 1},           {2, 0, 0, 0, 1},
                 {1, 1, 0, 1, 1}, {1, 1, 0, std::nullopt, 0}, {0xFFFFFFFFu, 0, 0, 0, 1}};
    for (const Case& c : cases) {
        sim::Machine machine;
        machine.AddPrinterDirect("P", "ZEP Character Type");
        machine.SetPrinterVersion("P", c.a, c.b, c.c, c.d);
        Platform os = machine.platform();
        EXPECT_EQ(DriverVersion(os, "Windows x64", "ZEP Character Type", "ZEP PRINT PROCESSOR", 1, 1, 0, 0),
                  c.result)
            << c.a << "." << c.b << "." << c.c;
    }
}

TEST_F(DriverVersionTest, LeftOversWithoutPrintersCountAsOlder) {
    m.AddPrinterDirect("Named after us", "zep character type");  // case differs: not ours
    EXPECT_EQ(Check(), 2);
    m.AddPrintProcessorDirect("ZEP PRINT PROCESSOR", "Windows NT x86", "ZEPPRO.dll");
    EXPECT_EQ(Check(), 2);  // the other environment's processor is not the product's
    m.AddPrintProcessorDirect("ZEP PRINT PROCESSOR", "Windows x64", "ZEPPRO.dll");
    EXPECT_EQ(Check(), 0);
    sim::Machine other;
    other.AddDriverDirect("ZEP Character Type", "Windows x64");
    Platform os = other.platform();
    EXPECT_EQ(DriverVersion(os, "Windows x64", "ZEP Character Type", "ZEP PRINT PROCESSOR", 1, 1, 0, 0), 0);
}

}  // namespace
}  // namespace zep
