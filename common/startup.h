// The start of both programs, in every mode: the command line, one instance
// at a time, /log, and the context a run goes on with; and the user of a
// quiet or passive run, who is not there.
#pragma once

#include <string>
#include <vector>

#include "common/support.h"
#include "common/command_line.h"

namespace zep {

// Held by either program for its whole run, machine-wide ("Global\" reaches
// every session; systems without Terminal Services ignore the prefix).
inline constexpr char kInstanceMutexName[] = "Global\\KESTREL ZEP driver installation";

// The box an interactive program shows when the other program (or a second
// copy of itself) is running.
inline constexpr char kAnotherRunningText[] =
    "Another installation or removal of the ZEP driver is running.\n\n"
    "Start this program again when it has ended.";

struct StartDecision {
    bool run = false;   // go on with the program's run
    int exitCode = 0;   // otherwise the process ends at once with this code
    DeployOptions options;
};

// The start of either program, before its windows: /? shows the usage (with
// /quiet it goes to the log); the instance mutex is taken, and a second
// program started meanwhile changes nothing (interactive: a box, 0;
// otherwise 1618, with its line in its /log file when that is not the file
// the running program writes); a command line that cannot be used is added
// to the log that is there, shown unless /quiet, and ends with 87. A /log
// file that cannot be opened ends the start: 1622, or a box and 0 for the
// interactive program. An unattended run's log is opened here and begins
// with the program, its version and the command line; a start that ends
// here ends its lines in the log with the EXIT CODE line. args are the
// arguments after the program's name, commandLine the whole line as given.
StartDecision StartProgram(Program program, const std::vector<std::string>& args,
                           const std::string& commandLine, Support& sys);

// The text of the box of an interactive program whose /log file cannot be opened.
std::string LogFailureText(const std::string& path);

// The command-line error of a quiet or passive run found after the start
// (a printer the uninstaller does not have): one log line, the usage box
// through `boxes` (nullptr in quiet mode), the run's code 87.
void RefuseCommandLine(Program program, const std::string& problem, Support& sys, User* boxes);

// The user of a quiet or passive run: nobody. Every box the programs show
// becomes one line of the trace log; a question (the only ones are the
// restart questions) takes the command line's answer: Yes with
// /forcerestart, else No. Everything else goes to the real user32.
class UnattendedUser final : public User {
public:
    UnattendedUser(User& real, TraceLog& log, bool forceRestart)
        : real_(real), log_(log), forceRestart_(forceRestart) {}

    std::string LoadStringA(uint32_t id) override { return real_.LoadStringA(id); }
    Status ExitWindowsEx(uint32_t flags, uint32_t reason) override {
        return real_.ExitWindowsEx(flags, reason);
    }
    int AfxMessageBox(const std::string& text, uint32_t style) override;
    int MessageBoxA(uintptr_t owner, const std::string& text, const std::string& caption,
                    uint32_t style) override;

private:
    User& real_;
    TraceLog& log_;
    bool forceRestart_;
};

// A box's text on one log line: each run of line breaks becomes one blank.
std::string OneLine(const std::string& text);

// What a program runs with once its start let it run: the options, and the
// platform and support of the run, whose user is the unattended one in
// quiet and passive mode (the real one otherwise).
class RunContext {
public:
    RunContext(Platform& os, TraceLog& log, const DeployOptions& options)
        : options_(options),
          nobody_(os.user, log, options.forceRestart),
          os_{os.kernel, os.advapi, options.Unattended() ? static_cast<User&>(nobody_) : os.user,
              os.spooler, os.setup},
          sys_(os_, log) {
        sys_.run.SetMode(options.mode, options.forceRestart);
        sys_.run.SetPortSettings(options.portSettings);
    }
    RunContext(const RunContext&) = delete;
    RunContext& operator=(const RunContext&) = delete;

    const DeployOptions& options() const { return options_; }
    Support& sys() { return sys_; }

private:
    DeployOptions options_;
    UnattendedUser nobody_;
    Platform os_;
    Support sys_;
};

// The start of a program's process: StartProgram on the platform, then the
// run's context when the program goes on, made for the life of the process
// (its worker may still use it while the process exits). nullptr, with the
// code to end with in *exitCode, when it does not.
RunContext* StartRun(Program program, const std::vector<std::string>& args,
                     const std::string& commandLine, Platform& os, TraceLog& log, int* exitCode);

}  // namespace zep
