// What the uninstaller's logic needs from its window (template 102). The
// Win32 dialog implements it with real controls; host tests by recording.
#pragma once

#include <cstdint>
#include <string>

#include "framework/progress_bar.h"

namespace zep {

class UninstallerView {
public:
    virtual ~UninstallerView() = default;
    virtual ProgressBar& Progress() = 0;
    // Posts WM_USER+1 carrying a copy of the status text for control 1000.
    virtual void PostStatusRefresh(const std::string& status) = 0;
    virtual void SetIcons() = 0;
    virtual void SetTitle(const std::string& title) = 0;
    virtual void SetTimer(unsigned id, unsigned milliseconds) = 0;
    virtual void KillTimer(unsigned id) = 0;
    // Runs UninstallThreadProc on a new thread; 0, or the system's code when
    // the thread could not be made.
    virtual uint32_t StartWorker() = 0;

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

}  // namespace zep
