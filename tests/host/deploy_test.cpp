// Unattended deployment: the command line, the exit code of every path, the
// boxes that become log lines, reruns, one instance at a time, and the
// waits that quiet mode skips.
#include <gtest/gtest.h>

#include <optional>

#include "common/unattended.h"
#include "installer/headless_view.h"
#include "tests/host/harness.h"
#include "uninstaller/headless_view.h"

namespace zep {
namespace {

using test::Contains;
using test::LogLines;

const char* const kUninstallKey =
    "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\KESTREL Cutomer Display Driver";

std::vector<std::string> Args(const std::string& line) { return SplitCommandLine(line); }

DeployOptions Installer(const std::string& args) {
    return ParseCommandLine(Program::Installer, Args("ZEP_Installer.exe " + args));
}
DeployOptions Uninstaller(const std::string& args) {
    return ParseCommandLine(Program::Uninstaller, Args("ZEP_Uninstaller.exe " + args));
}

// ------------------------------------------------------------------ splitting

TEST(CommandLine, SplitsAsTheSystemDoes) {
    using V = std::vector<std::string>;
    // The program's name ends at its closing quote, whatever follows.
    EXPECT_EQ(Args("\"C:\\Program Files\\ZEP_Installer.exe\"/quiet  /model\t\"KESTREL ZEP-4000\""),
              (V{"/quiet", "/model", "KESTREL ZEP-4000"}));
    EXPECT_EQ(Args("C:\\a\\ZEP_Installer.exe"), V{});
    // Quotes group anywhere in an argument; an empty pair is an argument.
    EXPECT_EQ(Args("x /printer Front\" \"Desk \"\""), (V{"/printer", "Front Desk", ""}));
    // Backslashes count only before a quote: 2n give n and the quote
    // delimits, 2n+1 give n and a literal quote.
    EXPECT_EQ(Args("x a\\b \"c\\\\\" d\\\"e \"f\\\\\\\"g\""),
              (V{"a\\b", "c\\", "d\"e", "f\\\"g"}));
    // Two quotes inside quotes: a quote, and the quoting ends there.
    EXPECT_EQ(Args("x \"a\"\"b c\""), (V{"a\"b", "c"}));
    EXPECT_EQ(Args("x \"\"\"a\"\"\""), (V{"\"a\""}));
}

// ------------------------------------------------------------------ parsing

TEST(CommandLine, ReadsTheInstallersAnswers) {
    // Switches with "/" or "-" in any case; models in the dialog's order;
    // the port with or without its colon.
    DeployOptions o = Installer("-QUIET /Model \"kestrel zep-4100\" /model \"KESTREL ZEP-4000\" "
                                "/PORT com3: /model \"KESTREL ZEP-4100\"");
    ASSERT_TRUE(o.Ok()) << o.error;
    EXPECT_EQ(o.mode, RunMode::Quiet);
    EXPECT_EQ(o.models, (std::vector<std::string>{"KESTREL ZEP-4000", "KESTREL ZEP-4100"}));
    EXPECT_EQ(o.portIndex, 2);
    EXPECT_FALSE(o.forceRestart);

    o = Installer("/passive /model \"KESTREL ZEP-4100\" /port COM8 /forcerestart /forcerestart");
    ASSERT_TRUE(o.Ok()) << o.error;
    EXPECT_EQ(o.mode, RunMode::Passive);
    EXPECT_EQ(o.models, std::vector<std::string>{"KESTREL ZEP-4100"});
    EXPECT_EQ(o.portIndex, 7);
    EXPECT_TRUE(o.forceRestart);

    o = Uninstaller("/quiet /printer \"Front Desk\" /printer \"front desk\" /printer Back /norestart");
    ASSERT_TRUE(o.Ok()) << o.error;
    EXPECT_EQ(o.printers, (std::vector<std::string>{"Front Desk", "Back"}));
    EXPECT_TRUE(Uninstaller("/passive").Ok());

    // No arguments: the interactive program.
    o = Installer("");
    EXPECT_TRUE(o.Ok());
    EXPECT_EQ(o.mode, RunMode::Interactive);
    EXPECT_FALSE(o.help);
    // Help wins over anything else on the line.
    EXPECT_TRUE(Installer("/?").help);
    EXPECT_TRUE(Uninstaller("/bogus -HELP").help);
}

TEST(CommandLine, RefusesWhatCannotBeUsedAndNamesTheProblem) {
    struct Case {
        Program program;
        const char* args;
        const char* problem;  // part of the error
    };
    const Case cases[] = {
        {Program::Installer, "/quiet /frobnicate", "unknown switch \"/frobnicate\""},
        {Program::Installer, "/quiet --model x", "unknown switch \"--model\""},
        {Program::Installer, "/quiet stray", "\"stray\" is not a switch"},
        {Program::Installer, "/quiet /port COM1 /model", "/model needs a value"},
        {Program::Installer, "/quiet /port COM1 /model \"\"", "/model has an empty value"},
        {Program::Installer, "/quiet /model \"KESTREL ZEP-5000\" /port COM1", "unknown model"},
        {Program::Installer, "/quiet /model ZEP-4000 /port COM1", "unknown model \"ZEP-4000\""},
        {Program::Installer, "/quiet /model \"KESTREL ZEP-4000\" /port COM9", "\"COM9\" is not"},
        {Program::Installer, "/quiet /model \"KESTREL ZEP-4000\" /port COM0", "\"COM0\" is not"},
        {Program::Installer, "/quiet /model \"KESTREL ZEP-4000\" /port LPT1", "\"LPT1\" is not"},
        {Program::Installer, "/quiet /model \"KESTREL ZEP-4000\" /port COM12", "\"COM12\" is not"},
        {Program::Installer, "/quiet /model \"KESTREL ZEP-4000\" /port COM1 /port COM2",
         "two different ports"},
        {Program::Installer, "/quiet /passive /model \"KESTREL ZEP-4000\" /port COM1",
         "/quiet and /passive together"},
        {Program::Installer, "/quiet /model \"KESTREL ZEP-4000\" /port COM1 /norestart /forcerestart",
         "/norestart and /forcerestart together"},
        {Program::Installer, "/quiet /port COM1", "/model is required"},
        {Program::Installer, "/passive /model \"KESTREL ZEP-4000\"", "/port is required"},
        {Program::Installer, "/model \"KESTREL ZEP-4000\" /port COM1", "need /quiet or /passive"},
        {Program::Installer, "/norestart", "need /quiet or /passive"},
        {Program::Installer, "/quiet /printer x /model \"KESTREL ZEP-4000\" /port COM1",
         "/printer is a switch of the uninstaller"},
        {Program::Uninstaller, "/quiet /model \"KESTREL ZEP-4000\"",
         "/model is a switch of the installer"},
        {Program::Uninstaller, "/quiet /port COM1", "/port is a switch of the installer"},
        {Program::Uninstaller, "/quiet /printer", "/printer needs a value"},
        {Program::Uninstaller, "/printer \"Front Desk\"", "need /quiet or /passive"},
        {Program::Uninstaller, "/passive /quiet", "/quiet and /passive together"},
    };
    for (const Case& c : cases) {
        std::string line = std::string("prog.exe ") + c.args;
        DeployOptions o = ParseCommandLine(c.program, Args(line));
        EXPECT_FALSE(o.Ok()) << line;
        EXPECT_NE(o.error.find(c.problem), std::string::npos) << line << " -> " << o.error;
        // /quiet anywhere on a refused line means no usage box.
        bool quiet = std::string(c.args).find("/quiet") != std::string::npos;
        EXPECT_EQ(o.mode == RunMode::Quiet, quiet) << line;
    }
}

TEST(CommandLine, PortNames) {
    EXPECT_EQ(PortIndexOf("COM1"), 0);
    EXPECT_EQ(PortIndexOf("com8:"), 7);
    for (const char* bad : {"COM", "COM1::", "COM01", "COMA", "1", "", ":", "xCOM1"})
        EXPECT_EQ(PortIndexOf(bad), -1) << bad;
}

// ------------------------------------------------------------------ exit codes

TEST(ExitCodes, InteractiveRunsEndWithZeroWhateverHappened) {
    RunState run;
    run.StepFailed();
    run.RestartNeeded();
    run.End(RunEnd::SystemTooOld);
    EXPECT_EQ(run.ExitCode(), 0);
}

TEST(ExitCodes, AnEarlyEndOutweighsAFailureWhichOutweighsARestart) {
    auto code = [](auto arrange) {
        RunState run;
        run.SetMode(RunMode::Quiet, false);
        arrange(run);
        return run.ExitCode();
    };
    EXPECT_EQ(code([](RunState&) {}), kExitDone);
    EXPECT_EQ(code([](RunState& r) { r.RestartNeeded(); }), kExitRestartNeeded);
    EXPECT_EQ(code([](RunState& r) { r.RestartNeeded(), r.RestartStarted(); }), kExitRestartStarted);
    EXPECT_EQ(code([](RunState& r) { r.RestartStarted(), r.StepFailed(); }), kExitFailed);
    EXPECT_EQ(code([](RunState& r) { r.End(RunEnd::NotInstalled); }), kExitNotInstalled);
    EXPECT_EQ(code([](RunState& r) { r.End(RunEnd::SystemTooOld); }), kExitSystemTooOld);
    EXPECT_EQ(code([](RunState& r) { r.RestartNeeded(), r.End(RunEnd::Canceled); }), kExitCanceled);
    // A worker that could not start ends a passive window as failed.
    EXPECT_EQ(code([](RunState& r) { r.StepFailed(), r.End(RunEnd::Canceled); }), kExitFailed);
    // The first reason to end stays.
    EXPECT_EQ(code([](RunState& r) { r.End(RunEnd::BadCommandLine), r.End(RunEnd::NotInstalled); }),
              kExitBadCommandLine);
}

// ------------------------------------------------------------------ runs

// One start of a program with this command line, then the run it chooses,
// up to the process's end. The harness' views stand in for the interactive
// windows; passive runs take the headless answers in them, as the real
// windows do.
class PassiveInstallerView : public test::SimInstallerView {
public:
    PassiveInstallerView(sim::Machine& m, const DeployOptions& options, TraceLog& log)
        : SimInstallerView(m, {}), answers_(options, log) {}
    int RunModelDialog(CModelDlg& dialog) override { return answers_.AnswerModelDialog(dialog); }
    int RunPortDialog(CPortDlg& dialog) override { return answers_.AnswerPortDialog(dialog); }

private:
    InstallerAnswers answers_;
};

class PassiveUninstallerView : public test::SimUninstallerView {
public:
    PassiveUninstallerView(sim::Machine& m, const DeployOptions& options, Support& sys)
        : SimUninstallerView(m), answers_(options, sys, &m) {}
    uint32_t StartWorker() override {
        if (answers_.ApplySelection(*this))
            workerStarted = true;
        else
            EndDialogOk();
        return 0;
    }

private:
    UninstallerAnswers answers_;
};

struct Outcome {
    int code = -1;
    bool started = false;  // the start let the program run
};

Outcome Start(sim::Machine& m, Program program, const std::string& args) {
    bool installer = program == Program::Installer;
    TraceLog log(m, installer ? "\\ZEP_Installer.txt" : "\\ZEP_UnInstaller.txt");
    Platform plain = m.platform();
    Support start(plain, log);
    std::string line = std::string(installer ? "ZEP_Installer.exe " : "ZEP_Uninstaller.exe ") + args;
    int handles = m.MutexHandles(kInstanceMutexName);
    StartDecision d = StartProgram(program, SplitCommandLine(line), start);
    // When the process ends, the handles it opened go with it.
    int opened = m.MutexHandles(kInstanceMutexName) - handles;
    auto end = [&] {
        for (int i = 0; i < opened; ++i) m.ReleaseMutex(kInstanceMutexName);
    };
    Outcome result;
    result.code = d.exitCode;
    result.started = d.run;
    if (!d.run) {
        end();
        return result;
    }

    RunContext run(plain, log, d.options);
    Support& sys = run.sys();
    try {
        if (installer && d.options.mode == RunMode::Quiet) {
            RunQuietInstaller(sys, d.options);
        } else if (installer) {
            PassiveInstallerView view(m, d.options, log);
            CInstallerDlg dialog(sys, view);
            dialog.OnInitDialog();
            dialog.OnTimer(1);
            dialog.RunWorker();
        } else if (d.options.mode == RunMode::Quiet) {
            result.code = RunQuietUninstaller(sys, d.options);
        } else {
            PassiveUninstallerView view(m, d.options, sys);
            CUninstallerDlg dialog(sys, view);
            dialog.OnInitDialog();
            dialog.OnTimer(1);
            if (!view.ended && !view.workerStarted) dialog.OnUninstall();
            if (view.workerStarted && !view.ended) dialog.RunUninstall();
            result.code = sys.run.ExitCode();
        }
    } catch (const sim::ProcessExit& e) {
        result.code = e.code;
    }
    end();
    return result;
}

int Install(sim::Machine& m, const std::string& args) {
    test::PrepareInstallerMachine(m);
    int code = Start(m, Program::Installer, args).code;
    // The driver's own components give its printers their version.
    for (const auto& p : m.Printers())
        if (p.info.driverName == "ZEP Character Type" && !p.data.count("ExtraVersion"))
            m.SetPrinterVersion(p.info.printerName, 1, 1, 0, 0);
    return code;
}
int Uninstall(sim::Machine& m, const std::string& args) {
    test::PrepareUninstallerMachine(m);
    return Start(m, Program::Uninstaller, args).code;
}

// The machine's state without the trace logs.
std::string State(const sim::Machine& m) {
    std::string out, snapshot = m.Snapshot();
    size_t start = 0;
    while (start < snapshot.size()) {
        size_t end = snapshot.find('\n', start);
        if (end == std::string::npos) end = snapshot.size();
        std::string line = snapshot.substr(start, end - start);
        if (line.rfind("C:\\Temp", 0) != 0) out += line + "\n";
        start = end + 1;
    }
    return out;
}

const char* const kBoth = "/model \"KESTREL ZEP-4000\" /model \"KESTREL ZEP-4100\" /port COM3";
const char* const kRestartQuestion =
    "Restarting your computer can take effect. Please restart your computer. [Yes] I want to "
    "restart my computer now. [No] I will restart my computer later.";

struct DeployTest : ::testing::Test {
    sim::Machine m;
    std::vector<std::string> InstallerLog() { return LogLines(m.LogText("ZEP_Installer.txt")); }
    std::vector<std::string> UninstallerLog() { return LogLines(m.LogText("ZEP_UnInstaller.txt")); }
    std::vector<std::string> PrintersOfDriver() {
        std::vector<std::string> out;
        for (const auto& p : m.Printers())
            if (p.info.driverName == "ZEP Character Type") out.push_back(p.info.printerName + "@" + p.info.portName);
        return out;
    }
};

TEST_F(DeployTest, QuietInstallationOfBothModelsShowsNothingAndNeedsARestart) {
    EXPECT_EQ(Install(m, std::string("/quiet ") + kBoth), kExitRestartNeeded);
    EXPECT_EQ(PrintersOfDriver(),
              (std::vector<std::string>{"KESTREL ZEP-4000@COM3:", "KESTREL ZEP-4100@COM3:"}));
    EXPECT_EQ(m.RegString(kUninstallKey, "DisplayVersion"), "1.1.0.0");
    EXPECT_TRUE(m.Ui("box").empty());
    EXPECT_TRUE(m.Ui("dialog").empty());
    EXPECT_TRUE(m.Restarts().empty());
    // The answers and the question are in the log instead.
    std::vector<std::string> log = InstallerLog();
    EXPECT_TRUE(test::InOrder(log, {"DIALOG : Select ZEP Model -> KESTREL ZEP-4000, KESTREL ZEP-4100",
                                    "DIALOG : Select Port Type -> COM3",
                                    "PRINTER-DRIVER NAME TO ADD : KESTREL ZEP-4000 ",
                                    "PRINTER-DRIVER NAME TO ADD : KESTREL ZEP-4100 ",
                                    std::string("QUESTION : ") + kRestartQuestion + " -> No (/norestart)",
                                    "AddToWin2K END"}));
    // No pacing pause, and the running spooler's start waits for nothing.
    EXPECT_TRUE(m.Pauses().empty());
}

TEST_F(DeployTest, PassiveInstallationAnswersTheSameAndKeepsEveryPacingPause) {
    sim::Machine interactive;
    test::PrepareInstallerMachine(interactive);
    test::InstallerScript script;
    script.models = {"KESTREL ZEP-4000", "KESTREL ZEP-4100"};
    script.port = 2;
    test::InstallerRun(interactive, script).Run();

    test::PrepareInstallerMachine(m);
    EXPECT_EQ(Start(m, Program::Installer, std::string("/passive ") + kBoth).code, kExitRestartNeeded);
    EXPECT_EQ(State(m), State(interactive));
    // All but the fixed wait after the spooler's start: passive mode asks
    // the service instead, which runs already.
    std::vector<uint32_t> pacing = interactive.Pauses();
    ASSERT_EQ(pacing.front(), 2000u);
    pacing.erase(pacing.begin());
    EXPECT_EQ(m.Pauses(), pacing);
    EXPECT_TRUE(m.Ui("box").empty());
    EXPECT_TRUE(m.Ui("dialog").empty());
    // The progress window still shows every step.
    EXPECT_EQ(test::Timeline(m, {"status", "progress"}), test::Timeline(interactive, {"status", "progress"}));
}

TEST_F(DeployTest, RerunsAddNothingTwiceButAnotherPortGetsItsPrinter) {
    ASSERT_EQ(Install(m, std::string("/quiet ") + kBoth), kExitRestartNeeded);
    std::string installed = State(m);
    // The same command line again: nothing changes, nothing to restart for.
    EXPECT_EQ(Install(m, std::string("/quiet ") + kBoth), kExitDone);
    EXPECT_EQ(State(m), installed);
    EXPECT_TRUE(Contains(InstallerLog(), "PRINTER ALREADY INSTALLED : KESTREL ZEP-4100 on COM3:"));

    // A "(#N)" printer counts as the model's; letter case does not matter.
    PrinterDefaults all{"RAW", kPrinterAllAccess};
    Result<HPrinter> p = m.OpenPrinterA("KESTREL ZEP-4000", &all);
    ASSERT_TRUE(p.ok);
    m.DeletePrinter(p.value);
    m.ClosePrinter(p.value);
    m.AddPrinterDirect("kestrel zep-4000(#2)", "ZEP Character Type", "COM3:", "ZEP PRINT PROCESSOR");
    m.SetPrinterVersion("kestrel zep-4000(#2)", 1, 1, 0, 0);
    EXPECT_EQ(Install(m, "/quiet /model \"KESTREL ZEP-4000\" /port COM3"), kExitDone);
    EXPECT_EQ(PrintersOfDriver(),
              (std::vector<std::string>{"kestrel zep-4000(#2)@COM3:", "KESTREL ZEP-4100@COM3:"}));

    // On another port the model gets a printer of its own, numbered.
    EXPECT_EQ(Install(m, "/quiet /model \"KESTREL ZEP-4100\" /port COM4"), kExitDone);
    std::optional<sim::Machine::SimPrinter> added = m.FindPrinter("KESTREL ZEP-4100(#1)");
    ASSERT_TRUE(added);
    EXPECT_EQ(added->info.portName, "COM4:");
}

TEST_F(DeployTest, ForceRestartRestartsWhereTheUserWouldBeAsked) {
    EXPECT_EQ(Install(m, std::string("/quiet /forcerestart ") + kBoth), kExitRestartStarted);
    EXPECT_EQ(m.Restarts().size(), 1u);
    EXPECT_TRUE(Contains(InstallerLog(),
                         std::string("QUESTION : ") + kRestartQuestion + " -> Yes (/forcerestart)"));

    // A restart Windows refuses is still needed.
    sim::Machine refused;
    refused.SetShutdownPrivilege(false);
    EXPECT_EQ(Install(refused, std::string("/quiet /forcerestart ") + kBoth), kExitRestartNeeded);
    EXPECT_TRUE(refused.Restarts().empty());
}

TEST_F(DeployTest, EveryFailureBoxIsALogLineAndTheRunFails) {
    // A registration that fails: the run goes on to its end, then fails.
    m.InjectFault({"SetupCopyOEMInfA", "", "", kErrAccessDenied, 0, -1});
    EXPECT_EQ(Install(m, std::string("/quiet ") + kBoth), kExitFailed);
    EXPECT_TRUE(Contains(InstallerLog(), "ERROR : SetupCopyOEMInf, ERR CODE: 5 Access is denied."));
    EXPECT_TRUE(Contains(InstallerLog(), "AddToWin2K END"));
    EXPECT_TRUE(m.Ui("box").empty());

    // The printer that cannot be made ends the run at once.
    sim::Machine printer;
    printer.InjectFault({"AddPrinterA", "", "", kErrInvalidPrinterName, 0, 1});
    EXPECT_EQ(Install(printer, std::string("/passive ") + kBoth), kExitFailed);
    std::vector<std::string> log = LogLines(printer.LogText("ZEP_Installer.txt"));
    EXPECT_TRUE(Contains(log, "ERROR : AddPrinter, Error Code: 1801 The printer name is invalid."));
    EXPECT_FALSE(Contains(log, "AddToWin2K END"));
}

TEST_F(DeployTest, TooOldASystemIsRefusedWithItsOwnCode) {
    m.SetVersion(sim::versions::kNt4);
    EXPECT_EQ(Install(m, std::string("/quiet ") + kBoth), kExitSystemTooOld);
    EXPECT_TRUE(Contains(InstallerLog(), "MESSAGE : THE DRIVER CAN NOT BE INSTALLED ON THIS OS."));
    EXPECT_TRUE(PrintersOfDriver().empty());
}

TEST_F(DeployTest, ADifferentVersionIsRemovedAndNothingNewInstalled) {
    ASSERT_EQ(Install(m, std::string("/quiet ") + kBoth), kExitRestartNeeded);
    m.SetPrinterVersion("KESTREL ZEP-4000", 1, 0, 0, 0);
    sim::Machine forced(m);

    EXPECT_EQ(Install(m, std::string("/quiet ") + kBoth), kExitRestartNeeded);
    EXPECT_TRUE(PrintersOfDriver().empty());
    EXPECT_TRUE(m.Drivers().empty());
    EXPECT_FALSE(m.RegKeyExists(kUninstallKey));
    EXPECT_TRUE(m.Restarts().empty());
    std::vector<std::string> log = InstallerLog();
    EXPECT_TRUE(test::InOrder(
        log, {"MESSAGE : There is a different version driver in this system. The installed "
              "driver will be removed.",
              "MESSAGE : The installer has successfully removed the different version. Now it is "
              "going to restart your computer to take effect. After restarting, you may reinstall "
              "the driver again.",
              "Nothing of this version was installed: run the installer again after the restart.",
              "Windows must restart to complete the change; not restarted (/norestart)."}));
    EXPECT_FALSE(Contains(log, "AddToWin2K BEGIN"));

    EXPECT_EQ(Install(forced, std::string("/quiet /forcerestart ") + kBoth), kExitRestartStarted);
    EXPECT_EQ(forced.Restarts().size(), 1u);
}

TEST_F(DeployTest, QuietUninstallationRemovesEverythingThenFindsNothing) {
    ASSERT_EQ(Install(m, std::string("/quiet ") + kBoth), kExitRestartNeeded);
    m.AddJob("KESTREL ZEP-4100");
    size_t installPauses = m.Pauses().size();
    EXPECT_EQ(Uninstall(m, "/quiet"), kExitRestartNeeded);
    EXPECT_TRUE(PrintersOfDriver().empty());
    EXPECT_TRUE(m.Drivers().empty());
    EXPECT_FALSE(m.RegKeyExists(kUninstallKey));
    EXPECT_TRUE(m.Ui("box").empty());
    std::vector<std::string> log = UninstallerLog();
    EXPECT_TRUE(test::InOrder(log, {"DIALOG : Uninstall -> KESTREL ZEP-4000, KESTREL ZEP-4100",
                                    "DeleteDirectory END",
                                    "QUESTION : Restarting your computer can take effect. Please "
                                    "restart your computer. [Yes] I want to restart my computer "
                                    "now. [No] I want to restart my computer later. -> No "
                                    "(/norestart)"}));
    // No pacing pause, and a spooler that drops the jobs and stops and
    // starts at once is not waited for.
    EXPECT_EQ(m.Pauses().size(), installPauses);

    EXPECT_EQ(Uninstall(m, "/quiet"), kExitNotInstalled);
    EXPECT_TRUE(Contains(UninstallerLog(), "MESSAGE : The ZEP driver does not exist on this system."));
}

TEST_F(DeployTest, NamedPrintersGoAloneAndAnUnknownOneChangesNothing) {
    ASSERT_EQ(Install(m, std::string("/quiet ") + kBoth), kExitRestartNeeded);
    test::PrepareUninstallerMachine(m);
    std::string before = State(m);
    EXPECT_EQ(Start(m, Program::Uninstaller, "/quiet /printer \"KESTREL ZEP-4000\" /printer Nobody").code,
              kExitBadCommandLine);
    EXPECT_EQ(State(m), before);
    EXPECT_TRUE(Contains(UninstallerLog(),
                         "COMMAND LINE ERROR : \"Nobody\" is not a printer of the driver"));
    EXPECT_TRUE(m.Ui("box").empty());
    // Passive: the usage box as well.
    EXPECT_EQ(Start(m, Program::Uninstaller, "/passive /printer Nobody").code, kExitBadCommandLine);
    ASSERT_EQ(m.Ui("box").size(), 1u);
    EXPECT_EQ(m.Ui("box")[0].text.rfind("\"Nobody\" is not a printer of the driver\n\nZEP_Uninstaller.exe", 0), 0u);
    EXPECT_EQ(State(m), before);

    // One printer named (in another case): it goes, the rest stays.
    EXPECT_EQ(Start(m, Program::Uninstaller, "/quiet /printer \"kestrel zep-4100\"").code, kExitDone);
    EXPECT_EQ(PrintersOfDriver(), std::vector<std::string>{"KESTREL ZEP-4000@COM3:"});
    EXPECT_TRUE(m.RegKeyExists(kUninstallKey));
    // Both named: the whole product goes.
    EXPECT_EQ(Start(m, Program::Uninstaller, "/passive /forcerestart /printer \"KESTREL ZEP-4000\"").code,
              kExitRestartStarted);
    EXPECT_FALSE(m.RegKeyExists(kUninstallKey));
    EXPECT_EQ(m.Restarts().size(), 1u);
}

TEST_F(DeployTest, APrinterNamedWhenTheDriverHasNoneIsUnknown) {
    ASSERT_EQ(Install(m, "/quiet /model \"KESTREL ZEP-4000\" /port COM1"), kExitRestartNeeded);
    PrinterDefaults all{"RAW", kPrinterAllAccess};
    Result<HPrinter> p = m.OpenPrinterA("KESTREL ZEP-4000", &all);
    m.DeletePrinter(p.value);
    m.ClosePrinter(p.value);
    EXPECT_EQ(Uninstall(m, "/quiet /printer \"KESTREL ZEP-4000\""), kExitBadCommandLine);
    EXPECT_FALSE(m.Drivers().empty());
    // Without /printer the driver alone goes.
    EXPECT_EQ(Uninstall(m, "/quiet"), kExitRestartNeeded);
    EXPECT_TRUE(m.Drivers().empty());
}

TEST_F(DeployTest, ListingFailuresEndTheRunFailed) {
    ASSERT_EQ(Install(m, std::string("/quiet ") + kBoth), kExitRestartNeeded);
    sim::Machine replacing(m);
    m.InjectFault({"EnumPrintersA", "", "", kErrRpcServerUnavailable, 0, 1});
    EXPECT_EQ(Uninstall(m, "/quiet"), kExitFailed);
    EXPECT_TRUE(Contains(UninstallerLog(),
                         "ERROR : EnumPrinters Error Code: 1722 The RPC server is unavailable."));
    EXPECT_EQ(PrintersOfDriver().size(), 2u);

    replacing.SetPrinterVersion("KESTREL ZEP-4000", 1, 0, 0, 0);
    sim::Machine driverOnly(replacing);
    replacing.InjectFault({"EnumPrintersA", "DeletePrinterObjects", "", kErrAccessDenied, 0, 1});
    EXPECT_EQ(Install(replacing, std::string("/quiet ") + kBoth), kExitFailed);

    // No printer left, and the drivers cannot be listed: whether the driver
    // is there cannot be told, so nothing goes and the run fails.
    for (const auto& p : driverOnly.Printers()) {
        PrinterDefaults all{"RAW", kPrinterAllAccess};
        Result<HPrinter> h = driverOnly.OpenPrinterA(p.info.printerName.c_str(), &all);
        driverOnly.DeletePrinter(h.value);
        driverOnly.ClosePrinter(h.value);
    }
    driverOnly.InjectFault({"EnumPrinterDriversA", "", "", kErrRpcServerUnavailable, 0, 1});
    EXPECT_EQ(Uninstall(driverOnly, "/quiet"), kExitFailed);
    EXPECT_FALSE(driverOnly.Drivers().empty());
    EXPECT_TRUE(driverOnly.RegKeyExists(kUninstallKey));
    EXPECT_TRUE(Contains(LogLines(driverOnly.LogText("ZEP_UnInstaller.txt")),
                         "ERROR : EnumPrinterDrivers Error Code: 1722 The RPC server is unavailable."));
}

// ------------------------------------------------------------------ the spooler's waits

using Timing = sim::Machine::SpoolerTiming;
constexpr uint32_t kNever = sim::Machine::kNever;

bool AnyLineHas(const std::vector<std::string>& lines, const std::string& part) {
    for (const std::string& line : lines)
        if (line.find(part) != std::string::npos) return true;
    return false;
}

// A complete removal on a spooler that takes seconds, or never gets there:
// a quiet run waits for the service, and past a wait's bound writes a line
// and goes on; an interactive run makes its fixed pauses whatever it does.
TEST_F(DeployTest, RemovalWaitsForTheSpoolerOnlyWhenUnattended) {
    // Deleted after the driver's restart of the spooler: a spooler slower
    // than the fixed pauses still holds it then.
    const std::string held = "C:\\Windows\\system32\\spool\\prtprocs\\x64\\ZEPPRO.dll";
    const Timing slow{1500, 3000, 1500, 800};
    struct Case {
        const char* name;
        bool quiet;
        Timing timing;
        std::optional<sim::Fault> fault;
        std::vector<std::string> lines;  // parts of log lines
        bool filesGone;
        uint64_t minMs, maxMs;  // the quiet removal's time on the clock
    };
    const Case cases[] = {
        // Three stops of 4.5 s, three starts of 1.5 s, the job's 0.8 s.
        {"slow", true, slow, {}, {}, true, 18800, 18800 + 7 * 50},
        {"slow, interactive", false, slow, {}, {"DeleteFile Error : " + held + " , (32)"}, false, 0, 0},
        // A wait past its bound ends with a line; a start is refused while
        // the spooler stops (and a stop while it starts).
        {"never stops", true, {kNever, 0, 0, 0}, {},
         {"net stop spooler : the spooler did not reach state 1 within 30000 ms (state 3)",
          "net start spooler : refused, the spooler is in state 3"},
         false, 90000, 90000},
        {"its process never ends", true, {0, kNever, 0, 0}, {},
         {"did not end within 30000 ms", "DeleteFile Error : " + held + " , (32)"}, false, 90000, 90000},
        {"never starts", true, {0, 0, kNever, 0}, {},
         {"net start spooler : the spooler did not reach state 4 within 30000 ms (state 2)",
          "net stop spooler : refused, the spooler is in state 2"},
         false, 150000, 150000},
        {"jobs never leave", true, {0, 0, 0, kNever}, {},
         {"DeletePrinterJobs : 1 cancelled jobs still queued after 10000 ms"}, true, 10000, 10000},
        // The service cannot be asked: the fixed waits (and the job's wait).
        {"status unknown", true, slow, sim::Fault{"QueryServiceStatusEx", "", "", kErrAccessDenied, 0, -1},
         {"QueryServiceStatusEx failed : (5)", "DeleteFile Error : " + held + " , (32)"}, false, 12300,
         12300},
        {"process cannot be waited for", true, slow,
         sim::Fault{"WaitForProcessExit", "", "", kErrAccessDenied, 0, 1},
         {"WaitForProcessExit failed : ", "(5)"}, true, 17800, 17800},
    };

    ASSERT_EQ(Install(m, std::string("/quiet ") + kBoth), kExitRestartNeeded);
    m.AddJob("KESTREL ZEP-4100");
    test::PrepareUninstallerMachine(m);
    sim::Machine fixed(m);
    test::UninstallerRun(fixed).Run();
    std::vector<uint32_t> fixedPauses = fixed.Pauses();

    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        sim::Machine run(m);
        run.SetSpoolerTiming(c.timing);
        if (c.fault) run.InjectFault(*c.fault);
        uint64_t start = run.ElapsedMs();
        if (c.quiet) {
            EXPECT_NE(Start(run, Program::Uninstaller, "/quiet").code, -1);
        } else {
            EXPECT_TRUE(test::UninstallerRun(run).Run());
            EXPECT_EQ(run.Pauses(), fixedPauses);  // exactly the fixed pauses
        }
        uint64_t took = run.ElapsedMs() - start;
        if (c.quiet) {
            EXPECT_GE(took, c.minMs);
            EXPECT_LE(took, c.maxMs);
        }
        std::vector<std::string> log = LogLines(run.LogText("ZEP_UnInstaller.txt"));
        for (const std::string& line : c.lines) EXPECT_TRUE(AnyLineHas(log, line)) << line;
        EXPECT_TRUE(AnyLineHas(log, "DeleteDirectory END"));  // the run went on to its end
        EXPECT_EQ(!run.Exists(held), c.filesGone);
    }
}

// The installer's start of a stopped spooler: waited for on the worker, so
// that a start past the bound is in the log.
TEST_F(DeployTest, InstallationWaitsForTheSpoolersStartOnlyWhenUnattended) {
    struct Case {
        bool quiet;
        uint32_t startMs;
        int code;
        uint64_t tookMs;
    };
    for (const Case& c : {Case{true, 1500, kExitRestartNeeded, 1500},
                          Case{false, 1500, 0, 0},
                          Case{true, kNever, kExitFailed, 30000}}) {
        SCOPED_TRACE(std::to_string(c.quiet) + " " + std::to_string(c.startMs));
        sim::Machine run;
        test::PrepareInstallerMachine(run);
        run.SetSpoolerRunning(false);
        run.SetSpoolerTiming({0, 0, c.startMs, 0});
        if (c.quiet) {
            EXPECT_EQ(Start(run, Program::Installer, std::string("/quiet ") + kBoth).code, c.code);
            EXPECT_EQ(run.ElapsedMs(), c.tookMs);
        } else {
            test::InstallerRun(run).Run();
            EXPECT_EQ(run.Pauses().front(), 2000u);  // its fixed pause, running by then
        }
        std::vector<std::string> log = LogLines(run.LogText("ZEP_Installer.txt"));
        EXPECT_EQ(AnyLineHas(log, "net start spooler : the spooler did not reach state 4 within 30000 ms"),
                  c.startMs == kNever);
        EXPECT_EQ(run.FindPrinter("KESTREL ZEP-4000").has_value(), c.startMs != kNever);
    }
}

// ------------------------------------------------------------------ the start

TEST_F(DeployTest, OneProgramAtATime) {
    test::PrepareInstallerMachine(m);
    m.AddFile("C:\\Temp\\ZEP_Installer.txt", "the running installer's log");
    m.HoldMutex(kInstanceMutexName);
    std::string before = m.Snapshot();

    // Unattended: 1618, nothing shown, nothing touched (not even the log).
    for (const std::string& args : {std::string("/quiet ") + kBoth, std::string("/passive ") + kBoth,
                                    std::string("/quiet /bogus")}) {
        Outcome run = Start(m, Program::Installer, args);
        EXPECT_FALSE(run.started) << args;
        EXPECT_EQ(run.code, kExitAnotherRunning) << args;
    }
    EXPECT_EQ(Start(m, Program::Uninstaller, "/quiet").code, kExitAnotherRunning);
    EXPECT_TRUE(m.Ui("box").empty());
    EXPECT_EQ(m.Snapshot(), before);

    // Interactive: a box, and 0.
    Outcome run = Start(m, Program::Installer, "");
    EXPECT_FALSE(run.started);
    EXPECT_EQ(run.code, 0);
    ASSERT_EQ(m.BoxTexts(), std::vector<std::string>{kAnotherRunningText});
    EXPECT_EQ(m.Ui("box")[0].style, kMbOk | kMbIconInformation);

    // Once the other has ended, the mutex is this program's for its run.
    m.ReleaseMutex(kInstanceMutexName);
    TraceLog log(m, "\\ZEP_Installer.txt");
    Platform os = m.platform();
    Support sys(os, log);
    EXPECT_TRUE(StartProgram(Program::Installer, {}, sys).run);
    EXPECT_EQ(m.MutexHandles(kInstanceMutexName), 1);
    EXPECT_EQ(Start(m, Program::Uninstaller, "/quiet").code, kExitAnotherRunning);
}

TEST_F(DeployTest, AMutexThatCannotBeOpenedIsAnothersAndOneThatCannotBeMadeDecidesNothing) {
    test::PrepareInstallerMachine(m);
    m.InjectFault({"CreateMutexA", "", "", kErrAccessDenied, 0, 1});
    EXPECT_EQ(Start(m, Program::Installer, std::string("/quiet ") + kBoth).code, kExitAnotherRunning);
    m.InjectFault({"CreateMutexA", "", "", 123, 0, 1});  // a system without such names
    EXPECT_EQ(Start(m, Program::Installer, std::string("/quiet ") + kBoth).code, kExitRestartNeeded);
}

TEST_F(DeployTest, ABadCommandLineIsLoggedShownUnlessQuietAndChangesNothing) {
    test::PrepareInstallerMachine(m);
    std::string before = State(m);
    EXPECT_EQ(Start(m, Program::Installer, "/quiet /model \"KESTREL ZEP-5000\" /port COM3").code,
              kExitBadCommandLine);
    EXPECT_EQ(InstallerLog(), (std::vector<std::string>{
                                  "COMMAND LINE ERROR : unknown model \"KESTREL ZEP-5000\" "
                                  "(KESTREL ZEP-4000 or KESTREL ZEP-4100)"}));
    EXPECT_TRUE(m.Ui("box").empty());

    EXPECT_EQ(Start(m, Program::Installer, "/model \"KESTREL ZEP-4000\" /port COM9").code,
              kExitBadCommandLine);
    std::vector<sim::UiEvent> boxes = m.Ui("box");
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, "port \"COM9\" is not one of COM1 to COM8\n\n" + UsageText(Program::Installer));
    EXPECT_EQ(boxes[0].caption, "ZEP_Installer");
    EXPECT_EQ(State(m), before);
    EXPECT_EQ(m.MutexHandles(kInstanceMutexName), 0);  // each run's process has ended
}

TEST_F(DeployTest, HelpShowsTheUsageAndNeedsNoMutex) {
    test::PrepareUninstallerMachine(m);
    m.HoldMutex(kInstanceMutexName);
    Outcome run = Start(m, Program::Uninstaller, "/quiet /?");
    EXPECT_FALSE(run.started);
    EXPECT_EQ(run.code, 0);
    EXPECT_EQ(m.BoxTexts(), std::vector<std::string>{UsageText(Program::Uninstaller)});
    EXPECT_TRUE(m.Calls("CreateMutexA").empty());
}

TEST(UnattendedUser, BoxesBecomeOneLineEachAndQuestionsTakeTheCommandLinesAnswer) {
    EXPECT_EQ(OneLine("a\r\n\r\nb\nc\r\n"), "a b c");
    EXPECT_EQ(OneLine("a \nb"), "a b");
    sim::Machine m;
    TraceLog log(m, "\\ZEP_Installer.txt");
    log.OpenLog();
    UnattendedUser no(m, log, false), yes(m, log, true);
    EXPECT_EQ(no.AfxMessageBox("Restart?", kMbYesNo | kMbIconQuestion), kIdNo);
    EXPECT_EQ(yes.AfxMessageBox("Restart?", kMbYesNo | kMbIconQuestion), kIdYes);
    EXPECT_EQ(no.MessageBoxA(0x130, "The specific port is not supported.", "caption",
                             kMbOk | kMbIconExclamation),
              kIdOk);
    EXPECT_EQ(no.AfxMessageBox("Done.", kMbOk | kMbIconInformation), kIdOk);
    EXPECT_TRUE(m.Ui("box").empty());
    EXPECT_EQ(LogLines(m.LogText("ZEP_Installer.txt")),
              (std::vector<std::string>{"QUESTION : Restart? -> No (/norestart)",
                                        "QUESTION : Restart? -> Yes (/forcerestart)",
                                        "ERROR : The specific port is not supported.",
                                        "MESSAGE : Done."}));
}

}  // namespace
}  // namespace zep
