#include "common/startup.h"

#include "common/product.h"
#include "resources/version.h"

namespace zep {

std::string OneLine(const std::string& text) {
    std::string out;
    bool breakPending = false;
    for (char c : text) {
        if (c == '\r' || c == '\n') {
            breakPending = true;
            continue;
        }
        if (breakPending && !out.empty() && out.back() != ' ') out += ' ';
        breakPending = false;
        out += c;
    }
    while (!out.empty() && out.back() == ' ') out.pop_back();
    return out;
}

int UnattendedUser::AfxMessageBox(const std::string& text, uint32_t style) {
    constexpr uint32_t kButtons = 0xF, kIcons = 0xF0;
    std::string line = OneLine(text);
    if ((style & kButtons) == kMbYesNo) {
        log_.WriteLog("QUESTION : %s -> %s", line.c_str(),
                      forceRestart_ ? "Yes (/forcerestart)" : "No (/norestart)");
        return forceRestart_ ? kIdYes : kIdNo;
    }
    uint32_t icon = style & kIcons;
    bool error = icon == kMbIconError || icon == kMbIconExclamation;
    log_.WriteLog(error ? "ERROR : %s" : "MESSAGE : %s", line.c_str());
    return kIdOk;
}

int UnattendedUser::MessageBoxA(uintptr_t, const std::string& text, const std::string&,
                                uint32_t style) {
    return AfxMessageBox(text, style);
}

void RefuseCommandLine(Program program, const std::string& problem, Support& sys, User* boxes) {
    sys.log.WriteLog("COMMAND LINE ERROR : %s", problem.c_str());
    if (boxes) boxes->AfxMessageBox(problem + "\n\n" + UsageText(program), kMbOk | kMbIconExclamation);
    sys.run.End(RunEnd::BadCommandLine);
}

std::string LogFailureText(const std::string& path) {
    return "The log file cannot be opened:\n" + path +
           "\n\nName a file in a folder that exists and can be written, or leave /log out.";
}

namespace {

const char* ProgramName(Program program) {
    return program == Program::Installer ? ZEP_INSTALLER_FILE : ZEP_UNINSTALLER_FILE;
}

// The first lines of an unattended run's log.
void LogHeader(Program program, const std::string& commandLine, TraceLog& log) {
    log.WriteLog("PROGRAM : %s %s", ProgramName(program), ZEP_VERSION_TEXT);
    log.WriteLog("COMMAND LINE : %s", commandLine.c_str());
}

}  // namespace

StartDecision StartProgram(Program program, const std::vector<std::string>& args,
                           const std::string& commandLine, Support& sys) {
    RoutineScope scope("StartProgram");
    StartDecision start;
    start.options = ParseCommandLine(program, args);
    const DeployOptions& options = start.options;
    User& user = sys.os.user;
    TraceLog& log = sys.log;
    bool quiet = options.mode == RunMode::Quiet;
    if (!options.logPath.empty()) log.SetPath(options.logPath);
    // The lines of a start that ends here are added to the log, never
    // starting it anew, and closed with the code. (Without a log they are
    // dropped; a box among them still shows.)
    auto begin = [&](TraceLog::Start how) {
        log.Open(how);
        LogHeader(program, commandLine, log);
    };
    auto end = [&](int code) {
        start.exitCode = code;
        log.WriteLog("%s", ExitCodeLine(code).c_str());
        log.Close();
    };

    if (options.help) {
        if (!quiet) {
            user.AfxMessageBox(UsageText(program), kMbOk | kMbIconInformation);
            return start;
        }
        // No mutex is taken: another run may be writing this log.
        begin(TraceLog::Start::AppendIfFree);
        std::string usage = UsageText(program);
        for (size_t at = 0; at <= usage.size();) {
            size_t stop = usage.find('\n', at);
            if (stop == std::string::npos) stop = usage.size();
            log.WriteLog("%s", usage.substr(at, stop - at).c_str());
            at = stop + 1;
        }
        end(kExitDone);
        return start;
    }

    // The mutex object's existence is the sign: whoever made it first runs.
    // One that cannot be opened was made by someone else too; one that
    // cannot be made at all (systems without such names) decides nothing.
    Result<HMutex> mutex = sys.os.kernel.CreateMutexA(kInstanceMutexName);
    bool another = (mutex.ok && mutex.error == kErrAlreadyExists) ||
                   (!mutex.ok && mutex.error == kErrAccessDenied);
    if (another) {
        if (options.Ok() && !options.Unattended()) {
            user.AfxMessageBox(kAnotherRunningText, kMbOk | kMbIconInformation);
            start.exitCode = kExitDone;
            return start;
        }
        start.exitCode = kExitAnotherRunning;
        // Only the tool's own file, and only when the running program does
        // not write it: the Temp log belongs to the run in progress.
        if (!options.logPath.empty()) {
            begin(TraceLog::Start::AppendIfFree);
            log.WriteLog("MESSAGE : %s", OneLine(kAnotherRunningText).c_str());
            end(kExitAnotherRunning);
        }
        return start;
    }

    if (!options.Ok()) {
        begin(TraceLog::Start::Append);
        RefuseCommandLine(program, options.error, sys, quiet ? nullptr : &user);
        end(kExitBadCommandLine);
        return start;
    }

    if (options.Unattended() || !options.logPath.empty()) {
        if (!log.Open(TraceLog::Start::Fresh) && !options.logPath.empty()) {
            if (options.Unattended()) {
                start.exitCode = kExitLogFailure;
            } else {
                user.AfxMessageBox(LogFailureText(options.logPath), kMbOk | kMbIconExclamation);
                start.exitCode = kExitDone;
            }
            return start;
        }
        if (options.Unattended()) LogHeader(program, commandLine, log);
    }
    start.run = true;
    return start;
}

RunContext* StartRun(Program program, const std::vector<std::string>& args,
                     const std::string& commandLine, Platform& os, TraceLog& log, int* exitCode) {
    Support start(os, log);
    StartDecision decision = StartProgram(program, args, commandLine, start);
    *exitCode = decision.exitCode;
    if (!decision.run) return nullptr;
    return new RunContext(os, log, decision.options);
}

}  // namespace zep
