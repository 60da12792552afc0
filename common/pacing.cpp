// The pauses that let a person read a status text, and the status step
// that makes them.
#include "common/status.h"
#include "common/support.h"

namespace zep {

void Support::PacingWait(uint32_t milliseconds) {
    if (!run.Quiet()) os.kernel.Sleep(milliseconds);
}

void StatusHost::StatusStep(Support& sys, const std::string& text, int progress, uint32_t pauseMs) {
    SetStatusText(text);
    if (progress == kStep)
        ProgressStepIt();
    else if (progress != kStay)
        ProgressSetPos(progress);
    PostStatusRefresh();
    if (pauseMs) sys.PacingWait(pauseMs);
}

}  // namespace zep
