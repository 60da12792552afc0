// Bad inputs and hostile states: a broken package, files in the way, long
// paths, names that look like formats, junctions where trees are deleted, a
// spooler that will not serve, missing functions and privileges. Each run
// must end the way its program ends, say what failed, and leave everything
// that is not the product's alone.
#include <gtest/gtest.h>

#include "tests/host/scenarios.h"

namespace zep::test {
namespace {

const char* const kUninstallKey =
    "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\KESTREL Cutomer Display Driver";
const char* const kDrivers64 = "C:\\Windows\\system32\\spool\\drivers\\x64";

struct Hostile : ::testing::Test {
    sim::Machine m;
    ProductNames names;
    std::string before;
    size_t mark = 0;

    // Neighbours on the machine, then the scenario's arrangement.
    void Arrange(Windows w = Windows::Win7x64) {
        SetWindows(m, w);
        AddNeighbours(m, w);
    }
    // Called right before the run under test.
    void Mark() {
        m.ClearCalls();
        CollectOurInfCopies(m, names);
        before = m.Snapshot();
        mark = m.Ui().size();
    }
    int RunInstaller(InstallerScript script = {}) {
        Mark();
        InstallerRun run(m, std::move(script));
        return run.Run();
    }
    bool RunUninstaller(UninstallerScript script = {}) {
        Mark();
        UninstallerRun run(m);
        return run.Run(script);
    }
    std::vector<std::string> Log(const char* file = "ZEP_Installer.txt") {
        return LogLines(m.LogText(file));
    }
    std::vector<std::string> Boxes() {
        std::vector<std::string> out;
        std::vector<sim::UiEvent> ui = m.Ui();
        for (size_t i = mark; i < ui.size(); ++i)
            if (ui[i].kind == "box") out.push_back(ui[i].text.substr(0, ui[i].text.find("\n\n")));
        return out;
    }
    std::string LastStatus() {
        std::string last;
        std::vector<sim::UiEvent> ui = m.Ui();
        for (size_t i = mark; i < ui.size(); ++i)
            if (ui[i].kind == "status") last = ui[i].text;
        return last;
    }
    // Nothing outside the product's names changed since Mark().
    void ExpectNothingForeignChanged() {
        CollectOurInfCopies(m, names);
        EXPECT_EQ(ForeignChanges(before, m.Snapshot(), names), std::vector<std::string>{});
        EXPECT_EQ(m.HandleMisuse(), std::vector<std::string>{});
    }
    void DeleteTree(const std::string& folder) {
        for (const std::string& name : m.ListDirectory(folder)) {
            std::string path = folder + "\\" + name;
            if (m.IsDirectory(path))
                DeleteTree(path);
            else
                m.DeleteFileA(path);
        }
        m.RemoveDirectoryA(folder);
    }
};

// ------------------------------------------------------------------ the package

TEST_F(Hostile, MissingPackageFolderEndsWithThePrinterBoxAndCopiesNothingElsewhere) {
    Arrange();
    PrepareInstallerMachine(m);
    DeleteTree("C:\\Package\\Driver64");
    EXPECT_EQ(RunInstaller(), 0);

    std::vector<std::string> log = Log();
    EXPECT_TRUE(InOrder(log, {"COPYFILE ERROR, SRC : .\\Driver64\\ZEP1TE.dll ", "ERROR CODE : 3 ",
                              "COPYFILE ERROR, DES : C:\\Windows\\system32\\spool\\drivers\\x64\\ZEP1TE.dll "}));
    // Monitor and processor files are missing: neither registers, nor does
    // the driver, and the printer that needs them ends the run.
    EXPECT_EQ(Boxes(), (std::vector<std::string>{"AddMonitor, ERR CODE: 126", "AddPrintProcessor, ERR CODE: 2",
                                                 "AddPrinterDriver, ERR CODE: 2",
                                                 "AddPrinter, Error Code: 1797"}));
    EXPECT_FALSE(m.RegKeyExists(kUninstallKey));
    EXPECT_TRUE(m.Printers().size() == 1 && m.Printers()[0].info.printerName == "Office Laser");
    ExpectNothingForeignChanged();
}

TEST_F(Hostile, OneMissingFileIsReportedAndTheInstallationGoesOn) {
    Arrange();
    PrepareInstallerMachine(m);
    m.DeleteFileA("C:\\Package\\Driver64\\ZEPUI1T.ini");
    m.DeleteFileA("C:\\Package\\ZEP_Uninstaller.exe");
    EXPECT_EQ(RunInstaller(), 0);

    std::vector<std::string> log = Log();
    EXPECT_TRUE(InOrder(log, {"COPYFILE ERROR, SRC : .\\Driver64\\ZEPUI1T.ini ", "ERROR CODE : 2 "}));
    EXPECT_TRUE(InOrder(log, {"COPYFILE ERROR, SRC : ZEP_Uninstaller.exe ", "ERROR CODE : 2 "}));
    EXPECT_EQ(LastStatus(), "Completed.");
    EXPECT_TRUE(m.FindPrinter("KESTREL ZEP-4000"));
    EXPECT_FALSE(m.Exists("C:\\Windows\\ZEP\\ZEP_Uninstaller.exe"));
    ExpectNothingForeignChanged();
}

TEST_F(Hostile, ZeroByteFilesAreCopiedAsTheyAre) {
    Arrange();
    PrepareInstallerMachine(m);
    for (const std::string& name : m.ListDirectory("C:\\Package\\Driver64"))
        m.AddFile("C:\\Package\\Driver64\\" + name, "");
    m.AddFile("C:\\Package\\ZEP_Uninstaller.exe", "");
    EXPECT_EQ(RunInstaller(), 0);
    EXPECT_EQ(LastStatus(), "Completed.");
    EXPECT_TRUE(m.Exists("C:\\Windows\\ZEPMON.dll"));
    EXPECT_EQ(m.FileContents("C:\\Windows\\ZEPMON.dll"), "");
    EXPECT_EQ(m.FileContents("C:\\Windows\\ZEP\\ZEP_Uninstaller.exe"), "");
    // The empty INF holds no model, so only the log names its copy as ours.
    EXPECT_TRUE(Contains(Log(), "INF FILE NAME : C:\\Windows\\inf\\oem0.inf"));
    names.ourInfCopies.insert("C:\\WINDOWS\\INF\\OEM0.INF");
    ExpectNothingForeignChanged();
}

// ------------------------------------------------------------------ files in the way

TEST_F(Hostile, ReadOnlyTargetIsMovedAsideAndReplaced) {
    Arrange();
    PrepareInstallerMachine(m);
    const std::string target = std::string(kDrivers64) + "\\ZEP1TE.dll";
    m.AddFile(target, "left over", kFileAttributeReadonly);
    EXPECT_EQ(RunInstaller(), 0);

    std::vector<std::string> log = Log();
    EXPECT_TRUE(InOrder(log, {"ERROR_ACCESS_DENIED HANDLER", "strDest : " + target,
                              "strDestWithOldExt : " + target + ".old"}));
    EXPECT_EQ(m.FileContents(target + ".old"), "left over");
    EXPECT_EQ(m.FileContents(std::string(kDrivers64) + "\\3\\ZEP1TE.DLL"), "sample ZEP1TE.dll");
    EXPECT_EQ(LastStatus(), "Completed.");
    ExpectNothingForeignChanged();
}

TEST_F(Hostile, FileInUseWithAnOldCopyThatCannotGoStaysAndIsReported) {
    Arrange();
    InstallFirst(m, {"KESTREL ZEP-4000"});
    m.SetPrinterVersion("KESTREL ZEP-4000", 1, 1, 0, 0);
    PrepareInstallerMachine(m);
    // The spooler holds the monitor; an earlier run's ".old" is held too.
    m.AddFile("C:\\Windows\\ZEPMON.dll.old", "older monitor");
    m.HoldOpen("C:\\Windows\\ZEPMON.dll", kFileShareRead);
    m.HoldOpen("C:\\Windows\\ZEPMON.dll.old", kFileShareRead);
    std::string monitor = m.FileContents("C:\\Windows\\ZEPMON.dll");

    // The driver is present, so re-stage it the way a new installation does.
    InstallerScript script;
    Mark();
    InstallerRun run(m, script);
    run.dialog.OnInitDialog();
    run.dialog.OnTimer(1);
    run.log.OpenLog();
    run.dialog.m_installation.SetSystemInfo();
    run.dialog.m_installation.AddLanguageMonitor();

    std::vector<std::string> log = Log();
    EXPECT_TRUE(InOrder(log, {"ERROR_SHARING_VIOLATION HANDLER",
                              "CopyFile Error : .\\Driver64\\ZEPMON.dll ", "Error Code : (32) ",
                              "CopyFile Error : C:\\Windows\\ZEPMON.dll "}));
    EXPECT_EQ(m.FileContents("C:\\Windows\\ZEPMON.dll"), monitor);
    EXPECT_EQ(m.FileContents("C:\\Windows\\ZEPMON.dll.old"), "older monitor");
    EXPECT_TRUE(Boxes().empty());  // already installed counts as success
    ExpectNothingForeignChanged();
}

TEST_F(Hostile, TargetMovedAsideComesBackWhenTheNewCopyFails) {
    Arrange();
    PrepareInstallerMachine(m);
    const std::string target = "C:\\Windows\\ZEPMON.dll";
    m.AddFile(target, "monitor in use");
    m.HoldOpen(target, kFileShareRead | kFileShareDelete);  // may be renamed, not overwritten
    Mark();
    // The disk fills up before the second copy.
    m.InjectFault(Fault("CopyFileA").In("HandleCopyFileError").Fails(sim::err::kDiskFull));
    InstallerRun run(m);
    run.dialog.OnInitDialog();
    run.dialog.OnTimer(1);
    run.log.OpenLog();
    run.dialog.m_installation.SetSystemInfo();
    run.dialog.m_installation.AddLanguageMonitor();

    EXPECT_TRUE(InOrder(Log(), {"ERROR_SHARING_VIOLATION HANDLER", "Error Code : (112) "}));
    EXPECT_EQ(m.FileContents(target), "monitor in use");
    EXPECT_FALSE(m.Exists(target + ".old"));
}

TEST_F(Hostile, NoOldCopyOfTheProductOutlivesARemovalAndARestart) {
    Arrange();
    PrepareInstallerMachine(m);
    // The spooler still has the previous monitor loaded: it can be renamed,
    // not overwritten. Older ".old" copies lie beside other files.
    m.AddFile("C:\\Windows\\ZEPMON.dll", "previous monitor");
    m.HoldOpen("C:\\Windows\\ZEPMON.dll", kFileShareRead | kFileShareDelete);
    const std::string prt = "C:\\Windows\\system32\\spool\\prtprocs\\x64";
    m.AddFile(prt + "\\ZEPPRO.dll.old", "older processor");
    m.AddFile(std::string(kDrivers64) + "\\3\\ZEP1TE.gpd.old", "older data");
    InstallerScript two;
    two.models = {"KESTREL ZEP-4000", "KESTREL ZEP-4100"};
    EXPECT_EQ(RunInstaller(two), 0);
    EXPECT_TRUE(Contains(Log(), "MOVEFILE_DELAY_UNTIL_REBOOT : C:\\Windows\\ZEPMON.dll.old"));

    // A loaded module may be renamed but not deleted.
    m.ReleaseHolds("C:\\Windows\\ZEPMON.dll.old");
    m.HoldOpen("C:\\Windows\\ZEPMON.dll.old", kFileShareRead);
    PrepareUninstallerMachine(m);
    EXPECT_TRUE(RunUninstaller());
    // The one still in use goes at the restart, the others at once.
    EXPECT_TRUE(Contains(Log("ZEP_UnInstaller.txt"),
                         "MOVEFILE_DELAY_UNTIL_REBOOT : C:\\Windows\\ZEPMON.dll.old"));
    EXPECT_FALSE(m.Exists(prt + "\\ZEPPRO.dll.old"));
    EXPECT_FALSE(m.Exists(std::string(kDrivers64) + "\\3\\ZEP1TE.gpd.old"));
    for (const std::string& line : Log("ZEP_UnInstaller.txt"))
        EXPECT_EQ(line.find(".old , ("), std::string::npos) << line;  // a missing ".old" is no error
    ExpectNothingForeignChanged();

    m.RestartWindows();
    for (const std::string& line : QualifiedLines(m.Snapshot()))
        EXPECT_EQ(UpperCopy(line).find(".OLD "), std::string::npos) << line;
}

// ------------------------------------------------------------------ long paths

TEST_F(Hostile, PathsPastTheLimitFailAtTheCallAndAreNeverCut) {
    Arrange();
    // 226 characters: the Windows folder itself works, deeper paths do not.
    std::string windows = "C:\\" + std::string(222, 'W');
    m.SetWindowsDirectory(windows);
    PrepareInstallerMachine(m);
    EXPECT_EQ(RunInstaller(), 0);

    std::vector<std::string> log = Log();
    bool refused = false;
    for (const std::string& line : log) refused |= line == "ERROR CODE : 206 ";
    EXPECT_TRUE(refused) << "no copy reported the path limit";
    // No copy landed at a shortened path: every change is the product's.
    ExpectNothingForeignChanged();
    for (const std::string& line : QualifiedLines(m.Snapshot())) {
        std::string path = line.substr(0, line.find(' '));
        if (line.find(" file ") != std::string::npos) {
            EXPECT_LT(path.size(), 260u) << path;
        }
    }
}

TEST_F(Hostile, RemovalPastThePathLimitReportsEachFileAndEnds) {
    Arrange();
    InstallFirst(m, {"KESTREL ZEP-4000"});
    // The Windows folder moves, with everything installed in it, to a
    // place where the driver's deeper paths pass the limit.
    std::string windows = "C:\\" + std::string(222, 'W');
    m.SetWindowsDirectory(windows);
    PrepareUninstallerMachine(m);
    EXPECT_TRUE(RunUninstaller());
    std::vector<std::string> log = Log("ZEP_UnInstaller.txt");
    std::string deep = windows + "\\system32\\spool\\drivers\\x64\\3\\ZEPUI1T.dll";
    ASSERT_GE(deep.size(), 260u);
    EXPECT_TRUE(Contains(log, "DeleteFile Error : " + deep + " , (206)"));
    EXPECT_EQ(LastStatus(), "The uninstallation has been completed.");
    ExpectNothingForeignChanged();
}

// ------------------------------------------------------------------ names

TEST_F(Hostile, PrinterAndFormNamesAreDataNeverFormats) {
    Arrange();
    InstallFirst(m, {"KESTREL ZEP-4000"});
    const std::vector<std::string> printers = {
        "KESTREL %s%n%x%d", "KESTREL \"quoted\" 'name'", "KESTREL " + std::string(205, 'L'),
        "KESTREL Kassenanzeige f\xFCr Caf\xE9 \xC5"};
    for (const std::string& p : printers) m.AddPrinterDirect(p, "ZEP Character Type", "COM2:");
    m.AddPrinterDirect("Other %n%s", "Other Driver");
    const std::vector<std::string> forms = {"ZEP %n%s%d", "ZEP \"quoted\"",
                                            "ZEP " + std::string(205, 'F'), "ZEP Gr\xF6\xDF" "e"};
    for (const std::string& f : forms) m.AddFormDirect(f);
    m.AddFormDirect("zep %n lower case");
    PrepareUninstallerMachine(m);
    EXPECT_TRUE(RunUninstaller());

    std::vector<std::string> log = Log("ZEP_UnInstaller.txt");
    for (const std::string& p : printers) {
        EXPECT_TRUE(Contains(log, "OBJECT NAME : " + p)) << p;
        EXPECT_FALSE(m.FindPrinter(p)) << p;
    }
    for (const std::string& f : forms) EXPECT_TRUE(Contains(log, "FORM NAMES : " + f + " ")) << f;
    EXPECT_TRUE(m.FindPrinter("Other %n%s"));
    EXPECT_TRUE(Contains(m.FormNames(), "zep %n lower case"));
    EXPECT_EQ(LastStatus(), "The uninstallation has been completed.");
    ExpectNothingForeignChanged();
}

TEST_F(Hostile, LongPrinterNameStillGivesItsVersion) {
    Arrange();
    InstallFirst(m, {"KESTREL ZEP-4000"});
    std::string name = "A " + std::string(217, 'N');  // first in the enumeration
    m.AddPrinterDirect(name, "ZEP Character Type", "COM2:");
    m.SetPrinterVersion(name, 1, 1, 0, 0);
    PrepareInstallerMachine(m);
    InstallerScript script;
    script.cancelModels = true;
    EXPECT_EQ(RunInstaller(script), 0);
    // Same version: the wizard comes, nothing is removed.
    EXPECT_EQ(Boxes(), std::vector<std::string>{"The driver installation canceled."});
    EXPECT_TRUE(m.FindPrinter(name));
}

TEST_F(Hostile, DriverNameInAnotherCaseIsNotTheProducts) {
    Arrange();
    InstallFirst(m, {"KESTREL ZEP-4000"});
    m.AddPrinterDirect("Look Alike", "zep character type", "COM3:");
    PrepareUninstallerMachine(m);
    UninstallerRun run(m);
    Mark();
    run.dialog.OnInitDialog();
    run.dialog.OnTimer(1);
    ASSERT_EQ(run.view.list.GetCount(), 1);
    EXPECT_EQ(run.view.list.GetText(0), "KESTREL ZEP-4000");
    run.dialog.OnUninstall();
    run.dialog.RunUninstall();
    EXPECT_TRUE(m.FindPrinter("Look Alike"));
    ExpectNothingForeignChanged();
}

// ------------------------------------------------------------------ INF copies

TEST_F(Hostile, MalformedAndHugeInfCopiesAreSkippedAndKept) {
    Arrange();
    InstallFirst(m, {"KESTREL ZEP-4000"});
    m.AddFile("C:\\Windows\\inf\\oem3.inf", "[KESTREL\r\n\"KESTREL ZEP-4000\" = ZEP4000\r\n");
    m.AddFile("C:\\Windows\\inf\\oem4.inf", std::string("MZ\0\x90\xFF\xFE[\0]\r\n", 11) + std::string(4096, '\0'));
    std::string huge = "[Version]\r\nSignature=\"$Windows NT$\"\r\n[Models]\r\n";
    while (huge.size() < (1u << 20)) huge += "\"Some Model With A Long Name\" = SECTION_" + std::to_string(huge.size()) + "\r\n";
    m.AddFile("C:\\Windows\\inf\\oem5.inf", huge);
    PrepareUninstallerMachine(m);
    EXPECT_TRUE(RunUninstaller());

    std::vector<std::string> log = Log("ZEP_UnInstaller.txt");
    int unreadable = 0;
    for (const std::string& line : log) unreadable += line.rfind("SetupOpenInfFile failed. ", 0) == 0;
    EXPECT_GE(unreadable, 1);
    for (const char* kept : {"oem3.inf", "oem4.inf", "oem5.inf", "oem7.inf"})
        EXPECT_TRUE(m.Exists(std::string("C:\\Windows\\inf\\") + kept)) << kept;
    EXPECT_FALSE(m.Exists("C:\\Windows\\inf\\oem0.inf"));  // ours
    ExpectNothingForeignChanged();
}

// ------------------------------------------------------------------ registry

TEST_F(Hostile, UninstallKeyWithSubkeysOn64BitWindowsGoesWhole) {
    Arrange();
    InstallFirst(m, {"KESTREL ZEP-4000"});
    m.SetRegString(std::string(kUninstallKey) + "\\Extra", "Note", "added by someone");
    m.AddRegKey(std::string(kUninstallKey) + "\\Extra\\Deeper");
    PrepareUninstallerMachine(m);
    EXPECT_TRUE(RunUninstaller());
    std::vector<std::string> log = Log("ZEP_UnInstaller.txt");
    for (const std::string& line : log) EXPECT_EQ(line.find("MyRegDeleteKeyEx failed"), std::string::npos) << line;
    EXPECT_FALSE(m.RegKeyExists(kUninstallKey));
    EXPECT_EQ(LastStatus(), "The uninstallation has been completed.");
    ExpectNothingForeignChanged();
    // A later run finds nothing to remove and no entry to leave behind.
    RunUninstaller();
    EXPECT_EQ(Boxes(), std::vector<std::string>{"The ZEP driver does not exist on this system."});
    EXPECT_FALSE(m.RegKeyExists(kUninstallKey));
}

TEST_F(Hostile, UninstallKeyWithSubkeysOn32BitWindowsGoesWhole) {
    Arrange(Windows::WinXp);
    InstallFirst(m, {"KESTREL ZEP-4000"});
    m.SetRegString(std::string(kUninstallKey) + "\\Extra", "Note", "added by someone");
    PrepareUninstallerMachine(m);
    EXPECT_TRUE(RunUninstaller());
    EXPECT_FALSE(m.RegKeyExists(kUninstallKey));
    EXPECT_FALSE(m.RegKeyExists(std::string(kUninstallKey) + "\\Extra"));
    ExpectNothingForeignChanged();
}

// ------------------------------------------------------------------ junctions

TEST_F(Hostile, JunctionAsTheProductFolderIsRemovedNotFollowed) {
    Arrange();
    m.AddFile("C:\\Important\\ledger.xls", "numbers");
    m.AddJunction("C:\\Windows\\ZEP", "C:\\Important");
    PrepareInstallerMachine(m);
    EXPECT_EQ(RunInstaller(), 0);
    EXPECT_EQ(m.FileContents("C:\\Important\\ledger.xls"), "numbers");
    EXPECT_FALSE(m.Exists("C:\\Important\\ZEP_Uninstaller.exe"));
    EXPECT_EQ(m.Attributes("C:\\Windows\\ZEP") & kFileAttributeReparsePoint, 0u);
    EXPECT_TRUE(m.Exists("C:\\Windows\\ZEP\\ZEP_Uninstaller.exe"));
    ExpectNothingForeignChanged();
}

TEST_F(Hostile, JunctionInsideTheProductFolderIsRemovedNotFollowed) {
    Arrange();
    m.AddFile("C:\\Important\\ledger.xls", "numbers");
    m.AddFile("C:\\Windows\\ZEP\\old\\notes.txt", "ours");
    m.AddJunction("C:\\Windows\\ZEP\\cache", "C:\\Important");
    PrepareInstallerMachine(m);
    EXPECT_EQ(RunInstaller(), 0);
    EXPECT_EQ(m.FileContents("C:\\Important\\ledger.xls"), "numbers");
    EXPECT_FALSE(m.Exists("C:\\Windows\\ZEP\\old\\notes.txt"));
    ExpectNothingForeignChanged();
}

struct MakerFolderJunction : Hostile {
    void SetUp() override {
        Arrange();
        InstallFirst(m, {"KESTREL ZEP-4000"});
        m.AddFile("C:\\Data\\ZEP\\keep.txt", "not the product's");
        m.AddFile("C:\\Data\\other.txt", "not the product's either");
        PrepareUninstallerMachine(m);
    }
    void ExpectDataKept() {
        EXPECT_EQ(m.FileContents("C:\\Data\\ZEP\\keep.txt"), "not the product's");
        EXPECT_EQ(m.FileContents("C:\\Data\\other.txt"), "not the product's either");
    }
};

TEST_F(MakerFolderJunction, MakersFolderIsAJunction) {
    // The neighbour's folder moves inside the link's target with the rest.
    DeleteTree("C:\\KESTREL Printer Driver");
    m.AddJunction("C:\\KESTREL Printer Driver", "C:\\Data");
    EXPECT_TRUE(RunUninstaller());
    ExpectDataKept();
    EXPECT_EQ(LastStatus(), "The uninstallation has been completed.");
}

TEST_F(MakerFolderJunction, ProductFolderUnderTheMakersFolderIsAJunction) {
    m.AddJunction("C:\\KESTREL Printer Driver\\ZEP", "C:\\Data");
    EXPECT_TRUE(RunUninstaller());
    ExpectDataKept();
    EXPECT_FALSE(m.Exists("C:\\KESTREL Printer Driver\\ZEP"));
    EXPECT_TRUE(m.Exists("C:\\KESTREL Printer Driver\\Other Display\\readme.txt"));
}

TEST_F(MakerFolderJunction, JunctionInsideTheProductFolder) {
    m.AddFile("C:\\KESTREL Printer Driver\\ZEP\\logs\\a.txt", "ours");
    m.AddJunction("C:\\KESTREL Printer Driver\\ZEP\\logs\\shared", "C:\\Data");
    EXPECT_TRUE(RunUninstaller());
    ExpectDataKept();
    EXPECT_FALSE(m.Exists("C:\\KESTREL Printer Driver\\ZEP"));
    ExpectNothingForeignChanged();
}

// ------------------------------------------------------------------ the spooler

TEST_F(Hostile, SpoolerThatWillNotStartEndsTheInstallationWithItsBoxes) {
    Arrange();
    PrepareInstallerMachine(m);
    m.SetSpoolerRunning(false);
    Mark();
    m.InjectFault(Fault("WinExec").For("net start spooler").Fails(kErrAccessDenied).Always());
    InstallerRun run(m);
    EXPECT_EQ(run.Run(), 0);
    // The version check cannot list the printers: the run ends before it
    // changes anything.
    EXPECT_EQ(Boxes(), std::vector<std::string>{"EnumPrinters Error Code: 1722"});
    EXPECT_FALSE(Contains(Log(), "AddToWin2K BEGIN"));
    ExpectNothingForeignChanged();
}

TEST_F(Hostile, StoppedSpoolerEndsTheUninstallerBeforeAnythingGoes) {
    Arrange();
    InstallFirst(m, {"KESTREL ZEP-4000"});
    PrepareUninstallerMachine(m);
    m.SetSpoolerRunning(false);
    EXPECT_TRUE(RunUninstaller());
    EXPECT_EQ(Boxes(), std::vector<std::string>{"EnumPrinters Error Code: 1722"});
    EXPECT_TRUE(m.RegKeyExists(kUninstallKey));
    EXPECT_TRUE(m.Exists("C:\\Windows\\inf\\oem0.inf"));
    ExpectNothingForeignChanged();
}

TEST_F(Hostile, DriversThatCannotBeListedAreNotReportedMissing) {
    Arrange();
    InstallFirst(m, {"KESTREL ZEP-4000"});
    DeletePrinterByHand(m, "KESTREL ZEP-4000");
    PrepareUninstallerMachine(m);
    Mark();
    m.InjectFault(Fault("EnumPrinterDriversA").Fails(kErrAccessDenied));
    UninstallerRun run(m);
    EXPECT_TRUE(run.Run());
    EXPECT_EQ(Boxes(), std::vector<std::string>{"EnumPrinterDrivers Error Code: 5"});
    EXPECT_TRUE(Contains(Log("ZEP_UnInstaller.txt"), "EnumPrinterDrivers failed. (5)"));
    // The driver is still installed, and so is the way to remove it.
    EXPECT_TRUE(m.RegKeyExists(kUninstallKey));
    EXPECT_FALSE(m.Drivers().empty());
    ExpectNothingForeignChanged();
}

TEST_F(Hostile, SpoolerRefusingEveryCallLeavesEverythingAndSaysSo) {
    Arrange();
    InstallFirst(m, {"KESTREL ZEP-4000"});
    m.SetPrinterVersion("KESTREL ZEP-4000", 1, 0, 0, 0);
    PrepareInstallerMachine(m);
    Mark();
    for (const char* call : {"EnumPrintersA", "OpenPrinterA", "EnumPrinterDriversA",
                             "EnumPrintProcessorsA", "DeletePrinterDriverExA", "DeleteMonitorA",
                             "DeletePrintProcessorA", "GetPrinterDriverDirectoryA",
                             "GetPrintProcessorDirectoryA", "AddMonitorA", "AddPrintProcessorA",
                             "AddPrinterDriverA", "AddPrinterA"})
        m.InjectFault(Fault(call).Fails(kErrAccessDenied).Always());
    InstallerRun run(m);
    EXPECT_EQ(run.Run(), 0);
    // Nothing can be listed, so nothing can be told of the installed
    // version: a healthy installation is not taken for an older one, the
    // run ends before it changes anything.
    EXPECT_EQ(Boxes(), std::vector<std::string>{"EnumPrinters Error Code: 5"});
    EXPECT_FALSE(m.Drivers().empty());
    EXPECT_TRUE(m.FindPrinter("KESTREL ZEP-4000"));
    EXPECT_TRUE(m.Restarts().empty());
    ExpectNothingForeignChanged();
}

// ------------------------------------------------------------------ missing rights and functions

TEST_F(Hostile, NoShutdownPrivilegeMeansNoRestartAndAClearEnd) {
    Arrange();
    InstallFirst(m, {"KESTREL ZEP-4000"});
    m.SetPrinterVersion("KESTREL ZEP-4000", 1, 0, 0, 0);
    PrepareInstallerMachine(m);
    m.SetShutdownPrivilege(false);
    EXPECT_EQ(RunInstaller(), 0);
    EXPECT_TRUE(m.Restarts().empty());
    EXPECT_EQ(Boxes().back().rfind("The installer has successfully removed", 0), 0u);
    ExpectNothingForeignChanged();
}

TEST_F(Hostile, NoShutdownPrivilegeInTheUninstallerAnsweredYes) {
    Arrange();
    InstallFirst(m, {"KESTREL ZEP-4000"});
    PrepareUninstallerMachine(m);
    m.SetShutdownPrivilege(false);
    m.ScriptAnswers({kIdYes});
    EXPECT_TRUE(RunUninstaller());
    EXPECT_TRUE(m.Restarts().empty());
    EXPECT_EQ(LastStatus(), "The uninstallation has been completed.");
}

TEST_F(Hostile, WithoutRegDeleteKeyExTheEntryStaysAndEachTryIsLogged) {
    Arrange();
    InstallFirst(m, {"KESTREL ZEP-4000"});
    PrepareUninstallerMachine(m);
    m.SetHasRegDeleteKeyEx(false);
    EXPECT_TRUE(RunUninstaller());
    std::vector<std::string> log = Log("ZEP_UnInstaller.txt");
    EXPECT_EQ(std::count(log.begin(), log.end(),
                         "MyRegDeleteKeyEx failed : " + std::string(kUninstallKey) + " (-1) "),
              2);
    EXPECT_TRUE(m.RegKeyExists(kUninstallKey));
    EXPECT_EQ(LastStatus(), "The uninstallation has been completed.");
    ExpectNothingForeignChanged();
}

TEST_F(Hostile, WithoutSetupUninstallOEMInfTheCopyStays) {
    Arrange();
    InstallFirst(m, {"KESTREL ZEP-4000"});
    PrepareUninstallerMachine(m);
    m.SetHasSetupUninstallOEMInf(false);
    EXPECT_TRUE(RunUninstaller());
    EXPECT_TRUE(m.Exists("C:\\Windows\\inf\\oem0.inf"));
    EXPECT_EQ(LastStatus(), "The uninstallation has been completed.");
    ExpectNothingForeignChanged();
}

}  // namespace
}  // namespace zep::test
