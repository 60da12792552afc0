#include "uninstaller/win32/uninstaller_wnd.h"

#include <commctrl.h>

#include "framework/app.h"
#include "resources/resource.h"

namespace zep {

namespace {

unsigned WorkerEntry(void* param) {
    auto* window = static_cast<CUninstallerWnd*>(param);
    try {
        return UninstallThreadProc(&window->m_logic);
    } catch (...) {
        // The worker is the one that ends the dialog: after an unexpected
        // failure the window must not stay open, busy, with no way to close it.
        window->EndDialog(-1);
        return 1;
    }
}

}  // namespace

CUninstallerWnd::CUninstallerWnd(Support& sys)
    : CDialog(IDD_ZEP_UNINSTALLER_DIALOG), m_logic(sys, *this) {
    fw::CWinApp* app = fw::CWinApp::Current();
    HINSTANCE instance = app && app->m_hInstance ? app->m_hInstance : GetModuleHandleA(nullptr);
    m_hIcon = LoadIconA(instance, MAKEINTRESOURCEA(IDR_MAINFRAME));
}

BOOL CUninstallerWnd::OnInitDialog() {
    CDialog::OnInitDialog();
    m_progress = GetDlgItem(IDC_UNINSTALL_PROGRESS);
    m_list.Attach(*this, IDC_PRINTER_LIST);
    return m_logic.OnInitDialog() ? TRUE : FALSE;
}

void CUninstallerWnd::OnOK() {
    // A Close or a stray IDOK must not end the program in the middle of a
    // removal; the worker ends the dialog itself (EndDialogOk).
    if (m_logic.IsBusy()) return;
    CDialog::OnOK();
}

void CUninstallerWnd::OnCancel() {
    if (m_logic.IsBusy()) return;
    CDialog::OnCancel();
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

BOOL CUninstallerWnd::PreTranslateMessage(MSG* msg) {
    if (m_logic.IsBusy()) {
        SetCursor(LoadCursorA(nullptr, IDC_WAIT));
        RemoveMenu(GetSystemMenu(m_hWnd, FALSE), SC_CLOSE, MF_BYCOMMAND);
    } else {
        SetCursor(LoadCursorA(nullptr, IDC_ARROW));
    }
    if (m_logic.PreTranslateDrop(msg->message, msg->wParam)) return TRUE;
    return CDialog::PreTranslateMessage(msg);
}

void CUninstallerWnd::OnTimer(UINT_PTR id) { m_logic.OnTimer(static_cast<unsigned>(id)); }

bool CUninstallerWnd::OnPaint() {
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

void CUninstallerWnd::PostStatusRefresh(const std::string& status) {
    {
        fw::Lock lock(m_statusLock);
        m_pendingStatus.push_back(status);
    }
    if (!PostMessageA(m_hWnd, kStatusRefresh, 0, 0)) {
        // No refresh will come for this text.
        fw::Lock lock(m_statusLock);
        m_pendingStatus.pop_back();
    }
}

bool CUninstallerWnd::OnUserMessage(UINT message, WPARAM, LPARAM, LRESULT* result) {
    if (message != kStatusRefresh) return false;
    std::string status;
    bool have = false;
    {
        fw::Lock lock(m_statusLock);
        if (!m_pendingStatus.empty()) {
            status = std::move(m_pendingStatus.front());
            m_pendingStatus.pop_front();
            have = true;
        }
    }
    if (have) SetItemText(IDC_UNINSTALL_STATUS, status);
    *result = 0;
    return true;
}

void CUninstallerWnd::SetIcons() {
    SendMessageA(m_hWnd, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(m_hIcon));
    SendMessageA(m_hWnd, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(m_hIcon));
}

void CUninstallerWnd::SetTitle(const std::string& title) { SetWindowTextA(m_hWnd, title.c_str()); }

void CUninstallerWnd::SetTimer(unsigned id, unsigned milliseconds) {
    ::SetTimer(m_hWnd, id, milliseconds, nullptr);
}

void CUninstallerWnd::KillTimer(unsigned id) { ::KillTimer(m_hWnd, id); }

void CUninstallerWnd::StartWorker() { fw::BeginThread(WorkerEntry, this); }

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
void CUninstallerWnd::EndDialogOk() { CDialog::EndDialog(IDOK); }

void CUninstallerWnd::SetRange(int lower, int upper) {
    SendMessageA(m_progress, PBM_SETRANGE, 0, MAKELPARAM(lower, upper));
}

void CUninstallerWnd::SetStep(int step) { SendMessageA(m_progress, PBM_SETSTEP, step, 0); }

void CUninstallerWnd::StepIt() { SendMessageA(m_progress, PBM_STEPIT, 0, 0); }

void CUninstallerWnd::SetPos(int position) { SendMessageA(m_progress, PBM_SETPOS, position, 0); }

}  // namespace zep
