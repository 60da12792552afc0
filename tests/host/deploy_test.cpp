// Unattended deployment: the command line, the exit code of every path, the
// boxes that become log lines, reruns, one instance at a time, and the
// waits that quiet mode skips.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <optional>

#include "common/startup.h"
#include "installer/headless_view.h"
#include "tests/host/deploy_runs.h"
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
                                "/PORT com3: /LOG \"D:\\logs\\zep install.txt\" /portsettings \"19200, E, 7, 2\"");
    ASSERT_TRUE(o.Ok()) << o.error;
    EXPECT_EQ(o.mode, RunMode::Quiet);
    EXPECT_EQ(o.models, (std::vector<std::string>{"KESTREL ZEP-4000", "KESTREL ZEP-4100"}));
    EXPECT_EQ(o.portIndex, 2);
    EXPECT_FALSE(o.forceRestart);
    EXPECT_EQ(o.logPath, "D:\\logs\\zep install.txt");
    ASSERT_TRUE(o.portSettings);
    EXPECT_EQ(o.portSettings->Text(), "19200,e,7,2");
    EXPECT_FALSE(Installer("/quiet /model \"KESTREL ZEP-4000\" /port COM1").portSettings);
    // The log goes where the interactive programs are told, too.
    EXPECT_TRUE(Uninstaller("/log C:\\x.txt").Ok());

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
         "/port is given twice"},
        {Program::Installer, "/quiet /model \"KESTREL ZEP-4000\" /port COM1 /port COM1",
         "/port is given twice"},
        {Program::Installer, "/quiet /model \"KESTREL ZEP-4000\" /model \"kestrel zep-4000\" /port COM1",
         "/model \"KESTREL ZEP-4000\" is given twice"},
        {Program::Installer, "/quiet /model \"KESTREL ZEP-4000\" /port COM1 /log", "/log needs a value"},
        {Program::Uninstaller, "/quiet /log a.txt /log a.txt", "/log is given twice"},
        {Program::Installer, "/quiet /model \"KESTREL ZEP-4000\" /port COM1 /portsettings 9600,n,8,1 "
                             "/portsettings 9600,n,8,1", "/portsettings is given twice"},
        {Program::Installer, "/quiet /model \"KESTREL ZEP-4000\" /port COM1 /portsettings 9601,n,8,1",
         "port settings \"9601,n,8,1\": the speed"},
        {Program::Installer, "/portsettings 9600,n,8,1", "need /quiet or /passive"},
        {Program::Uninstaller, "/quiet /portsettings 9600,n,8,1", "/portsettings is a switch of the installer"},
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

TEST(CommandLine, PortSettingsAreWhatACOMPortTakes) {
    struct Case {
        const char* text;
        const char* settings;  // as kept, or nullptr
        const char* problem;
    };
    const Case cases[] = {
        {"9600,n,8,1", "9600,n,8,1", ""},
        {"110,O,5,1.5", "110,o,5,1.5", ""},
        {"256000,s,6,2", "256000,s,6,2", ""},
        {" 115200 , m , 8 , 2 ", "115200,m,8,2", ""},
        {"9600,n,8", nullptr, "BAUD,PARITY,DATA,STOP"},
        {"", nullptr, "BAUD,PARITY,DATA,STOP"},
        {"9601,n,8,1", nullptr, "speed"},
        {"96,n,8,1", nullptr, "speed"},
        {"9600,x,8,1", nullptr, "parity"},
        {"9600,n,9,1", nullptr, "data bits"},
        {"9600,n,8,3", nullptr, "stop bits"},
        {"9600,n,5,2", nullptr, "2 stop bits not with 5"},
        {"9600,n,8,1.5", nullptr, "1.5 stop bits go with 5"},
    };
    for (const Case& c : cases) {
        PortSettings s;
        std::string problem;
        bool ok = ParsePortSettings(c.text, &s, &problem);
        EXPECT_EQ(ok, c.settings != nullptr) << c.text;
        if (ok) EXPECT_EQ(s.Text(), c.settings) << c.text;
        else EXPECT_NE(problem.find(c.problem), std::string::npos) << c.text << " -> " << problem;
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

using test::Install;
using test::Outcome;
using test::kBoth;
using test::Start;
using test::State;
using test::Uninstall;

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
    // The same machine but for the INF's precompiled copy, which records the
    // source: the passive run reads the package by its full path.
    auto withoutPnf = [](const std::string& state) {
        std::string out;
        for (const std::string& line : test::LogLines(state))
            if (line.find(".PNF ") == std::string::npos) out += line + "\n";
        return out;
    };
    EXPECT_EQ(withoutPnf(State(m)), withoutPnf(State(interactive)));
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
    test::DeletePrinterByHand(m, "KESTREL ZEP-4000");
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
    // A planned restart for an application's installation, not reason 0.
    ASSERT_EQ(m.Calls("ExitWindowsEx").size(), 1u);
    EXPECT_EQ(m.Calls("ExitWindowsEx")[0].args, "0x12|0x80040002");

    // A run that failed is never restarted: here the removal cannot delete the driver.
    sim::Machine failed(m);
    failed.InjectFault(sim::Fault("DeletePrinterDriverExA").Fails(kErrAccessDenied).Always());
    failed.InjectFault(sim::Fault("RegDeleteKeyExA").For("Drivers").Fails(kErrAccessDenied).Always());
    EXPECT_EQ(Uninstall(failed, "/quiet /forcerestart"), kExitFailed);
    EXPECT_EQ(failed.Restarts().size(), 1u);  // the installation's only
    EXPECT_TRUE(test::InOrder(LogLines(failed.LogText("ZEP_UnInstaller.txt")),
                              {"NOT REMOVED : printer driver ZEP Character Type",
                               "Windows is not restarted: the run failed."}));

    // A restart Windows refuses is still needed.
    sim::Machine refused;
    refused.SetShutdownPrivilege(false);
    EXPECT_EQ(Install(refused, std::string("/quiet /forcerestart ") + kBoth), kExitRestartNeeded);
    EXPECT_TRUE(refused.Restarts().empty());
}

TEST_F(DeployTest, EveryFailureBoxIsALogLineAndTheRunFails) {
    // A registration that fails: the run goes on to its end, then fails.
    m.InjectFault(sim::Fault("SetupCopyOEMInfA").Fails(kErrAccessDenied).Always());
    EXPECT_EQ(Install(m, std::string("/quiet ") + kBoth), kExitFailed);
    EXPECT_TRUE(Contains(InstallerLog(), "ERROR : SetupCopyOEMInf, ERR CODE: 5 Access is denied."));
    EXPECT_TRUE(Contains(InstallerLog(), "AddToWin2K END"));
    EXPECT_TRUE(m.Ui("box").empty());

    // The printer that cannot be made: the rest is put in place, the check
    // names the printer, nothing is asked.
    sim::Machine printer;
    printer.InjectFault(sim::Fault("AddPrinterA").Fails(kErrInvalidPrinterName));
    EXPECT_EQ(Install(printer, std::string("/passive ") + kBoth), kExitFailed);
    std::vector<std::string> log = LogLines(printer.LogText("ZEP_Installer.txt"));
    EXPECT_TRUE(test::InOrder(log, {"ERROR : AddPrinter, Error Code: 1801 The printer name is invalid.",
                                    "RegisterUninstallInfo BEGIN",
                                    "NOT INSTALLED : printer KESTREL ZEP-4000 on COM3:",
                                    "AddToWin2K END"}));
    EXPECT_FALSE(Contains(log, "NOT INSTALLED : printer KESTREL ZEP-4100 on COM3:"));
    EXPECT_TRUE(printer.Ui("box").empty());
    // The rerun adds the printer: nothing else was missing.
    EXPECT_EQ(Install(printer, std::string("/passive ") + kBoth), kExitDone);
    EXPECT_TRUE(printer.FindPrinter("KESTREL ZEP-4000").has_value());
}

TEST_F(DeployTest, TooOldASystemIsRefusedWithItsOwnCode) {
    m.SetVersion(sim::versions::kNt4);
    EXPECT_EQ(Install(m, std::string("/quiet ") + kBoth), kExitSystemTooOld);
    EXPECT_TRUE(Contains(InstallerLog(), "MESSAGE : THE DRIVER CAN NOT BE INSTALLED ON THIS OS."));
    EXPECT_TRUE(PrintersOfDriver().empty());
}

TEST_F(DeployTest, AnOlderVersionIsReplacedInTheSameRun) {
    ASSERT_EQ(Install(m, std::string("/quiet ") + kBoth), kExitRestartNeeded);
    m.SetPrinterVersion("KESTREL ZEP-4000", 1, 0, 0, 0);
    m.AddPrinterDirect("Old Spare", "ZEP Character Type", "COM1:", "ZEP PRINT PROCESSOR");
    sim::Machine forced(m);

    EXPECT_EQ(Install(m, std::string("/quiet ") + kBoth), kExitRestartNeeded);
    EXPECT_EQ(PrintersOfDriver(),
              (std::vector<std::string>{"KESTREL ZEP-4000@COM3:", "KESTREL ZEP-4100@COM3:"}));
    EXPECT_EQ(m.RegString(kUninstallKey, "DisplayVersion"), "1.1.0.0");
    EXPECT_TRUE(m.Restarts().empty());
    std::vector<std::string> log = InstallerLog();
    EXPECT_TRUE(test::InOrder(
        log, {"INSTALLED VERSION : 1.0.0.0", "REMOVING : printer Old Spare",
              "MESSAGE : There is a different version driver in this system. The installed "
              "driver will be removed.",
              "DeleteUninstallationInfo END", "AddToWin2K BEGIN", "CheckInstalled END",
              std::string("QUESTION : ") + kRestartQuestion + " -> No (/norestart)"}));
    EXPECT_FALSE(Contains(log, "Nothing of this version was installed: run the installer again "
                               "after the restart."));

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
    test::DeletePrinterByHand(m, "KESTREL ZEP-4000");
    EXPECT_EQ(Uninstall(m, "/quiet /printer \"KESTREL ZEP-4000\""), kExitBadCommandLine);
    EXPECT_FALSE(m.Drivers().empty());
    // Without /printer the driver alone goes.
    EXPECT_EQ(Uninstall(m, "/quiet"), kExitRestartNeeded);
    EXPECT_TRUE(m.Drivers().empty());
}

TEST_F(DeployTest, ListingFailuresEndTheRunFailed) {
    ASSERT_EQ(Install(m, std::string("/quiet ") + kBoth), kExitRestartNeeded);
    sim::Machine replacing(m);
    m.InjectFault(sim::Fault("EnumPrintersA").Fails(kErrRpcServerUnavailable));
    EXPECT_EQ(Uninstall(m, "/quiet"), kExitFailed);
    EXPECT_TRUE(Contains(UninstallerLog(),
                         "ERROR : EnumPrinters Error Code: 1722 The RPC server is unavailable."));
    EXPECT_EQ(PrintersOfDriver().size(), 2u);

    replacing.SetPrinterVersion("KESTREL ZEP-4000", 1, 0, 0, 0);
    sim::Machine driverOnly(replacing);
    replacing.InjectFault(sim::Fault("EnumPrintersA").In("DeletePrinterObjects").Fails(kErrAccessDenied));
    EXPECT_EQ(Install(replacing, std::string("/quiet ") + kBoth), kExitFailed);

    // No printer left, and the drivers cannot be listed: whether the driver
    // is there cannot be told, so nothing goes and the run fails.
    for (const auto& p : driverOnly.Printers()) {
        PrinterDefaults all{"RAW", kPrinterAllAccess};
        Result<HPrinter> h = driverOnly.OpenPrinterA(p.info.printerName.c_str(), &all);
        driverOnly.DeletePrinter(h.value);
        driverOnly.ClosePrinter(h.value);
    }
    driverOnly.InjectFault(sim::Fault("EnumPrinterDriversA").Fails(kErrRpcServerUnavailable));
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
        {"status unknown", true, slow, sim::Fault("QueryServiceStatusEx").Fails(kErrAccessDenied).Always(),
         {"QueryServiceStatusEx failed : (5)", "DeleteFile Error : " + held + " , (32)"}, false, 12300,
         12300},
        {"process cannot be waited for", true, slow,
         sim::Fault("WaitForProcessExit").Fails(kErrAccessDenied),
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
    EXPECT_TRUE(StartProgram(Program::Installer, {}, "ZEP_Installer.exe", sys).run);
    EXPECT_EQ(m.MutexHandles(kInstanceMutexName), 1);
    EXPECT_EQ(Start(m, Program::Uninstaller, "/quiet").code, kExitAnotherRunning);
}

TEST_F(DeployTest, AMutexThatCannotBeOpenedIsAnothersAndOneThatCannotBeMadeDecidesNothing) {
    test::PrepareInstallerMachine(m);
    m.InjectFault(sim::Fault("CreateMutexA").Fails(kErrAccessDenied));
    EXPECT_EQ(Start(m, Program::Installer, std::string("/quiet ") + kBoth).code, kExitAnotherRunning);
    m.InjectFault(sim::Fault("CreateMutexA").Fails(sim::err::kInvalidName));  // a system without such names
    EXPECT_EQ(Start(m, Program::Installer, std::string("/quiet ") + kBoth).code, kExitRestartNeeded);
}

TEST_F(DeployTest, ABadCommandLineIsLoggedShownUnlessQuietAndChangesNothing) {
    test::PrepareInstallerMachine(m);
    std::string before = State(m);
    EXPECT_EQ(Start(m, Program::Installer, "/quiet /model \"KESTREL ZEP-5000\" /port COM3").code,
              kExitBadCommandLine);
    EXPECT_EQ(InstallerLog(),
              (std::vector<std::string>{
                  "PROGRAM : ZEP_Installer.exe 1.1.0.0",
                  "COMMAND LINE : ZEP_Installer.exe /quiet /model \"KESTREL ZEP-5000\" /port COM3",
                  "COMMAND LINE ERROR : unknown model \"KESTREL ZEP-5000\" "
                  "(KESTREL ZEP-4000 or KESTREL ZEP-4100)",
                  ExitCodeLine(kExitBadCommandLine)}));
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
    Outcome run = Start(m, Program::Uninstaller, "/passive /?");
    EXPECT_FALSE(run.started);
    EXPECT_EQ(run.code, 0);
    EXPECT_EQ(m.BoxTexts(), std::vector<std::string>{UsageText(Program::Uninstaller)});
    EXPECT_TRUE(m.Calls("CreateMutexA").empty());
    EXPECT_FALSE(m.Exists("C:\\Temp\\ZEP_UnInstaller.txt"));

    // Quiet: no window; the usage goes to the log, added to what is there.
    m.AddFile("C:\\Temp\\ZEP_UnInstaller.txt", "09:00:00: the last run\r\n");
    EXPECT_EQ(Start(m, Program::Uninstaller, "/? /quiet").code, 0);
    EXPECT_EQ(m.BoxTexts().size(), 1u);
    std::vector<std::string> log = UninstallerLog();
    ASSERT_GT(log.size(), 4u);
    EXPECT_EQ(log[0], "the last run");
    EXPECT_EQ(log[1], "PROGRAM : ZEP_Uninstaller.exe 1.1.0.0");
    EXPECT_EQ(log[3], UsageText(Program::Uninstaller).substr(0, UsageText(Program::Uninstaller).find('\n')));
    EXPECT_TRUE(Contains(log, "1605\tthe driver is not installed"));
    EXPECT_EQ(log.back(), ExitCodeLine(0));
    // Also to /log's file, and not into a log another run holds open.
    EXPECT_EQ(Start(m, Program::Uninstaller, "/quiet /? /log C:\\usage.txt").code, 0);
    EXPECT_TRUE(Contains(LogLines(m.FileContents("C:\\usage.txt")), ExitCodeLine(0)));
    std::string held = m.FileContents("C:\\Temp\\ZEP_UnInstaller.txt");
    TraceLog running(m, "\\ZEP_UnInstaller.txt");
    running.Open(TraceLog::Start::Append);
    EXPECT_EQ(Start(m, Program::Uninstaller, "/quiet /?").code, 0);
    EXPECT_EQ(m.FileContents("C:\\Temp\\ZEP_UnInstaller.txt"), held);
}

// ------------------------------------------------------------------ the log of a run

TEST_F(DeployTest, EveryUnattendedWayOutBeginsAndEndsTheLog) {
    struct Case {
        const char* name;
        Program program;
        std::string args;
        std::function<void(sim::Machine&)> arrange;
        int code;
        std::vector<std::string> lastLines;  // before the EXIT CODE line
    };
    auto installed = [](sim::Machine& x) { ASSERT_EQ(Install(x, std::string("/quiet ") + kBoth), kExitRestartNeeded); };
    const std::string both = std::string("/quiet ") + kBoth;
    const Case cases[] = {
        {"new", Program::Installer, both, nullptr, kExitRestartNeeded, {"AddToWin2K END"}},
        {"again", Program::Installer, both, installed, kExitDone, {"AddToWin2K END"}},
        {"restart", Program::Installer, "/forcerestart " + both, nullptr, kExitRestartStarted,
         {"Windows is restarting (/forcerestart)."}},
        {"refused restart", Program::Installer, "/forcerestart " + both,
         [](sim::Machine& x) { x.SetShutdownPrivilege(false); }, kExitRestartNeeded,
         {"Windows refused to restart; restart it to complete the change."}},
        {"failed, not restarted", Program::Installer, "/forcerestart " + both,
         [](sim::Machine& x) { x.InjectFault(sim::Fault("SetupCopyOEMInfA").Fails(kErrAccessDenied).Always()); },
         kExitFailed, {"AddToWin2K END"}},
        {"failed step", Program::Installer, both,
         [](sim::Machine& x) { x.InjectFault(sim::Fault("SetupCopyOEMInfA").Fails(kErrAccessDenied).Always()); },
         kExitFailed, {"AddToWin2K END"}},
        {"printer refused, passive", Program::Installer, std::string("/passive ") + kBoth,
         [](sim::Machine& x) { x.InjectFault(sim::Fault("AddPrinterA").Fails(kErrInvalidPrinterName)); },
         kExitFailed, {"AddToWin2K END"}},
        {"too old", Program::Installer, both, [](sim::Machine& x) { x.SetVersion(sim::versions::kNt4); },
         kExitSystemTooOld, {"MESSAGE : THE DRIVER CAN NOT BE INSTALLED ON THIS OS."}},
        {"removed", Program::Uninstaller, "/quiet", installed, kExitRestartNeeded,
         {"QUESTION : Restarting your computer can take effect. Please restart your computer. [Yes] I "
          "want to restart my computer now. [No] I want to restart my computer later. -> No (/norestart)"}},
        {"removed, passive", Program::Uninstaller, "/passive", installed, kExitRestartNeeded, {}},
        {"nothing installed", Program::Uninstaller, "/quiet", nullptr, kExitNotInstalled,
         {"DeleteUninstallInfoFromReg END"}},
        {"unknown printer", Program::Uninstaller, "/quiet /printer Nobody", installed, kExitBadCommandLine,
         {"COMMAND LINE ERROR : \"Nobody\" is not a printer of the driver"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        sim::Machine x;
        if (c.arrange) c.arrange(x);
        bool installer = c.program == Program::Installer;
        if (installer) test::PrepareInstallerMachine(x); else test::PrepareUninstallerMachine(x);
        EXPECT_EQ(Start(x, c.program, c.args).code, c.code);
        std::vector<std::string> log = LogLines(x.LogText(installer ? "ZEP_Installer.txt" : "ZEP_UnInstaller.txt"));
        ASSERT_GE(log.size(), 3u + c.lastLines.size());
        // A rerun's log is its own: the first lines are this run's.
        EXPECT_EQ(log[0], std::string("PROGRAM : ") + (installer ? "ZEP_Installer.exe" : "ZEP_Uninstaller.exe") + " 1.1.0.0");
        EXPECT_EQ(log[1], std::string("COMMAND LINE : ") + (installer ? "ZEP_Installer.exe " : "ZEP_Uninstaller.exe ") + c.args);
        EXPECT_EQ(log.back(), ExitCodeLine(c.code));
        EXPECT_EQ(std::count_if(log.begin(), log.end(), [](const std::string& l) { return l.rfind("EXIT CODE", 0) == 0; }), 1);
        for (size_t i = 0; i < c.lastLines.size(); ++i)
            EXPECT_EQ(log[log.size() - 1 - c.lastLines.size() + i], c.lastLines[i]);
    }
    // The interactive programs' logs stay as they are.
    test::PrepareInstallerMachine(m);
    test::InstallerScript script;
    script.models = {"KESTREL ZEP-4000"};
    test::InstallerRun(m, script).Run();
    EXPECT_FALSE(Contains(InstallerLog(), "PROGRAM : ZEP_Installer.exe 1.1.0.0"));
    EXPECT_EQ(InstallerLog().back(), "AddToWin2K END");
}

TEST(ExitCodes, EveryCodeHasItsLineAndItsProgramsUsage) {
    EXPECT_EQ(ExitCodeLine(3010),
              "EXIT CODE : 3010 (ERROR_SUCCESS_REBOOT_REQUIRED: done; restart Windows to complete it)");
    EXPECT_EQ(ExitCodeLine(4), "EXIT CODE : 4 (unknown)");
    for (size_t i = 0; i < kExitCodeCount; ++i) {
        const ExitCodeInfo& c = kExitCodes[i];
        std::string entry = std::to_string(c.code) + "\t" + c.meaning;
        EXPECT_EQ(UsageText(Program::Installer).find(entry) != std::string::npos, c.installer) << c.code;
        EXPECT_EQ(UsageText(Program::Uninstaller).find(entry) != std::string::npos, c.uninstaller) << c.code;
    }
}

TEST_F(DeployTest, ARefusedStartAddsToTheLogThatIsThere) {
    ASSERT_EQ(Install(m, std::string("/quiet ") + kBoth), kExitRestartNeeded);
    std::string diagnosed = m.LogText("ZEP_Installer.txt");
    // A mistyped rerun: the run being diagnosed keeps its log.
    EXPECT_EQ(Start(m, Program::Installer, "/quiet /modle x").code, kExitBadCommandLine);
    std::string now = m.LogText("ZEP_Installer.txt");
    ASSERT_EQ(now.compare(0, diagnosed.size(), diagnosed), 0);
    EXPECT_EQ(LogLines(now.substr(diagnosed.size())),
              (std::vector<std::string>{"PROGRAM : ZEP_Installer.exe 1.1.0.0",
                                        "COMMAND LINE : ZEP_Installer.exe /quiet /modle x",
                                        "COMMAND LINE ERROR : unknown switch \"/modle\"",
                                        ExitCodeLine(kExitBadCommandLine)}));
    // Refused before the parsing reaches /log: the refusal is still in its file.
    m.AddFile("C:\\logs\\zep.txt", "");
    EXPECT_EQ(Start(m, Program::Installer, "/bogus /log C:\\logs\\zep.txt").code, kExitBadCommandLine);
    EXPECT_TRUE(Contains(LogLines(m.FileContents("C:\\logs\\zep.txt")), "COMMAND LINE ERROR : unknown switch \"/bogus\""));
    EXPECT_EQ(m.LogText("ZEP_Installer.txt"), now);
}

TEST_F(DeployTest, AnotherRunsRefusalGoesOnlyToItsOwnLogFile) {
    test::PrepareInstallerMachine(m);
    m.AddFile("C:\\logs\\running.txt", "");
    // The running program holds its log open (here the /log file of a tool).
    TraceLog running(m, "\\ZEP_Installer.txt");
    running.SetPath("C:\\logs\\running.txt");
    ASSERT_TRUE(running.Open(TraceLog::Start::Fresh));
    running.WriteLog("the running program's line");
    m.HoldMutex(kInstanceMutexName);
    std::string before = m.Snapshot();

    const std::string args = std::string("/quiet ") + kBoth;
    EXPECT_EQ(Start(m, Program::Installer, args).code, kExitAnotherRunning);
    EXPECT_EQ(Start(m, Program::Installer, args + " /log C:\\logs\\running.txt").code, kExitAnotherRunning);
    EXPECT_EQ(Start(m, Program::Uninstaller, "/quiet /log c:\\LOGS\\Running.txt").code, kExitAnotherRunning);
    EXPECT_EQ(m.Snapshot(), before);  // not even the running program's log

    EXPECT_EQ(Start(m, Program::Installer, args + " /log C:\\logs\\second.txt").code, kExitAnotherRunning);
    EXPECT_EQ(LogLines(m.FileContents("C:\\logs\\second.txt")),
              (std::vector<std::string>{"PROGRAM : ZEP_Installer.exe 1.1.0.0",
                                        "COMMAND LINE : ZEP_Installer.exe " + args + " /log C:\\logs\\second.txt",
                                        "MESSAGE : " + OneLine(kAnotherRunningText),
                                        ExitCodeLine(kExitAnotherRunning)}));
    running.WriteLog("and its next");
    EXPECT_EQ(LogLines(m.FileContents("C:\\logs\\running.txt")),
              (std::vector<std::string>{"the running program's line", "and its next"}));
}

TEST_F(DeployTest, TheLogGoesWhereLogSaysOrTheRunChangesNothing) {
    test::PrepareInstallerMachine(m);
    m.CreateDirectoryA("D:\\");
    m.CreateDirectoryA("D:\\deploy");
    m.AddFile("D:\\deploy\\zep.txt", "an older run\r\n");
    std::string args = std::string("/quiet ") + kBoth + " /log D:\\deploy\\zep.txt";
    EXPECT_EQ(Start(m, Program::Installer, args).code, kExitRestartNeeded);
    std::vector<std::string> log = LogLines(m.FileContents("D:\\deploy\\zep.txt"));
    EXPECT_EQ(log.front(), "PROGRAM : ZEP_Installer.exe 1.1.0.0");  // started afresh
    EXPECT_TRUE(test::InOrder(log, {"AddToWin2K BEGIN", "AddToWin2K END", ExitCodeLine(kExitRestartNeeded)}));
    EXPECT_FALSE(m.Exists("C:\\Temp\\ZEP_Installer.txt"));

    // A file that cannot be opened: 1622, nothing changed; interactive: a box, 0.
    sim::Machine fresh;
    test::PrepareInstallerMachine(fresh);
    fresh.AddFile("C:\\Windows\\Protected\\SAM", "the system's own");
    fresh.AddSymbolicLink("C:\\linked", "C:\\Windows\\Protected", true);
    std::string clean = State(fresh);
    for (const char* path : {"C:\\missing\\zep.txt", "C:\\linked\\zep.txt", "C:\\Windows"}) {
        SCOPED_TRACE(path);
        EXPECT_EQ(Start(fresh, Program::Installer, std::string("/quiet ") + kBoth + " /log " + path).code,
                  kExitLogFailure);
        EXPECT_EQ(Start(fresh, Program::Uninstaller, std::string("/passive /log ") + path).code, kExitLogFailure);
        EXPECT_EQ(State(fresh), clean);
    }
    EXPECT_EQ(fresh.ListDirectory("C:\\Windows\\Protected"), std::vector<std::string>{"SAM"});
    EXPECT_TRUE(fresh.Ui("box").empty());
    Outcome interactive = Start(fresh, Program::Uninstaller, "/log C:\\missing\\zep.txt");
    EXPECT_FALSE(interactive.started);
    EXPECT_EQ(interactive.code, 0);
    EXPECT_EQ(fresh.BoxTexts(), std::vector<std::string>{LogFailureText("C:\\missing\\zep.txt")});
    EXPECT_TRUE(Start(fresh, Program::Uninstaller, "/log C:\\zep.txt").started);
}

// ------------------------------------------------------------------ the port's settings

TEST_F(DeployTest, PortSettingsAreSetBeforeThePrintersAndReadBack) {
    std::string args = std::string("/quiet ") + kBoth + " /portsettings 19200,e,7,1";
    EXPECT_EQ(Install(m, args), kExitRestartNeeded);
    EXPECT_EQ(m.PortSettingsText("COM3:"), "19200,e,7,1");
    EXPECT_EQ(m.PortSettingsText("COM1:"), "9600,n,8,1");
    EXPECT_TRUE(test::InOrder(InstallerLog(), {"ApplyPortSettings BEGIN", "PORT SETTINGS BEFORE : COM3: 9600,n,8,1",
                                               "PORT SETTINGS : COM3: 19200,e,7,1", "ApplyPortSettings END",
                                               "AddToWin2K BEGIN"}));
    // Through the port monitor's handle of the port, with the right to change it.
    std::vector<sim::CallRecord> opened = m.Calls("OpenPrinterA");
    EXPECT_TRUE(std::any_of(opened.begin(), opened.end(),
                            [](const sim::CallRecord& c) { return c.args == ",XcvPort COM3:"; }));
    EXPECT_EQ(m.OpenHandles().printers, 0u);

    // Without the switch the port is left alone.
    m.ClearCalls();
    EXPECT_EQ(Install(m, std::string("/quiet ") + kBoth), kExitDone);
    EXPECT_TRUE(m.Calls("XcvDataW").empty());
    EXPECT_EQ(m.PortSettingsText("COM3:"), "19200,e,7,1");
}

TEST_F(DeployTest, PortSettingsThePortRefusesOrCannotTakeChangeNothing) {
    struct Case {
        const char* name;
        sim::Fault fault;
        bool missing;
        int code;
        const char* line;
    };
    const Case cases[] = {
        {"refused by the port", sim::Fault("XcvDataW").For("SetDefaultCommConfig").Fails(kErrInvalidParameter), false,
         kExitBadCommandLine, "COMMAND LINE ERROR : port settings \"19200,e,7,1\": COM3: cannot take them (87)"},
        {"not to be read", sim::Fault("XcvDataW").For("GetDefaultCommConfig").Fails(kErrFileNotFound), false, kExitFailed,
         "ERROR : Port settings of COM3: GetDefaultCommConfig, Error Code: 2 The system cannot find the file specified."},
        {"not to be set", sim::Fault("XcvDataW").For("SetDefaultCommConfig").Fails(kErrAccessDenied), false, kExitFailed,
         "ERROR : Port settings of COM3: SetDefaultCommConfig, Error Code: 5 Access is denied."},
        {"no handle", sim::Fault("OpenPrinterA").For("XcvPort").Fails(kErrAccessDenied), false, kExitFailed,
         "ERROR : Port settings of COM3: OpenPrinter, Error Code: 5 Access is denied."},
        {"no XcvData", {}, true, kExitFailed,
         "ERROR : Port settings of COM3: XcvData, Error Code: 127 The specified procedure could not be found."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        sim::Machine x;
        test::PrepareInstallerMachine(x);
        std::string before = State(x);
        if (c.missing) x.SetXcvDataMissing(true); else x.InjectFault(c.fault);
        EXPECT_EQ(Start(x, Program::Installer, std::string("/passive ") + kBoth + " /portsettings 19200,e,7,1").code, c.code);
        EXPECT_EQ(State(x), before);
        std::vector<std::string> log = LogLines(x.LogText("ZEP_Installer.txt"));
        EXPECT_TRUE(Contains(log, c.line));
        EXPECT_FALSE(Contains(log, "AddToWin2K BEGIN"));
        EXPECT_TRUE(x.Ui("box").empty());
        EXPECT_EQ(x.OpenHandles().printers, 0u);
    }
    // A port the machine does not have has no settings to set.
    test::PrepareInstallerMachine(m);
    EXPECT_EQ(Start(m, Program::Installer, "/quiet /model \"KESTREL ZEP-4000\" /port COM7 /portsettings 9600,n,8,1").code,
              kExitFailed);
    EXPECT_TRUE(Contains(InstallerLog(), "PORT NOT FOUND : COM7:"));
    EXPECT_TRUE(PrintersOfDriver().empty());
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
