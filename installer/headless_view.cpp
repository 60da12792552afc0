#include "installer/headless_view.h"

namespace zep {

int InstallerAnswers::AnswerModelDialog(CModelDlg& dialog) {
    list_.Reset();
    nextEnabled_ = false;
    dialog.OnInitDialog(*this);
    std::string chosen;
    for (int i = 0; i < list_.GetCount(); ++i) {
        for (const std::string& model : options_.models) {
            if (list_.GetText(i) != model) continue;
            list_.SetCheck(i, true);
            dialog.OnCheckChange(*this);
            chosen += (chosen.empty() ? "" : ", ") + model;
        }
    }
    if (!nextEnabled_) {
        log_.WriteLog("DIALOG : Select ZEP Model -> closed, no model of the command line listed");
        return kIdCancel;
    }
    dialog.OnOK(*this);
    log_.WriteLog("DIALOG : Select ZEP Model -> %s", chosen.c_str());
    return kIdOk;
}

int InstallerAnswers::AnswerPortDialog(CPortDlg& dialog) {
    dialog.m_nPortIndex = options_.portIndex;
    log_.WriteLog("DIALOG : Select Port Type -> %s", PortDevice(options_.portIndex).c_str());
    return kIdOk;
}

void RunQuietInstaller(Support& sys, const DeployOptions& options) {
    QuietInstallerView view(options, sys.log);
    CInstallerDlg dialog(sys, view);
    dialog.OnInitDialog();
    dialog.OnTimer(1);
    dialog.RunWorker();
}

}  // namespace zep
