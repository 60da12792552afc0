#include "installer/win32/installer_wnd.h"

#include <commctrl.h>

#include <cstdlib>

#include "framework/app.h"
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

unsigned WorkerEntry(void* param) {
    try {
        return InstallThreadProc(param);
    } catch (...) {
        // The worker ends the process on every path; an unexpected failure
        // must not leave the window waiting with the busy flag set.
        std::exit(1);
    }
}

}  // namespace

CInstallerWnd::CInstallerWnd(Support& sys)
    : CDialog(IDD_ZEP_INSTALLER_DIALOG), m_logic(sys, *this) {
    fw::CWinApp* app = fw::CWinApp::Current();
    HINSTANCE instance = app && app->m_hInstance ? app->m_hInstance : GetModuleHandleA(nullptr);
    m_hIcon = LoadIconA(instance, MAKEINTRESOURCEA(IDR_MAINFRAME));
}

BOOL CInstallerWnd::OnInitDialog() {
    CDialog::OnInitDialog();
    m_progress = GetDlgItem(IDC_INSTALL_PROGRESS);
    return m_logic.OnInitDialog() ? TRUE : FALSE;
}

void CInstallerWnd::OnOK() {
    // Nothing may end the program in the middle of an installation: a Close
    // from the window manager or a posted WM_CLOSE comes here without
    // passing the key filter of PreTranslateMessage.
    if (m_logic.IsBusy()) return;
    CDialog::OnOK();
}

void CInstallerWnd::OnCancel() {
    if (m_logic.IsBusy()) return;
    CDialog::OnCancel();
}

BOOL CInstallerWnd::PreTranslateMessage(MSG* msg) {
    if (m_logic.IsBusy()) {
        SetCursor(LoadCursorA(nullptr, IDC_WAIT));
        RemoveMenu(GetSystemMenu(m_hWnd, FALSE), SC_CLOSE, MF_BYCOMMAND);
    } else {
        SetCursor(LoadCursorA(nullptr, IDC_ARROW));
    }
    if (m_logic.PreTranslateDrop(msg->message, msg->wParam)) return TRUE;
    return CDialog::PreTranslateMessage(msg);
}

void CInstallerWnd::OnTimer(UINT_PTR id) { m_logic.OnTimer(static_cast<unsigned>(id)); }

bool CInstallerWnd::OnPaint() {
    if (!IsIconic(m_hWnd)) return false;
    PAINTSTRUCT paint;
    HDC dc = BeginPaint(m_hWnd, &paint);
    SendMessageA(m_hWnd, WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(dc), 0);
    RECT client;
    GetClientRect(m_hWnd, &client);
    int x = (client.right - client.left - GetSystemMetrics(SM_CXICON) + 1) / 2;
    int y = (client.bottom - client.top - GetSystemMetrics(SM_CYICON) + 1) / 2;
    DrawIcon(dc, x, y, m_hIcon);
    EndPaint(m_hWnd, &paint);
    return true;
}

void CInstallerWnd::PostStatusRefresh(const std::string& status, const std::string& version) {
    {
        fw::Lock lock(m_statusLock);
        m_pendingStatus.push_back(StatusTexts{status, version});
    }
    if (!PostMessageA(m_hWnd, kStatusRefresh, 0, 0)) {
        // No refresh will come for these texts.
        fw::Lock lock(m_statusLock);
        m_pendingStatus.pop_back();
    }
}

bool CInstallerWnd::OnUserMessage(UINT message, WPARAM, LPARAM, LRESULT* result) {
    if (message != kStatusRefresh) return false;
    StatusTexts texts;
    bool have = false;
    {
        fw::Lock lock(m_statusLock);
        if (!m_pendingStatus.empty()) {
            texts = std::move(m_pendingStatus.front());
            m_pendingStatus.pop_front();
            have = true;
        }
    }
    if (have) {
        SetItemText(IDC_STATUS_TEXT, texts.status);
        SetItemText(IDC_VERSION_TEXT, texts.version);
    }
    *result = 0;
    return true;
}

void CInstallerWnd::SetIcons() {
    SendMessageA(m_hWnd, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(m_hIcon));
    SendMessageA(m_hWnd, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(m_hIcon));
}

void CInstallerWnd::SetTimer(unsigned id, unsigned milliseconds) {
    ::SetTimer(m_hWnd, id, milliseconds, nullptr);
}

void CInstallerWnd::KillTimer(unsigned id) { ::KillTimer(m_hWnd, id); }

void CInstallerWnd::StartWorker() { fw::BeginThread(WorkerEntry, &m_logic); }

int CInstallerWnd::RunModelDialog(CModelDlg& dialog) {
    CModelWnd window(dialog, this);
    return static_cast<int>(window.DoModal());
}

int CInstallerWnd::RunPortDialog(CPortDlg& dialog) {
    CPortWnd window(dialog, this);
    return static_cast<int>(window.DoModal());
}

void CInstallerWnd::SetRange(int lower, int upper) {
    SendMessageA(m_progress, PBM_SETRANGE, 0, MAKELPARAM(lower, upper));
}

void CInstallerWnd::SetStep(int step) { SendMessageA(m_progress, PBM_SETSTEP, step, 0); }

void CInstallerWnd::StepIt() { SendMessageA(m_progress, PBM_STEPIT, 0, 0); }

void CInstallerWnd::SetPos(int position) { SendMessageA(m_progress, PBM_SETPOS, position, 0); }

}  // namespace zep
