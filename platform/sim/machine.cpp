// The simulated machine: construction, configuration, call records, fault
// injection and the state snapshot.
#include <algorithm>
#include <cstdio>
#include <tuple>

#include "platform/sim/state.h"

namespace zep::sim {

using Lock = std::lock_guard<std::recursive_mutex>;

namespace {

struct ServicePack {
    uint32_t build;
    const char* text;
    uint16_t number;
};

// The service pack that each preset's build number stands for.
constexpr ServicePack kServicePacks[] = {
    {1381, "Service Pack 6", 6}, {2195, "Service Pack 4", 4}, {2600, "Service Pack 3", 3},
    {3790, "Service Pack 2", 2}, {6002, "Service Pack 2", 2}, {7601, "Service Pack 1", 1},
};

std::string Quoted(const std::string& s) { return "\"" + s + "\""; }

std::string ValueText(const RegValue& v) {
    if ((v.type == kRegSz || v.type == 2) && !v.data.empty() && v.data.back() == '\0' &&
        v.data.find('\0') == v.data.size() - 1)
        return Quoted(v.data.substr(0, v.data.size() - 1));
    // REG_MULTI_SZ that ends as it must: its strings, quoted.
    if (v.type == 7 && v.data.size() >= 2 && v.data.compare(v.data.size() - 2, 2, std::string(2, '\0')) == 0) {
        std::string out = "multi:";
        size_t at = 0;
        while (at + 1 < v.data.size()) {
            size_t end = v.data.find('\0', at);
            out += (at ? "," : "") + Quoted(v.data.substr(at, end - at));
            at = end + 1;
        }
        return out;
    }
    return "hex:" + HexBytes(v.data);
}

}  // namespace

void Machine::State::Call::Fail(uint32_t error) {
    s->calls[index].failed = true;
    s->calls[index].error = error;
}

Machine::State::State()
    : version{kVerPlatformWin32Nt, 6, 1, 7601, "Service Pack 1", 1, 0, 0x100, kVerNtWorkstation} {
    BuildDefaultFolders();
    BuildDefaultFiles();
    BuildDefaultRegistry();
    BuildDefaultSpooler();
}

Machine::State::Call Machine::State::Begin(const char* call, std::string args, bool faultable) {
    CallRecord rec;
    rec.call = call;
    rec.args = std::move(args);
    rec.routine = CurrentRoutine();
    calls.push_back(rec);
    Call c;
    c.s = this;
    c.index = calls.size() - 1;
    if (!faultable) return c;
    // Every fault counts the calls that match it; the first one that is due
    // (past its skip, with times left) makes this call fail.
    for (FaultState& f : faults) {
        if (!f.fault.call.empty() && f.fault.call != rec.call) continue;
        if (!f.fault.routine.empty() && f.fault.routine != rec.routine) continue;
        if (!f.fault.argContains.empty() && !IContains(rec.args, f.fault.argContains)) continue;
        ++f.matched;
        if (c.fault || f.matched <= f.fault.skip) continue;
        if (f.fault.times >= 0 && f.fired >= f.fault.times) continue;
        ++f.fired;
        c.fault = f.fault.error;
    }
    return c;
}

int Machine::State::Answer(uint32_t style) {
    if (!answers.empty()) {
        int a = answers.front();
        answers.pop_front();
        return a;
    }
    // Unscripted, the user takes the answer that changes nothing.
    switch (style & 0xF) {
        case kMbOk: return kIdOk;
        case 2: return 3;  // abort/retry/ignore: IDABORT
        case kMbYesNo: return kIdNo;
        default: return kIdCancel;
    }
}

// ---------------------------------------------------------------- construction

Machine::Machine() : s_(std::make_unique<State>()) {}

Machine::~Machine() = default;

Machine::Machine(const Machine& other) : Kernel(), Advapi(), User(), Spooler(), Setup() {
    Lock g(other.mutex_);
    s_ = std::make_unique<State>(*other.s_);
}

Platform Machine::platform() { return Platform{*this, *this, *this, *this, *this}; }

// ---------------------------------------------------------------- configuration

void Machine::SetVersion(const VersionPreset& v) {
    OsVersion o;
    o.platformId = v.platformId;
    o.major = v.major;
    o.minor = v.minor;
    o.build = v.build;
    o.productType = v.productType;
    if (v.platformId == kVerPlatformWin32Nt) {
        for (const ServicePack& sp : kServicePacks)
            if (sp.build == v.build) {
                o.csdVersion = sp.text;
                o.servicePackMajor = sp.number;
            }
        if (v.major > 5 || (v.major == 5 && v.minor >= 1)) o.suiteMask = 0x100;
    }
    SetVersion(o);
}

void Machine::SetVersion(const OsVersion& v) {
    Lock g(mutex_);
    s_->version = v;
}

void Machine::SetWindows64(bool is64) {
    Lock g(mutex_);
    s_->windows64 = is64;
    if (is64) {
        s_->MakeDirs(s_->Wow64Dir());
        if (!s_->FileExistsNative(s_->Wow64Dir() + "\\net.exe"))
            s_->PutFile(s_->Wow64Dir() + "\\net.exe", "MZ net", kFileAttributeArchive);
        s_->RegEnsure("HKLM\\SOFTWARE\\Wow6432Node\\Microsoft\\Windows\\CurrentVersion\\Uninstall");
    } else {
        PathRef r = s_->Resolve(s_->Wow64Dir(), false, false);
        if (r.ok) s_->RemoveTree(r.key);  // 32-bit Windows has no such folder
        s_->RegDeleteTree("HKLM\\SOFTWARE\\Wow6432Node");
    }
    for (MonitorInfo2& m : s_->monitors) m.environment = s_->NativeEnvironment();
}

void Machine::SetWindowsDirectory(const std::string& dir) {
    Lock g(mutex_);
    std::string d = dir;
    while (d.size() > 3 && (d.back() == '\\' || d.back() == '/')) d.pop_back();
    // The Windows tree moves with everything the test put there.
    PathRef from = s_->Resolve(s_->windowsDir, false, false);
    size_t cut = d.find_last_of("\\/");
    if (cut != std::string::npos) s_->MakeDirs(d.substr(0, cut + 1));
    PathRef to = s_->Resolve(d, false, false);
    if (!to.ok) return;
    if (from.ok && s_->Find(from.key) && !s_->Find(to.key) && from.key != to.key)
        s_->MoveTree(from.key, to.key, to.display);
    s_->windowsDir = s_->Resolve(d, false, false).display;
    s_->BuildDefaultFolders();
}

void Machine::SetCurrentDirectory(const std::string& dir) {
    Lock g(mutex_);
    s_->MakeDirs(dir);
    PathRef r = s_->Resolve(dir, false, true);
    if (r.ok) {
        std::string d = r.display;
        if (d.size() > 3 && d.back() == '\\') d.pop_back();
        s_->currentDir = d;
    }
}

void Machine::SetProgramPath(const std::string& path) {
    Lock g(mutex_);
    s_->programPath = path;
}

void Machine::SetHasIsWow64Process(bool present) {
    Lock g(mutex_);
    s_->hasIsWow64 = present;
}

void Machine::SetHasRegDeleteKeyEx(bool present) {
    Lock g(mutex_);
    s_->hasRegDeleteKeyEx = present;
}

void Machine::SetHasSetupUninstallOEMInf(bool present) {
    Lock g(mutex_);
    s_->hasUninstallOem = present;
}

void Machine::SetHasGetSystemWow64Directory(bool present) {
    Lock g(mutex_);
    s_->hasWow64Dir = present;
}

void Machine::SetRefusesExtendedVersionInfo(bool refuses) {
    Lock g(mutex_);
    s_->refusesExtended = refuses;
}

void Machine::SetShutdownPrivilege(bool held) {
    Lock g(mutex_);
    s_->shutdownHeld = held;
    if (!held) s_->shutdownEnabled = false;
}

void Machine::SetStringTable(std::map<uint32_t, std::string> table) {
    Lock g(mutex_);
    s_->strings = std::move(table);
}

void Machine::SetApplicationName(const std::string& name) {
    Lock g(mutex_);
    s_->appName = name;
}

// ---------------------------------------------------------------- the user

void Machine::ScriptAnswers(std::vector<int> answers) {
    Lock g(mutex_);
    s_->answers.insert(s_->answers.end(), answers.begin(), answers.end());
}

void Machine::RecordUi(UiEvent event) {
    Lock g(mutex_);
    s_->ui.push_back(std::move(event));
}

std::vector<UiEvent> Machine::Ui() const {
    Lock g(mutex_);
    return s_->ui;
}

std::vector<UiEvent> Machine::Ui(const std::string& kind) const {
    Lock g(mutex_);
    std::vector<UiEvent> out;
    for (const UiEvent& e : s_->ui)
        if (e.kind == kind) out.push_back(e);
    return out;
}

std::vector<std::string> Machine::BoxTexts() const {
    std::vector<std::string> out;
    for (const UiEvent& e : Ui("box")) out.push_back(e.text);
    return out;
}

// ---------------------------------------------------------------- time and processes

uint64_t Machine::ElapsedMs() const {
    Lock g(mutex_);
    return s_->elapsed;
}

std::vector<uint32_t> Machine::Pauses() const {
    Lock g(mutex_);
    return s_->pauses;
}

bool Machine::Exited() const {
    Lock g(mutex_);
    return s_->exited;
}

int Machine::ExitCode() const {
    Lock g(mutex_);
    return s_->exitCode;
}

std::vector<uint32_t> Machine::Restarts() const {
    Lock g(mutex_);
    return s_->restarts;
}

std::vector<std::string> Machine::Commands() const {
    Lock g(mutex_);
    return s_->commands;
}

// ---------------------------------------------------------------- faults and calls

void Machine::InjectFault(const Fault& fault) {
    Lock g(mutex_);
    s_->faults.push_back(FaultState{fault, 0, 0});
}

void Machine::ClearFaults() {
    Lock g(mutex_);
    s_->faults.clear();
}

std::vector<CallRecord> Machine::Calls() const {
    Lock g(mutex_);
    return s_->calls;
}

std::vector<CallRecord> Machine::Calls(const std::string& call) const {
    Lock g(mutex_);
    std::vector<CallRecord> out;
    for (const CallRecord& c : s_->calls)
        if (c.call == call) out.push_back(c);
    return out;
}

void Machine::ClearCalls() {
    Lock g(mutex_);
    s_->calls.clear();
}

std::vector<std::string> Machine::HandleMisuse() const {
    Lock g(mutex_);
    return s_->misuse;
}

// ---------------------------------------------------------------- snapshot

std::string Machine::Snapshot() const {
    Lock g(mutex_);
    const State& s = *s_;
    std::string out = "== files\n";
    for (const auto& [key, e] : s.fs) {
        out += (e.path.size() == 2 ? e.path + "\\" : e.path) + (e.dir ? " dir " : " file ") +
               Hex(s.ReadAttributes(e));
        if (!e.dir) {
            char hash[32];
            std::snprintf(hash, sizeof hash, "%016llx", static_cast<unsigned long long>(Fnv1a(e.data)));
            out += " size=" + std::to_string(e.data.size()) + " hash=" + hash;
        }
        if (!e.junction.empty()) {
            const FsEntry* t = s.Find(e.junction);
            out += " -> " + (t ? t->path : e.junction);
        }
        if (e.nullDacl) out += " dacl=null";
        for (const AceRecord& a : e.acl)
            out += " ace=" + a.trustee + ":" + Hex(a.permissions) + "/" + Hex(a.inheritance);
        out += "\n";
    }

    out += "== registry\n";
    for (const auto& [key, n] : s.reg) {
        out += "[" + n.path + "]\n";
        for (const RegValue& v : n.values)
            out += "  " + Quoted(v.name) + " type=" + std::to_string(v.type) + " " + ValueText(v) + "\n";
    }

    out += "== spooler\n";
    out += std::string("running=") + (s.spoolerRunning ? "1" : "0") + "\nports=";
    for (size_t i = 0; i < s.ports.size(); ++i) out += (i ? "," : "") + s.ports[i];
    out += "\n";
    for (const auto& [device, config] : s.commConfigs)
        out += "comm " + device + " " + std::to_string(config.baudRate) + "/" +
               std::to_string(config.parity) + "/" + std::to_string(config.byteSize) + "/" +
               std::to_string(config.stopBits) + "\n";
    std::vector<MonitorInfo2> monitors = s.monitors;
    std::sort(monitors.begin(), monitors.end(), [](const MonitorInfo2& a, const MonitorInfo2& b) {
        return Upper(a.name) < Upper(b.name);
    });
    for (const MonitorInfo2& m : monitors)
        out += "monitor " + Quoted(m.name) + " env=" + m.environment + " dll=" + m.dllName + "\n";
    std::vector<SimProcessor> processors = s.processors;
    std::sort(processors.begin(), processors.end(), [](const SimProcessor& a, const SimProcessor& b) {
        return std::make_pair(a.env, Upper(a.name)) < std::make_pair(b.env, Upper(b.name));
    });
    for (const SimProcessor& p : processors)
        out += "processor " + p.env + " " + Quoted(p.name) + " dll=" + p.dll + "\n";
    std::vector<DriverInfo3> drivers = s.drivers;
    std::sort(drivers.begin(), drivers.end(), [](const DriverInfo3& a, const DriverInfo3& b) {
        return std::make_tuple(a.environment, a.version, Upper(a.name)) <
               std::make_tuple(b.environment, b.version, Upper(b.name));
    });
    for (const DriverInfo3& d : drivers) {
        out += "driver " + d.environment + " v" + std::to_string(d.version) + " " + Quoted(d.name) +
               " driver=" + d.driverPath + " data=" + d.dataFile + " config=" + d.configFile +
               " help=" + d.helpFile + " deps=";
        for (size_t i = 0; i < d.dependentFiles.size(); ++i) out += (i ? "," : "") + d.dependentFiles[i];
        out += " monitor=" + Quoted(d.monitorName) + " datatype=" + d.defaultDataType + "\n";
    }
    for (const auto& [key, p] : s.printers) {
        const PrinterInfo2& i = p.info;
        out += "printer " + Quoted(i.printerName) + " port=" + i.portName + " driver=" +
               Quoted(i.driverName) + " processor=" + Quoted(i.printProcessor) +
               " datatype=" + i.datatype + " attributes=" + Hex(i.attributes) +
               " priority=" + std::to_string(i.priority) + " status=" + Hex(i.status) +
               " share=" + Quoted(i.shareName) + " comment=" + Quoted(i.comment) +
               " location=" + Quoted(i.location) + " pending=" + (p.pendingDeletion ? "1" : "0") +
               " jobs=" + std::to_string(p.jobs.size()) + "\n";
        for (const auto& [name, value] : p.data)
            out += "  data " + Quoted(name) + " type=" + std::to_string(value.first) + " hex:" +
                   HexBytes(value.second) + "\n";
    }
    for (const FormInfo1& f : s.forms)
        out += "form " + Quoted(f.name) + ((f.flags & 1) ? " builtin " : " user ") +
               std::to_string(f.width) + "x" + std::to_string(f.height) + "\n";
    return out;
}

}  // namespace zep::sim
