// The installer's windows: the installation progress window (template 102)
// and the two wizard dialogs. They show what the logic classes decide.
#pragma once

#include <windows.h>

#include <string>

#include "framework/check_list_box.h"
#include "framework/dialog.h"
#include "framework/main_dialog.h"
#include "installer/headless_view.h"
#include "installer/installer_dlg.h"
#include "installer/views.h"

namespace zep {

// The model dialog (template 129): check list of the models and Next.
class CModelWnd final : public fw::CDialog, public ModelDlgView {
public:
    CModelWnd(CModelDlg& logic, fw::CDialog* owner);

    int AddString(const std::string& text) override { return m_list.AddString(text); }
    int GetCount() override { return m_list.GetCount(); }
    bool GetCheck(int index) override { return m_list.GetCheck(index) != 0; }
    std::string GetText(int index) override { return m_list.GetText(index); }
    void EnableNext(bool enable) override;

protected:
    BOOL OnInitDialog() override;
    bool OnCommand(UINT id, UINT code, HWND control) override;
    void OnOK() override;

private:
    CModelDlg& m_logic;
    fw::CCheckListBox m_list;
};

// The port dialog (template 130): COM1 to COM8 and Configure Port.
class CPortWnd final : public fw::CDialog, public PortDlgView {
public:
    CPortWnd(CPortDlg& logic, fw::CDialog* owner);

    int ReadPortIndex() override;
    uintptr_t Handle() override { return reinterpret_cast<uintptr_t>(m_hWnd); }

protected:
    BOOL OnInitDialog() override;
    bool OnCommand(UINT id, UINT code, HWND control) override;
    void OnOK() override;

private:
    CPortDlg& m_logic;
};

// The installation progress window, the program's main window. In passive
// mode (answers given) it shows no wizard and cannot be closed: the run
// ends by itself.
class CInstallerWnd final : public fw::CMainWindow<InstallerView> {
public:
    explicit CInstallerWnd(Support& sys, InstallerAnswers* answers = nullptr);

    CInstallerDlg m_logic;

    // InstallerView
    void PostStatusRefresh(const std::string& status, const std::string& version) override;
    uint32_t StartWorker() override;
    int RunModelDialog(CModelDlg& dialog) override;
    int RunPortDialog(CPortDlg& dialog) override;

protected:
    BOOL OnInitDialog() override;
    void OnTimer(UINT_PTR id) override;
    bool IsBusy() const override { return m_answers || m_logic.IsBusy(); }

private:
    InstallerAnswers* m_answers;
};

}  // namespace zep
