// The uninstaller without a person: the printer selection from the command
// line (quiet and passive mode) and the window's stand-in that shows
// nothing (quiet mode). The removal runs through the same CUninstallerDlg
// as ever; only who answers differs.
#pragma once

#include "common/check_list.h"
#include "common/support.h"
#include "common/command_line.h"
#include "uninstaller/uninstaller_dlg.h"
#include "uninstaller/views.h"

namespace zep {

class UninstallerAnswers {
public:
    // boxes: shows the usage box of a refused command line (nullptr: quiet).
    UninstallerAnswers(const DeployOptions& options, Support& sys, User* boxes)
        : options_(options), sys_(sys), boxes_(boxes) {}

    // Before the worker starts: only the printers the command line names stay
    // checked (all of them without /printer). False when it names a printer
    // that is not in the list: the run ends as a bad command line and
    // nothing is removed.
    bool ApplySelection(UninstallerView& view);

private:
    const DeployOptions& options_;
    Support& sys_;
    User* boxes_;
};

// The window in quiet mode: there is none.
class QuietUninstallerView final : public WindowlessUninstallerView {
public:
    QuietUninstallerView(const DeployOptions& options, Support& sys)
        : answers_(options, sys, nullptr) {}

    uint32_t StartWorker() override;
    void ResetList() override { list_.Reset(); }
    int AddString(const std::string& text) override { return list_.AddString(text); }
    int GetCount() override { return list_.GetCount(); }
    bool GetCheck(int index) override { return list_.GetCheck(index); }
    void SetCheck(int index, bool checked) override { list_.SetCheck(index, checked); }
    std::string GetText(int index) override { return list_.GetText(index); }
    void EndDialogOk() override { ended = true; }

    bool workerStarted = false;
    bool ended = false;

private:
    UninstallerAnswers answers_;
    CheckListModel list_;
};

// The quiet uninstaller: the dialog's start and its start-up decision,
// Uninstall pressed when the printers are listed, the worker on this
// thread. Returns the run's exit code (FinishRun).
int RunQuietUninstaller(Support& sys, const DeployOptions& options);

}  // namespace zep
