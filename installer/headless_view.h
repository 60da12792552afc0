// The installer without a person: the wizard's answers from the command
// line (quiet and passive mode) and the main window's stand-in that shows
// nothing (quiet mode). The installation runs through the same CInstallerDlg
// and CInstallation as ever; only who answers differs.
#pragma once

#include "common/check_list.h"
#include "common/support.h"
#include "common/command_line.h"
#include "installer/installer_dlg.h"
#include "installer/views.h"

namespace zep {

// Answers the model and port dialogs as the command line says, through the
// dialogs' own logic, and logs each answer.
class InstallerAnswers : private ModelDlgView {
public:
    InstallerAnswers(const DeployOptions& options, TraceLog& log) : options_(options), log_(log) {}

    // The dialog's list with the command line's models checked, then Next.
    int AnswerModelDialog(CModelDlg& dialog);
    int AnswerPortDialog(CPortDlg& dialog);

private:
    // ModelDlgView: the dialog's list as a person would leave it.
    int AddString(const std::string& text) override { return list_.AddString(text); }
    int GetCount() override { return list_.GetCount(); }
    bool GetCheck(int index) override { return list_.GetCheck(index); }
    std::string GetText(int index) override { return list_.GetText(index); }
    void EnableNext(bool enable) override { nextEnabled_ = enable; }

    const DeployOptions& options_;
    TraceLog& log_;
    CheckListModel list_;
    bool nextEnabled_ = false;
};

// The main window in quiet mode: there is none.
class QuietInstallerView final : public WindowlessInstallerView {
public:
    QuietInstallerView(const DeployOptions& options, TraceLog& log) : answers_(options, log) {}

    uint32_t StartWorker() override { return 0; }  // the runner calls the worker itself
    int RunModelDialog(CModelDlg& dialog) override { return answers_.AnswerModelDialog(dialog); }
    int RunPortDialog(CPortDlg& dialog) override { return answers_.AnswerPortDialog(dialog); }

private:
    InstallerAnswers answers_;
};

// The quiet installer: the main dialog's start, then its worker on this
// thread, which ends the process with the run's exit code.
void RunQuietInstaller(Support& sys, const DeployOptions& options);

}  // namespace zep
