// The uninstaller as the user meets it, and the installer replacing a
// different version, each after a real installation on the simulated machine.
#include <gtest/gtest.h>

#include "framework/busy.h"
#include "resources/string_tables.h"
#include "tests/host/harness.h"

namespace zep {
namespace {

using test::Contains;
using test::InOrder;
using test::LogLines;

const char* const kUninstallKey =
    "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\KESTREL Cutomer Display Driver";

// Installs the sample package with the given models, then makes the machine
// the uninstaller's.
void Install(sim::Machine& m, std::vector<std::string> models) {
    test::PrepareInstallerMachine(m);
    test::InstallerScript script;
    script.models = std::move(models);
    test::InstallerRun run(m, script);
    run.Run();
    test::PrepareUninstallerMachine(m);
}

struct UninstallerTest : ::testing::Test {
    sim::Machine m;
    size_t mark = 0;
    void Installed(std::vector<std::string> models = {"KESTREL ZEP-4000", "KESTREL ZEP-4100"}) {
        Install(m, std::move(models));
        mark = m.Ui().size();
    }
    std::vector<std::string> Log() { return LogLines(m.LogText("ZEP_UnInstaller.txt")); }
    // Status, progress and pauses of the uninstaller's own run.
    std::vector<std::string> Seen() {
        std::vector<std::string> out;
        std::vector<sim::UiEvent> ui = m.Ui();
        for (size_t i = mark; i < ui.size(); ++i) {
            const sim::UiEvent& e = ui[i];
            if (e.kind == "status") out.push_back("status:" + e.text);
            if (e.kind == "progress") out.push_back("progress:" + std::to_string(e.value));
            if (e.kind == "box") out.push_back("box:" + e.text);
            if (e.kind == "restart") out.push_back("restart");
            if (e.kind == "end-dialog") out.push_back("end");
        }
        return out;
    }
};

TEST_F(UninstallerTest, ListsThePrintersCheckedAndSortedAndWaits) {
    Installed();
    m.AddPrinterDirect("Another", "Other Driver");
    test::UninstallerRun run(m);
    run.dialog.OnInitDialog();
    EXPECT_EQ(run.view.title, "Kestrel Customer Display Uninstaller");
    run.dialog.OnTimer(1);
    ASSERT_EQ(run.view.list.GetCount(), 2);
    EXPECT_EQ(run.view.list.GetText(0), "KESTREL ZEP-4000");
    EXPECT_EQ(run.view.list.GetText(1), "KESTREL ZEP-4100");
    EXPECT_TRUE(run.view.list.GetCheck(0) && run.view.list.GetCheck(1));
    EXPECT_TRUE(run.view.uninstallEnabled);
    EXPECT_FALSE(run.view.workerStarted);
    EXPECT_FALSE(run.dialog.IsBusy());
    EXPECT_TRUE(InOrder(Log(), {"AddPrinterObjectsToList BEGIN",
                                "The number of printer-objects : 2",
                                "AddPrinterObjectsToList END"}));

    run.view.list.SetCheck(0, false);
    run.dialog.OnCheckChange();
    EXPECT_TRUE(run.view.uninstallEnabled);
    run.view.list.SetCheck(1, false);
    run.dialog.OnCheckChange();
    EXPECT_FALSE(run.view.uninstallEnabled);
    run.view.list.SetCheck(1, true);
    run.dialog.OnCheckChange();
    EXPECT_TRUE(run.view.uninstallEnabled);
}

TEST_F(UninstallerTest, EverythingCheckedRemovesTheWholeInstallation) {
    Installed();
    m.AddFile("C:\\KESTREL Printer Driver\\ZEP\\data\\a.bin");
    m.AddFormDirect("ZEP 20x2");
    m.AddJob("KESTREL ZEP-4100");
    test::UninstallerRun run(m);
    EXPECT_TRUE(run.Run());

    EXPECT_TRUE(m.Printers().empty());
    EXPECT_TRUE(m.Drivers().empty() || m.Drivers()[0].name != "ZEP Character Type");
    EXPECT_TRUE(m.Monitors().empty());
    EXPECT_FALSE(m.RegKeyExists(kUninstallKey));
    EXPECT_FALSE(m.Exists("C:\\Windows\\inf\\oem0.inf"));
    EXPECT_FALSE(m.Exists("C:\\KESTREL Printer Driver"));
    EXPECT_FALSE(Contains(m.FormNames(), "ZEP 20x2"));
    EXPECT_TRUE(m.Exists("C:\\Windows\\ZEP\\ZEP_Uninstaller.exe"));  // its own file stays

    std::vector<std::string> seen = Seen();
    EXPECT_TRUE(InOrder(seen, {"progress:10", "status:Deleting printer-driver objects...",
                               "progress:20", "status:Removing printer-drivers...",
                               "status:Deleting forms...", "status:Deleting L/M...",
                               "status:Deleting the processor...", "progress:30",
                               "status:Deleting driver-components...",
                               "status:Deleting the INF file...", "progress:100",
                               "status:The uninstallation has been completed.", "end"}));
    EXPECT_EQ(m.BoxTexts().back(),
              "Restarting your computer can take effect.\nPlease restart your computer.\n\n[Yes] I "
              "want to restart my computer now.\n[No] I want to restart my computer later.");
    EXPECT_TRUE(m.Restarts().empty());
    EXPECT_TRUE(InOrder(test::BeginLines(m.LogText("ZEP_UnInstaller.txt")),
                        {"CheckOS BEGIN", "AddPrinterObjectsToList BEGIN",
                         "RemovePrinterObjects BEGIN", "DeleteForms BEGIN", "DeletePrinterDrv BEGIN",
                         "DeleteLanguageMonitor BEGIN", "DeleteProcessor BEGIN",
                         "DeleteDriverComponent BEGIN", "DeleteINFFile BEGIN",
                         "DeleteUninstallationInfo BEGIN", "DeleteUninstallInfoFromReg BEGIN",
                         "DeleteDirectory BEGIN"}));
    std::vector<std::string> log = Log();
    EXPECT_TRUE(InOrder(log, {"OBJECT NAME : KESTREL ZEP-4100", "OBJECT NAME : KESTREL ZEP-4000"}));
    EXPECT_TRUE(Contains(log, "DIRECTORY : C:\\KESTREL Printer Driver\\ZEP"));
}

TEST_F(UninstallerTest, YesRestartsAfterTheLastStatus) {
    Installed({"KESTREL ZEP-4000"});
    m.ScriptAnswers({kIdYes});
    test::UninstallerRun run(m);
    run.Run();
    std::vector<std::string> seen = Seen();
    EXPECT_TRUE(InOrder(seen, {"status:The uninstallation has been completed.",
                               "box:Restarting your computer can take effect.\nPlease restart your "
                               "computer.\n\n[Yes] I want to restart my computer now.\n[No] I want "
                               "to restart my computer later.",
                               "status:The uninstallation has been completed.", "restart", "end"}));
    EXPECT_FALSE(run.dialog.IsBusy());
}

TEST_F(UninstallerTest, PartialSelectionRemovesOnlyTheCheckedPrinters) {
    Installed();
    test::UninstallerRun run(m);
    test::UninstallerScript script;
    script.uncheck = {"KESTREL ZEP-4000"};
    EXPECT_TRUE(run.Run(script));
    EXPECT_TRUE(m.FindPrinter("KESTREL ZEP-4000"));
    EXPECT_FALSE(m.FindPrinter("KESTREL ZEP-4100"));
    EXPECT_FALSE(m.Drivers().empty());
    EXPECT_FALSE(m.Monitors().empty());
    EXPECT_TRUE(m.RegKeyExists(kUninstallKey));
    EXPECT_TRUE(m.BoxTexts().size() == 1u);  // only the installer's restart question
    std::vector<std::string> seen = Seen();
    EXPECT_EQ(std::vector<std::string>(seen.end() - 3, seen.end()),
              (std::vector<std::string>{"progress:100",
                                        "status:The uninstallation has been completed.", "end"}));
    EXPECT_EQ(m.Pauses().back(), 2000u);
    EXPECT_FALSE(run.dialog.IsBusy());
}

TEST_F(UninstallerTest, DriverWithoutPrintersStartsAtOnce) {
    Installed({"KESTREL ZEP-4000"});
    m.SetPrinterVersion("KESTREL ZEP-4000", 1, 1, 0, 0);
    PrinterDefaults admin{"RAW", kPrinterAllAccess};
    Result<HPrinter> h = m.OpenPrinterA("KESTREL ZEP-4000", &admin);
    m.DeletePrinter(h.value);
    m.ClosePrinter(h.value);
    mark = m.Ui().size();
    test::UninstallerRun run(m);
    run.dialog.OnInitDialog();
    run.dialog.OnTimer(1);
    EXPECT_TRUE(run.view.workerStarted);
    EXPECT_FALSE(run.view.cancelEnabled);
    EXPECT_TRUE(run.dialog.IsBusy());
    run.dialog.RunUninstall();
    EXPECT_FALSE(InOrder(Seen(), {"status:Deleting printer-driver objects..."}));
    EXPECT_TRUE(m.Monitors().empty());
    EXPECT_FALSE(m.RegKeyExists(kUninstallKey));
}

TEST_F(UninstallerTest, NothingInstalledSaysSoAndDropsALeftOverEntry) {
    test::PrepareUninstallerMachine(m);
    m.SetRegString(kUninstallKey, "DisplayName", "left over");
    test::UninstallerRun run(m);
    EXPECT_TRUE(run.Run());
    EXPECT_EQ(m.BoxTexts(), std::vector<std::string>{"The ZEP driver does not exist on this system."});
    EXPECT_EQ(m.Ui("box")[0].caption, "ZEP_Uninstaller");
    EXPECT_FALSE(m.RegKeyExists(kUninstallKey));
    EXPECT_FALSE(run.view.workerStarted);
    EXPECT_TRUE(InOrder(Log(), {"PrinterDrvExist BEGIN",
                                "ZEP Character Type PRINTER DRIVER DOES NOT EXIST.",
                                "DeleteUninstallInfoFromReg BEGIN", "REGKEY : " +
                                std::string(kUninstallKey), "DeleteUninstallInfoFromReg END"}));
}

TEST_F(UninstallerTest, EnumerationFailureEndsBeforeAnythingGoes) {
    Installed();
    m.InjectFault(sim::Fault("EnumPrintersA").Fails(kErrRpcServerUnavailable));
    test::UninstallerRun run(m);
    EXPECT_TRUE(run.Run());
    EXPECT_EQ(m.FindPrinter("KESTREL ZEP-4000").has_value(), true);
    std::vector<sim::UiEvent> boxes = m.Ui("box");
    EXPECT_EQ(boxes.back().style, kMbOk | kMbIconExclamation);
    EXPECT_EQ(boxes.back().text.rfind("EnumPrinters Error Code: 1722\n\n", 0), 0u);
    EXPECT_EQ(run.dialog.m_nPrinterObjects, -1);
}

TEST_F(UninstallerTest, EscapeAndEnterOnlyWhileBusy) {
    test::PrepareUninstallerMachine(m);
    test::UninstallerRun run(m);
    EXPECT_FALSE(fw::DropWhileBusy(run.dialog.IsBusy(), 0x100, 27));
    run.dialog.m_bBusy = 1;
    EXPECT_TRUE(fw::DropWhileBusy(run.dialog.IsBusy(), 0x100, 27));
    EXPECT_TRUE(fw::DropWhileBusy(run.dialog.IsBusy(), 0x100, 13));
}

TEST_F(UninstallerTest, AWorkerThatCannotStartLeavesTheProgramFreeToCloseOrRetry) {
    Installed({"KESTREL ZEP-4000"});
    test::UninstallerRun run(m);
    run.dialog.OnInitDialog();
    run.dialog.OnTimer(1);
    ASSERT_TRUE(run.view.uninstallEnabled);
    run.view.startError = kErrNotEnoughMemory;
    run.dialog.OnUninstall();
    EXPECT_FALSE(run.dialog.IsBusy());
    EXPECT_TRUE(run.view.cancelEnabled);
    EXPECT_TRUE(run.view.uninstallEnabled);
    EXPECT_FALSE(fw::DropWhileBusy(run.dialog.IsBusy(), 0x100, 27));
    sim::UiEvent box = m.Ui("box").back();
    EXPECT_EQ(box.text.rfind("CreateThread Error Code: 8\n\n", 0), 0u);
    EXPECT_EQ(box.style, kMbOk | kMbIconError);
    EXPECT_TRUE(Contains(LogLines(m.LogText("ZEP_UnInstaller.txt")), "CreateThread failed : (8)"));
    EXPECT_TRUE(m.FindPrinter("KESTREL ZEP-4000"));
    // A second press may start it.
    run.view.startError = 0;
    run.dialog.OnUninstall();
    EXPECT_TRUE(run.dialog.IsBusy());
    run.dialog.RunUninstall();
    EXPECT_FALSE(m.FindPrinter("KESTREL ZEP-4000"));
}

TEST_F(UninstallerTest, AWorkerThatCannotStartByItselfGivesCancelBack) {
    Installed({"KESTREL ZEP-4000"});
    test::DeletePrinterByHand(m, "KESTREL ZEP-4000");
    test::UninstallerRun run(m);
    run.view.startError = 1450;  // no system resources
    run.dialog.OnInitDialog();
    run.dialog.OnTimer(1);  // no printer: the removal would start by itself
    EXPECT_FALSE(run.dialog.IsBusy());
    EXPECT_TRUE(run.view.cancelEnabled);
    EXPECT_EQ(m.BoxTexts().back().rfind("CreateThread Error Code: 1450\n\n", 0), 0u);
    EXPECT_FALSE(m.Drivers().empty());
}

TEST_F(UninstallerTest, DeleteDirectoryKeepsAnotherProductsFolder) {
    test::PrepareUninstallerMachine(m);
    m.AddFile("C:\\KESTREL Printer Driver\\ZEP\\x.dat");
    m.AddFile("C:\\KESTREL Printer Driver\\Other\\y.dat");
    m.AddFile("C:\\Windows\\System32\\drivers\\keep.sys");
    m.AddJunction("C:\\KESTREL Printer Driver\\ZEP\\link", "C:\\Windows\\System32\\drivers");
    test::UninstallerRun run(m);
    run.log.OpenLog();
    run.dialog.DeleteDirectory();
    EXPECT_FALSE(m.Exists("C:\\KESTREL Printer Driver\\ZEP"));
    EXPECT_TRUE(m.Exists("C:\\KESTREL Printer Driver\\Other\\y.dat"));
    EXPECT_TRUE(m.Exists("C:\\Windows\\System32\\drivers\\keep.sys"));
    EXPECT_EQ(Log(), (std::vector<std::string>{"", "", "DeleteDirectory BEGIN",
                                               "DIRECTORY : C:\\KESTREL Printer Driver\\ZEP",
                                               "DeleteDirectory END"}));
}

TEST_F(UninstallerTest, DeleteDirectoryWithNothingThere) {
    test::PrepareUninstallerMachine(m);
    test::UninstallerRun run(m);
    run.log.OpenLog();
    run.dialog.DeleteDirectory();
    EXPECT_EQ(Log(), (std::vector<std::string>{"", "", "DeleteDirectory BEGIN",
                                               "DeleteDirectory END"}));
}

// ------------------------------------------------------------------ replacement by the installer

struct ReplacementTest : UninstallerTest {
    void SetUp() override {
        Installed({"KESTREL ZEP-4000", "KESTREL ZEP-4100"});
        test::PrepareInstallerMachine(m);
        m.SetPrinterVersion("KESTREL ZEP-4000", 1, 0, 0, 0);
        m.SetPrinterVersion("KESTREL ZEP-4100", 1, 0, 0, 0);
        m.ClearCalls();
        mark = m.Ui().size();
    }
};

TEST_F(ReplacementTest, OlderVersionIsRemovedAndWindowsRestarted) {
    test::InstallerRun run(m);
    EXPECT_EQ(run.Run(), 0);
    std::vector<std::string> seen = Seen();
    EXPECT_TRUE(InOrder(
        seen, {"box:There is a different version driver in this system.\r\n\r\nThe installed "
               "driver will be removed.",
               "progress:6", "status:Deleting printer-objects...", "progress:12",
               "status:Removing printer-driver...", "progress:100",
               "status:The uninstallation has been completed.",
               "box:The installer has successfully removed the different version.\nNow it is going "
               "to restart your computer to take effect.\nAfter restarting, you may reinstall the "
               "driver again.",
               "restart"}));
    std::vector<sim::UiEvent> ui = m.Ui();  // one copy: both iterators must point into it
    EXPECT_TRUE(std::none_of(ui.begin() + long(mark), ui.end(),
                             [](const sim::UiEvent& e) { return e.kind == "dialog"; }));
    EXPECT_TRUE(m.Printers().empty());
    EXPECT_TRUE(m.Monitors().empty());
    EXPECT_FALSE(m.RegKeyExists(kUninstallKey));
    EXPECT_FALSE(m.Exists("C:\\Windows\\inf\\oem0.inf"));
    std::vector<std::string> log = LogLines(m.LogText("ZEP_Installer.txt"));
    EXPECT_TRUE(InOrder(log, {"DeleteForms BEGIN", "DeletePrinterDrv BEGIN",
                              "DeleteLanguageMonitor BEGIN", "DeleteProcessor BEGIN",
                              "DeleteFilesUsed BEGIN", "DeleteINFFile BEGIN",
                              "DeleteUninstallationInfo BEGIN"}));
    // Only the entry the installer writes exists: the other spelling's absence is no failure.
    EXPECT_TRUE(Contains(log, "DeleteUninstallationInfo END"));
    for (const std::string& line : log) EXPECT_EQ(line.find("MyRegDeleteKeyEx failed"), std::string::npos);
}

TEST_F(ReplacementTest, ANewerVersionIsRemovedAsWellNotKept) {
    // Newer in each part of the version: the installer's own 1.1.0.0 replaces it.
    struct Newer {
        uint32_t major, minor, build, extra;
    } newer[] = {{2, 0, 0, 0}, {1, 2, 0, 0}, {1, 1, 1, 0}, {1, 1, 0, 1}};
    for (const Newer& v : newer) {
        sim::Machine machine;
        Install(machine, {"KESTREL ZEP-4000"});
        test::PrepareInstallerMachine(machine);
        machine.SetPrinterVersion("KESTREL ZEP-4000", v.major, v.minor, v.build, v.extra);
        size_t before = machine.Ui().size();
        test::InstallerRun run(machine);
        EXPECT_EQ(run.Run(), 0);
        std::vector<sim::UiEvent> ui = machine.Ui();
        std::vector<std::string> boxes;
        for (size_t i = before; i < ui.size(); ++i)
            if (ui[i].kind == "box") boxes.push_back(ui[i].text.substr(0, 33));
        EXPECT_EQ(boxes, (std::vector<std::string>{"There is a different version driv",
                                                   "The installer has successfully re"}))
            << v.major << "." << v.minor << "." << v.build << "." << v.extra;
        EXPECT_TRUE(machine.Printers().empty());
        EXPECT_FALSE(machine.RegKeyExists(kUninstallKey));
        EXPECT_EQ(machine.Restarts().size(), 1u);
    }
}

TEST_F(ReplacementTest, EnumerationFailureEndsWithNothingRemoved) {
    m.InjectFault(sim::Fault("EnumPrintersA").In("DeletePrinterObjects").Fails(kErrAccessDenied));
    test::InstallerRun run(m);
    EXPECT_EQ(run.Run(), 0);
    EXPECT_EQ(m.Printers().size(), 2u);
    EXPECT_FALSE(m.Monitors().empty());
    std::vector<std::string> seen = Seen();
    EXPECT_FALSE(InOrder(seen, {"status:Removing printer-driver..."}));
    EXPECT_EQ(m.Ui("box").back().style, kMbOk | kMbIconExclamation);
    EXPECT_TRUE(m.Restarts().empty());
}

TEST_F(ReplacementTest, SameVersionGoesOnToTheWizard) {
    m.SetPrinterVersion("KESTREL ZEP-4000", 1, 1, 0, 0);
    test::InstallerScript script;
    script.cancelModels = true;
    test::InstallerRun run(m, script);
    run.Run();
    EXPECT_EQ(m.BoxTexts().back(), "The driver installation canceled.");
    EXPECT_EQ(m.Printers().size(), 2u);
}

}  // namespace
}  // namespace zep
