#include "framework/check_list_box.h"

#include <algorithm>

namespace zep::fw {

namespace {

constexpr int kBoxSize = 13;  // the system's check box, in pixels
constexpr int kBoxMargin = 1;
constexpr int kTextGap = 3;

int BoxSize(int itemHeight) { return std::max(1, std::min(kBoxSize, itemHeight - 2)); }

}  // namespace

CCheckListBox::~CCheckListBox() { Detach(); }

bool CCheckListBox::Attach(CDialog& parent, int id) {
    Detach();
    HWND list = parent.GetDlgItem(id);
    if (!list) return false;
    m_hWnd = list;
    m_id = static_cast<UINT>(id);
    m_parent = parent.m_hWnd;
    SetWindowLongPtrA(list, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    m_oldProc = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrA(list, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(SubclassProc)));
    parent.AddOwnerDrawn(this);
    return true;
}

void CCheckListBox::Detach() {
    if (m_hWnd && IsWindow(m_hWnd) && m_oldProc) {
        SetWindowLongPtrA(m_hWnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(m_oldProc));
        SetWindowLongPtrA(m_hWnd, GWLP_USERDATA, 0);
    }
    m_hWnd = nullptr;
    m_oldProc = nullptr;
}

int CCheckListBox::AddString(const std::string& text) {
    auto index = static_cast<int>(
        SendMessageA(m_hWnd, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text.c_str())));
    if (index >= 0) SendMessageA(m_hWnd, LB_SETITEMDATA, index, 0);
    return index;
}

int CCheckListBox::GetCount() const {
    return static_cast<int>(SendMessageA(m_hWnd, LB_GETCOUNT, 0, 0));
}

std::string CCheckListBox::GetText(int index) const {
    LRESULT length = SendMessageA(m_hWnd, LB_GETTEXTLEN, index, 0);
    if (length == LB_ERR) return std::string();
    std::string text(static_cast<size_t>(length) + 1, '\0');
    LRESULT got = SendMessageA(m_hWnd, LB_GETTEXT, index, reinterpret_cast<LPARAM>(&text[0]));
    text.resize(got == LB_ERR ? 0 : static_cast<size_t>(got));
    return text;
}

int CCheckListBox::GetCheck(int index) const {
    LRESULT data = SendMessageA(m_hWnd, LB_GETITEMDATA, index, 0);
    return data == LB_ERR ? 0 : (data != 0 ? 1 : 0);
}

void CCheckListBox::SetCheck(int index, int check) {
    if (SendMessageA(m_hWnd, LB_SETITEMDATA, index, check ? 1 : 0) == LB_ERR) return;
    RECT item;
    if (SendMessageA(m_hWnd, LB_GETITEMRECT, index, reinterpret_cast<LPARAM>(&item)) != LB_ERR)
        InvalidateRect(m_hWnd, &item, FALSE);
}

void CCheckListBox::MeasureItem(HWND dialog, MEASUREITEMSTRUCT& item) {
    int textHeight = 0;
    HDC dc = GetDC(dialog);
    if (dc) {
        auto font = reinterpret_cast<HFONT>(SendMessageA(dialog, WM_GETFONT, 0, 0));
        HGDIOBJ old = font ? SelectObject(dc, font) : nullptr;
        TEXTMETRICA metrics;
        if (GetTextMetricsA(dc, &metrics)) textHeight = metrics.tmHeight;
        if (old) SelectObject(dc, old);
        ReleaseDC(dialog, dc);
    }
    item.itemHeight = static_cast<UINT>(std::max(textHeight, kBoxSize) + 3);
}

int CCheckListBox::CheckAreaWidth(int itemHeight) {
    return kBoxMargin + BoxSize(itemHeight) + kTextGap;
}

void CCheckListBox::DrawItem(const DRAWITEMSTRUCT& item) {
    HDC dc = item.hDC;
    RECT rc = item.rcItem;
    if (item.itemID == static_cast<UINT>(-1)) {
        // Empty list: only the focus rectangle.
        if (item.itemState & ODS_FOCUS) DrawFocusRect(dc, &rc);
        return;
    }
    int height = rc.bottom - rc.top;
    int box = BoxSize(height);
    bool selected = (item.itemState & ODS_SELECTED) != 0;
    bool disabled = (item.itemState & ODS_DISABLED) != 0 || !IsWindowEnabled(m_hWnd);

    RECT checkArea = rc;
    checkArea.right = rc.left + CheckAreaWidth(height);
    FillRect(dc, &checkArea, GetSysColorBrush(COLOR_WINDOW));
    RECT boxRect;
    boxRect.left = rc.left + kBoxMargin;
    boxRect.top = rc.top + (height - box) / 2;
    boxRect.right = boxRect.left + box;
    boxRect.bottom = boxRect.top + box;
    UINT state = DFCS_BUTTONCHECK | DFCS_FLAT;
    if (item.itemData != 0) state |= DFCS_CHECKED;
    if (disabled) state |= DFCS_INACTIVE;
    DrawFrameControl(dc, &boxRect, DFC_BUTTON, state);

    RECT textRect = rc;
    textRect.left = checkArea.right;
    FillRect(dc, &textRect, GetSysColorBrush(selected ? COLOR_HIGHLIGHT : COLOR_WINDOW));
    std::string text = GetText(static_cast<int>(item.itemID));
    COLORREF oldText = SetTextColor(
        dc, GetSysColor(disabled ? COLOR_GRAYTEXT : selected ? COLOR_HIGHLIGHTTEXT : COLOR_WINDOWTEXT));
    int oldMode = SetBkMode(dc, TRANSPARENT);
    RECT textInner = textRect;
    textInner.left += 1;
    DrawTextA(dc, text.c_str(), static_cast<int>(text.size()), &textInner,
              DT_SINGLELINE | DT_VCENTER | DT_NOPREFIX);
    SetBkMode(dc, oldMode);
    SetTextColor(dc, oldText);
    if (item.itemState & ODS_FOCUS) DrawFocusRect(dc, &textRect);
}

int CCheckListBox::CheckBoxFromPoint(POINT point) const {
    LRESULT hit = SendMessageA(m_hWnd, LB_ITEMFROMPOINT, 0, MAKELPARAM(point.x, point.y));
    if (HIWORD(hit) != 0) return -1;  // below the last item
    int index = LOWORD(hit);
    RECT rc;
    if (SendMessageA(m_hWnd, LB_GETITEMRECT, index, reinterpret_cast<LPARAM>(&rc)) == LB_ERR)
        return -1;
    if (point.y < rc.top || point.y >= rc.bottom) return -1;
    if (point.x < rc.left || point.x >= rc.left + CheckAreaWidth(rc.bottom - rc.top)) return -1;
    return index;
}

void CCheckListBox::Toggle(int index) {
    SetCheck(index, GetCheck(index) ? 0 : 1);
    SendMessageA(m_parent, WM_COMMAND, MAKEWPARAM(m_id, kCheckChange),
                 reinterpret_cast<LPARAM>(m_hWnd));
}

LRESULT CCheckListBox::OnMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK: {
        POINT point{static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam))};
        int index = CheckBoxFromPoint(point);
        if (index < 0) break;
        SetFocus(m_hWnd);
        Toggle(index);
        return 0;
    }
    case WM_KEYDOWN:
        if (wParam == VK_SPACE) {
            auto index = static_cast<int>(SendMessageA(m_hWnd, LB_GETCARETINDEX, 0, 0));
            if (index >= 0 && index < GetCount()) Toggle(index);
            return 0;
        }
        break;
    case WM_CHAR:
        // The space toggles; it must not also start a type-ahead search.
        if (wParam == ' ') return 0;
        break;
    default:
        break;
    }
    return CallWindowProcA(m_oldProc, m_hWnd, message, wParam, lParam);
}

LRESULT CALLBACK CCheckListBox::SubclassProc(HWND hwnd, UINT message, WPARAM wParam,
                                             LPARAM lParam) {
    auto* self = reinterpret_cast<CCheckListBox*>(GetWindowLongPtrA(hwnd, GWLP_USERDATA));
    if (!self || !self->m_oldProc) return DefWindowProcA(hwnd, message, wParam, lParam);
    LRESULT result = self->OnMessage(message, wParam, lParam);
    if (message == WM_NCDESTROY) self->Detach();
    return result;
}

}  // namespace zep::fw
