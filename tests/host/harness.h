// Runs the programs' logic against the simulated machine: views that record
// what the user sees into the machine's UI events, scripted wizard answers,
// and runners that play a whole program run up to its exit.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "common/check_list.h"
#include "common/support.h"
#include "installer/installer_dlg.h"
#include "platform/sim/machine.h"
#include "uninstaller/uninstaller_dlg.h"

namespace zep::test {

// Fault("DeleteFormA").Fails(kErrAccessDenied) and the like (platform/sim/machine.h).
using sim::Fault;

// A progress control that records each change as a "progress" event.
class SimProgress : public ProgressBar {
public:
    explicit SimProgress(sim::Machine& m) : m_(m) {}
    void SetRange(int lower, int upper) override;
    void SetStep(int step) override;
    void StepIt() override;
    void SetPos(int position) override;
    int pos = 0, lower = 0, upper = 100, step = 10;

private:
    sim::Machine& m_;
};

// The programs' sorted check list, and a look-up for the tests.
class SimCheckList : public CheckListModel {
public:
    int Find(const std::string& text) const;  // -1 when it is not listed
};

// What the user does in the installer's wizard.
struct InstallerScript {
    bool cancelModels = false;
    std::vector<std::string> models{"KESTREL ZEP-4000"};  // checked, in this order
    bool cancelPort = false;
    int port = 0;  // index of the radio button checked (0 = COM1)
    // Configure Port presses, each with the radio index checked at the time.
    std::vector<int> configurePorts;
};

class SimInstallerView : public InstallerView, public ModelDlgView, public PortDlgView {
public:
    SimInstallerView(sim::Machine& m, InstallerScript script)
        : m_(m), script_(std::move(script)), progress_(m) {}

    ProgressBar& Progress() override { return progress_; }
    void PostStatusRefresh(const std::string& status, const std::string& version) override;
    void SetIcons() override;
    void SetTimer(unsigned id, unsigned milliseconds) override;
    void KillTimer(unsigned id) override;
    uint32_t StartWorker() override {
        workerStarted = startError == 0;
        return startError;
    }
    int RunModelDialog(CModelDlg& dialog) override;
    int RunPortDialog(CPortDlg& dialog) override;

    // ModelDlgView
    int AddString(const std::string& text) override { return list_.AddString(text); }
    int GetCount() override { return list_.GetCount(); }
    bool GetCheck(int i) override { return list_.GetCheck(i); }
    std::string GetText(int i) override { return list_.GetText(i); }
    void EnableNext(bool enable) override;
    // PortDlgView
    int ReadPortIndex() override { return checkedPort_; }
    uintptr_t Handle() override { return 0x130; }

    bool workerStarted = false;
    uint32_t startError = 0;  // the code the thread start fails with (0: it starts)
    bool nextEnabled = false;
    std::vector<bool> nextHistory;  // Next's state after each change
    std::string versionShown;
    SimProgress& progress() { return progress_; }

private:
    sim::Machine& m_;
    InstallerScript script_;
    SimProgress progress_;
    SimCheckList list_;
    int checkedPort_ = 0;
};

// One installer run: the main dialog's initialisation, its first timer tick
// and the worker, up to the process exit.
struct InstallerRun {
    explicit InstallerRun(sim::Machine& m, InstallerScript script = {});
    int Run();  // returns the exit code (the worker always exits)

    sim::Machine& machine;
    Platform os;
    TraceLog log;
    Support sys;
    SimInstallerView view;
    CInstallerDlg dialog;
};

// A machine with the installer's strings, the sample package in C:\Package
// and the application name "ZEP_Installer".
void PrepareInstallerMachine(sim::Machine& m);
// The same for the uninstaller ("ZEP_Uninstaller").
void PrepareUninstallerMachine(sim::Machine& m);

// What the user does in the uninstaller.
struct UninstallerScript {
    std::vector<std::string> uncheck;  // printers unchecked before Uninstall
    bool pressUninstall = true;        // false: Cancel
};

class SimUninstallerView : public WindowlessUninstallerView {
public:
    explicit SimUninstallerView(sim::Machine& m) : m_(m), progress_(m) {}
    ProgressBar& Progress() override { return progress_; }
    void PostStatusRefresh(const std::string& status) override;
    void SetTitle(const std::string& title) override { this->title = title; }
    void SetTimer(unsigned id, unsigned) override { timers.push_back(int(id)); }
    uint32_t StartWorker() override {
        workerStarted = startError == 0;
        return startError;
    }
    void ResetList() override { list.Reset(); }
    int AddString(const std::string& text) override { return list.AddString(text); }
    int GetCount() override { return list.GetCount(); }
    bool GetCheck(int i) override { return list.GetCheck(i); }
    void SetCheck(int i, bool on) override { list.SetCheck(i, on); }
    std::string GetText(int i) override { return list.GetText(i); }
    void EnableUninstall(bool enable) override;
    void EnableCancel(bool enable) override;
    void EndDialogOk() override;

    SimCheckList list;
    std::string title;
    std::vector<int> timers;
    bool workerStarted = false;
    uint32_t startError = 0;  // the code the thread start fails with (0: it starts)
    bool uninstallEnabled = false;  // the template starts it disabled
    bool cancelEnabled = true;
    bool ended = false;
    SimProgress& progress() { return progress_; }

private:
    sim::Machine& m_;
    SimProgress progress_;
};

// One uninstaller run: initialisation, the first timer tick (the start-up
// decision), the user's choice, and the worker.
struct UninstallerRun {
    explicit UninstallerRun(sim::Machine& m);
    // Runs to the end; returns true when the dialog ended.
    bool Run(const UninstallerScript& script = {});

    sim::Machine& machine;
    Platform os;
    TraceLog log;
    Support sys;
    SimUninstallerView view;
    CUninstallerDlg dialog;
};

// Someone deleted the printer by hand.
void DeletePrinterByHand(sim::Machine& m, const std::string& name);

// Lines of a trace log without their time stamps.
std::vector<std::string> LogLines(const std::string& logText);
// The routine blocks ("X BEGIN" lines) in order.
std::vector<std::string> BeginLines(const std::string& logText);
// True when `needles` appear in `haystack` in this order (not necessarily adjacent).
bool InOrder(const std::vector<std::string>& haystack, const std::vector<std::string>& needles);
bool Contains(const std::vector<std::string>& lines, const std::string& line);

// The UI events of the given kinds, as "kind:text" or "kind:value" strings.
std::vector<std::string> Timeline(const sim::Machine& m, const std::vector<std::string>& kinds);

}  // namespace zep::test
