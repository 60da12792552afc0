// Cancelling a printer's queued jobs, and the wait until the spooler has
// dropped them.
#include "common/support.h"

#include <algorithm>

namespace zep {

void Support::DeletePrinterJobs(HPrinter printer) {
    RoutineScope scope("DeletePrinterJobs");
    Result<std::vector<JobInfo3>> jobs = os.spooler.EnumJobsA(printer, 0, 1000);
    std::vector<uint32_t> cancelled;
    for (const JobInfo3& job : jobs.value) {
        Result<OsVersion> v = os.kernel.GetVersionExA(kOsVersionInfoSize);
        bool old = v.value.platformId == kVerPlatformWin32Windows || v.value.major < 4;
        os.spooler.SetJobA(printer, job.jobId, 0, old ? kJobControlCancel : kJobControlDelete);
        cancelled.push_back(job.jobId);
    }
    if (cancelled.empty()) return;
    // Functional: the spooler finishes cancelling the jobs before the
    // printer is deleted. An unattended run waits until none of them is
    // listed any more (jobs past the first 1000 were never cancelled).
    if (!run.Unattended()) {
        os.kernel.Sleep(1000);
        return;
    }
    for (uint32_t waited = 0;; waited += kSpoolerPollMs) {
        Result<std::vector<JobInfo3>> left = os.spooler.EnumJobsA(printer, 0, 1000);
        if (!left.ok) return;  // nothing more to learn; DeletePrinter waits for them
        size_t still = 0;
        for (const JobInfo3& job : left.value)
            still += size_t(std::count(cancelled.begin(), cancelled.end(), job.jobId));
        if (still == 0) return;
        if (waited >= kJobsWaitLimitMs) {
            log.WriteLog("DeletePrinterJobs : %d cancelled jobs still queued after %d ms", int(still),
                         int(waited));
            return;
        }
        os.kernel.Sleep(kSpoolerPollMs);
    }
}

}  // namespace zep
