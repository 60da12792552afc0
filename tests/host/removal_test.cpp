// The shared removal routines, run with each program's profile.
#include <gtest/gtest.h>

#include "removal/removal.h"
#include "resources/string_tables.h"
#include "tests/host/harness.h"

namespace zep {
namespace {

using test::Contains;
using test::InOrder;
using test::LogLines;

// The dialog members the routines use, without a dialog.
struct Host : RemovalHost {
    explicit Host(sim::Machine& m) : m(m) {}
    int Wow64() const override { return wow64; }
    int OsCode() const override { return osCode; }
    std::string& Scratch() override { return scratch; }
    void SetStatusText(const std::string& text) override { status = text; }
    void ProgressStepIt() override { m.RecordUi({"progress", "", "", 0, ++steps}); }
    void ProgressSetPos(int) override {}
    void PostStatusRefresh() override { m.RecordUi({"status", status, "", 0, 0}); }

    sim::Machine& m;
    int wow64 = 1;
    int osCode = kOsWin7;
    int steps = 0;
    std::string scratch, status;
};

template <bool Uninstaller>
struct RemovalTestBase : ::testing::Test {
    sim::Machine m;
    Platform os{m.platform()};
    TraceLog log{m, Uninstaller ? "\\ZEP_UnInstaller.txt" : "\\ZEP_Installer.txt"};
    Support sys{os, log};
    Host host{m};
    DriverRemoval removal{sys, Uninstaller ? UninstallerRemovalProfile() : InstallerRemovalProfile(),
                          host};

    void SetUp() override {
        m.SetStringTable(Uninstaller ? UninstallerStringTable() : InstallerStringTable());
        log.OpenLog();
    }
    std::vector<std::string> Log() {
        return LogLines(m.LogText(Uninstaller ? "ZEP_UnInstaller.txt" : "ZEP_Installer.txt"));
    }
    void ThirtyTwoBit(int osCode) {
        m.SetWindows64(false);
        host.wow64 = 0;
        host.osCode = osCode;
    }
};

using InstallerRemoval = RemovalTestBase<false>;
using UninstallerRemoval = RemovalTestBase<true>;

TEST_F(UninstallerRemoval, FormsAreMatchedByCaseSensitiveSubstring) {
    for (const char* f : {"ZEP Receipt", "Pole ZEP 20x2", "ZEP", "zep lower", "Zep mixed"})
        m.AddFormDirect(f);
    removal.DeleteForms();
    std::vector<std::string> forms = m.FormNames();
    EXPECT_FALSE(Contains(forms, "ZEP Receipt"));
    EXPECT_FALSE(Contains(forms, "Pole ZEP 20x2"));
    EXPECT_FALSE(Contains(forms, "ZEP"));
    EXPECT_TRUE(Contains(forms, "zep lower"));
    EXPECT_TRUE(Contains(forms, "Zep mixed"));
    EXPECT_TRUE(Contains(forms, "Letter"));
    std::vector<std::string> log = Log();
    EXPECT_TRUE(InOrder(log, {"DeleteForms BEGIN", "FORM NAMES : ZEP Receipt ",
                              "FORM NAMES : Pole ZEP 20x2 ", "FORM NAMES : ZEP ", "DeleteForms END"}));
    EXPECT_EQ(test::Timeline(m, {"status", "pause"}),
              (std::vector<std::string>{"status:Deleting forms...", "pause:100"}));
    EXPECT_EQ(host.steps, 0);
}

TEST_F(InstallerRemoval, FormsWithoutServerAndFormsThatResist) {
    m.AddFormDirect("ZEP A");
    m.InjectFault(sim::Fault("DeleteFormA").Fails(kErrAccessDenied));
    removal.DeleteForms();
    EXPECT_TRUE(Contains(Log(), "FORM NAMES : ZEP A "));  // written whether or not it went
    EXPECT_TRUE(m.Ui("status").empty());                  // the installer shows nothing here

    m.InjectFault(sim::Fault("OpenPrinterA").Fails(kErrAccessDenied));
    removal.DeleteForms();
    std::vector<std::string> log = Log();
    EXPECT_EQ(std::vector<std::string>(log.end() - 2, log.end()),
              (std::vector<std::string>{"DeleteForms BEGIN", "DeleteForms END"}));
}

TEST_F(InstallerRemoval, DriverInUseFallsBackToItsRegistryKey) {
    ThirtyTwoBit(kOsWinXp);
    m.AddDriverDirect("ZEP Character Type", "Windows NT x86");
    m.AddPrinterDirect("Still here", "ZEP Character Type");
    const std::string key =
        "SYSTEM\\CurrentControlSet\\Control\\Print\\Environments\\Windows NT x86\\Drivers\\Version-3\\"
        "ZEP Character Type";
    m.AddRegKey(key + "\\Sub");
    EXPECT_TRUE(removal.DeletePrinterDrv());
    EXPECT_FALSE(m.RegKeyExists(key));  // with its subkeys
    EXPECT_EQ(m.Commands(), (std::vector<std::string>{"net stop spooler", "net start spooler"}));
    EXPECT_EQ(m.Pauses(), (std::vector<uint32_t>{2000, 2000}));
}

TEST_F(InstallerRemoval, SixtyFourBitFallbackDeletesTheKeyWithItsSubkeys) {
    const std::string key =
        "SYSTEM\\CurrentControlSet\\Control\\Print\\Environments\\Windows x64\\Drivers\\Version-3\\"
        "ZEP Character Type";
    m.AddRegKey(key + "\\Sub\\Deeper");
    EXPECT_TRUE(removal.DeletePrinterDrv());  // unknown to the spooler; the key goes whole
    EXPECT_FALSE(m.RegKeyExists(key));
    EXPECT_TRUE(removal.DeletePrinterDrv());  // and once gone, it counts as deleted
    m.AddRegKey(key + "\\Sub");
    m.SetHasRegDeleteKeyEx(false);
    EXPECT_FALSE(removal.DeletePrinterDrv());
    EXPECT_TRUE(Contains(Log(), "MyRegDeleteKeyEx failed : " + key + " (-1) "));
    EXPECT_TRUE(m.RegKeyExists(key + "\\Sub"));
}

TEST_F(InstallerRemoval, MonitorUnknownAndItsFilesOnSixtyFourBitWindows) {
    removal.DeleteLanguageMonitor();
    std::vector<std::string> log = Log();
    EXPECT_TRUE(InOrder(
        log, {"DeleteLanguageMonitor BEGIN", "DeleteMonitor Error : (3000)",
              "The specified print monitor is unknown or not installed on this system.",
              "DeleteFile Error : C:\\Windows\\system32\\ZEPMON.dll , (2)",
              "DeleteFile Error : C:\\Windows\\SysWOW64\\ZEPMON.dll , (2)",
              "DeleteFile Error : C:\\Windows\\ZEPMON.dll , (2)", "DeleteLanguageMonitor END"}));
}

TEST_F(InstallerRemoval, MonitorFilesOnThirtyTwoBitWindowsOnlyInTheSystemFolder) {
    ThirtyTwoBit(kOsWinXp);
    m.AddMonitorDirect("ZEP Language Monitor", "ZEPMON.dll");
    m.AddFile("C:\\Windows\\system32\\ZEPMON.dll");
    m.AddFile("C:\\Windows\\ZEPMON.dll");
    removal.DeleteLanguageMonitor();
    EXPECT_TRUE(m.Monitors().empty());
    EXPECT_FALSE(m.Exists("C:\\Windows\\system32\\ZEPMON.dll"));
    EXPECT_TRUE(m.Exists("C:\\Windows\\ZEPMON.dll"));
    EXPECT_EQ(Log(), (std::vector<std::string>{"", "", "DeleteLanguageMonitor BEGIN",
                                               "DeleteLanguageMonitor END"}));
}

TEST_F(UninstallerRemoval, StoppedSpoolerIsStartedForOneRetry) {
    // A spooler that is really stopped (not a refusal made up for the test):
    // the second call succeeds only because the spooler was started first.
    m.AddMonitorDirect("ZEP Language Monitor", "ZEPMON.dll");
    m.AddPrintProcessorDirect("ZEP PRINT PROCESSOR", "Windows x64", "ZEPPRO.dll");
    for (const char* call : {"DeleteMonitorA", "DeletePrintProcessorA"}) {
        SCOPED_TRACE(call);
        m.SetSpoolerRunning(false);
        m.ClearCalls();
        if (std::string(call) == "DeleteMonitorA")
            removal.DeleteLanguageMonitor();
        else
            removal.DeleteProcessor();
        std::vector<std::string> sequence;
        for (const sim::CallRecord& c : m.Calls())
            if (c.call == call || c.call == "WinExec")
                sequence.push_back(c.call + (c.call == "WinExec" ? " " + c.args : "") +
                                   (c.failed ? " failed " + std::to_string(c.error) : ""));
        EXPECT_EQ(sequence, (std::vector<std::string>{std::string(call) + " failed 1722",
                                                      "WinExec net start spooler", call}));
        EXPECT_TRUE(m.SpoolerRunning());
        for (const std::string& line : Log()) EXPECT_EQ(line.find("DeleteMonitor Error"), std::string::npos);
    }
    EXPECT_TRUE(m.Monitors().empty());
    for (const auto& processor : m.PrintProcessors()) EXPECT_NE(processor.second, "ZEP PRINT PROCESSOR");
    EXPECT_EQ(m.Commands(), (std::vector<std::string>{"net start spooler", "net start spooler"}));
}

TEST_F(InstallerRemoval, StoppedSpoolerGoesStraightToTheRegistry) {
    m.AddMonitorDirect("ZEP Language Monitor", "ZEPMON.dll");
    m.SetSpoolerRunning(false);
    removal.DeleteLanguageMonitor();
    EXPECT_TRUE(Contains(Log(), "DeleteMonitor Error : (1722)"));
    EXPECT_TRUE(m.Commands().empty());
}

TEST_F(UninstallerRemoval, ProcessorFallbackAndFiles) {
    m.AddFile("C:\\Windows\\system32\\spool\\prtprocs\\x64\\ZEPPRO.dll");
    m.InjectFault(sim::Fault("DeletePrintProcessorA").Fails(kErrRpcServerUnavailable).Times(2));
    removal.DeleteProcessor();
    std::vector<std::string> log = Log();
    EXPECT_TRUE(InOrder(
        log,
        {"DeleteProcessor BEGIN", "DeleteMonitor Error : (1722)",
         "DeleteFile Error : C:\\Windows\\system32\\spool\\prtprocs\\x64\\ZEP.ini , (2)",
         "DeleteProcessor END"}));
    EXPECT_FALSE(m.Exists("C:\\Windows\\system32\\spool\\prtprocs\\x64\\ZEPPRO.dll"));
}

TEST_F(UninstallerRemoval, DriverFilesOfACleanSystemAreEachReported) {
    removal.DeleteDriverFiles();
    const std::string d = "C:\\Windows\\system32\\spool\\drivers\\x64\\3\\";
    const std::string w = "C:\\Windows\\";
    std::vector<std::string> expected = {
        "", "", "DeleteDriverComponent BEGIN",
        "PrinterDriverDirectory : C:\\Windows\\system32\\spool\\drivers\\x64",
        "WindowsDirectory : C:\\Windows"};
    for (std::string p : {w + "ZEP1TE.dll", d + "ZEP1TE.dll", d + "ZEP1TE.gpd", w + "ZEP1TE.gpd",
                          d + "ZEP1TE.bud", d + "ZEPUI1T.dll", w + "ZEPUI1T.dll", d + "ZEPUI1T.ini",
                          w + "ZEPUI1T.ini"})
        expected.push_back("DeleteFile Error : " + p + " , (2)");
    expected.push_back("DeleteDriverComponent END");
    EXPECT_EQ(Log(), expected);
    EXPECT_EQ(m.Commands(), (std::vector<std::string>{"net stop spooler", "net start spooler"}));
    EXPECT_EQ(test::Timeline(m, {"status", "progress", "pause"}),
              (std::vector<std::string>{"progress:1", "status:Deleting driver-components...",
                                        "pause:100", "pause:1500", "pause:2000"}));
}

TEST_F(InstallerRemoval, DriverFilesSkipAFolderThatCannotBeLearned) {
    m.AddFile("C:\\ZEP1TE.dll", "not ours");
    m.AddFile("C:\\3\\ZEP1TE.gpd", "not ours");
    m.InjectFault(sim::Fault("GetWindowsDirectoryA").Fails(kErrAccessDenied));
    m.InjectFault(sim::Fault("GetPrinterDriverDirectoryA").Fails(kErrRpcServerUnavailable));
    removal.DeleteDriverFiles();
    EXPECT_TRUE(m.Exists("C:\\ZEP1TE.dll"));
    EXPECT_TRUE(m.Exists("C:\\3\\ZEP1TE.gpd"));
    EXPECT_EQ(Log(), (std::vector<std::string>{"", "", "DeleteFilesUsed BEGIN",
                                               "GetWindowsDirectory failed",
                                               "GetPrinterDriverDirectory failed. (1722)",
                                               "DeleteFilesUsed END"}));
}

struct InfTest : UninstallerRemoval {
    const std::string ours =
        "[Version]\nSignature=\"$Windows NT$\"\n[KESTREL]\n\"KESTREL ZEP-4000\" = A\n"
        "[KESTREL.NTamd64]\n\"KESTREL ZEP-4000\" = A\n";
    const std::string theirs = "[Version]\nSignature=\"$Windows NT$\"\n[OTHER]\n\"Other\" = B\n";
    void AddInf(const std::string& name, const std::string& text) {
        m.AddFile("C:\\Windows\\inf\\" + name, text);
        std::string pnf = name.substr(0, name.size() - 4) + ".PNF";
        m.AddFile("C:\\Windows\\inf\\" + pnf, "compiled");
    }
};

TEST_F(InfTest, EveryCopyOfOursGoesAndNothingElse) {
    AddInf("oem1.inf", ours);
    AddInf("oem2.inf", theirs);
    AddInf("oem7.inf", ours);
    AddInf("OEM9.inf", ours);   // capitals: not an OEM copy by our test
    AddInf("ours.inf", ours);   // not "oem"
    removal.DeleteINFFile();
    EXPECT_FALSE(m.Exists("C:\\Windows\\inf\\oem1.inf"));
    EXPECT_FALSE(m.Exists("C:\\Windows\\inf\\oem1.PNF"));
    EXPECT_FALSE(m.Exists("C:\\Windows\\inf\\oem7.inf"));
    EXPECT_TRUE(m.Exists("C:\\Windows\\inf\\oem2.inf"));
    EXPECT_TRUE(m.Exists("C:\\Windows\\inf\\OEM9.inf"));
    EXPECT_TRUE(m.Exists("C:\\Windows\\inf\\ours.inf"));
    std::vector<std::string> log = Log();
    EXPECT_TRUE(InOrder(log, {"DeleteINFFile BEGIN", "SECTION NAME : KESTREL.NTamd64",
                              "KEY NAME : KESTREL ZEP-4000", "DeleteINFFile END"}));
    EXPECT_FALSE(Contains(log, "The key name was not found."));
}

TEST_F(InfTest, OnlyThe64BitSectionCountsOn64BitWindows) {
    AddInf("oem3.inf", "[Version]\nSignature=\"$Windows NT$\"\n[KESTREL]\n\"KESTREL ZEP-4000\" = A\n");
    removal.DeleteINFFile();
    EXPECT_TRUE(m.Exists("C:\\Windows\\inf\\oem3.inf"));
    EXPECT_TRUE(Contains(Log(), "The key name was not found."));
}

TEST_F(InfTest, WindowsXpDeletesBothFilesDirectly) {
    ThirtyTwoBit(kOsWinXp);
    AddInf("oem1.inf", ours);
    removal.DeleteINFFile();
    EXPECT_FALSE(m.Exists("C:\\Windows\\inf\\oem1.inf"));
    EXPECT_FALSE(m.Exists("C:\\Windows\\inf\\oem1.PNF"));
    for (const sim::CallRecord& c : m.Calls()) EXPECT_NE(c.call, "SetupUninstallOEMInfA");
}

TEST_F(InfTest, CapitalInfSuffixIsNotReplacedOnXp) {
    ThirtyTwoBit(kOsWinXp);
    m.AddFile("C:\\Windows\\inf\\oem4.INF", ours);
    removal.DeleteINFFile();
    EXPECT_FALSE(m.Exists("C:\\Windows\\inf\\oem4.INF"));
    EXPECT_TRUE(Contains(Log(), "DeleteFile Error : C:\\Windows\\inf\\oem4.INF , (2)"));
}

TEST_F(InfTest, VistaUsesTheSetupApiAndReportsThePnfItAlreadyRemoved) {
    ThirtyTwoBit(kOsVista);
    AddInf("oem1.inf", ours);
    removal.DeleteINFFile();
    EXPECT_FALSE(m.Exists("C:\\Windows\\inf\\oem1.inf"));
    EXPECT_TRUE(Contains(Log(), "DeleteFile Error : C:\\Windows\\inf\\oem1.PNF , (2)"));
}

TEST_F(InfTest, TheSetupApiPathStartsAtVistaOrWithWow64) {
    // The values on both sides of the comparison: 2006 (Server 2003) is the
    // last code deleted directly, 2007 (Vista) the first through the Setup
    // API; 64-bit Windows takes the Setup API whatever its code.
    struct Row {
        int wow64, osCode;
        bool setupApi;
    } rows[] = {{0, kOsWin2003, false}, {0, kOsVista, true}, {1, kOsWin2003, true}, {0, kOsWin2000, false}};
    for (const Row& r : rows) {
        m.SetWindows64(r.wow64 != 0);
        host.wow64 = r.wow64;
        host.osCode = r.osCode;
        AddInf("oem1.inf", ours);
        m.ClearCalls();
        removal.DeleteINFFile();
        EXPECT_EQ(m.Calls("SetupUninstallOEMInfA").size(), r.setupApi ? 1u : 0u) << r.osCode;
        EXPECT_FALSE(m.Exists("C:\\Windows\\inf\\oem1.inf")) << r.osCode;
        EXPECT_FALSE(m.Exists("C:\\Windows\\inf\\oem1.PNF")) << r.osCode;
    }
}

TEST_F(InfTest, MissingOrFailingUninstallCallKeepsBothFiles) {
    AddInf("oem1.inf", ours);
    m.SetHasSetupUninstallOEMInf(false);
    removal.DeleteINFFile();
    EXPECT_TRUE(m.Exists("C:\\Windows\\inf\\oem1.inf"));
    EXPECT_TRUE(m.Exists("C:\\Windows\\inf\\oem1.PNF"));
    m.SetHasSetupUninstallOEMInf(true);
    m.InjectFault(sim::Fault("SetupUninstallOEMInfA").Fails(kErrAccessDenied));
    removal.DeleteINFFile();
    EXPECT_TRUE(m.Exists("C:\\Windows\\inf\\oem1.PNF"));
}

TEST_F(InfTest, UnreadableInfIsSkippedAndLogged) {
    AddInf("oem1.inf", ours);
    m.InjectFault(sim::Fault("SetupOpenInfFileA").For("oem1.inf").Fails(sim::kErrSectionNameTooLong));
    removal.DeleteINFFile();
    EXPECT_TRUE(m.Exists("C:\\Windows\\inf\\oem1.inf"));
    EXPECT_TRUE(Contains(Log(), "SetupOpenInfFile failed. " + std::to_string(int(0xE0000002u))));
}

TEST_F(InstallerRemoval, UninstallEntryTriesEverySpellingAndAnAbsentOneIsNoFailure) {
    const std::string cutomer =
        "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\KESTREL Cutomer Display Driver";
    const std::string customer =
        "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\KESTREL Customer Display Driver";
    auto failures = [&] {
        int n = 0;
        for (const std::string& line : Log()) n += line.rfind("MyRegDeleteKeyEx failed", 0) == 0;
        return n;
    };
    // The entry this installer writes.
    m.SetRegString(cutomer, "DisplayName", "x");
    EXPECT_TRUE(removal.DeleteUninstallationInfo());
    EXPECT_FALSE(m.RegKeyExists(cutomer));
    EXPECT_EQ(Log().back(), "DeleteUninstallationInfo END");
    // An older version's spelling alone.
    m.SetRegString(customer, "DisplayName", "y");
    m.AddRegKey(customer + "\\Sub");
    EXPECT_TRUE(removal.DeleteUninstallationInfo());
    EXPECT_FALSE(m.RegKeyExists(customer));
    EXPECT_EQ(failures(), 0);

    // A real failure is reported and the other spelling still goes.
    m.SetRegString(cutomer, "DisplayName", "x");
    m.SetRegString(customer, "DisplayName", "y");
    m.InjectFault(sim::Fault("RegDeleteKeyExA").For("Cutomer").Fails(kErrAccessDenied));
    EXPECT_FALSE(removal.DeleteUninstallationInfo());
    EXPECT_TRUE(m.RegKeyExists(cutomer));
    EXPECT_FALSE(m.RegKeyExists(customer));
    std::vector<std::string> log = Log();
    EXPECT_TRUE(InOrder(log, {"MyRegDeleteKeyEx failed : " + cutomer + " (5) ",
                              "DeleteUninstallationInfo END"}));
    EXPECT_EQ(failures(), 1);
}

TEST_F(InstallerRemoval, UninstallEntryOnThirtyTwoBitWindowsAbsentSpellingIsNoFailure) {
    ThirtyTwoBit(kOsWinXp);
    const std::string customer =
        "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\KESTREL Customer Display Driver";
    m.SetRegString(customer, "DisplayName", "y");
    EXPECT_TRUE(removal.DeleteUninstallationInfo());
    EXPECT_FALSE(m.RegKeyExists(customer));
    for (const std::string& line : Log()) EXPECT_EQ(line.find("SHDeleteKey failed"), std::string::npos);
}

TEST_F(UninstallerRemoval, UninstallEntryOfTheUninstallerOnThirtyTwoBitWindows) {
    ThirtyTwoBit(kOsWinXp);
    const std::string cutomer =
        "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\KESTREL Cutomer Display Driver";
    m.AddRegKey(cutomer + "\\Sub");
    EXPECT_TRUE(removal.DeleteUninstallationInfo());
    EXPECT_FALSE(m.RegKeyExists(cutomer));
    EXPECT_TRUE(InOrder(Log(), {"DeleteUninstallationInfo BEGIN", "RegKey : " + cutomer,
                                "DeleteUninstallationInfo END"}));
}

}  // namespace
}  // namespace zep
