// The spooler service's stop and start ("net stop/start spooler") and their
// waits.
#include "common/support.h"

namespace zep {

// Functional waits: WinExec returns before the service has changed state;
// the spooler's files are released (or its calls answered) only after it.
// An interactive run waits the fixed time; an unattended one asks the
// service control manager until the service is there (after a stop, until
// its process has ended too), bounded.
void Support::StopSpooler(uint32_t waitMs) {
    if (!run.Unattended()) {
        os.kernel.WinExec("net stop spooler", kSwHide);
        os.kernel.Sleep(waitMs);
        return;
    }
    Result<ServiceStatus> before = os.advapi.QueryServiceStatusEx(kSpoolerService);
    uint32_t started = os.kernel.WinExec("net stop spooler", kSwHide);
    AwaitSpooler("net stop spooler", started, before, kServiceStopped, waitMs);
}

void Support::StartSpooler(uint32_t waitMs) {
    StartSpoolerEarly(waitMs);
    AwaitSpoolerStart();
}

void Support::StartSpoolerEarly(uint32_t waitMs) {
    if (!run.Unattended()) {
        os.kernel.WinExec("net start spooler", kSwHide);
        os.kernel.Sleep(waitMs);
        return;
    }
    pendingStart_.before = os.advapi.QueryServiceStatusEx(kSpoolerService);
    pendingStart_.started = os.kernel.WinExec("net start spooler", kSwHide);
    pendingStart_.waitMs = waitMs;
    pendingStart_.pending = true;
}

void Support::AwaitSpoolerStart() {
    if (!pendingStart_.pending) return;
    pendingStart_.pending = false;
    AwaitSpooler("net start spooler", pendingStart_.started, pendingStart_.before, kServiceRunning,
                 pendingStart_.waitMs);
}

void Support::AwaitSpooler(const char* command, uint32_t started,
                           const Result<ServiceStatus>& before, uint32_t target, uint32_t waitMs) {
    Kernel& k = os.kernel;
    if (started < 32) {
        log.WriteLog("WinExec failed : %s (%d)", command, int(started));
        return;  // nothing was started that could change the service
    }
    Result<ServiceStatus> now = before;
    uint32_t waited = 0;
    if (now.ok) {
        // A service that is already there waits for nothing; one on its way
        // the other way refuses the command until it has got there.
        uint32_t state = now.value.currentState;
        if (state == target) return;
        // A disabled service does not start, however long one waits.
        Result<ServiceConfig> config = target == kServiceRunning
                                           ? os.advapi.QueryServiceConfigA(kSpoolerService)
                                           : Result<ServiceConfig>::Fail(0);
        if (config.ok && config.value.startType == kServiceDisabled) {
            log.WriteLog("%s : the spooler service is disabled", command);
            return;
        }
        if (state == (target == kServiceRunning ? kServiceStopPending : kServiceStartPending)) {
            log.WriteLog("%s : refused, the spooler is in state %d", command, int(state));
            return;
        }
        for (;;) {
            now = os.advapi.QueryServiceStatusEx(kSpoolerService);
            if (!now.ok || now.value.currentState == target) break;
            if (waited >= kSpoolerWaitLimitMs) {
                log.WriteLog("%s : the spooler did not reach state %d within %d ms (state %d)",
                             command, int(target), int(waited), int(now.value.currentState));
                return;
            }
            k.Sleep(kSpoolerPollMs);
            waited += kSpoolerPollMs;
        }
    }
    if (!now.ok) {
        // Nothing tells when it is there: the fixed wait.
        log.WriteLog("QueryServiceStatusEx failed : (%d)", int(now.error));
        k.Sleep(waitMs);
        return;
    }
    // Stopped: its files are released once its process has ended (87: it has).
    uint32_t pid = before.value.processId;
    if (target != kServiceStopped || pid == 0) return;
    Status ended = k.WaitForProcessExit(pid, kSpoolerWaitLimitMs - waited);
    if (ended.ok || ended.error == kErrInvalidParameter) return;
    if (ended.error == kErrWaitTimeout) {
        log.WriteLog("%s : the spooler's process %d did not end within %d ms", command, int(pid),
                     int(kSpoolerWaitLimitMs));
        return;
    }
    log.WriteLog("WaitForProcessExit failed : %d (%d)", int(pid), int(ended.error));
    k.Sleep(waitMs);
}

}  // namespace zep
