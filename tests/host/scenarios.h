// Whole program runs on machines that also hold other products, shared by
// the fault matrix and the hostile-state tests: the runs, the neighbours
// that must survive them, and the check that a run changed nothing outside
// the product's own names.
#pragma once

#include <algorithm>
#include <cstring>
#include <functional>
#include <set>
#include <string>
#include <vector>

#include "removal/removal.h"
#include "tests/host/harness.h"

namespace zep::test {

// The Windows the scenario runs on.
enum class Windows { Win7x64, Win7x86, WinXp };

inline const char* WindowsName(Windows w) {
    switch (w) {
        case Windows::Win7x64: return "win7-64";
        case Windows::Win7x86: return "win7-32";
        case Windows::WinXp: return "xp-32";
    }
    return "?";
}

inline void SetWindows(sim::Machine& m, Windows w) {
    if (w == Windows::Win7x64) return;  // the machine's default
    m.SetWindows64(false);
    m.SetVersion(w == Windows::WinXp ? sim::versions::kWinXp : sim::versions::kWin7);
}

inline std::string DriverEnvironmentOf(Windows w) {
    return w == Windows::Win7x64 ? "Windows x64" : "Windows NT x86";
}

// Other products on the machine: a printer with its driver, monitor and
// print processor, a form, an INF copy, an uninstall entry, a folder beside
// ours under the maker's folder. A run must leave all of them alone.
inline void AddNeighbours(sim::Machine& m, Windows w) {
    std::string env = DriverEnvironmentOf(w);
    m.AddMonitorDirect("Other Monitor", "othermon.dll");
    m.AddPrintProcessorDirect("Other Processor", env, "otherproc.dll");
    m.AddDriverDirect("Other Driver", env, "Other Monitor");
    m.AddPrinterDirect("Office Laser", "Other Driver", "LPT1:", "Other Processor");
    m.AddJob("Office Laser");
    m.AddFormDirect("Ledger Custom");
    m.AddFile("C:\\Windows\\system32\\othermon.dll", "other monitor");
    m.AddFile("C:\\Windows\\inf\\oem7.inf",
              "[Version]\r\nSignature=\"$Windows NT$\"\r\nClass=Printer\r\n\r\n"
              "[Manufacturer]\r\nOther=OTHER,NTamd64\r\n\r\n"
              "[OTHER]\r\n\"Other Model\" = OTHER1\r\n\r\n"
              "[OTHER.NTamd64]\r\n\"Other Model\" = OTHER1\r\n");
    m.AddFile("C:\\Windows\\inf\\oem7.PNF", "precompiled other");
    const std::string other = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Other Product";
    m.SetRegString(other, "DisplayName", "Other Product");
    m.SetRegString(other, "UninstallString", "C:\\Other\\uninstall.exe");
    m.AddFile("C:\\KESTREL Printer Driver\\Other Display\\readme.txt", "another product");
}

// A run of one program on a prepared machine.
struct Scenario {
    std::string name;
    bool installer = true;
    Windows windows = Windows::Win7x64;
    // Arranges the machine; may run the installer first.
    std::function<void(sim::Machine&)> arrange;
    InstallerScript installerScript;
    UninstallerScript uninstallerScript;
};

// How a run ended.
struct RunOutcome {
    bool exited = false;       // the process ended (the installer's way)
    int exitCode = -1;
    bool dialogEnded = false;  // the dialog ended (the uninstaller's way)
    std::string escaped;       // an exception other than the process exit
};

// Installs the sample package with these models on the current machine, as
// a user would have done before the scenario.
inline void InstallFirst(sim::Machine& m, std::vector<std::string> models) {
    PrepareInstallerMachine(m);
    InstallerScript script;
    script.models = std::move(models);
    InstallerRun run(m, script);
    run.Run();
}

// Files an earlier installation's copy handler moved aside to ".old",
// still loaded: a removal can only have them deleted at the next restart.
inline void PlantOldCopiesInUse(sim::Machine& m, Windows w) {
    std::string env = w == Windows::Win7x64 ? "x64" : "w32x86";
    std::string spool = "C:\\Windows\\system32\\spool\\";
    for (const std::string& old :
         {std::string(w == Windows::Win7x64 ? "C:\\Windows" : "C:\\Windows\\system32") + "\\ZEPMON.dll.old",
          spool + "prtprocs\\" + env + "\\ZEPPRO.dll.old", spool + "drivers\\" + env + "\\3\\ZEP1TE.gpd.old"}) {
        m.AddFile(old, "older copy");
        m.HoldOpen(old, kFileShareRead);
    }
}

// A scenario of one program on one Windows ("<name>/<windows>").
inline Scenario MakeScenario(const char* name, Windows w, bool installer,
                             std::function<void(sim::Machine&)> arrange) {
    Scenario s;
    s.name = std::string(name) + "/" + WindowsName(w);
    s.installer = installer;
    s.windows = w;
    s.arrange = std::move(arrange);
    return s;
}

// The installer's run on a machine prepared for it, and the uninstaller's
// on one that an installation of these models left.
inline Scenario InstallerScenario(const char* name, Windows w, std::function<void(sim::Machine&)> arrange) {
    return MakeScenario(name, w, true, [arrange](sim::Machine& m) {
        if (arrange) arrange(m);
        PrepareInstallerMachine(m);
    });
}
inline Scenario UninstallerScenario(const char* name, Windows w, std::vector<std::string> installed,
                                    std::function<void(sim::Machine&)> arrange) {
    return MakeScenario(name, w, false, [installed, arrange](sim::Machine& m) {
        if (!installed.empty()) InstallFirst(m, installed);
        if (arrange) arrange(m);
        PrepareUninstallerMachine(m);
    });
}

const std::vector<std::string> kBothModels = {"KESTREL ZEP-4000", "KESTREL ZEP-4100"};

inline std::vector<Scenario> StandardScenarios(Windows w) {
    std::vector<Scenario> out;
    Scenario fresh = InstallerScenario("install-new", w, nullptr);
    fresh.installerScript.models = kBothModels;
    fresh.installerScript.port = 2;
    fresh.installerScript.configurePorts = {0};
    out.push_back(fresh);

    Scenario present = InstallerScenario("install-present", w, [](sim::Machine& m) {
        InstallFirst(m, {"KESTREL ZEP-4000"});
        // The driver's own components set these on its printers.
        m.SetPrinterVersion("KESTREL ZEP-4000", 1, 1, 0, 0);
    });
    present.installerScript.models = kBothModels;
    out.push_back(present);

    out.push_back(InstallerScenario("install-replace", w, [w](sim::Machine& m) {
        InstallFirst(m, kBothModels);
        PlantOldCopiesInUse(m, w);
        m.AddFormDirect("ZEP 20x2");
        m.SetPrinterVersion("KESTREL ZEP-4000", 1, 0, 0, 0);
        m.SetPrinterVersion("KESTREL ZEP-4100", 1, 0, 0, 0);
    }));

    out.push_back(UninstallerScenario("uninstall-complete", w, kBothModels, [w](sim::Machine& m) {
        m.AddFormDirect("ZEP 20x2");
        m.AddJob("KESTREL ZEP-4100");
        m.AddFile("C:\\KESTREL Printer Driver\\ZEP\\settings\\display.cfg", "settings");
        PlantOldCopiesInUse(m, w);
    }));

    Scenario partial = UninstallerScenario("uninstall-partial", w, kBothModels, nullptr);
    partial.uninstallerScript.uncheck = {"KESTREL ZEP-4100"};
    out.push_back(partial);
    return out;
}

// Runs that take the programs down their other paths: leftovers of an
// earlier installation in the way, a driver without printers, nothing
// installed, a driver the spooler will not let go.
inline std::vector<Scenario> LeftoverScenarios(Windows w) {
    std::vector<Scenario> out;
    out.push_back(MakeScenario("install-over-leftovers", w, true, [w](sim::Machine& m) {
        PrepareInstallerMachine(m);
        // An earlier installation's entry and folder, the monitor still
        // loaded by the spooler (it may be renamed, not overwritten) with an
        // older copy beside it, and a read-only staged file.
        m.SetRegString(kUninstallKey, "DisplayName", "KESTREL Customer Display Windows Driver V1.0.0E");
        m.AddFile("C:\\Windows\\ZEP\\ZEP_Uninstaller.exe", "old uninstaller", kFileAttributeReadonly);
        m.AddFile("C:\\Windows\\ZEP\\logs\\old.txt", "old");
        std::string monitorFolder = w == Windows::Win7x64 ? "C:\\Windows" : "C:\\Windows\\system32";
        m.AddFile(monitorFolder + "\\ZEPMON.dll", "old monitor");
        m.AddFile(monitorFolder + "\\ZEPMON.dll.old", "older monitor");
        m.HoldOpen(monitorFolder + "\\ZEPMON.dll", kFileShareRead | kFileShareDelete);
        std::string staging = w == Windows::Win7x64 ? "x64" : "w32x86";
        m.AddFile("C:\\Windows\\system32\\spool\\drivers\\" + staging + "\\ZEP1TE.dll", "old",
                  kFileAttributeReadonly);
    }));
    out.push_back(UninstallerScenario("uninstall-driver-only", w, {"KESTREL ZEP-4000"},
                                      [](sim::Machine& m) { DeletePrinterByHand(m, "KESTREL ZEP-4000"); }));
    out.push_back(UninstallerScenario("uninstall-nothing", w, {}, [](sim::Machine& m) {
        m.SetRegString(kUninstallKey, "DisplayName", "KESTREL Customer Display Windows Driver V1.1.0E");
    }));
    out.push_back(UninstallerScenario("uninstall-in-use", w, {"KESTREL ZEP-4000"}, [](sim::Machine& m) {
        // Not the product's printer (its driver name differs in case), but
        // the spooler counts the driver as in use by it.
        m.AddPrinterDirect("Look Alike", "zep character type", "COM3:");
    }));
    return out;
}

// A fresh machine of the scenario's Windows with the neighbours, arranged.
inline void Arrange(sim::Machine& m, const Scenario& s) {
    SetWindows(m, s.windows);
    AddNeighbours(m, s.windows);
    s.arrange(m);
    m.ClearCalls();
    m.ClearFaults();
}

inline RunOutcome Play(sim::Machine& m, const Scenario& s) {
    RunOutcome end;
    try {
        if (s.installer) {
            InstallerRun run(m, s.installerScript);
            run.Run();
        } else {
            UninstallerRun run(m);
            end.dialogEnded = run.Run(s.uninstallerScript);
        }
    } catch (const std::exception& e) {
        end.escaped = std::string("exception: ") + e.what();
    } catch (...) {
        end.escaped = "unknown exception";
    }
    end.exited = m.Exited();
    end.exitCode = m.ExitCode();
    return end;
}

// ------------------------------------------------------------------ snapshot diff

// Snapshot lines made self-contained: a registry value carries its key, a
// printer's data value its printer.
inline std::vector<std::string> QualifiedLines(const std::string& snapshot) {
    std::vector<std::string> out;
    std::string key, printer;
    size_t start = 0;
    while (start < snapshot.size()) {
        size_t end = snapshot.find('\n', start);
        if (end == std::string::npos) end = snapshot.size();
        std::string line = snapshot.substr(start, end - start);
        start = end + 1;
        if (line.rfind("[", 0) == 0) {
            key = line;
            out.push_back(line);
        } else if (line.rfind("  data ", 0) == 0) {
            out.push_back(printer + " " + line);
        } else if (line.rfind("  ", 0) == 0) {
            out.push_back(key + line);
        } else {
            if (line.rfind("printer ", 0) == 0) printer = line.substr(0, line.find(" processor="));
            out.push_back(line);
        }
    }
    return out;
}

inline std::string UpperCopy(std::string s) {
    for (char& c : s) c = char(std::toupper(static_cast<unsigned char>(c)));
    return s;
}

// The product's own things: what the programs may create, change or delete.
struct ProductNames {
    // INF copies (upper-case paths) that hold our models, before or after.
    std::set<std::string> ourInfCopies;

    // A path is ours when one of its components is one of the product's
    // file or folder names (they all start with "ZEP").
    static bool OursByPath(const std::string& path) {
        std::string p = UpperCopy(path);
        size_t at = 0;
        while (at <= p.size()) {
            size_t end = p.find('\\', at);
            if (end == std::string::npos) end = p.size();
            if (p.compare(at, 3, "ZEP") == 0) return true;
            at = end + 1;
        }
        return false;
    }

    // The quoted "\\??\\<path>" pairs of a PendingFileRenameOperations line.
    static bool OnlyOurPendingFiles(const std::string& items) {
        size_t at = 0;
        while ((at = items.find('"', at)) != std::string::npos) {
            size_t end = items.find('"', at + 1);
            std::string path = items.substr(at + 1, end - at - 1);
            at = end + 1;
            if (path.empty()) continue;  // no new name: a deletion
            if (path[0] == '!') path.erase(0, 1);
            if (path.rfind("\\??\\", 0) == 0) path.erase(0, 4);
            if (!OursByPath(path)) return false;
        }
        return true;
    }

    bool AllowedFile(const std::string& path, bool dir) const {
        std::string p = UpperCopy(path);
        if (OursByPath(path)) return true;
        // The maker's folder (ZEP's parent) and the log folder.
        if (dir && (p == "C:\\KESTREL PRINTER DRIVER" || p == "C:\\TEMP")) return true;
        // Our INF copies and their precompiled files.
        for (const std::string& inf : ourInfCopies) {
            std::string stem = inf.substr(0, inf.size() - 4);
            if (p == inf || p == stem + ".PNF") return true;
        }
        // The Unidrv core files that the package stages and the spooler keeps.
        static const char* const kCore[] = {"UNIDRV.DLL", "UNIDRVUI.DLL", "UNIDRV.HLP",
                                            "UNIRES.DLL", "STDNAMES.GPD"};
        if (p.find("\\SPOOL\\DRIVERS\\") != std::string::npos) {
            if (dir) return true;  // the spooler's own folders appear as it needs them
            for (const char* core : kCore)
                if (p.size() > std::string(core).size() &&
                    p.compare(p.size() - std::string(core).size(), std::string::npos, core) == 0 &&
                    p[p.size() - std::string(core).size() - 1] == '\\')
                    return true;
        }
        return false;
    }

    // One changed line of QualifiedLines(); `gone` when it disappeared.
    bool Allowed(const std::string& line, bool gone) const {
        if (line.rfind("== ", 0) == 0) return true;
        if (line.rfind("running=", 0) == 0) return true;  // net stop / net start
        if (line.rfind("[", 0) == 0) {
            std::string key = UpperCopy(line.substr(0, line.find(']') + 1));
            // Files queued for deletion at the next restart: only ours.
            if (key == "[HKLM\\SYSTEM\\CURRENTCONTROLSET\\CONTROL\\SESSION MANAGER]" &&
                line.find("\"PendingFileRenameOperations\" type=7 multi:") != std::string::npos)
                return OnlyOurPendingFiles(line.substr(line.find("multi:") + 6));
            // The uninstall entries with whatever someone put below them.
            for (const char* entry : {"\\UNINSTALL\\KESTREL CUTOMER DISPLAY DRIVER",
                                      "\\UNINSTALL\\KESTREL CUSTOMER DISPLAY DRIVER"}) {
                size_t at = key.find(entry);
                if (at != std::string::npos &&
                    (key[at + std::strlen(entry)] == ']' || key[at + std::strlen(entry)] == '\\'))
                    return true;
            }
            return key.find("ZEP") != std::string::npos;
        }
        if (line.rfind("monitor ", 0) == 0) return line.rfind("monitor \"ZEP Language Monitor\"", 0) == 0;
        if (line.rfind("processor ", 0) == 0)
            return line.find(" \"ZEP PRINT PROCESSOR\" ") != std::string::npos;
        if (line.rfind("driver ", 0) == 0) return line.find(" \"ZEP Character Type\" ") != std::string::npos;
        if (line.rfind("printer ", 0) == 0)
            return line.find(" driver=\"ZEP Character Type\"") != std::string::npos;
        if (line.rfind("form ", 0) == 0) return line.find("ZEP") != std::string::npos;
        // Files: "<path> dir|file ..."
        size_t kind = line.find(" dir ");
        bool dir = kind != std::string::npos;
        if (!dir) kind = line.find(" file ");
        if (kind == std::string::npos) return false;
        (void)gone;
        return AllowedFile(line.substr(0, kind), dir);
    }
};

// Lines that changed between two snapshots and are not the product's.
inline std::vector<std::string> ForeignChanges(const std::string& before, const std::string& after,
                                               const ProductNames& names) {
    std::vector<std::string> a = QualifiedLines(before), b = QualifiedLines(after);
    std::sort(a.begin(), a.end());
    std::sort(b.begin(), b.end());
    std::vector<std::string> gone, added, out;
    std::set_difference(a.begin(), a.end(), b.begin(), b.end(), std::back_inserter(gone));
    std::set_difference(b.begin(), b.end(), a.begin(), a.end(), std::back_inserter(added));
    for (const std::string& l : gone)
        if (!names.Allowed(l, true)) out.push_back("- " + l);
    for (const std::string& l : added)
        if (!names.Allowed(l, false)) out.push_back("+ " + l);
    return out;
}

// The INF copies in the machine's INF folder that hold our first model.
inline void CollectOurInfCopies(const sim::Machine& m, ProductNames& names) {
    std::string folder = m.InfDirectory();
    for (const std::string& file : m.ListDirectory(folder)) {
        std::string path = folder + "\\" + file;
        if (m.IsDirectory(path)) continue;
        if (m.FileContents(path).find("\"KESTREL ZEP-4000\"") != std::string::npos)
            names.ourInfCopies.insert(UpperCopy(path));
    }
}

}  // namespace zep::test
