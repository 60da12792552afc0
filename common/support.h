// Common support shared by both programs: platform detection and the small
// system utilities, bound to one program's platform and trace log. Each
// Win32 area has its file: os_version, registry, restart, files,
// folder_tree, print_jobs, spooler_service, pacing and error_box.cpp.
#pragma once

#include <atomic>
#include <string>

#include "common/product.h"
#include "common/trace_log.h"
#include "common/run_state.h"
#include "platform/platform.h"
#include "platform/routine.h"

namespace zep {

// OS codes of CheckOS; callers compare them by size.
constexpr int kOsWin95 = 2000;
constexpr int kOsWin98 = 2001;
constexpr int kOsWinMe = 2002;
constexpr int kOsNt4 = 2003;
constexpr int kOsWin2000 = 2004;
constexpr int kOsWinXp = 2005;
constexpr int kOsWin2003 = 2006;
constexpr int kOsVista = 2007;
constexpr int kOs2008 = 2008;
constexpr int kOs2008R2 = 2009;
constexpr int kOsWin7 = 2010;

// Classifies a version structure into an OS code (pure; used by CheckOS).
int ClassifyOs(const OsVersion& v);

// The failure lines of a key deletion in the removals.
inline constexpr char kKeyDeleteFailed64[] = "MyRegDeleteKeyEx failed : %s (%d) ";
inline constexpr char kKeyDeleteFailed32[] = "SHDeleteKey failed : %s (%d) ";

class Support {
public:
    Support(Platform& os, TraceLog& log) : os(os), log(log) {}

    Platform& os;
    TraceLog& log;
    // How this run was started (interactive unless the command line chose
    // a mode) and what its exit code must tell.
    RunState run;

    // Platform detection.
    int IsWow64();
    int CheckOS();

    // Deletes a key with everything below it in the registry view that
    // samDesired selects, through RegDeleteKeyExA bound at run time; -1 when
    // the function is missing. A key that is not there counts as deleted.
    int32_t MyRegDeleteKeyEx(HKey root, const std::string& subKey, uint32_t samDesired,
                             uint32_t reserved);
    // Deletes a key below HKLM with everything below it: in the 64-bit view
    // on 64-bit Windows (MyRegDeleteKeyEx), with SHDeleteKeyA on 32-bit
    // Windows. 0 when it is gone, also when it was never there; otherwise
    // the status of the call that failed.
    int32_t DeleteKeyTree(int wow64, const std::string& path);
    // DeleteKeyTree, and when it fails the line `failed64` (64-bit Windows)
    // or `failed32` with the key and the status; true when the key is gone.
    bool DeleteKeyReported(int wow64, const std::string& path, const char* failed64 = kKeyDeleteFailed64,
                           const char* failed32 = kKeyDeleteFailed32);

    // Forced restart with the shutdown privilege; true when Windows accepted
    // it. An unattended run restarts only with /forcerestart, and then when
    // it ends (FinishRun), so that its log is complete before Windows ends
    // the program; without it, it logs that the restart is needed and makes
    // none.
    bool RestartSystem();
    // The restart question at the end of a run that changed what needs one;
    // true for Yes. Its No line (`later`) differs by program.
    bool AskToRestart(const char* later);

    // The failure step of a reported deletion: logs and returns false.
    bool DeleteFileChecked(std::string path, uint32_t code);
    // DeleteFileA and, only when it fails, DeleteFileChecked with its code.
    bool DeleteFileReported(const std::string& path);
    // DeleteFileReported, then the ".old" copy that the installer's copy
    // handler may have left beside the file: deleted, or when it is in use,
    // deleted at the next restart.
    bool DeleteFileAndOldCopy(const std::string& path);
    // Has Windows delete the file while it restarts (MOVEFILE_DELAY_UNTIL_REBOOT),
    // with a log line either way; true when it was queued.
    bool DeleteAtRestart(const std::string& path);

    // Deletes a folder with everything in it. Links (junctions, symbolic
    // links) are removed themselves and never followed. Refuses, with a log
    // line, a drive root, an empty path and the Windows and system folders.
    void RemoveDirectoryTree(std::string path);

    // How long an unattended run waits at most for the spooler service to
    // reach a state (after a stop, and for its process to end), and for
    // cancelled jobs to leave their queue; how often it asks meanwhile.
    static constexpr uint32_t kSpoolerWaitLimitMs = 30000;
    static constexpr uint32_t kJobsWaitLimitMs = 10000;
    static constexpr uint32_t kSpoolerPollMs = 50;

    // Cancels or deletes every queued job (at most 1000) of an open printer,
    // then waits for the spooler to drop them: 1000 ms in an interactive
    // run, until none is listed (at most kJobsWaitLimitMs) in quiet and
    // passive mode.
    void DeletePrinterJobs(HPrinter printer);

    // "net stop spooler" / "net start spooler", each followed by its wait:
    // waitMs in an interactive run; in quiet and passive mode until the
    // service reports the state (after a stop, also until its process has
    // ended), at most kSpoolerWaitLimitMs, and a log line past it. A start
    // of a running spooler waits for nothing.
    void StopSpooler(uint32_t waitMs);
    void StartSpooler(uint32_t waitMs);
    // StartSpooler in two halves, for a start made before the log is open:
    // the command now (with an interactive run's fixed wait), an
    // unattended run's wait in AwaitSpoolerStart (nothing when none is due).
    void StartSpoolerEarly(uint32_t waitMs);
    void AwaitSpoolerStart();

    // A pause whose only purpose is to let the user read the status text
    // just shown; skipped in quiet mode, where nobody reads it. Every other
    // wait is functional (it gives the spooler or the system time) and is
    // made in every mode.
    void PacingWait(uint32_t milliseconds);

    // The end of the run, once: the restart an unattended run asked for,
    // then its log's last line, "EXIT CODE : <n> (<meaning>)". Returns the
    // run's exit code (0 for an interactive run).
    int FinishRun();

    // Ends the process with FinishRun's code.
    [[noreturn]] void EndProcess();

    // Heading formatted with the code, the system's text for it, OK button.
    // The run counts as failed.
    void ShowSystemErrorBox(const char* headingFormat, uint32_t code, uint32_t icon);

private:
    // The privilege and ExitWindowsEx; true when Windows accepted.
    bool RequestRestart();

    std::atomic<bool> restartAtEnd_{false};
    std::atomic<bool> finished_{false};
    // An unattended run's wait after `command` (WinExec's result `started`)
    // for the spooler to reach `target`, from its status before the command;
    // the fixed waitMs when the service cannot be asked.
    void AwaitSpooler(const char* command, uint32_t started, const Result<ServiceStatus>& before,
                      uint32_t target, uint32_t waitMs);

    // A start whose wait AwaitSpoolerStart makes.
    struct PendingStart {
        bool pending = false;
        uint32_t started = 0;
        uint32_t waitMs = 0;
        Result<ServiceStatus> before;
    };
    PendingStart pendingStart_;
};

}  // namespace zep
