// A list box with a check box in front of each item.
//
// Works on an owner-drawn fixed list box with LBS_HASSTRINGS from a dialog
// template. A click in an item's check box or the space bar toggles the
// item's check and sends WM_COMMAND (control ID, kCheckChange) to the
// parent. Each item's check state is kept in its item data (0 or 1).
#pragma once

#include <windows.h>

#include <string>

#include "framework/dialog.h"

namespace zep::fw {

class CCheckListBox : public OwnerDrawnControl {
public:
    // The notification code of a check change in WM_COMMAND.
    static constexpr UINT kCheckChange = 40;

    CCheckListBox() = default;
    ~CCheckListBox() override;
    CCheckListBox(const CCheckListBox&) = delete;
    CCheckListBox& operator=(const CCheckListBox&) = delete;

    // Takes over control `id` of the dialog (after its creation).
    bool Attach(CDialog& parent, int id);

    int AddString(const std::string& text);  // index, or LB_ERR
    int GetCount() const;
    std::string GetText(int index) const;
    int GetCheck(int index) const;  // 1 checked, 0 not (or no such item)
    void SetCheck(int index, int check);

    UINT ControlId() const override { return m_id; }
    void DrawItem(const DRAWITEMSTRUCT& item) override;

    // Item height for the dialog's font: a line of text or a check box,
    // whichever is higher, with a margin.
    static void MeasureItem(HWND dialog, MEASUREITEMSTRUCT& item);

    // Width of the check-box column at the left of each item.
    static int CheckAreaWidth(int itemHeight);

    HWND m_hWnd = nullptr;

private:
    static LRESULT CALLBACK SubclassProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT OnMessage(UINT message, WPARAM wParam, LPARAM lParam);
    // The item whose check box is at the point, or -1.
    int CheckBoxFromPoint(POINT point) const;
    void Toggle(int index);
    void Detach();

    UINT m_id = 0;
    HWND m_parent = nullptr;
    WNDPROC m_oldProc = nullptr;
};

}  // namespace zep::fw
