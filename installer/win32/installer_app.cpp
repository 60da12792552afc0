// ZEP_Installer: the application object and the program's start.
#include <windows.h>

#include "common/support.h"
#include "common/trace_log.h"
#include "common/startup.h"
#include "framework/app.h"
#include "framework/user_win32.h"
#include "installer/headless_view.h"
#include "installer/win32/installer_wnd.h"
#include "platform/win32/win32_platform.h"

namespace zep {
namespace {

class CInstallerApp final : public fw::CWinApp {
public:
    BOOL InitInstance() override;
};

CInstallerApp theApp;

BOOL CInstallerApp::InitInstance() {
    // Kept for the life of the process, never destroyed: the worker ends
    // the process while it still uses them, and when the dialog ends first
    // the worker may still be running while the program exits.
    auto* user = new fw::Win32User();
    auto* os = new Platform{Win32Kernel(), Win32Advapi(), *user, Win32Spooler(), Win32Setup()};
    auto* log = new TraceLog(os->kernel, "\\" ZEP_INSTALLER_LOG);
    RunContext* run =
        StartRun(Program::Installer, fw::CommandLineArguments(), fw::CommandLineText(), *os, *log,
                 &m_nExitCode);
    if (!run) return FALSE;
    Support& sys = run->sys();
    if (run->options().mode == RunMode::Quiet) {
        RunQuietInstaller(sys, run->options());  // ends the process
        return FALSE;
    }
    InstallerAnswers* answers = nullptr;
    if (run->options().mode == RunMode::Passive)
        answers = new InstallerAnswers(run->options(), *log);
    auto* dialog = new CInstallerWnd(sys, answers);

    m_pMainWnd = dialog;
    dialog->DoModal();
    // The window ended before the worker ended the process: the run did not finish.
    sys.run.End(RunEnd::Canceled);
    m_nExitCode = sys.FinishRun();
    return FALSE;
}

}  // namespace
}  // namespace zep
