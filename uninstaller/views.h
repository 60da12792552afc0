// What the uninstaller's logic needs from its window (template 102). The
// Win32 dialog implements it with real controls; host tests by recording.
#pragma once

#include <cstdint>
#include <string>

#include "framework/main_view.h"

namespace zep {

// Its worker is UninstallThreadProc.
class UninstallerView : public MainView {
public:
    // Posts WM_USER+1 carrying a copy of the status text for control 1000.
    virtual void PostStatusRefresh(const std::string& status) = 0;
    virtual void SetTitle(const std::string& title) = 0;

    // The printer check list (control 1006, sorted).
    virtual void ResetList() = 0;
    virtual int AddString(const std::string& text) = 0;
    virtual int GetCount() = 0;
    virtual bool GetCheck(int index) = 0;
    virtual void SetCheck(int index, bool checked) = 0;
    virtual std::string GetText(int index) = 0;

    virtual void EnableUninstall(bool enable) = 0;  // control 1001
    virtual void EnableCancel(bool enable) = 0;     // control 2
    // OnOK: ends the dialog, and so the program.
    virtual void EndDialogOk() = 0;
};

// The window that shows nothing: its list and its ending are left to who
// plays it.
class WindowlessUninstallerView : public Windowless<UninstallerView> {
public:
    void PostStatusRefresh(const std::string&) override {}
    void SetTitle(const std::string&) override {}
    void EnableUninstall(bool) override {}
    void EnableCancel(bool) override {}
};

}  // namespace zep
