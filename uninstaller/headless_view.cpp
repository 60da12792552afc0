#include "uninstaller/headless_view.h"

#include "common/startup.h"

namespace zep {

bool UninstallerAnswers::ApplySelection(UninstallerView& view) {
    int lines = view.GetCount();
    std::vector<bool> named(size_t(lines), options_.printers.empty());
    for (const std::string& printer : options_.printers) {
        bool found = false;
        for (int i = 0; i < lines; ++i) {
            if (!EqualsNoCase(view.GetText(i), printer)) continue;
            named[size_t(i)] = found = true;
        }
        if (!found) {
            RefuseCommandLine(Program::Uninstaller,
                              "\"" + printer + "\" is not a printer of the driver", sys_, boxes_);
            return false;
        }
    }
    std::string chosen;
    for (int i = 0; i < lines; ++i) {
        view.SetCheck(i, named[size_t(i)]);
        if (named[size_t(i)]) chosen += (chosen.empty() ? "" : ", ") + view.GetText(i);
    }
    sys_.log.WriteLog("DIALOG : Uninstall -> %s", lines ? chosen.c_str() : "no printer listed");
    return true;
}

uint32_t QuietUninstallerView::StartWorker() {
    // A refused selection ends the run before anything is removed: there is
    // no failure to report.
    if (answers_.ApplySelection(*this))
        workerStarted = true;
    else
        ended = true;
    return 0;
}

int RunQuietUninstaller(Support& sys, const DeployOptions& options) {
    QuietUninstallerView view(options, sys);
    CUninstallerDlg dialog(sys, view);
    dialog.OnInitDialog();
    dialog.OnTimer(1);
    // Printers listed: Uninstall, as the person would press it.
    if (!view.ended && !view.workerStarted) dialog.OnUninstall();
    if (view.workerStarted && !view.ended) dialog.RunUninstall();
    return sys.FinishRun();
}

}  // namespace zep
