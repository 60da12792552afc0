// The restart of Windows and the end of the run: its last log line and the
// process exit with the run's code.
#include "common/support.h"

#include <cstdlib>

namespace zep {

bool Support::RestartSystem() {
    RoutineScope scope("RestartSystem");
    if (run.Unattended() && run.Failed()) {
        // The terminal keeps running for whoever reads why the run failed.
        log.WriteLog("Windows is not restarted: the run failed.");
        return false;
    }
    if (run.Unattended() && !run.ForceRestart()) {
        log.WriteLog("Windows must restart to complete the change; not restarted (/norestart).");
        run.RestartNeeded();
        return false;
    }
    if (run.Unattended()) {
        restartAtEnd_ = true;
        return true;
    }
    bool restarting = RequestRestart();
    if (restarting)
        run.RestartStarted();
    else
        run.RestartNeeded();
    return restarting;
}

bool Support::AskToRestart(const char* later) {
    std::string text =
        "Restarting your computer can take effect.\nPlease restart your computer.\n\n"
        "[Yes] I want to restart my computer now.\n[No] ";
    return os.user.AfxMessageBox(text + later, kMbYesNo | kMbIconQuestion) == kIdYes;
}

int Support::FinishRun() {
    if (finished_.exchange(true)) return run.ExitCode();
    if (restartAtEnd_) {
        RoutineScope scope("RestartSystem");
        if (run.Failed()) {
            // The terminal keeps running for whoever reads why the run failed.
            log.WriteLog("Windows is not restarted: the run failed.");
        } else if (RequestRestart()) {
            run.RestartStarted();
            log.WriteLog("Windows is restarting (/forcerestart).");
        } else {
            run.RestartNeeded();
            log.WriteLog("Windows refused to restart; restart it to complete the change.");
        }
    }
    int code = run.ExitCode();
    if (run.Unattended()) log.WriteLog("%s", ExitCodeLine(code).c_str());
    return code;
}

bool Support::RequestRestart() {
    Result<HToken> token = os.advapi.OpenProcessToken(kTokenAdjustPrivileges | kTokenQuery);
    if (!token.ok) return false;
    Result<Luid> shutdown = os.advapi.LookupPrivilegeValueA("SeShutdownPrivilege");
    Status adjusted = os.advapi.AdjustTokenPrivileges(token.value, shutdown.value,
                                                      kSePrivilegeEnabled);
    if (adjusted.error != 0) return false;
    // FORCEIFHUNG rather than FORCE: other programs may still save their work.
    // An unattended restart says why, for the system's shutdown records.
    uint32_t reason = run.Unattended() ? kShtdnReasonPlannedInstallation : 0;
    return os.user.ExitWindowsEx(kEwxReboot | kEwxForceIfHung, reason).ok;
}

void Support::EndProcess() {
    os.kernel.exit(FinishRun());
    // Not reached: exit does not return. Kept should an implementation of
    // the seam ever return from it.
    // cppcheck-suppress unreachableCode
    std::abort();
}

}  // namespace zep
