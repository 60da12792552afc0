// Unattended runs from whatever state a terminal is in: every combination of
// the eight parts of an installation, in each installed version, reaches the
// state asked for in one run, and a rerun changes nothing; the same for the
// removal, which leaves nothing once Windows has restarted. Then the
// refusals, and single faults that a clean rerun must mend.
#include <gtest/gtest.h>

#include <cstdio>
#include <set>

#include "removal/product_state.h"
#include "resources/string_tables.h"
#include "tests/host/deploy_runs.h"
#include "tests/host/fault_codes.h"
#include "tests/host/scenarios.h"

namespace zep::test {
namespace {

enum class Installed { This, Older, Newer, Unreadable };
const char* InstalledName(Installed v) {
    switch (v) {
        case Installed::This: return "This";
        case Installed::Older: return "Older";
        case Installed::Newer: return "Newer";
        case Installed::Unreadable: return "Unreadable";
    }
    return "?";
}
const char* const kVersionText[] = {"1.1.0.0", "1.0.0.0", "1.2.0.0"};
const uint32_t kMinor[] = {1, 0, 2};

const char* const kModels[] = {"KESTREL ZEP-4000", "KESTREL ZEP-4100"};
const char* const kDriver = "ZEP Character Type";
const char* const kCore[] = {"UNIDRV.DLL", "UNIDRVUI.DLL", "UNIDRV.HLP", "UNIRES.DLL", "STDNAMES.GPD"};

bool Has(unsigned parts, ProductPart p) { return (parts >> int(p)) & 1u; }

std::string PartsName(unsigned parts) {
    std::string name;
    for (int i = 0; i < kProductPartCount; ++i)
        if ((parts >> i) & 1u) name += std::string(name.empty() ? "" : "+") + ProductPartName(ProductPart(i));
    return name.empty() ? "nothing" : name;
}

// Where the product's files are on this Windows, as the installer leaves them.
struct Places {
    bool wow64;
    std::string env, monitorDir, processorDir, driverDir;
    explicit Places(const sim::Machine& m, Windows w)
        : wow64(w == Windows::Win7x64),
          env(DriverEnvironmentOf(w)),
          monitorDir(wow64 ? "C:\\Windows" : "C:\\Windows\\system32"),
          processorDir(m.PrintProcessorDirectory(env)),
          driverDir(m.DriverDirectory(env) + "\\3") {}
    std::vector<std::string> ProductFiles() const {
        std::vector<std::string> files = {monitorDir + "\\ZEPMON.dll", processorDir + "\\ZEPPRO.dll",
                                          processorDir + "\\ZEP.ini"};
        for (const char* f : {"ZEP1TE.gpd", "ZEP1TE.DLL", "ZEPUI1T.DLL", "ZEPUI1T.INI"})
            files.push_back(driverDir + "\\" + f);
        return files;
    }
};

std::string EntryValue(const std::string& name) {
    const std::string exe = "C:\\Windows\\ZEP\\ZEP_Uninstaller.exe";
    if (name == "UninstallString" || name == "DisplayIcon") return exe;
    if (name == "QuietUninstallString") return "\"" + exe + "\" /quiet";
    if (name == "DisplayName") return "KESTREL Customer Display Windows Driver V1.1.0E";
    return "KESTREL";  // Publisher
}

// A machine holding these parts of an installation in this version, put
// there directly, as older versions, half installations and hand-made
// deletions leave them.
void Arrange(sim::Machine& m, Windows w, unsigned parts, Installed version) {
    SetWindows(m, w);
    PrepareInstallerMachine(m);
    Places at(m, w);
    bool readable = version != Installed::Unreadable;
    int v = readable ? int(version) : 0;
    if (Has(parts, ProductPart::Monitor)) m.AddMonitorDirect("ZEP Language Monitor", "ZEPMON.dll");
    if (Has(parts, ProductPart::Processor)) m.AddPrintProcessorDirect("ZEP PRINT PROCESSOR", at.env, "ZEPPRO.dll");
    if (Has(parts, ProductPart::Driver)) {
        DriverInfo3 d;
        d.version = 3;
        d.name = kDriver;
        d.environment = at.env;
        d.driverPath = "UNIDRV.DLL";
        d.dataFile = "ZEP1TE.gpd";
        d.configFile = "UNIDRVUI.DLL";
        d.helpFile = "UNIDRV.HLP";
        d.dependentFiles = {"UNIRES.DLL", "STDNAMES.GPD", "ZEP1TE.DLL", "ZEPUI1T.DLL", "ZEPUI1T.INI"};
        d.monitorName = "ZEP Language Monitor";
        d.defaultDataType = "RAW";
        m.AddDriverDirect(d);
    }
    if (Has(parts, ProductPart::Printers)) {
        for (const char* model : kModels) {
            m.AddPrinterDirect(model, kDriver, "COM3:", "ZEP PRINT PROCESSOR");
            if (readable) m.SetPrinterVersion(model, 1, kMinor[v], 0, 0);
        }
    }
    if (Has(parts, ProductPart::DriverFiles)) {
        for (const std::string& file : at.ProductFiles()) m.AddFile(file, "older copy");
        for (const char* core : kCore) m.AddFile(at.driverDir + "\\" + core, "core");
    }
    if (Has(parts, ProductPart::InfCopy)) {
        m.AddFile("C:\\Windows\\inf\\oem3.inf", m.FileContents("C:\\Package\\Driver64\\ZEP.inf"));
        m.AddFile("C:\\Windows\\inf\\oem3.PNF", "precompiled");
    }
    if (Has(parts, ProductPart::UninstallEntry)) {
        for (const char* name : {"DisplayName", "UninstallString", "QuietUninstallString", "DisplayIcon", "Publisher"})
            m.SetRegString(kUninstallKey, name, EntryValue(name));
        if (readable) m.SetRegString(kUninstallKey, "DisplayVersion", kVersionText[v]);
        m.SetRegValue(kUninstallKey, "NoModify", kRegDword, std::string("\1\0\0\0", 4));
        m.SetRegValue(kUninstallKey, "NoRepair", kRegDword, std::string("\1\0\0\0", 4));
    }
    if (Has(parts, ProductPart::ProductFolder)) m.AddFile("C:\\Windows\\ZEP\\ZEP_Uninstaller.exe", "uninstaller");
}

bool IsModelPrinter(const std::string& name, const std::string& model) {
    return name == model || name.rfind(model + "(#", 0) == 0;
}

bool IsProductInf(const sim::Machine& m, const std::string& name) {
    return m.FileContents("C:\\Windows\\inf\\" + name) == m.FileContents("C:\\Package\\Driver64\\ZEP.inf");
}

// What of the whole installation of both models on COM3 is not there,
// seen through the machine itself, not through the programs' look.
std::vector<std::string> Missing(const sim::Machine& m, Windows w) {
    Places at(m, w);
    std::vector<std::string> out;
    auto need = [&](bool there, const std::string& what) {
        if (!there) out.push_back(what);
    };
    bool monitor = false, processor = false, driver = false, inf = false;
    for (const MonitorInfo2& x : m.Monitors()) monitor = monitor || x.name == "ZEP Language Monitor";
    for (const auto& [env, name] : m.PrintProcessors())
        processor = processor || (env == at.env && name == "ZEP PRINT PROCESSOR");
    for (const DriverInfo3& d : m.Drivers()) driver = driver || (d.name == kDriver && d.environment == at.env);
    need(monitor, "monitor");
    need(processor, "processor");
    need(driver, "driver");
    for (const char* model : kModels) {
        bool printer = false;
        for (const auto& p : m.Printers())
            printer = printer || (p.info.driverName == kDriver && p.info.portName == "COM3:" &&
                                  IsModelPrinter(p.info.printerName, model));
        need(printer, std::string("printer ") + model);
    }
    for (const std::string& file : at.ProductFiles()) need(m.Exists(file), file);
    for (const std::string& name : m.ListDirectory("C:\\Windows\\inf"))
        inf = inf || (name.rfind("oem", 0) == 0 && IsProductInf(m, name));
    need(inf, "INF copy");
    for (const char* name : {"DisplayName", "UninstallString", "QuietUninstallString", "DisplayIcon", "Publisher"})
        need(m.RegString(kUninstallKey, name) == EntryValue(name), std::string("entry ") + name);
    need(m.RegString(kUninstallKey, "DisplayVersion") == std::string("1.1.0.0"), "entry DisplayVersion");
    need(m.Exists("C:\\Windows\\ZEP\\ZEP_Uninstaller.exe"), "uninstaller");
    return out;
}

// Whatever of the product is still on the machine.
std::vector<std::string> Left(const sim::Machine& m, Windows w) {
    Places at(m, w);
    std::vector<std::string> out;
    for (const MonitorInfo2& x : m.Monitors())
        if (x.name == "ZEP Language Monitor") out.push_back("monitor");
    for (const auto& p : m.PrintProcessors())
        if (p.second == "ZEP PRINT PROCESSOR") out.push_back("processor");
    for (const DriverInfo3& d : m.Drivers())
        if (d.name == kDriver) out.push_back("driver");
    for (const auto& p : m.Printers())
        if (p.info.driverName == kDriver) out.push_back("printer " + p.info.printerName);
    std::vector<std::string> files = at.ProductFiles();
    files.push_back("C:\\Windows\\SysWOW64\\ZEPMON.dll");
    for (const std::string& file : files)
        if (m.Exists(file)) out.push_back(file);
    for (const std::string& name : m.ListDirectory("C:\\Windows\\inf"))
        if (IsProductInf(m, name)) out.push_back(name);
    for (const char* key : {kUninstallKey, kUninstallKeyOtherSpelling})
        for (bool view64 : {true, false})
            if (m.RegKeyExists(key, view64)) out.push_back(key);
    if (m.Exists("C:\\Windows\\ZEP")) out.push_back("C:\\Windows\\ZEP");
    return out;
}

const std::string kInstall = std::string("/quiet ") + kBoth;

// The uninstaller as the entry starts it: from its copy, in whatever folder.
int QuietUninstall(sim::Machine& m) {
    m.SetStringTable(UninstallerStringTable());
    m.SetApplicationName("ZEP_Uninstaller");
    m.SetProgramPath("C:\\Windows\\ZEP\\ZEP_Uninstaller.exe");
    m.SetCurrentDirectory("C:\\Windows\\system32");
    return Start(m, Program::Uninstaller, "/quiet").code;
}

int QuietInstall(sim::Machine& m) {
    PrepareInstallerMachine(m);
    m.SetProgramPath("C:\\Package\\ZEP_Installer.exe");
    return Start(m, Program::Installer, kInstall).code;
}

std::string Join(const std::vector<std::string>& items) {
    std::string out;
    for (const std::string& i : items) out += (out.empty() ? "" : ", ") + i;
    return out;
}

// ------------------------------------------------------------------ every state

struct MatrixCase {
    Windows windows;
    Installed version;
};

void PrintTo(const MatrixCase& c, std::ostream* os) {
    *os << WindowsName(c.windows) << ", " << InstalledName(c.version) << " installed";
}

class EveryState : public ::testing::TestWithParam<MatrixCase> {};

TEST_P(EveryState, OneQuietInstallationReachesItAndARerunChangesNothing) {
    const MatrixCase& c = GetParam();
    int inOne = 0;
    for (unsigned parts = 0; parts < (1u << kProductPartCount); ++parts) {
        SCOPED_TRACE(PartsName(parts));
        sim::Machine m;
        Arrange(m, c.windows, parts, c.version);
        std::string before = State(m);
        bool told = c.version != Installed::Unreadable &&
                    (Has(parts, ProductPart::Printers) || Has(parts, ProductPart::UninstallEntry));
        int code = QuietInstall(m);
        if (told && c.version == Installed::Newer) {
            EXPECT_EQ(code, 1638);
            EXPECT_TRUE(State(m) == before) << "the machine changed";
            continue;
        }
        // Without a restart only when this version's driver parts were all there.
        unsigned driverParts = (1u << int(ProductPart::Monitor)) | (1u << int(ProductPart::Processor)) |
                               (1u << int(ProductPart::Driver)) | (1u << int(ProductPart::DriverFiles)) |
                               (1u << int(ProductPart::InfCopy)) | (1u << int(ProductPart::ProductFolder));
        bool repair = told && c.version == Installed::This;
        EXPECT_EQ(code, repair && (parts & driverParts) == driverParts ? 0 : 3010);
        std::vector<std::string> missing = Missing(m, c.windows);
        EXPECT_TRUE(missing.empty()) << Join(missing);
        std::string installed = State(m);
        EXPECT_EQ(QuietInstall(m), 0);
        EXPECT_TRUE(State(m) == installed) << "the rerun changed the machine";
        if (missing.empty() && (code == 0 || code == 3010)) ++inOne;
    }
    std::printf("converge: %s %s: %d of 256 states reach the installation in one run\n",
                WindowsName(c.windows), InstalledName(c.version), inOne);
}

// The uninstaller asks no version: one pass per Windows is enough.
TEST(EveryStateRemoval, OneQuietRemovalLeavesNothingAfterTheRestart) {
    for (Windows windows : {Windows::Win7x64, Windows::Win7x86}) {
        for (unsigned parts = 0; parts < (1u << kProductPartCount); ++parts) {
            SCOPED_TRACE(std::string(WindowsName(windows)) + " " + PartsName(parts));
            sim::Machine m;
            Arrange(m, windows, parts, Installed::This);
            int code = QuietUninstall(m);
            EXPECT_EQ(code, parts == 0 ? 1605 : 3010);
            m.RestartWindows();
            std::vector<std::string> left = Left(m, windows);
            EXPECT_TRUE(left.empty()) << Join(left);
            EXPECT_EQ(QuietUninstall(m), 1605);
        }
    }
}

INSTANTIATE_TEST_SUITE_P(
    Converge, EveryState,
    ::testing::Values(MatrixCase{Windows::Win7x64, Installed::This}, MatrixCase{Windows::Win7x64, Installed::Older},
                      MatrixCase{Windows::Win7x64, Installed::Newer},
                      MatrixCase{Windows::Win7x64, Installed::Unreadable},
                      MatrixCase{Windows::Win7x86, Installed::This}, MatrixCase{Windows::Win7x86, Installed::Older},
                      MatrixCase{Windows::Win7x86, Installed::Newer},
                      MatrixCase{Windows::Win7x86, Installed::Unreadable}),
    [](const ::testing::TestParamInfo<MatrixCase>& info) {
        return std::string(info.param.windows == Windows::Win7x64 ? "Win7x64" : "Win7x86") +
               InstalledName(info.param.version);
    });

// ------------------------------------------------------------------ refusals

int InstallWith(sim::Machine& m, const std::string& args) {
    return Start(m, Program::Installer, args).code;
}

// What would fail for certain is refused before anything changes: here an
// older version stays installed, where the run would otherwise remove it.
TEST(ConvergeRefusals, ARunThatWouldFailForCertainChangesNothing) {
    const std::string policy = "SOFTWARE\\Policies\\Microsoft\\Windows NT\\Printers\\WPP";
    struct Case {
        const char* name;
        void (*arrange)(sim::Machine&, const std::string&);
        std::string args;
        int code;
        std::string line;  // "": not refused
    };
    const std::vector<Case> cases = {
        {"a package file", [](sim::Machine& m, const std::string&) { m.DeleteFileA("C:\\Package\\Driver64\\ZEP1TE.gpd"); },
         kInstall, 1603, "PACKAGE FILE MISSING : C:\\Package\\Driver64\\ZEP1TE.gpd"},
        {"the uninstaller", [](sim::Machine& m, const std::string&) { m.DeleteFileA("C:\\Package\\ZEP_Uninstaller.exe"); },
         kInstall, 1603, "PACKAGE FILE MISSING : C:\\Package\\ZEP_Uninstaller.exe"},
        {"a port the spooler lacks", [](sim::Machine&, const std::string&) {},
         "/quiet /model \"KESTREL ZEP-4000\" /port COM5", 1603, "PORT NOT FOUND : COM5:"},
        {"a disabled spooler", [](sim::Machine& m, const std::string&) { m.SetSpoolerStartType(kServiceDisabled); },
         kInstall, 1625, "THE PRINT SPOOLER SERVICE IS DISABLED : nothing can be installed"},
        {"protected print mode",
         [](sim::Machine& m, const std::string& key) {
             m.SetRegValue(key, "WindowsProtectedPrintGroupPolicyState", kRegDword, std::string("\1\0\0\0", 4));
         },
         kInstall, 1625, "WINDOWS PROTECTED PRINT MODE IS ON : it admits no driver of this kind"},
        {"protected print mode off",
         [](sim::Machine& m, const std::string& key) {
             m.SetRegValue(key, "WindowsProtectedPrintGroupPolicyState", kRegDword, std::string(4, '\0'));
         },
         kInstall, 3010, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        sim::Machine m;
        Arrange(m, Windows::Win7x64, (1u << kProductPartCount) - 1, Installed::Older);
        c.arrange(m, policy);
        std::string before = State(m);
        EXPECT_EQ(InstallWith(m, c.args), c.code);
        std::vector<std::string> log = LogLines(m.LogText("ZEP_Installer.txt"));
        if (c.line.empty()) {
            EXPECT_TRUE(Missing(m, Windows::Win7x64).empty());
            continue;
        }
        EXPECT_TRUE(State(m) == before) << "the machine changed";
        EXPECT_TRUE(Contains(log, c.line));
        EXPECT_FALSE(Contains(log, "INSTALLED VERSION : 1.0.0.0"));
    }
}

// Another driver's printer under a model's name, and the ports above COM4.
TEST(ConvergeRefusals, APrinterNameAnotherDriverHoldsIsNumberedAndEveryComPortTakesThePrinter) {
    sim::Machine m;
    PrepareInstallerMachine(m);
    m.AddDriverDirect("Other Driver", "Windows x64");
    m.AddPrinterDirect("KESTREL ZEP-4000", "Other Driver", "COM3:");
    EXPECT_EQ(QuietInstall(m), 3010);
    std::optional<sim::Machine::SimPrinter> ours = m.FindPrinter("KESTREL ZEP-4000(#1)");
    ASSERT_TRUE(ours.has_value());
    EXPECT_EQ(ours->info.driverName, kDriver);
    EXPECT_EQ(m.FindPrinter("KESTREL ZEP-4000")->info.driverName, "Other Driver");
    EXPECT_TRUE(Missing(m, Windows::Win7x64).empty());
    EXPECT_EQ(QuietInstall(m), 0);

    for (int n = 5; n <= 8; ++n) {
        std::string port = "COM" + std::to_string(n);
        SCOPED_TRACE(port);
        sim::Machine c;
        PrepareInstallerMachine(c);
        c.SetPorts({"COM1:", "COM2:", "COM3:", "COM4:", "COM5:", "COM6:", "COM7:", "COM8:", "LPT1:"});
        EXPECT_EQ(InstallWith(c, "/quiet /model \"KESTREL ZEP-4100\" /port " + port), 3010);
        std::optional<sim::Machine::SimPrinter> printer = c.FindPrinter("KESTREL ZEP-4100");
        ASSERT_TRUE(printer.has_value());
        EXPECT_EQ(printer->info.portName, port + ":");
    }
}

// ------------------------------------------------------------------ single faults

// Every (routine, call) place a clean run of `run` on `arranged` reaches.
std::set<std::pair<std::string, std::string>> Sites(const sim::Machine& arranged, int (*run)(sim::Machine&)) {
    sim::Machine probe(arranged);
    probe.ClearCalls();
    run(probe);
    std::set<std::pair<std::string, std::string>> sites;
    for (const sim::CallRecord& call : probe.Calls())
        if (!Unfailable(call.call)) sites.insert({call.routine, call.call});
    return sites;
}

uint32_t FirstCode(const std::string& call) {
    auto it = Codes().find(call);
    return it == Codes().end() || it->second.empty() ? kErrAccessDenied : it->second.front();
}

// A call that fails once, wherever a quiet installation makes it: the run
// fails, or ends as a success with nothing missing; a clean rerun then
// reaches the installation.
TEST(ConvergeFaults, AnInstallationCallFailingOnceIsMendedByOneCleanRerun) {
    struct Start {
        Windows windows;
        unsigned parts;
        Installed version;
    };
    const unsigned all = (1u << kProductPartCount) - 1;
    for (const Start& start : {Start{Windows::Win7x64, 0, Installed::This}, Start{Windows::Win7x86, 0, Installed::This},
                               Start{Windows::Win7x64, all, Installed::Older},
                               Start{Windows::Win7x64, all & ~(1u << int(ProductPart::UninstallEntry)), Installed::This}}) {
        sim::Machine arranged;
        Arrange(arranged, start.windows, start.parts, start.version);
        for (const auto& [routine, call] : Sites(arranged, QuietInstall)) {
            SCOPED_TRACE(std::string(WindowsName(start.windows)) + " from " + PartsName(start.parts) + ", " +
                         routine + "/" + call);
            sim::Machine m(arranged);
            m.InjectFault(Fault(call).In(routine).Fails(FirstCode(call)));
            std::string before = State(arranged);
            int code = QuietInstall(m);
            std::vector<std::string> missing = Missing(m, start.windows);
            if (code == 1618) {
                EXPECT_TRUE(State(m) == before);  // taken for another run: nothing changed
            } else if (code != 1603) {
                EXPECT_TRUE(code == 0 || code == 3010) << code;
                EXPECT_TRUE(missing.empty()) << "ended " << code << " with " << Join(missing) << " missing";
            }
            m.ClearFaults();
            code = QuietInstall(m);
            EXPECT_TRUE(code == 0 || code == 3010) << code;
            missing = Missing(m, start.windows);
            EXPECT_TRUE(missing.empty()) << Join(missing);
        }
    }
}

// The same for a quiet removal: it fails, or nothing is left after the
// restart; a clean rerun then leaves nothing.
TEST(ConvergeFaults, ARemovalCallFailingOnceIsMendedByOneCleanRerun) {
    for (Windows w : {Windows::Win7x64, Windows::Win7x86}) {
        sim::Machine arranged;
        Arrange(arranged, w, (1u << kProductPartCount) - 1, Installed::This);
        for (const auto& [routine, call] : Sites(arranged, QuietUninstall)) {
            SCOPED_TRACE(std::string(WindowsName(w)) + ", " + routine + "/" + call);
            sim::Machine m(arranged);
            m.InjectFault(Fault(call).In(routine).Fails(FirstCode(call)));
            int code = QuietUninstall(m);
            EXPECT_TRUE(code == 1603 || code == 3010 || (code == 1618 && State(m) == State(arranged))) << code;
            if (code == 3010) {
                sim::Machine restarted(m);
                restarted.ClearFaults();
                restarted.RestartWindows();
                std::vector<std::string> left = Left(restarted, w);
                EXPECT_TRUE(left.empty()) << "ended 3010 with " << Join(left) << " left";
            }
            m.ClearFaults();
            code = QuietUninstall(m);
            EXPECT_TRUE(code == 3010 || code == 1605) << code;
            m.RestartWindows();
            std::vector<std::string> left = Left(m, w);
            EXPECT_TRUE(left.empty()) << Join(left);
        }
    }
}

}  // namespace
}  // namespace zep::test
