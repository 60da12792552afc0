#include "uninstaller/win32/uninstaller_wnd.h"

#include <commctrl.h>

#include "resources/resource.h"

namespace zep {

namespace {

unsigned WorkerEntry(void* param) {
    auto* window = static_cast<CUninstallerWnd*>(param);
    return UninstallThreadProc(&window->m_logic);
}

}  // namespace

CUninstallerWnd::CUninstallerWnd(Support& sys, UninstallerAnswers* answers)
    : CMainWindow(IDD_ZEP_UNINSTALLER_DIALOG, IDR_MAINFRAME, IDC_UNINSTALL_PROGRESS),
      m_logic(sys, *this),
      m_answers(answers) {}

BOOL CUninstallerWnd::OnInitDialog() {
    CMainDialog::OnInitDialog();
    m_list.Attach(*this, IDC_PRINTER_LIST);
    return m_logic.OnInitDialog() ? TRUE : FALSE;
}

bool CUninstallerWnd::OnCommand(UINT id, UINT code, HWND) {
    if (id == IDC_PRINTER_LIST && code == fw::CCheckListBox::kCheckChange) {
        m_logic.OnCheckChange();
        return true;
    }
    if (id == IDC_UNINSTALL_BUTTON && code == BN_CLICKED) {
        // A second click queued before the worker disables the button must
        // not start a second worker.
        if (!m_logic.IsBusy()) m_logic.OnUninstall();
        return true;
    }
    return false;
}

void CUninstallerWnd::OnTimer(UINT_PTR id) {
    m_logic.OnTimer(static_cast<unsigned>(id));
    // Passive: the printers are listed; Uninstall, as the person would press it.
    if (m_answers && id == 1 && !m_endRequested && !m_logic.IsBusy()) m_logic.OnUninstall();
}

void CUninstallerWnd::PostStatusRefresh(const std::string& status) {
    PostStatus({{IDC_UNINSTALL_STATUS, status}});
}

void CUninstallerWnd::SetTitle(const std::string& title) { SetWindowTextA(m_hWnd, title.c_str()); }

uint32_t CUninstallerWnd::StartWorker() {
    if (m_answers && !m_answers->ApplySelection(*this)) {
        EndDialogOk();  // refused before anything is removed; nothing to report
        return 0;
    }
    uint32_t error = fw::BeginThread(WorkerEntry, this);
    // Passive: nobody will close the window; the run ends here, failed.
    if (error && m_answers) EndDialogOk();
    return error;
}

void CUninstallerWnd::ResetList() { SendMessageA(m_list.m_hWnd, LB_RESETCONTENT, 0, 0); }

void CUninstallerWnd::EnableUninstall(bool enable) {
    EnableWindow(GetDlgItem(IDC_UNINSTALL_BUTTON), enable ? TRUE : FALSE);
}

void CUninstallerWnd::EnableCancel(bool enable) {
    EnableWindow(GetDlgItem(IDCANCEL), enable ? TRUE : FALSE);
}

// The worker ends the dialog with the busy flag still set (after No to the
// restart question), so this bypasses the busy guard of OnOK. EndDialog
// only marks the modal loop and wakes it, so any thread may call it.
void CUninstallerWnd::EndDialogOk() {
    m_endRequested = true;
    CDialog::EndDialog(IDOK);
}

}  // namespace zep
