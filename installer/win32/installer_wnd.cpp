#include "installer/win32/installer_wnd.h"

#include <commctrl.h>

#include "resources/resource.h"

namespace zep {

// ---------------------------------------------------------------- model dialog

CModelWnd::CModelWnd(CModelDlg& logic, fw::CDialog* owner)
    : CDialog(IDD_MODEL_DIALOG, owner), m_logic(logic) {}

void CModelWnd::EnableNext(bool enable) { EnableWindow(GetDlgItem(IDOK), enable ? TRUE : FALSE); }

BOOL CModelWnd::OnInitDialog() {
    CDialog::OnInitDialog();
    m_list.Attach(*this, IDC_MODEL_LIST);
    m_logic.OnInitDialog(*this);
    return TRUE;
}

bool CModelWnd::OnCommand(UINT id, UINT code, HWND) {
    if (id != IDC_MODEL_LIST || code != fw::CCheckListBox::kCheckChange) return false;
    m_logic.OnCheckChange(*this);
    return true;
}

void CModelWnd::OnOK() {
    // Enter reaches IDOK even while Next is disabled; with no model checked
    // the dialog must not end as if one had been chosen.
    if (!IsWindowEnabled(GetDlgItem(IDOK))) return;
    m_logic.OnOK(*this);
    CDialog::OnOK();
}

// ---------------------------------------------------------------- port dialog

CPortWnd::CPortWnd(CPortDlg& logic, fw::CDialog* owner)
    : CDialog(IDD_PORT_DIALOG, owner), m_logic(logic) {}

int CPortWnd::ReadPortIndex() { return GetRadioIndex(IDC_PORT_COM1); }

BOOL CPortWnd::OnInitDialog() {
    CDialog::OnInitDialog();
    SetRadioIndex(IDC_PORT_COM1, m_logic.m_nPortIndex);
    return TRUE;
}

bool CPortWnd::OnCommand(UINT id, UINT code, HWND) {
    if (id != IDC_CONFIGURE_PORT || code != BN_CLICKED) return false;
    m_logic.OnConfigurePort(*this);
    return true;
}

void CPortWnd::OnOK() {
    m_logic.m_nPortIndex = ReadPortIndex();
    CDialog::OnOK();
}

// ---------------------------------------------------------------- main dialog

namespace {

unsigned WorkerEntry(void* param) { return InstallThreadProc(param); }

}  // namespace

CInstallerWnd::CInstallerWnd(Support& sys, InstallerAnswers* answers)
    : CMainWindow(IDD_ZEP_INSTALLER_DIALOG, IDR_MAINFRAME, IDC_INSTALL_PROGRESS),
      m_logic(sys, *this),
      m_answers(answers) {}

BOOL CInstallerWnd::OnInitDialog() {
    CMainDialog::OnInitDialog();
    return m_logic.OnInitDialog() ? TRUE : FALSE;
}

void CInstallerWnd::OnTimer(UINT_PTR id) { m_logic.OnTimer(static_cast<unsigned>(id)); }

void CInstallerWnd::PostStatusRefresh(const std::string& status, const std::string& version) {
    PostStatus({{IDC_STATUS_TEXT, status}, {IDC_VERSION_TEXT, version}});
}

uint32_t CInstallerWnd::StartWorker() {
    uint32_t error = fw::BeginThread(WorkerEntry, &m_logic);
    // Passive: nobody will close the window; the run ends here, failed.
    if (error && m_answers) EndDialog(IDCANCEL);
    return error;
}

int CInstallerWnd::RunModelDialog(CModelDlg& dialog) {
    if (m_answers) return m_answers->AnswerModelDialog(dialog);
    CModelWnd window(dialog, this);
    return static_cast<int>(window.DoModal());
}

int CInstallerWnd::RunPortDialog(CPortDlg& dialog) {
    if (m_answers) return m_answers->AnswerPortDialog(dialog);
    CPortWnd window(dialog, this);
    return static_cast<int>(window.DoModal());
}

}  // namespace zep
