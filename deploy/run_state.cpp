#include "deploy/run_state.h"

namespace zep {

int RunState::ExitCode() const {
    if (!Unattended()) return kExitDone;
    switch (end_.load()) {
        case RunEnd::BadCommandLine: return kExitBadCommandLine;
        case RunEnd::SystemTooOld: return kExitSystemTooOld;
        case RunEnd::NotInstalled: return kExitNotInstalled;
        case RunEnd::RefusedByPolicy: return kExitRefusedByPolicy;
        case RunEnd::NewerInstalled: return kExitNewerInstalled;
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
