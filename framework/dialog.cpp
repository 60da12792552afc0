#include "framework/dialog.h"

#include <algorithm>

#include "framework/app.h"
#include "framework/check_list_box.h"

namespace zep::fw {

CDialog::CDialog(UINT templateId, CDialog* parent) : m_templateId(templateId), m_pParent(parent) {}

CDialog::~CDialog() {
    // A dialog object that goes while its window still exists must not be
    // reached through the window any more.
    if (m_hWnd && IsWindow(m_hWnd)) {
        SetWindowLongPtrA(m_hWnd, DWLP_USER, 0);
        DestroyWindow(m_hWnd);
    }
}

HWND CDialog::OwnerWindow() const {
    if (m_pParent) return m_pParent->m_hWnd;
    CWinApp* app = CWinApp::Current();
    if (!app || app->m_pMainWnd == this) return nullptr;
    return app->MainWindowHandle();
}

INT_PTR CDialog::DoModal() {
    CWinApp* app = CWinApp::Current();
    HINSTANCE instance = app && app->m_hInstance ? app->m_hInstance : GetModuleHandleA(nullptr);
    HWND owner = OwnerWindow();
    m_ended = false;
    m_result = -1;

    // The owner is disabled before the dialog exists, so that activation
    // goes to the dialog and the owner takes no input while it is shown.
    bool reenableOwner = false;
    if (owner && IsWindowEnabled(owner)) {
        EnableWindow(owner, FALSE);
        reenableOwner = true;
    }
    HWND hwnd = CreateDialogParamA(instance, MAKEINTRESOURCEA(m_templateId), owner, DialogProc,
                                   reinterpret_cast<LPARAM>(this));
    if (hwnd) {
        RunModalLoop();
        // Hide first, then give the owner back its input before the window
        // goes, so that activation returns to the owner.
        SetWindowPos(hwnd, nullptr, 0, 0, 0, 0,
                     SWP_HIDEWINDOW | SWP_NOSIZE | SWP_NOMOVE | SWP_NOACTIVATE | SWP_NOZORDER);
    }
    if (reenableOwner) EnableWindow(owner, TRUE);
    if (hwnd) {
        if (owner && GetActiveWindow() == hwnd) SetActiveWindow(owner);
        DestroyWindow(hwnd);
    }
    m_hWnd = nullptr;
    return hwnd ? m_result.load() : -1;
}

void CDialog::RunModalLoop() {
    bool shown = (GetWindowLongA(m_hWnd, GWL_STYLE) & WS_VISIBLE) != 0;
    MSG msg;
    while (!m_ended) {
        // A template without WS_VISIBLE is shown once the messages that its
        // initialisation queued have been handled.
        if (!shown && !PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE)) {
            ShowWindow(m_hWnd, SW_SHOWNORMAL);
            UpdateWindow(m_hWnd);
            shown = true;
        }
        BOOL got = GetMessageA(&msg, nullptr, 0, 0);
        if (got == -1) {
            m_result = -1;
            break;
        }
        if (got == 0) {
            // WM_QUIT belongs to the thread's outer loop: put it back.
            PostQuitMessage(static_cast<int>(msg.wParam));
            m_result = -1;
            break;
        }
        bool mine = m_hWnd && (msg.hwnd == m_hWnd || IsChild(m_hWnd, msg.hwnd));
        if (mine && PreTranslateMessage(&msg)) continue;
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
}

void CDialog::EndDialog(INT_PTR result) {
    m_result = result;
    m_ended = true;
    // Wakes the loop when called from another thread.
    if (m_hWnd) PostMessageA(m_hWnd, WM_NULL, 0, 0);
}

BOOL CDialog::PreTranslateMessage(MSG* msg) { return IsDialogMessageA(m_hWnd, msg); }

void CDialog::SetItemText(int id, const std::string& text) const {
    ::SetDlgItemTextA(m_hWnd, id, text.c_str());
}

std::string CDialog::GetItemText(int id) const {
    HWND item = GetDlgItem(id);
    if (!item) return std::string();
    int length = GetWindowTextLengthA(item);
    std::string text(static_cast<size_t>(length) + 1, '\0');
    int got = GetWindowTextA(item, &text[0], length + 1);
    text.resize(static_cast<size_t>(std::max(got, 0)));
    return text;
}

std::vector<HWND> CDialog::RadioGroup(int firstId) const {
    std::vector<HWND> group;
    HWND control = GetDlgItem(firstId);
    while (control) {
        if (SendMessageA(control, WM_GETDLGCODE, 0, 0) & DLGC_RADIOBUTTON) group.push_back(control);
        control = GetWindow(control, GW_HWNDNEXT);
        if (control && (GetWindowLongA(control, GWL_STYLE) & WS_GROUP)) break;
    }
    return group;
}

int CDialog::GetRadioIndex(int firstId) const {
    std::vector<HWND> group = RadioGroup(firstId);
    for (size_t i = 0; i < group.size(); ++i)
        if (SendMessageA(group[i], BM_GETCHECK, 0, 0) == BST_CHECKED) return static_cast<int>(i);
    return -1;
}

void CDialog::SetRadioIndex(int firstId, int index) const {
    std::vector<HWND> group = RadioGroup(firstId);
    for (size_t i = 0; i < group.size(); ++i)
        SendMessageA(group[i], BM_SETCHECK,
                     static_cast<int>(i) == index ? BST_CHECKED : BST_UNCHECKED, 0);
}

void CDialog::AddOwnerDrawn(OwnerDrawnControl* control) {
    if (std::find(m_ownerDrawn.begin(), m_ownerDrawn.end(), control) == m_ownerDrawn.end())
        m_ownerDrawn.push_back(control);
}

INT_PTR CALLBACK CDialog::DialogProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* self = reinterpret_cast<CDialog*>(GetWindowLongPtrA(hwnd, DWLP_USER));
    if (!self) {
        if (message == WM_MEASUREITEM) {
            // Sent while the template's controls are being created, before
            // WM_INITDIALOG ties the window to its object.
            auto* item = reinterpret_cast<MEASUREITEMSTRUCT*>(lParam);
            if (item->CtlType != ODT_LISTBOX) return FALSE;
            CCheckListBox::MeasureItem(hwnd, *item);
            return TRUE;
        }
        if (message != WM_INITDIALOG) return FALSE;
        self = reinterpret_cast<CDialog*>(lParam);
        self->m_hWnd = hwnd;
        SetWindowLongPtrA(hwnd, DWLP_USER, reinterpret_cast<LONG_PTR>(self));
    }
    return self->Dispatch(message, wParam, lParam);
}

INT_PTR CDialog::Dispatch(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_INITDIALOG:
        return OnInitDialog();
    case WM_COMMAND: {
        UINT id = LOWORD(wParam);
        UINT code = HIWORD(wParam);
        auto control = reinterpret_cast<HWND>(lParam);
        if (OnCommand(id, code, control)) return TRUE;
        if (id == IDOK) {
            OnOK();
            return TRUE;
        }
        if (id == IDCANCEL) {
            OnCancel();
            return TRUE;
        }
        return FALSE;
    }
    case WM_TIMER:
        OnTimer(wParam);
        return TRUE;
    case WM_PAINT:
        return OnPaint() ? TRUE : FALSE;
    case WM_QUERYDRAGICON:
        // One of the messages whose dialog-procedure result is the answer.
        return reinterpret_cast<INT_PTR>(OnQueryDragIcon());
    case WM_DRAWITEM: {
        const auto* item = reinterpret_cast<const DRAWITEMSTRUCT*>(lParam);
        for (OwnerDrawnControl* control : m_ownerDrawn) {
            if (control->ControlId() == item->CtlID) {
                control->DrawItem(*item);
                return TRUE;
            }
        }
        return FALSE;
    }
    case WM_MEASUREITEM: {
        auto* item = reinterpret_cast<MEASUREITEMSTRUCT*>(lParam);
        if (item->CtlType != ODT_LISTBOX) return FALSE;
        CCheckListBox::MeasureItem(m_hWnd, *item);
        return TRUE;
    }
    case WM_NCDESTROY:
        SetWindowLongPtrA(m_hWnd, DWLP_USER, 0);
        return FALSE;
    default:
        if (message > WM_USER && message <= 0x7FFF) {
            LRESULT result = 0;
            if (!OnUserMessage(message, wParam, lParam, &result)) return FALSE;
            SetWindowLongPtrA(m_hWnd, DWLP_MSGRESULT, result);
            return TRUE;
        }
        return FALSE;
    }
}

}  // namespace zep::fw
