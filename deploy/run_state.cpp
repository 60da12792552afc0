#include "deploy/run_state.h"

namespace zep {

int RunState::ExitCode() const {
    if (!Unattended()) return kExitDone;
    switch (end_.load()) {
        case RunEnd::BadCommandLine: return kExitBadCommandLine;
        case RunEnd::SystemTooOld: return kExitSystemTooOld;
        case RunEnd::Canceled: return kExitCanceled;
        case RunEnd::NotInstalled: return kExitNotInstalled;
        case RunEnd::None: break;
    }
    if (failed_) return kExitFailed;
    if (restartStarted_) return kExitRestartStarted;
    if (restartNeeded_) return kExitRestartNeeded;
    return kExitDone;
}

}  // namespace zep
