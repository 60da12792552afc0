// ZEP_Uninstaller: the application object and the program's start.
#include <windows.h>

#include "common/support.h"
#include "common/trace_log.h"
#include "common/startup.h"
#include "framework/app.h"
#include "framework/user_win32.h"
#include "platform/win32/win32_platform.h"
#include "uninstaller/headless_view.h"
#include "uninstaller/win32/uninstaller_wnd.h"

namespace zep {
namespace {

class CUninstallerApp final : public fw::CWinApp {
public:
    BOOL InitInstance() override;
};

CUninstallerApp theApp;

BOOL CUninstallerApp::InitInstance() {
    // Kept for the life of the process, never destroyed: after the worker
    // ends the dialog it may still be returning through them while the
    // program exits.
    auto* user = new fw::Win32User();
    auto* os = new Platform{Win32Kernel(), Win32Advapi(), *user, Win32Spooler(), Win32Setup()};
    auto* log = new TraceLog(os->kernel, "\\" ZEP_UNINSTALLER_LOG);
    RunContext* run =
        StartRun(Program::Uninstaller, fw::CommandLineArguments(), fw::CommandLineText(), *os, *log,
                 &m_nExitCode);
    if (!run) return FALSE;
    Support& sys = run->sys();
    if (run->options().mode == RunMode::Quiet) {
        m_nExitCode = RunQuietUninstaller(sys, run->options());
        return FALSE;
    }
    UninstallerAnswers* answers = nullptr;
    if (run->options().mode == RunMode::Passive)
        answers = new UninstallerAnswers(run->options(), sys, user);
    auto* dialog = new CUninstallerWnd(sys, answers);

    m_pMainWnd = dialog;
    dialog->DoModal();
    m_nExitCode = sys.FinishRun();
    return FALSE;
}

}  // namespace
}  // namespace zep
