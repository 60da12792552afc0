#include "framework/main_dialog.h"

#include <commctrl.h>

#include "framework/app.h"
#include "framework/busy.h"

namespace zep::fw {

CMainDialog::CMainDialog(UINT templateId, UINT iconId, int progressId)
    : CDialog(templateId), m_progressId(progressId) {
    CWinApp* app = CWinApp::Current();
    HINSTANCE instance = app && app->m_hInstance ? app->m_hInstance : GetModuleHandleA(nullptr);
    m_hIcon = LoadIconA(instance, MAKEINTRESOURCEA(iconId));
}

BOOL CMainDialog::OnInitDialog() {
    CDialog::OnInitDialog();
    m_progress = GetDlgItem(m_progressId);
    return TRUE;
}

BOOL CMainDialog::PreTranslateMessage(MSG* msg) {
    bool busy = IsBusy();
    SetCursor(LoadCursorA(nullptr, busy ? IDC_WAIT : IDC_ARROW));
    // Close, once removed, is not put back: the window ends soon after the
    // worker anyway. A window whose worker never started never lost it.
    if (busy) RemoveMenu(GetSystemMenu(m_hWnd, FALSE), SC_CLOSE, MF_BYCOMMAND);
    if (DropWhileBusy(busy, msg->message, msg->wParam)) return TRUE;
    return CDialog::PreTranslateMessage(msg);
}

void CMainDialog::OnOK() {
    if (IsBusy()) return;
    CDialog::OnOK();
}

void CMainDialog::OnCancel() {
    if (IsBusy()) return;
    CDialog::OnCancel();
}

bool CMainDialog::OnPaint() {
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

void CMainDialog::SetIcons() {
    SendMessageA(m_hWnd, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(m_hIcon));
    SendMessageA(m_hWnd, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(m_hIcon));
}

void CMainDialog::PostStatus(std::vector<std::pair<int, std::string>> texts) {
    {
        Lock lock(m_statusLock);
        m_pendingStatus.push_back(std::move(texts));
    }
    // The texts travel in the queue, not in lParam: any process may post
    // WM_USER+1, and the handler must never free what it did not allocate.
    if (!PostMessageA(m_hWnd, kStatusRefresh, 0, 0)) {
        Lock lock(m_statusLock);
        m_pendingStatus.pop_back();
    }
}

void CMainDialog::ShowStatus(const std::vector<std::pair<int, std::string>>& texts) {
    for (const auto& [id, text] : texts) SetItemText(id, text);
}

bool CMainDialog::OnUserMessage(UINT message, WPARAM, LPARAM, LRESULT* result) {
    if (message != kStatusRefresh) return false;
    std::vector<std::pair<int, std::string>> texts;
    bool have = false;
    {
        Lock lock(m_statusLock);
        if (!m_pendingStatus.empty()) {
            texts = std::move(m_pendingStatus.front());
            m_pendingStatus.pop_front();
            have = true;
        }
    }
    if (have) ShowStatus(texts);
    *result = 0;
    return true;
}

void CMainDialog::SetRange(int lower, int upper) {
    SendMessageA(m_progress, PBM_SETRANGE, 0, MAKELPARAM(lower, upper));
}

void CMainDialog::SetStep(int step) { SendMessageA(m_progress, PBM_SETSTEP, step, 0); }

void CMainDialog::StepIt() { SendMessageA(m_progress, PBM_STEPIT, 0, 0); }

void CMainDialog::SetPos(int position) { SendMessageA(m_progress, PBM_SETPOS, position, 0); }

}  // namespace zep::fw
