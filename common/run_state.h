// How a run was started and what happened in it that its exit code must
// tell, with the table of exit codes (the Windows Installer values that
// deployment tools know). Interactive runs end with 0 whatever happened.
#pragma once

#include <atomic>
#include <cstddef>
#include <optional>
#include <string>

#include "common/command_line.h"

namespace zep {

constexpr int kExitDone = 0;
constexpr int kExitBadCommandLine = 87;       // ERROR_INVALID_PARAMETER
constexpr int kExitCanceled = 1602;           // ERROR_INSTALL_USEREXIT
constexpr int kExitFailed = 1603;             // ERROR_INSTALL_FAILURE
constexpr int kExitNotInstalled = 1605;       // ERROR_UNKNOWN_PRODUCT
constexpr int kExitAnotherRunning = 1618;     // ERROR_INSTALL_ALREADY_RUNNING
constexpr int kExitLogFailure = 1622;         // ERROR_INSTALL_LOG_FAILURE
constexpr int kExitPackageRejected = 1625;    // ERROR_INSTALL_PACKAGE_REJECTED
constexpr int kExitSystemTooOld = 1633;       // ERROR_INSTALL_PLATFORM_UNSUPPORTED
constexpr int kExitNewerVersion = 1638;       // ERROR_PRODUCT_VERSION
constexpr int kExitRestartStarted = 1641;     // ERROR_SUCCESS_REBOOT_INITIATED
constexpr int kExitRestartNeeded = 3010;      // ERROR_SUCCESS_REBOOT_REQUIRED

// One exit code: its number, the Windows name deployment tools know it by,
// what it means here, and which programs end with it.
struct ExitCodeInfo {
    int code;
    const char* name;
    const char* meaning;
    bool installer;
    bool uninstaller;
};

// Every exit code of the two programs, in the order the usage lists them:
// the one table that the usage and the log's EXIT CODE line read.
extern const ExitCodeInfo kExitCodes[];
extern const size_t kExitCodeCount;

// The log's last line of an unattended run: "EXIT CODE : 3010 (...)".
std::string ExitCodeLine(int code);

// The usage's list of the program's exit codes, one "code<TAB>meaning" a line.
std::string ExitCodeUsage(Program program);

// Why a run ended before its sequence was done; None when it was not.
enum class RunEnd {
    None,
    BadCommandLine,
    SystemTooOld,
    Canceled,
    NotInstalled,
    RefusedByPolicy,  // the spooler service is disabled, or protected print mode is on
    NewerInstalled,
};

// Written by whichever thread does the work, read when the program ends.
class RunState {
public:
    void SetMode(RunMode mode, bool forceRestart) {
        mode_ = mode;
        forceRestart_ = forceRestart;
    }
    // Set at the start, before the worker runs; read by it.
    void SetPortSettings(const std::optional<PortSettings>& settings) { portSettings_ = settings; }
    const std::optional<PortSettings>& PortSettingsToApply() const { return portSettings_; }
    RunMode Mode() const { return mode_; }
    bool Unattended() const { return mode_.load() != RunMode::Interactive; }
    // Nobody reads a status text: waits that only pace them are skipped.
    bool Quiet() const { return mode_.load() == RunMode::Quiet; }
    bool ForceRestart() const { return forceRestart_; }

    // A step failed and the user was (or would have been) shown its error.
    void StepFailed() { failed_ = true; }
    bool Failed() const { return failed_; }
    // The change needs a restart that was not made.
    void RestartNeeded() { restartNeeded_ = true; }
    // Windows accepted the restart request.
    void RestartStarted() { restartStarted_ = true; }
    void End(RunEnd end) {
        RunEnd none = RunEnd::None;
        end_.compare_exchange_strong(none, end);  // the first reason stays
    }

    // The code the process ends with: 0 for an interactive run; otherwise
    // the reason it ended early (a refused command line, too old a system,
    // nothing installed), else a failed step (it outweighs a cancellation,
    // and a restart: a tool must not count it as done), else a cancellation,
    // else the restart.
    int ExitCode() const;

private:
    std::atomic<RunMode> mode_{RunMode::Interactive};
    std::atomic<bool> forceRestart_{false};
    std::atomic<bool> failed_{false};
    std::atomic<bool> restartNeeded_{false};
    std::atomic<bool> restartStarted_{false};
    std::atomic<RunEnd> end_{RunEnd::None};
    std::optional<PortSettings> portSettings_;
};

}  // namespace zep
