// Whole unattended runs on the simulated machine: a start with a command
// line, then the run that start chooses, up to the process's end.
#pragma once

#include <string>

#include "common/startup.h"
#include "installer/headless_view.h"
#include "tests/host/harness.h"
#include "uninstaller/headless_view.h"

namespace zep::test {

// One start of a program with this command line, then the run it chooses,
// up to the process's end. The harness' views stand in for the interactive
// windows; passive runs take the headless answers in them, as the real
// windows do.
class PassiveInstallerView : public SimInstallerView {
public:
    PassiveInstallerView(sim::Machine& m, const DeployOptions& options, TraceLog& log)
        : SimInstallerView(m, {}), answers_(options, log) {}
    int RunModelDialog(CModelDlg& dialog) override { return answers_.AnswerModelDialog(dialog); }
    int RunPortDialog(CPortDlg& dialog) override { return answers_.AnswerPortDialog(dialog); }

private:
    InstallerAnswers answers_;
};

class PassiveUninstallerView : public SimUninstallerView {
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

inline Outcome Start(sim::Machine& m, Program program, const std::string& args) {
    bool installer = program == Program::Installer;
    TraceLog log(m, installer ? "\\ZEP_Installer.txt" : "\\ZEP_UnInstaller.txt");
    Platform plain = m.platform();
    Support start(plain, log);
    std::string line = std::string(installer ? "ZEP_Installer.exe " : "ZEP_Uninstaller.exe ") + args;
    int handles = m.MutexHandles(kInstanceMutexName);
    StartDecision d = StartProgram(program, SplitCommandLine(line), line, start);
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
            result.code = sys.FinishRun();
        }
    } catch (const sim::ProcessExit& e) {
        result.code = e.code;
    }
    end();
    return result;
}

inline int Install(sim::Machine& m, const std::string& args) {
    PrepareInstallerMachine(m);
    int code = Start(m, Program::Installer, args).code;
    // The driver's own components give its printers their version.
    for (const auto& p : m.Printers())
        if (p.info.driverName == "ZEP Character Type" && !p.data.count("ExtraVersion"))
            m.SetPrinterVersion(p.info.printerName, 1, 1, 0, 0);
    return code;
}
inline int Uninstall(sim::Machine& m, const std::string& args) {
    PrepareUninstallerMachine(m);
    return Start(m, Program::Uninstaller, args).code;
}

// The machine's state without the trace logs.
inline std::string State(const sim::Machine& m) {
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

constexpr const char* kBoth = "/model \"KESTREL ZEP-4000\" /model \"KESTREL ZEP-4100\" /port COM3";

}  // namespace zep::test
