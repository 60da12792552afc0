#include "common/support.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>

#include "common/format.h"

namespace zep {

namespace {

const char kSpoolerService[] = "Spooler";

}  // namespace

int ClassifyOs(const OsVersion& v) {
    if (v.platformId == kVerPlatformWin32Windows) {
        if (v.major == 4) {
            if (v.minor == 0) return kOsWin95;
            if (v.minor == 10) return kOsWin98;
            if (v.minor == 90) return kOsWinMe;
        }
        return kOsWin7;
    }
    if (v.platformId == kVerPlatformWin32Nt) {
        if (v.major == 6) {
            bool workstation = v.productType == kVerNtWorkstation;
            if (v.minor == 0) return workstation ? kOsVista : kOs2008;
            if (v.minor == 1) return workstation ? kOsWin7 : kOs2008R2;
            return kOsWin7;
        }
        if (v.major == 5) {
            if (v.minor == 0) return kOsWin2000;
            if (v.minor == 1) return kOsWinXp;
            if (v.minor == 2) return kOsWin2003;
            return kOsWin7;
        }
        if (v.major <= 4) return kOsNt4;
    }
    return kOsWin7;
}

const char* DriverEnvironment(int wow64) { return wow64 ? "Windows x64" : "Windows NT x86"; }

bool EqualsNoCase(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(a[i])) !=
            std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    return true;
}

int Support::IsWow64() {
    RoutineScope scope("IsWow64");
    int result = 0;
    std::optional<Result<bool>> call = os.kernel.IsWow64Process();
    if (call && call->ok && call->value) result = 1;
    log.WriteLog(result ? "The process is running under WOW64."
                        : "The process is not running under WOW64.");
    return result;
}

int Support::CheckOS() {
    LoggedRoutine routine(log, "CheckOS");
    Result<OsVersion> v = os.kernel.GetVersionExA(kOsVersionInfoExSize);
    // Systems that refuse the extended structure are still classified by
    // platform, major and minor version.
    if (!v.ok) v = os.kernel.GetVersionExA(kOsVersionInfoSize);
    OsVersion info = v.ok ? v.value : OsVersion{};
    log.WriteLog("osvi.dwPlatformID   : %d", int(info.platformId));
    log.WriteLog("osvi.dwMajorVersion : %d", int(info.major));
    log.WriteLog("osvi.dwMinorVersion : %d", int(info.minor));
    log.WriteLog("osvi.dwBuildNumber  : %d", int(info.build));
    return ClassifyOs(info);
}

int32_t Support::MyRegDeleteKeyEx(HKey root, const std::string& subKey, uint32_t samDesired,
                                  uint32_t reserved) {
    // RegDeleteKeyExA refuses a key that has subkeys, and Windows 2000 and
    // XP x64 have no call that deletes a tree in a chosen view: the subkeys
    // go first, deepest first, in the same view. A key that cannot be
    // listed is still tried: it may have none.
    Advapi& advapi = os.advapi;
    uint32_t view = samDesired & (kKeyWow64_64Key | kKeyWow64_32Key);
    Advapi::KeyResult key = advapi.RegOpenKeyExA(root, subKey, 0, kKeyRead | view);
    if (key.status == 0) {
        Result<std::vector<std::string>> children = advapi.RegEnumKeys(key.key);
        advapi.RegCloseKey(key.key);
        for (const std::string& child : children.value) {
            int32_t status = MyRegDeleteKeyEx(root, subKey + "\\" + child, samDesired, reserved);
            if (status != 0) return status;
        }
    }
    std::optional<int32_t> status = advapi.RegDeleteKeyExA(root, subKey, samDesired, reserved);
    if (!status) return -1;
    return *status == int32_t(kErrFileNotFound) ? 0 : *status;
}

int32_t Support::DeleteKeyTree(int wow64, const std::string& path) {
    if (wow64) return MyRegDeleteKeyEx(kHKeyLocalMachine, path, kKeyWow64_64Key, 0);
    int32_t status = os.advapi.SHDeleteKeyA(kHKeyLocalMachine, path);
    return status == int32_t(kErrFileNotFound) ? 0 : status;
}

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

bool Support::DeleteFileChecked(std::string path, uint32_t code) {
    log.WriteLog("DeleteFile Error : %s , (%d)", path.c_str(), int(code));
    return false;
}

bool Support::DeleteFileReported(const std::string& path) {
    Status deleted = os.kernel.DeleteFileA(path);
    if (deleted.ok) return true;
    return DeleteFileChecked(path, deleted.error);
}

namespace {

std::string WithoutTrailingSeparators(std::string path) {
    while (!path.empty() && (path.back() == '\\' || path.back() == '/')) path.pop_back();
    return path;
}

void RemoveTree(Kernel& k, const std::string& path) {
    Result<uint32_t> attributes = k.GetFileAttributesA(path);
    if (attributes.ok && (attributes.value & kFileAttributeReparsePoint)) {
        // The folder itself is a link: remove the link, never its target.
        if (attributes.value & kFileAttributeDirectory)
            k.RemoveDirectoryA(path);
        else
            k.DeleteFileA(path);
        return;
    }
    if (attributes.ok) k.SetFileAttributesA(path, attributes.value & ~kFileAttributeReadonly);

    Result<std::vector<FindRecord>> entries = k.FindFiles(path + "\\*.*");
    for (const FindRecord& entry : entries.value) {
        if (entry.name == "." || entry.name == "..") continue;
        std::string full = path + "\\" + entry.name;
        bool isDirectory = (entry.attributes & kFileAttributeDirectory) != 0;
        if (entry.attributes & kFileAttributeReparsePoint) {
            // Junctions and symbolic links go as links; attributes are not
            // touched because setting them would reach the target.
            if (isDirectory)
                k.RemoveDirectoryA(full);
            else
                k.DeleteFileA(full);
        } else if (isDirectory) {
            RemoveTree(k, full);
        } else {
            k.SetFileAttributesA(full, entry.attributes & ~kFileAttributeReadonly);
            k.DeleteFileA(full);
        }
    }
    k.RemoveDirectoryA(path);
}

}  // namespace

bool Support::DeleteAtRestart(const std::string& path) {
    Status queued = os.kernel.MoveFileExA(path, nullptr, kMovefileDelayUntilReboot);
    if (queued.ok)
        log.WriteLog("MOVEFILE_DELAY_UNTIL_REBOOT : %s", path.c_str());
    else
        log.WriteLog("MoveFileEx failed : %s (%d)", path.c_str(), int(queued.error));
    return queued.ok;
}

bool Support::DeleteFileAndOldCopy(const std::string& path) {
    bool deleted = DeleteFileReported(path);
    std::string old = path + ".old";
    Status gone = os.kernel.DeleteFileA(old);
    // Normally there is none; one in use goes when Windows restarts.
    if (!gone.ok && gone.error != kErrFileNotFound && gone.error != kErrPathNotFound)
        DeleteAtRestart(old);
    return deleted;
}

void Support::RemoveDirectoryTree(std::string path) {
    RoutineScope scope("RemoveDirectoryTree");
    Kernel& k = os.kernel;
    std::string folder = WithoutTrailingSeparators(path);
    // Whatever a caller passes, the tree deletion never starts at the root of
    // a drive (nothing, "\\", "X:", "X:\\") or at the Windows or system
    // folder: run as administrator it would delete all it can there. A
    // folder that cannot be learned is not compared.
    bool root = folder.empty() || (folder.size() == 2 && folder[1] == ':');
    Result<std::string> windows = root ? Result<std::string>{} : k.GetWindowsDirectoryA();
    Result<std::string> system = root ? Result<std::string>{} : k.GetSystemDirectoryA();
    if (root || (windows.ok && EqualsNoCase(folder, WithoutTrailingSeparators(windows.value))) ||
        (system.ok && EqualsNoCase(folder, WithoutTrailingSeparators(system.value)))) {
        log.WriteLog("RemoveDirectoryTree refused : %s", path.c_str());
        return;
    }
    RemoveTree(k, folder);
}

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

void Support::PacingWait(uint32_t milliseconds) {
    if (!run.Quiet()) os.kernel.Sleep(milliseconds);
}

void Support::EndProcess() {
    os.kernel.exit(FinishRun());
    std::abort();  // not reached: exit does not return
}

void Support::ShowSystemErrorBox(const char* headingFormat, uint32_t code, uint32_t icon) {
    char heading[256];
    Format(heading, sizeof heading, headingFormat, int(code));
    run.StepFailed();
    std::string text = heading;
    Result<std::string> system = os.kernel.FormatMessageA(code, kLangEnglishUs);
    if (system.ok) text += system.value;
    os.user.AfxMessageBox(text, kMbOk | icon);
}

}  // namespace zep
