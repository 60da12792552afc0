// What the installer's logic needs from its windows. The Win32 dialog
// classes implement these with real controls; host tests implement them by
// recording into the simulated machine.
#pragma once

#include <cstdint>
#include <string>

#include "framework/main_view.h"

namespace zep {

class CModelDlg;
class CPortDlg;

// The main dialog's window (template 102). Its worker is InstallThreadProc.
class InstallerView : public MainView {
public:
    // Posts WM_USER+1 carrying copies of the status and version texts; the
    // handler shows them in controls 1003 and 1002.
    virtual void PostStatusRefresh(const std::string& status, const std::string& version) = 0;
    // Modal wizard dialogs, run from the worker, owned by the main dialog.
    // Return IDOK (1) or IDCANCEL (2).
    virtual int RunModelDialog(CModelDlg& dialog) = 0;
    virtual int RunPortDialog(CPortDlg& dialog) = 0;
};

// The main dialog's window that shows nothing.
class WindowlessInstallerView : public Windowless<InstallerView> {
public:
    void PostStatusRefresh(const std::string&, const std::string&) override {}
};

// The model dialog's controls (template 129).
class ModelDlgView {
public:
    virtual ~ModelDlgView() = default;
    virtual int AddString(const std::string& text) = 0;  // LB_ADDSTRING (sorted list)
    virtual int GetCount() = 0;
    virtual bool GetCheck(int index) = 0;
    virtual std::string GetText(int index) = 0;
    virtual void EnableNext(bool enable) = 0;
};

// The port dialog's controls (template 130).
class PortDlgView {
public:
    virtual ~PortDlgView() = default;
    // UpdateData(TRUE): the index of the checked radio button, -1 if none.
    virtual int ReadPortIndex() = 0;
    // The dialog's window handle, owner of its message boxes.
    virtual uintptr_t Handle() = 0;
};

}  // namespace zep
