// The uninstaller's window (template 102): the printer check list, the
// Uninstall and Cancel buttons, the status line and the progress bar. It
// shows what CUninstallerDlg decides.
#pragma once

#include <windows.h>

#include <deque>
#include <string>

#include "framework/check_list_box.h"
#include "framework/dialog.h"
#include "framework/thread.h"
#include "uninstaller/uninstaller_dlg.h"
#include "uninstaller/views.h"

namespace zep {

class CUninstallerWnd final : public fw::CDialog, public UninstallerView, private ProgressBar {
public:
    explicit CUninstallerWnd(Support& sys);

    CUninstallerDlg m_logic;

    // UninstallerView. The list, button and progress calls are window
    // messages, so the worker may make them too.
    ProgressBar& Progress() override { return *this; }
    void PostStatusRefresh(const std::string& status) override;
    void SetIcons() override;
    void SetTitle(const std::string& title) override;
    void SetTimer(unsigned id, unsigned milliseconds) override;
    void KillTimer(unsigned id) override;
    void StartWorker() override;
    void ResetList() override;
    int AddString(const std::string& text) override { return m_list.AddString(text); }
    int GetCount() override { return m_list.GetCount(); }
    bool GetCheck(int index) override { return m_list.GetCheck(index) != 0; }
    void SetCheck(int index, bool checked) override { m_list.SetCheck(index, checked ? 1 : 0); }
    std::string GetText(int index) override { return m_list.GetText(index); }
    void EnableUninstall(bool enable) override;
    void EnableCancel(bool enable) override;
    void EndDialogOk() override;

    BOOL PreTranslateMessage(MSG* msg) override;

    // The status refresh (WM_USER+1).
    static constexpr UINT kStatusRefresh = WM_USER + 1;

protected:
    BOOL OnInitDialog() override;
    void OnOK() override;
    void OnCancel() override;
    bool OnCommand(UINT id, UINT code, HWND control) override;
    void OnTimer(UINT_PTR id) override;
    bool OnPaint() override;
    HICON OnQueryDragIcon() override { return m_hIcon; }
    bool OnUserMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result) override;

private:
    // ProgressBar: messages to control 1002, also from the worker thread.
    void SetRange(int lower, int upper) override;
    void SetStep(int step) override;
    void StepIt() override;
    void SetPos(int position) override;

    HICON m_hIcon = nullptr;
    HWND m_progress = nullptr;
    fw::CCheckListBox m_list;
    // Texts posted with each refresh, shown one per refresh in the order
    // posted; the worker never touches the status control itself.
    fw::CriticalSection m_statusLock;
    std::deque<std::string> m_pendingStatus;
};

}  // namespace zep
