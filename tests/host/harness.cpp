#include "tests/host/harness.h"

#include <algorithm>
#include <cctype>

#include "resources/string_tables.h"

namespace zep::test {

namespace {

const char* const kSampleInf =
    "[Version]\r\n"
    "Signature=\"$Windows NT$\"\r\n"
    "Class=Printer\r\n"
    "ClassGUID={4D36E979-E325-11CE-BFC1-08002BE10318}\r\n"
    "Provider=%Maker%\r\n"
    "DriverVer=12/01/2026,1.1.0.0\r\n"
    "\r\n"
    "[Manufacturer]\r\n"
    "%Maker%=KESTREL,NTamd64\r\n"
    "\r\n"
    "[KESTREL]\r\n"
    "\"KESTREL ZEP-4000\" = ZEP4000, ZEP_4000\r\n"
    "\"KESTREL ZEP-4100\" = ZEP4100, ZEP_4100\r\n"
    "\r\n"
    "[KESTREL.NTamd64]\r\n"
    "\"KESTREL ZEP-4000\" = ZEP4000, ZEP_4000\r\n"
    "\"KESTREL ZEP-4100\" = ZEP4100, ZEP_4100\r\n"
    "\r\n"
    "[ZEP4000]\r\n"
    "CopyFiles=ZEPFiles\r\n"
    "\r\n"
    "[Strings]\r\n"
    "Maker=\"KESTREL\"\r\n";

void AddPackage(sim::Machine& m, const std::string& folder) {
    const char* files[] = {"UNIDRV.DLL", "UNIDRVUI.DLL", "UNIDRV.HLP", "UNIRES.DLL", "STDNAMES.GPD",
                           "ZEP1TE.dll", "ZEP1TE.gpd",   "ZEP1TE.bud", "ZEPUI1T.dll", "ZEPUI1T.ini",
                           "ZEPMON.dll", "ZEPPRO.dll",   "ZEP.ini"};
    for (const char* f : files) m.AddFile(folder + "\\" + f, std::string("sample ") + f);
    m.AddFile(folder + "\\ZEP.inf", kSampleInf);
}

}  // namespace

// ------------------------------------------------------------------ progress

void SimProgress::SetRange(int lo, int hi) {
    lower = lo;
    upper = hi;
    m_.RecordUi({"progress-range", "", "", 0, int64_t(lo) * 1000 + hi});
}

void SimProgress::SetStep(int s) {
    step = s;
    m_.RecordUi({"progress-step", "", "", 0, s});
}

void SimProgress::StepIt() {
    pos += step;
    // The control wraps to the lower bound when a step passes the upper one.
    if (pos > upper) pos = lower + (pos - upper);
    m_.RecordUi({"progress", "", "", 0, pos});
}

void SimProgress::SetPos(int position) {
    pos = position;
    m_.RecordUi({"progress", "", "", 0, pos});
}

// ------------------------------------------------------------------ check list

int SimCheckList::Find(const std::string& text) const {
    for (int i = 0; i < GetCount(); ++i)
        if (GetText(i) == text) return i;
    return -1;
}

// ------------------------------------------------------------------ installer view

void SimInstallerView::PostStatusRefresh(const std::string& status, const std::string& version) {
    versionShown = version;
    m_.RecordUi({"status", status, "", 0, 0});
}

void SimInstallerView::SetIcons() { m_.RecordUi({"icons", "", "", 0, 0}); }

void SimInstallerView::SetTimer(unsigned id, unsigned ms) {
    m_.RecordUi({"timer", "", "", 0, int64_t(id) * 1000 + ms});
}

void SimInstallerView::KillTimer(unsigned id) { m_.RecordUi({"kill-timer", "", "", 0, id}); }

void SimInstallerView::EnableNext(bool enable) {
    nextEnabled = enable;
    nextHistory.push_back(enable);
}

int SimInstallerView::RunModelDialog(CModelDlg& dialog) {
    m_.RecordUi({"dialog", "Select ZEP Model", "", 0, 0});
    list_.Reset();
    nextEnabled = false;  // the template starts Next disabled
    dialog.OnInitDialog(*this);
    for (const std::string& model : script_.models) {
        int index = list_.Find(model);
        if (index < 0) continue;
        list_.SetCheck(index, !list_.GetCheck(index));
        dialog.OnCheckChange(*this);
    }
    if (script_.cancelModels || !nextEnabled) return kIdCancel;
    dialog.OnOK(*this);
    return kIdOk;
}

int SimInstallerView::RunPortDialog(CPortDlg& dialog) {
    m_.RecordUi({"dialog", "Select Port Type", "", 0, 0});
    checkedPort_ = dialog.m_nPortIndex;
    for (int port : script_.configurePorts) {
        checkedPort_ = port;
        dialog.OnConfigurePort(*this);
    }
    if (script_.cancelPort) return kIdCancel;
    checkedPort_ = script_.port;
    dialog.m_nPortIndex = checkedPort_;
    return kIdOk;
}

// ------------------------------------------------------------------ runs

void DeletePrinterByHand(sim::Machine& m, const std::string& name) {
    PrinterDefaults all{"RAW", kPrinterAllAccess};
    Result<HPrinter> printer = m.OpenPrinterA(name.c_str(), &all);
    m.DeletePrinter(printer.value);
    m.ClosePrinter(printer.value);
}

void PrepareInstallerMachine(sim::Machine& m) {
    m.SetStringTable(InstallerStringTable());
    m.SetApplicationName("ZEP_Installer");
    m.SetCurrentDirectory("C:\\Package");
    m.AddFile("C:\\Package\\ZEP_Installer.exe", "installer");
    m.AddFile("C:\\Package\\ZEP_Uninstaller.exe", "uninstaller");
    AddPackage(m, "C:\\Package\\Driver32");
    AddPackage(m, "C:\\Package\\Driver64");
}

void PrepareUninstallerMachine(sim::Machine& m) {
    m.SetStringTable(UninstallerStringTable());
    m.SetApplicationName("ZEP_Uninstaller");
    // Started from its copy when there is one; a folder made for it would
    // be a trace of the product.
    m.SetCurrentDirectory(m.Exists("C:\\Windows\\ZEP") ? "C:\\Windows\\ZEP" : "C:\\Windows\\system32");
}

InstallerRun::InstallerRun(sim::Machine& m, InstallerScript script)
    : machine(m),
      os(m.platform()),
      log(m, "\\ZEP_Installer.txt"),
      sys(os, log),
      view(m, std::move(script)),
      dialog(sys, view) {}

int InstallerRun::Run() {
    dialog.OnInitDialog();
    dialog.OnTimer(1);
    try {
        dialog.RunWorker();
    } catch (const sim::ProcessExit& e) {
        return e.code;
    }
    return -1;  // the worker always exits; reaching here is a fault
}

void SimUninstallerView::PostStatusRefresh(const std::string& status) {
    m_.RecordUi({"status", status, "", 0, 0});
}

void SimUninstallerView::EnableUninstall(bool enable) {
    uninstallEnabled = enable;
    m_.RecordUi({"uninstall-button", "", "", 0, enable});
}

void SimUninstallerView::EnableCancel(bool enable) {
    cancelEnabled = enable;
    m_.RecordUi({"cancel-button", "", "", 0, enable});
}

void SimUninstallerView::EndDialogOk() {
    ended = true;
    m_.RecordUi({"end-dialog", "", "", 0, 1});
}

UninstallerRun::UninstallerRun(sim::Machine& m)
    : machine(m),
      os(m.platform()),
      log(m, "\\ZEP_UnInstaller.txt"),
      sys(os, log),
      view(m),
      dialog(sys, view) {}

bool UninstallerRun::Run(const UninstallerScript& script) {
    dialog.OnInitDialog();
    dialog.OnTimer(1);
    if (view.ended) return true;
    if (!view.workerStarted) {
        for (const std::string& name : script.uncheck) {
            int index = view.list.Find(name);
            if (index < 0) continue;
            view.list.SetCheck(index, false);
            dialog.OnCheckChange();
        }
        if (!script.pressUninstall || !view.uninstallEnabled) {
            view.EndDialogOk();  // Cancel
            return true;
        }
        dialog.OnUninstall();
    }
    if (!view.workerStarted) return view.ended;  // no thread: the user closes the program
    try {
        dialog.RunUninstall();
    } catch (const sim::ProcessExit&) {
    }
    return view.ended;
}

// ------------------------------------------------------------------ log and timeline

std::vector<std::string> LogLines(const std::string& text) {
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find("\r\n", start);
        if (end == std::string::npos) end = text.size();
        std::string line = text.substr(start, end - start);
        if (line.size() >= 10 && line[2] == ':' && line[5] == ':' && line[8] == ':')
            line = line.substr(10);
        lines.push_back(line);
        start = end + 2;
    }
    return lines;
}

std::vector<std::string> BeginLines(const std::string& text) {
    std::vector<std::string> out;
    for (const std::string& line : LogLines(text))
        if (line.size() > 6 && line.compare(line.size() - 6, 6, " BEGIN") == 0) out.push_back(line);
    return out;
}

bool InOrder(const std::vector<std::string>& haystack, const std::vector<std::string>& needles) {
    size_t at = 0;
    for (const std::string& line : haystack)
        if (at < needles.size() && line == needles[at]) ++at;
    return at == needles.size();
}

bool Contains(const std::vector<std::string>& lines, const std::string& line) {
    return std::find(lines.begin(), lines.end(), line) != lines.end();
}

std::vector<std::string> Timeline(const sim::Machine& m, const std::vector<std::string>& kinds) {
    std::vector<std::string> out;
    for (const sim::UiEvent& e : m.Ui()) {
        if (std::find(kinds.begin(), kinds.end(), e.kind) == kinds.end()) continue;
        bool textual = !e.text.empty() || e.kind == "status";
        out.push_back(e.kind + ":" + (textual ? e.text : std::to_string(e.value)));
    }
    return out;
}

}  // namespace zep::test
