#include "common/unattended.h"

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

StartDecision StartProgram(Program program, const std::vector<std::string>& args, Support& sys) {
    RoutineScope scope("StartProgram");
    StartDecision start;
    start.options = ParseCommandLine(program, args);
    const DeployOptions& options = start.options;
    User& user = sys.os.user;
    if (options.help) {
        user.AfxMessageBox(UsageText(program), kMbOk | kMbIconInformation);
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
        } else {
            start.exitCode = kExitAnotherRunning;
        }
        return start;
    }

    if (!options.Ok()) {
        sys.log.OpenLog();
        RefuseCommandLine(program, options.error, sys,
                          options.mode == RunMode::Quiet ? nullptr : &user);
        start.exitCode = kExitBadCommandLine;
        return start;
    }
    start.run = true;
    return start;
}

RunContext* StartRun(Program program, const std::vector<std::string>& args, Platform& os,
                     TraceLog& log, int* exitCode) {
    Support start(os, log);
    StartDecision decision = StartProgram(program, args, start);
    *exitCode = decision.exitCode;
    if (!decision.run) return nullptr;
    return new RunContext(os, log, decision.options);
}

}  // namespace zep
