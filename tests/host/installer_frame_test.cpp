// The installer's main dialog and worker: start-up, refusal, the wizard and
// its cancellation, the port code, and Configure Port.
#include <gtest/gtest.h>

#include "framework/busy.h"
#include "tests/host/harness.h"

namespace zep {
namespace {

using test::InstallerRun;
using test::InstallerScript;

struct InstallerFrameTest : ::testing::Test {
    sim::Machine m;
    void SetUp() override { test::PrepareInstallerMachine(m); }
};

TEST_F(InstallerFrameTest, StartUpShowsVersionStartsSpoolerAndWorker) {
    InstallerRun run(m);
    EXPECT_TRUE(run.dialog.OnInitDialog());
    EXPECT_EQ(run.dialog.m_strVersion, "Driver Version: V1.1.0E");
    EXPECT_EQ(run.view.versionShown, "Driver Version: V1.1.0E");
    EXPECT_TRUE(run.view.workerStarted);
    EXPECT_EQ(m.Commands(), std::vector<std::string>{"net start spooler"});
    EXPECT_EQ(test::Timeline(m, {"icons", "exec", "pause", "status", "progress-range",
                                 "progress-step", "timer"}),
              (std::vector<std::string>{"icons:0", "exec:net start spooler", "pause:2000",
                                        "status:", "progress-range:100", "progress-step:6",
                                        "timer:1001"}));
    // The log is not open yet: the start-up's lines are lost.
    EXPECT_FALSE(m.Exists("C:\\Temp\\ZEP_Installer.txt"));

    // The worker's report targets are handed over before it starts; the
    // first tick, whatever its number, only stops the timer.
    run.dialog.OnTimer(7);
    EXPECT_EQ(run.dialog.m_installation.m_pStatusText, &run.dialog.m_strStatus);
    EXPECT_EQ(run.dialog.m_installation.m_pProgress, &run.view.Progress());
    EXPECT_EQ(m.Ui("kill-timer").size(), 1u);
}

TEST_F(InstallerFrameTest, RefusesSystemsBeforeWindows2000) {
    for (auto v : {sim::versions::kNt4, sim::versions::kWin98, sim::versions::kNt351}) {
        sim::Machine machine;
        test::PrepareInstallerMachine(machine);
        machine.SetVersion(v);
        InstallerRun run(machine);
        EXPECT_EQ(run.Run(), 0);
        std::vector<sim::UiEvent> boxes = machine.Ui("box");
        ASSERT_EQ(boxes.size(), 1u);
        EXPECT_EQ(boxes[0].text, "THE DRIVER CAN NOT BE INSTALLED ON THIS OS.");
        EXPECT_EQ(boxes[0].style, kMbOk | kMbIconInformation);
        EXPECT_EQ(boxes[0].caption, "ZEP_Installer");
        EXPECT_TRUE(machine.Ui("dialog").empty());
        EXPECT_FALSE(run.dialog.IsBusy());
    }
}

TEST_F(InstallerFrameTest, Windows2000IsAccepted) {
    m.SetVersion(sim::versions::kWin2000);
    m.SetWindows64(false);
    InstallerScript script;
    script.cancelModels = true;
    InstallerRun run(m, script);
    run.Run();
    EXPECT_EQ(m.Ui("dialog").size(), 1u);
}

TEST_F(InstallerFrameTest, CancellingEitherWizardDialogEndsTheRun) {
    for (bool atModels : {true, false}) {
        sim::Machine machine;
        test::PrepareInstallerMachine(machine);
        InstallerScript script;
        script.cancelModels = atModels;
        script.cancelPort = !atModels;
        InstallerRun run(machine, script);
        std::string before = machine.Snapshot();
        EXPECT_EQ(run.Run(), 0);
        EXPECT_EQ(machine.BoxTexts(), std::vector<std::string>{"The driver installation canceled."});
        EXPECT_EQ(machine.Ui("dialog").size(), atModels ? 1u : 2u);
        EXPECT_TRUE(run.dialog.IsBusy());  // cleared only on the last, normal exit
        EXPECT_TRUE(machine.Printers().empty());
    }
}

TEST_F(InstallerFrameTest, ModelDialogEnablesNextOnlyWhileAModelIsChecked) {
    struct FakeList : ModelDlgView {
        std::vector<std::pair<std::string, bool>> items;
        bool next = false;
        int AddString(const std::string& t) override {
            items.push_back({t, false});
            return int(items.size()) - 1;
        }
        int GetCount() override { return int(items.size()); }
        bool GetCheck(int i) override { return items[i].second; }
        std::string GetText(int i) override { return items[i].first; }
        void EnableNext(bool e) override { next = e; }
    } list;
    CModelDlg dialog;
    dialog.OnInitDialog(list);
    ASSERT_EQ(list.items.size(), 2u);
    EXPECT_EQ(list.items[0].first, "KESTREL ZEP-4000");
    EXPECT_EQ(list.items[1].first, "KESTREL ZEP-4100");
    list.items[1].second = true;
    dialog.OnCheckChange(list);
    EXPECT_TRUE(list.next);
    list.items[1].second = false;
    dialog.OnCheckChange(list);
    EXPECT_FALSE(list.next);

    list.items[0].second = list.items[1].second = true;
    dialog.OnOK(list);
    EXPECT_EQ(dialog.m_chosenModels,
              (std::deque<std::string>{"KESTREL ZEP-4100", "KESTREL ZEP-4000"}));
    list.items[0].second = false;
    dialog.OnOK(list);
    EXPECT_EQ(dialog.m_chosenModels, (std::deque<std::string>{"KESTREL ZEP-4100"}));
}

TEST_F(InstallerFrameTest, BothModelsReachTheInstallationInListOrderWithThePortCode) {
    InstallerScript script;
    script.models = {"KESTREL ZEP-4100", "KESTREL ZEP-4000"};  // clicked in this order
    script.port = 2;                                           // COM3
    InstallerRun run(m, script);
    EXPECT_EQ(run.Run(), 0);
    EXPECT_EQ(run.dialog.m_installation.m_chosenModels,
              (std::deque<std::string>{"KESTREL ZEP-4000", "KESTREL ZEP-4100"}));
    std::vector<sim::Machine::SimPrinter> printers = m.Printers();
    ASSERT_EQ(printers.size(), 2u);
    EXPECT_EQ(printers[0].info.portName, "COM3:");
    EXPECT_FALSE(run.dialog.IsBusy());
}

TEST_F(InstallerFrameTest, PortIndexOutOfRangeSkipsTheInstallation) {
    InstallerScript script;
    script.port = -1;
    InstallerRun run(m, script);
    EXPECT_EQ(run.Run(), 0);
    EXPECT_TRUE(m.BoxTexts().empty());
    EXPECT_TRUE(m.Printers().empty());
    EXPECT_FALSE(m.Exists("C:\\Temp\\ZEP_Installer.txt") &&
                 m.LogText("ZEP_Installer.txt").find("AddToWin2K BEGIN") != std::string::npos);
}

TEST_F(InstallerFrameTest, BusyDropsEscapeAndEnterOnly) {
    InstallerRun run(m);
    EXPECT_FALSE(fw::DropWhileBusy(run.dialog.IsBusy(), 0x100, 27));
    EXPECT_FALSE(fw::DropWhileBusy(run.dialog.IsBusy(), 0x100, 13));
    run.dialog.m_bBusy = 1;
    EXPECT_TRUE(fw::DropWhileBusy(run.dialog.IsBusy(), 0x100, 27));
    EXPECT_TRUE(fw::DropWhileBusy(run.dialog.IsBusy(), 0x111, 27));  // any message with wParam 27
    EXPECT_TRUE(fw::DropWhileBusy(run.dialog.IsBusy(), 0x100, 13));
    EXPECT_TRUE(fw::DropWhileBusy(run.dialog.IsBusy(), 0x102, 13));
    EXPECT_FALSE(fw::DropWhileBusy(run.dialog.IsBusy(), 0x111, 13));  // a command with ID 13 is not Enter
    EXPECT_FALSE(fw::DropWhileBusy(run.dialog.IsBusy(), 0x100, 65));
}

TEST_F(InstallerFrameTest, AWorkerThatCannotStartIsReportedAndTheWindowCanBeClosed) {
    InstallerRun run(m);
    run.view.startError = kErrNotEnoughMemory;
    EXPECT_TRUE(run.dialog.OnInitDialog());
    std::vector<sim::UiEvent> boxes = m.Ui("box");
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text.rfind("CreateThread Error Code: 8\n\n", 0), 0u);
    EXPECT_GT(boxes[0].text.size(), std::string("CreateThread Error Code: 8\n\n").size());
    EXPECT_EQ(boxes[0].style, kMbOk | kMbIconError);
    EXPECT_FALSE(run.dialog.IsBusy());
    EXPECT_FALSE(fw::DropWhileBusy(run.dialog.IsBusy(), 0x100, 27));  // Escape closes it
    EXPECT_FALSE(m.Exited());
}

TEST_F(InstallerFrameTest, ConfigurePortTellsUnsupportedAndFailedPorts) {
    struct FakePort : PortDlgView {
        int index = 0;
        int ReadPortIndex() override { return index; }
        uintptr_t Handle() override { return 0x130; }
    } view;
    Platform os = m.platform();
    CPortDlg dialog(os);

    view.index = 6;  // COM7: the machine has COM1 to COM4
    dialog.OnConfigurePort(view);
    view.index = 0;
    dialog.OnConfigurePort(view);  // the system's dialog; no message
    m.SetPortDialogAnswer(false);
    dialog.OnConfigurePort(view);  // cancelled: no message either
    m.InjectFault(sim::Fault("ConfigurePortA").Fails(kErrInvalidParameter));
    dialog.OnConfigurePort(view);

    std::vector<sim::UiEvent> boxes = m.Ui("box");
    ASSERT_EQ(boxes.size(), 2u);
    EXPECT_EQ(boxes[0].text, "The specific port is not supported.");
    EXPECT_EQ(boxes[1].text,
              "An error occurred during port configuration. The port may be in use or may not "
              "exit.");
    for (const sim::UiEvent& b : boxes) {
        EXPECT_EQ(b.caption, "KESTREL Customer Display installer");
        EXPECT_EQ(b.style, kMbOk | kMbIconExclamation);
    }
    EXPECT_EQ(m.Ui("port-dialog").size(), 2u);  // the failed call showed nothing
    EXPECT_EQ(dialog.m_nPortIndex, 0);
}

}  // namespace
}  // namespace zep
