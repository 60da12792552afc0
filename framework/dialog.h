// A modal dialog from a dialog template, with typed virtual handlers.
//
// DoModal runs its own message loop (as DialogBoxParam would, but visible to
// the class): every message for the dialog or one of its controls passes
// through the virtual PreTranslateMessage first, which by default hands it
// to IsDialogMessage. One static dialog procedure reaches the handlers.
#pragma once

#include <windows.h>

#include <atomic>
#include <string>
#include <vector>

namespace zep::fw {

// A control whose items the dialog draws (WM_DRAWITEM forwarded to it).
class OwnerDrawnControl {
public:
    virtual ~OwnerDrawnControl() = default;
    virtual UINT ControlId() const = 0;
    virtual void DrawItem(const DRAWITEMSTRUCT& item) = 0;
};

class CDialog {
public:
    // parent nullptr: owned by the application's main window, unless this
    // dialog is the main window itself.
    explicit CDialog(UINT templateId, CDialog* parent = nullptr);
    virtual ~CDialog();
    CDialog(const CDialog&) = delete;
    CDialog& operator=(const CDialog&) = delete;

    // Creates the dialog, disables its owner, runs the modal loop until
    // EndDialog and destroys the window. Returns the EndDialog value, or -1
    // when the template cannot be created.
    virtual INT_PTR DoModal();

    // Ends the modal loop with `result`; may be called from any thread.
    void EndDialog(INT_PTR result);

    // true: the message was handled (or dropped) and is not dispatched.
    virtual BOOL PreTranslateMessage(MSG* msg);

    HWND GetDlgItem(int id) const { return ::GetDlgItem(m_hWnd, id); }
    void SetItemText(int id, const std::string& text) const;
    std::string GetItemText(int id) const;

    // The radio buttons of the group that starts at firstId, in template
    // order: every radio button from it up to the next control that starts a
    // group; other controls in between are skipped.
    std::vector<HWND> RadioGroup(int firstId) const;
    // Index of the checked button in that group, -1 when none is checked.
    int GetRadioIndex(int firstId) const;
    // Checks the button at `index` and clears the others.
    void SetRadioIndex(int firstId, int index) const;

    void AddOwnerDrawn(OwnerDrawnControl* control);

    HWND m_hWnd = nullptr;

protected:
    virtual BOOL OnInitDialog() { return TRUE; }
    virtual void OnOK() { EndDialog(IDOK); }
    virtual void OnCancel() { EndDialog(IDCANCEL); }
    // true when handled; IDOK and IDCANCEL that are not handled here go to
    // OnOK and OnCancel.
    virtual bool OnCommand(UINT /*id*/, UINT /*code*/, HWND /*control*/) { return false; }
    virtual void OnTimer(UINT_PTR /*id*/) {}
    // false leaves painting to the default handling.
    virtual bool OnPaint() { return false; }
    virtual HICON OnQueryDragIcon() { return nullptr; }
    // Messages from WM_USER+1 up to 0x7FFF. true when handled, with *result
    // as the message's result; unhandled ones go to the dialog manager
    // (several of its DM_ messages live in that range).
    virtual bool OnUserMessage(UINT /*message*/, WPARAM /*wParam*/, LPARAM /*lParam*/,
                               LRESULT* /*result*/) {
        return false;
    }

    UINT m_templateId;
    CDialog* m_pParent;

private:
    static INT_PTR CALLBACK DialogProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    INT_PTR Dispatch(UINT message, WPARAM wParam, LPARAM lParam);
    HWND OwnerWindow() const;
    void RunModalLoop();

    std::atomic<bool> m_ended{false};
    std::atomic<INT_PTR> m_result{-1};
    std::vector<OwnerDrawnControl*> m_ownerDrawn;
};

}  // namespace zep::fw
