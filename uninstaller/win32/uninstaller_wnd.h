// The uninstaller's window (template 102): the printer check list, the
// Uninstall and Cancel buttons, the status line and the progress bar. It
// shows what CUninstallerDlg decides.
#pragma once

#include <windows.h>

#include <string>

#include "framework/check_list_box.h"
#include "framework/main_dialog.h"
#include "uninstaller/headless_view.h"
#include "uninstaller/uninstaller_dlg.h"
#include "uninstaller/views.h"

namespace zep {

// In passive mode (answers given) it presses Uninstall itself once the
// printers are listed, checked as the command line says, and cannot be
// closed: the run ends by itself.
class CUninstallerWnd final : public fw::CMainWindow<UninstallerView> {
public:
    explicit CUninstallerWnd(Support& sys, UninstallerAnswers* answers = nullptr);

    CUninstallerDlg m_logic;

    // UninstallerView. The list, button and progress calls are window
    // messages, so the worker may make them too.
    void PostStatusRefresh(const std::string& status) override;
    void SetTitle(const std::string& title) override;
    uint32_t StartWorker() override;
    void ResetList() override;
    int AddString(const std::string& text) override { return m_list.AddString(text); }
    int GetCount() override { return m_list.GetCount(); }
    bool GetCheck(int index) override { return m_list.GetCheck(index) != 0; }
    void SetCheck(int index, bool checked) override { m_list.SetCheck(index, checked ? 1 : 0); }
    std::string GetText(int index) override { return m_list.GetText(index); }
    void EnableUninstall(bool enable) override;
    void EnableCancel(bool enable) override;
    void EndDialogOk() override;

protected:
    BOOL OnInitDialog() override;
    bool OnCommand(UINT id, UINT code, HWND control) override;
    void OnTimer(UINT_PTR id) override;
    bool IsBusy() const override { return m_answers || m_logic.IsBusy(); }

private:
    fw::CCheckListBox m_list;
    UninstallerAnswers* m_answers;
    std::atomic<bool> m_endRequested{false};  // also set by the worker
};

}  // namespace zep
