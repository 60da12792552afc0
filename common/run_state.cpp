#include "common/run_state.h"

namespace zep {

const ExitCodeInfo kExitCodes[] = {
    {kExitDone, "ERROR_SUCCESS", "done (also when all was there already)", true, true},
    {kExitRestartNeeded, "ERROR_SUCCESS_REBOOT_REQUIRED", "done; restart Windows to complete it", true, true},
    {kExitRestartStarted, "ERROR_SUCCESS_REBOOT_INITIATED", "done; Windows is restarting", true, true},
    {kExitFailed, "ERROR_INSTALL_FAILURE", "a step failed or a part is missing; see the log", true, true},
    {kExitCanceled, "ERROR_INSTALL_USEREXIT", "the window was closed before the end", true, true},
    {kExitNotInstalled, "ERROR_UNKNOWN_PRODUCT", "the driver is not installed", false, true},
    {kExitAnotherRunning, "ERROR_INSTALL_ALREADY_RUNNING", "another installation or removal is running; nothing changed", true, true},
    {kExitLogFailure, "ERROR_INSTALL_LOG_FAILURE", "the /log file cannot be opened; nothing changed", true, true},
    {kExitPackageRejected, "ERROR_INSTALL_PACKAGE_REJECTED",
     "the Print Spooler is disabled or Windows Protected Print is on; nothing changed", true, false},
    {kExitSystemTooOld, "ERROR_INSTALL_PLATFORM_UNSUPPORTED", "Windows is older than 2000; nothing changed", true, false},
    {kExitNewerVersion, "ERROR_PRODUCT_VERSION", "a newer version is installed; nothing changed", true, false},
    {kExitBadCommandLine, "ERROR_INVALID_PARAMETER", "the command line cannot be used; nothing changed", true, true},
};
const size_t kExitCodeCount = sizeof kExitCodes / sizeof kExitCodes[0];

std::string ExitCodeLine(int code) {
    std::string line = "EXIT CODE : " + Decimal(code) + " (";
    const char* meaning = "unknown";
    for (size_t i = 0; i < kExitCodeCount; ++i) {
        if (kExitCodes[i].code != code) continue;
        line += kExitCodes[i].name;
        line += ": ";
        meaning = kExitCodes[i].meaning;
    }
    line += meaning;
    line += ')';
    return line;
}

std::string ExitCodeUsage(Program program) {
    std::string out;
    for (size_t i = 0; i < kExitCodeCount; ++i) {
        const ExitCodeInfo& c = kExitCodes[i];
        if (!(program == Program::Installer ? c.installer : c.uninstaller)) continue;
        out += Decimal(c.code);
        out += '\t';
        out += c.meaning;
        out += '\n';
    }
    return out;
}

int RunState::ExitCode() const {
    if (!Unattended()) return kExitDone;
    switch (end_.load()) {
        case RunEnd::BadCommandLine: return kExitBadCommandLine;
        case RunEnd::SystemTooOld: return kExitSystemTooOld;
        case RunEnd::NotInstalled: return kExitNotInstalled;
        case RunEnd::RefusedByPolicy: return kExitPackageRejected;
        case RunEnd::NewerInstalled: return kExitNewerVersion;
        case RunEnd::Canceled:
        case RunEnd::None: break;
    }
    if (failed_) return kExitFailed;
    // A run that stopped before its end without a failure (only a closed
    // window can do that).
    if (end_.load() == RunEnd::Canceled) return kExitCanceled;
    if (restartStarted_) return kExitRestartStarted;
    if (restartNeeded_) return kExitRestartNeeded;
    return kExitDone;
}

}  // namespace zep
