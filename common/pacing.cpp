// The pauses that let a person read a status text.
#include "common/support.h"

namespace zep {

void Support::PacingWait(uint32_t milliseconds) {
    if (!run.Quiet()) os.kernel.Sleep(milliseconds);
}

}  // namespace zep
