// The simulated print spooler: environments, monitors, print processors,
// drivers, printers with their data and jobs, forms and ports.
#include <algorithm>

#include "platform/sim/state.h"

namespace zep::sim {

using Lock = std::lock_guard<std::recursive_mutex>;

namespace {

constexpr const char* kX86 = "Windows NT x86";
constexpr const char* kX64 = "Windows x64";
constexpr const char* kPrintKey = "HKLM\\SYSTEM\\CurrentControlSet\\Control\\Print";

constexpr uint32_t kPrinterStatusPendingDeletion = 0x4;
constexpr uint32_t kPrinterAccessAdminister = 0x4;
constexpr uint32_t kPrinterAccessUse = 0x8;
constexpr uint32_t kDelete = 0x10000;
constexpr uint32_t kDpdDeleteSpecificVersion = 0x2;
constexpr uint32_t kFormBuiltin = 0x1;
constexpr uint32_t kErrInvalidFormSize = 1903;
constexpr uint32_t kErrPrinterDeleted = 1905;
constexpr uint32_t kPrinterEnumName = 0x8;

std::string Leaf(const std::string& path) {
    size_t cut = path.find_last_of("\\/");
    return cut == std::string::npos ? path : path.substr(cut + 1);
}

bool HasFolder(const std::string& name) { return name.find_first_of("\\/:") != std::string::npos; }

// Only the local spooler is reachable.
uint32_t ServerCheck(const char* server) {
    return server && *server ? kErrRpcServerUnavailable : 0;
}

bool ValidPrinterName(const std::string& name) {
    return !name.empty() && name.size() < 221 && name.find_first_of("\\,!") == std::string::npos;
}

}  // namespace

// ---------------------------------------------------------------- state

std::string Machine::State::NativeEnvironment() const { return windows64 ? kX64 : kX86; }

std::string Machine::State::CanonicalEnv(const char* env) const {
    // The program is 32-bit: without an environment the spooler answers for x86.
    if (!env || !*env) return kX86;
    if (IEquals(env, kX86)) return kX86;
    if (IEquals(env, kX64)) return kX64;
    return "";
}

std::string Machine::State::EnvDir(const std::string& canonicalEnv) const {
    return canonicalEnv == kX64 ? "x64" : "w32x86";
}

std::string Machine::State::DriverDir(const std::string& env) const {
    return SystemDir() + "\\spool\\drivers\\" + EnvDir(env);
}

std::string Machine::State::ProcessorDir(const std::string& env) const {
    return SystemDir() + "\\spool\\prtprocs\\" + EnvDir(env);
}

std::string Machine::State::DriverKey(const std::string& env, uint32_t version,
                                      const std::string& name) const {
    return std::string(kPrintKey) + "\\Environments\\" + env + "\\Drivers\\Version-" +
           std::to_string(version) + "\\" + name;
}

std::string Machine::State::ProcessorKey(const std::string& env, const std::string& name) const {
    return std::string(kPrintKey) + "\\Environments\\" + env + "\\Print Processors\\" + name;
}

std::string Machine::State::MonitorKey(const std::string& name) const {
    return std::string(kPrintKey) + "\\Monitors\\" + name;
}

// The spooler keeps its components in the registry as Windows does, so a key
// deleted behind its back takes the component away at the next start.
void Machine::State::MirrorDriver(const DriverInfo3& d) {
    std::string key = DriverKey(d.environment, d.version, d.name);
    RegDeleteTree(key);
    RegEnsure(key);
    RegSetValue(key, "Configuration File", kRegSz, SzBytes(d.configFile));
    RegSetValue(key, "Data File", kRegSz, SzBytes(d.dataFile));
    RegSetValue(key, "Driver", kRegSz, SzBytes(d.driverPath));
    RegSetValue(key, "Help File", kRegSz, SzBytes(d.helpFile));
    RegSetValue(key, "Dependent Files", 7 /*REG_MULTI_SZ*/, MultiSzBytes(d.dependentFiles));
    RegSetValue(key, "Monitor", kRegSz, SzBytes(d.monitorName));
    RegSetValue(key, "Datatype", kRegSz, SzBytes(d.defaultDataType));
    RegSetValue(key, "Version", kRegDword, DwordBytes(d.version));
}

void Machine::State::MirrorProcessor(const SimProcessor& p) {
    RegSetValue(ProcessorKey(p.env, p.name), "Driver", kRegSz, SzBytes(p.dll));
}

void Machine::State::MirrorMonitor(const MonitorInfo2& m) {
    RegSetValue(MonitorKey(m.name), "Driver", kRegSz, SzBytes(m.dllName));
}

void Machine::State::StartSpooler() {
    spoolerTargetAt = kNever;
    if (spoolerRunning) return;
    spoolerRunning = true;
    // A start that was pending goes on in the process it named.
    if (spoolerState != kServiceStartPending) spoolerPid = nextPid += 4;
    spoolerState = kServiceRunning;
    // Components whose keys were deleted while it was down are gone now.
    drivers.erase(std::remove_if(drivers.begin(), drivers.end(),
                                 [&](const DriverInfo3& d) {
                                     return !RegFind(DriverKey(d.environment, d.version, d.name));
                                 }),
                  drivers.end());
    processors.erase(std::remove_if(processors.begin(), processors.end(),
                                    [&](const SimProcessor& p) {
                                        return !RegFind(ProcessorKey(p.env, p.name));
                                    }),
                     processors.end());
    monitors.erase(std::remove_if(monitors.begin(), monitors.end(),
                                  [&](const MonitorInfo2& m) { return !RegFind(MonitorKey(m.name)); }),
                   monitors.end());
}

void Machine::State::StopSpooler() {
    spoolerTargetAt = kNever;
    spoolerState = kServiceStopped;
    spoolerPid = 0;
    if (!spoolerRunning) return;
    spoolerRunning = false;
    // The handles belonged to the service that just ended.
    printerHandles.clear();
}

void Machine::State::NetStopSpooler() {
    // A service that is stopped or on its way changes nothing.
    if (spoolerState != kServiceRunning) return;
    uint32_t pid = spoolerPid;
    StopSpooler();
    if (spoolerTiming.stopMs == 0 && spoolerTiming.exitMs == 0) return;
    spoolerState = kServiceStopPending;
    spoolerPid = pid;
    spoolerTarget = kServiceStopped;
    spoolerTargetAt = Later(spoolerTiming.stopMs);
    uint64_t endsAt = spoolerTargetAt == kNever || spoolerTiming.exitMs == Machine::kNever
                          ? kNever
                          : spoolerTargetAt + spoolerTiming.exitMs;
    endingProcesses.push_back({pid, endsAt});
    // Until its process has ended, the files it loaded stay open.
    std::vector<std::string> prefixes;
    for (const char* folder : {"\\spool\\drivers", "\\spool\\prtprocs"}) {
        PathRef r = Resolve(SystemDir() + folder, false, true);
        if (r.ok) prefixes.push_back(r.key + "\\");
    }
    for (const auto& [key, entry] : fs) {
        bool loaded = false;
        for (const std::string& prefix : prefixes) loaded |= key.compare(0, prefix.size(), prefix) == 0;
        if (loaded && !entry.dir) holds.push_back(Hold{key, kGenericRead, kFileShareRead, pid});
    }
    AdvanceClock(0);
}

void Machine::State::NetStartSpooler() {
    // Running already, or still on its way down or up: "net start" is refused.
    if (spoolerState != kServiceStopped || spoolerStartType == kServiceDisabled) return;
    if (spoolerTiming.startMs == 0) {
        StartSpooler();
        return;
    }
    spoolerState = kServiceStartPending;
    spoolerPid = nextPid += 4;
    spoolerTarget = kServiceRunning;
    spoolerTargetAt = Later(spoolerTiming.startMs);
}

void Machine::State::AdvanceClock(uint64_t ms) {
    elapsed += ms;
    if (spoolerTargetAt <= elapsed) {
        if (spoolerTarget == kServiceRunning)
            StartSpooler();
        else
            StopSpooler();
    }
    for (auto it = endingProcesses.begin(); it != endingProcesses.end();) {
        if (it->endsAt > elapsed) {
            ++it;
            continue;
        }
        uint32_t pid = it->pid;
        holds.erase(std::remove_if(holds.begin(), holds.end(),
                                   [&](const Hold& h) { return h.process == pid; }),
                    holds.end());
        it = endingProcesses.erase(it);
    }
    for (auto it = leavingJobs.begin(); it != leavingJobs.end();) {
        if (it->at > elapsed) {
            ++it;
            continue;
        }
        SimPrinter* p = FindPrinterByName(it->printer);
        if (p) {
            p->jobs.erase(std::remove(p->jobs.begin(), p->jobs.end(), it->jobId), p->jobs.end());
            if (p->jobs.empty() && p->pendingDeletion) RemovePrinter(it->printer);
        }
        it = leavingJobs.erase(it);
    }
}

bool Machine::State::ProcessAlive(uint32_t pid, uint64_t* endsAt) const {
    for (const EndingProcess& p : endingProcesses)
        if (p.pid == pid) {
            *endsAt = p.endsAt;
            return true;
        }
    *endsAt = kNever;
    return pid != 0 && pid == spoolerPid;
}

Machine::SimPrinter* Machine::State::FindPrinterByName(const std::string& name) {
    auto it = printers.find(Upper(name));
    return it == printers.end() ? nullptr : &it->second;
}

void Machine::State::RemovePrinter(const std::string& upperName) { printers.erase(upperName); }

DriverInfo3 Machine::State::FullPaths(const DriverInfo3& d) const {
    DriverInfo3 out = d;
    std::string dir = DriverDir(d.environment) + "\\" + std::to_string(d.version) + "\\";
    auto full = [&](std::string& f) {
        if (!f.empty()) f = dir + Leaf(f);
    };
    full(out.driverPath);
    full(out.dataFile);
    full(out.configFile);
    full(out.helpFile);
    for (std::string& f : out.dependentFiles) full(f);
    return out;
}

bool Machine::State::DriverInUse(const std::string& env, const std::string& name) const {
    if (env != NativeEnvironment()) return false;  // printers use the native driver
    for (const auto& [key, p] : printers)
        if (IEquals(p.info.driverName, name)) return true;
    return false;
}

uint32_t Machine::State::PrinterFor(HPrinter h, PrinterHandle** handle, SimPrinter** printer) {
    if (!spoolerRunning) return kErrRpcServerUnavailable;
    auto it = printerHandles.find(uintptr_t(h));
    if (it == printerHandles.end()) return kErrInvalidHandle;
    *handle = &it->second;
    *printer = nullptr;
    if (it->second.server) return 0;
    *printer = FindPrinterByName(it->second.printer);
    return *printer ? 0 : kErrInvalidHandle;
}

std::string Machine::State::PrinterArgs(HPrinter h) const {
    auto it = printerHandles.find(uintptr_t(h));
    if (it == printerHandles.end()) return "?";
    if (it->second.server) return "";
    auto p = printers.find(it->second.printer);
    return p != printers.end() ? p->second.info.printerName : it->second.printer;
}

void Machine::State::BuildDefaultSpooler() {
    ports = {"COM1:", "COM2:", "COM3:", "COM4:", "LPT1:", "FILE:"};
    for (const char* env : {kX86, kX64}) {
        SimProcessor p{env, "WinPrint", "winprint.dll"};
        processors.push_back(p);
        MirrorProcessor(p);
    }
    forms = {{kFormBuiltin, "Letter", 215900, 279400},
             {kFormBuiltin, "Legal", 215900, 355600},
             {kFormBuiltin, "A4", 210000, 297000},
             {kFormBuiltin, "A5", 148000, 210000},
             {kFormBuiltin, "Executive", 184150, 266700}};
}

// ---------------------------------------------------------------- helpers

void Machine::AddPrinterDirect(const std::string& name, const std::string& driver,
                               const std::string& port, const std::string& processor) {
    Lock g(mutex_);
    s_->RemovePrinter(Upper(name));
    SimPrinter p;
    p.info.printerName = name;
    p.info.driverName = driver;
    p.info.portName = port;
    p.info.printProcessor = processor;
    p.info.datatype = "RAW";
    s_->printers.emplace(Upper(name), std::move(p));
}

void Machine::SetPrinterVersion(const std::string& printer, uint32_t major, uint32_t minor,
                                uint32_t build, std::optional<uint32_t> extra) {
    Lock g(mutex_);
    SimPrinter* p = s_->FindPrinterByName(printer);
    if (!p) return;
    p->data["MajorVersion"] = {kRegDword, DwordBytes(major)};
    p->data["MinorVersion"] = {kRegDword, DwordBytes(minor)};
    p->data["BuildVersion"] = {kRegDword, DwordBytes(build)};
    if (extra)
        p->data["ExtraVersion"] = {kRegDword, DwordBytes(*extra)};
    else
        p->data.erase("ExtraVersion");
}

void Machine::SetPrinterDataDirect(const std::string& printer, const std::string& name,
                                   uint32_t type, const std::string& data) {
    Lock g(mutex_);
    if (SimPrinter* p = s_->FindPrinterByName(printer)) {
        for (auto it = p->data.begin(); it != p->data.end(); ++it)
            if (IEquals(it->first, name)) {
                p->data.erase(it);
                break;
            }
        p->data[name] = {type, data};
    }
}

uint32_t Machine::AddJob(const std::string& printer) {
    Lock g(mutex_);
    SimPrinter* p = s_->FindPrinterByName(printer);
    if (!p) return 0;
    uint32_t id = s_->nextJobId++;
    p->jobs.push_back(id);
    return id;
}

void Machine::FinishJobs(const std::string& printer) {
    Lock g(mutex_);
    SimPrinter* p = s_->FindPrinterByName(printer);
    if (!p) return;
    p->jobs.clear();
    if (p->pendingDeletion) s_->RemovePrinter(Upper(p->info.printerName));
}

void Machine::AddDriverDirect(const std::string& name, const std::string& environment,
                              const std::string& monitor) {
    DriverInfo3 d;
    d.version = 3;
    d.name = name;
    d.environment = environment;
    d.driverPath = "UNIDRV.DLL";
    d.dataFile = name + ".GPD";
    d.configFile = "UNIDRVUI.DLL";
    d.monitorName = monitor;
    d.defaultDataType = "RAW";
    AddDriverDirect(d);
}

void Machine::AddDriverDirect(const DriverInfo3& info) {
    Lock g(mutex_);
    DriverInfo3 d = info;
    d.environment = s_->CanonicalEnv(info.environment.c_str());
    if (info.environment.empty() || d.environment.empty()) d.environment = s_->NativeEnvironment();
    auto& v = s_->drivers;
    v.erase(std::remove_if(v.begin(), v.end(),
                           [&](const DriverInfo3& x) {
                               return IEquals(x.name, d.name) && x.environment == d.environment &&
                                      x.version == d.version;
                           }),
            v.end());
    v.push_back(d);
    s_->MirrorDriver(d);
}

void Machine::AddMonitorDirect(const std::string& name, const std::string& dll) {
    Lock g(mutex_);
    MonitorInfo2 m{name, s_->NativeEnvironment(), dll};
    auto& v = s_->monitors;
    v.erase(std::remove_if(v.begin(), v.end(),
                           [&](const MonitorInfo2& x) { return IEquals(x.name, name); }),
            v.end());
    v.push_back(m);
    s_->MirrorMonitor(m);
}

void Machine::AddPrintProcessorDirect(const std::string& name, const std::string& environment,
                                      const std::string& dll) {
    Lock g(mutex_);
    std::string env = s_->CanonicalEnv(environment.c_str());
    if (environment.empty() || env.empty()) env = s_->NativeEnvironment();
    SimProcessor p{env, name, dll};
    auto& v = s_->processors;
    v.erase(std::remove_if(v.begin(), v.end(),
                           [&](const SimProcessor& x) { return x.env == env && IEquals(x.name, name); }),
            v.end());
    v.push_back(p);
    s_->MirrorProcessor(p);
}

void Machine::AddFormDirect(const std::string& name) {
    Lock g(mutex_);
    for (const FormInfo1& f : s_->forms)
        if (IEquals(f.name, name)) return;
    s_->forms.push_back(FormInfo1{0, name, 100000, 50000});
}

void Machine::SetSpoolerRunning(bool running) {
    Lock g(mutex_);
    if (running)
        s_->StartSpooler();
    else
        s_->StopSpooler();
}

bool Machine::SpoolerRunning() const {
    Lock g(mutex_);
    return s_->spoolerRunning;
}

void Machine::SetSpoolerTiming(const SpoolerTiming& timing) {
    Lock g(mutex_);
    s_->spoolerTiming = timing;
}

void Machine::SetSpoolerStartType(uint32_t startType) {
    Lock g(mutex_);
    s_->spoolerStartType = startType;
}

ServiceStatus Machine::SpoolerService() const {
    Lock g(mutex_);
    ServiceStatus st;
    st.serviceType = kServiceWin32OwnProcess | kServiceInteractiveProcess;
    st.currentState = s_->spoolerState;
    st.processId = s_->spoolerState == kServiceStopped ? 0 : s_->spoolerPid;
    if (st.currentState == kServiceStopPending || st.currentState == kServiceStartPending) {
        st.checkPoint = 1;
        st.waitHint = 2000;
    }
    return st;
}

// ---------------------------------------------------------------- seam: the service

Result<ServiceStatus> Machine::QueryServiceStatusEx(const std::string& serviceName) {
    Lock g(mutex_);
    using R = Result<ServiceStatus>;
    State::Call c = s_->Begin("QueryServiceStatusEx", serviceName);
    if (c.fault) return c.Done(R::Fail(*c.fault));
    if (!IEquals(serviceName, "Spooler")) return c.Done(R::Fail(kErrServiceDoesNotExist));
    return R::Ok(SpoolerService());
}

Result<ServiceConfig> Machine::QueryServiceConfigA(const std::string& serviceName) {
    Lock g(mutex_);
    using R = Result<ServiceConfig>;
    State::Call c = s_->Begin("QueryServiceConfigA", serviceName);
    if (c.fault) return c.Done(R::Fail(*c.fault));
    if (!IEquals(serviceName, "Spooler")) return c.Done(R::Fail(kErrServiceDoesNotExist));
    ServiceConfig config;
    config.serviceType = kServiceWin32OwnProcess | kServiceInteractiveProcess;
    config.startType = s_->spoolerStartType;
    config.binaryPathName = s_->SystemDir() + "\\spoolsv.exe";
    return R::Ok(config);
}

std::vector<Machine::SimPrinter> Machine::Printers() const {
    Lock g(mutex_);
    std::vector<SimPrinter> out;
    out.reserve(s_->printers.size());
    for (const auto& [key, p] : s_->printers) out.push_back(p);
    for (SimPrinter& p : out) {
        p.info.cJobs = uint32_t(p.jobs.size());
        if (p.pendingDeletion) p.info.status |= kPrinterStatusPendingDeletion;
    }
    return out;
}

std::optional<Machine::SimPrinter> Machine::FindPrinter(const std::string& name) const {
    for (const SimPrinter& p : Printers())
        if (IEquals(p.info.printerName, name)) return p;
    return std::nullopt;
}

std::vector<DriverInfo3> Machine::Drivers() const {
    Lock g(mutex_);
    std::vector<DriverInfo3> out;
    for (const DriverInfo3& d : s_->drivers) out.push_back(s_->FullPaths(d));
    return out;
}

std::vector<MonitorInfo2> Machine::Monitors() const {
    Lock g(mutex_);
    return s_->monitors;
}

std::vector<std::pair<std::string, std::string>> Machine::PrintProcessors() const {
    Lock g(mutex_);
    std::vector<std::pair<std::string, std::string>> out;
    for (const SimProcessor& p : s_->processors) out.emplace_back(p.env, p.name);
    return out;
}

std::vector<std::string> Machine::FormNames() const {
    Lock g(mutex_);
    std::vector<std::string> out;
    for (const FormInfo1& f : s_->forms) out.push_back(f.name);
    return out;
}

std::vector<std::string> Machine::Ports() const {
    Lock g(mutex_);
    return s_->ports;
}

void Machine::SetPorts(std::vector<std::string> ports) {
    Lock g(mutex_);
    s_->ports = std::move(ports);
}

void Machine::SetPortDialogAnswer(bool ok) {
    Lock g(mutex_);
    s_->portDialogOk = ok;
}

std::string Machine::DriverDirectory(const std::string& environment) const {
    Lock g(mutex_);
    std::string env = s_->CanonicalEnv(environment.c_str());
    return env.empty() ? "" : s_->DriverDir(env);
}

std::string Machine::PrintProcessorDirectory(const std::string& environment) const {
    Lock g(mutex_);
    std::string env = s_->CanonicalEnv(environment.c_str());
    return env.empty() ? "" : s_->ProcessorDir(env);
}

std::string Machine::DefaultEnvironment() const {
    Lock g(mutex_);
    return s_->CanonicalEnv(nullptr);
}

// ---------------------------------------------------------------- seam: ports

Result<std::vector<std::string>> Machine::EnumPortsA(const char* server) {
    Lock g(mutex_);
    using R = Result<std::vector<std::string>>;
    State::Call c = s_->Begin("EnumPortsA", NameOrNull(server));
    if (c.fault) return c.Done(R::Fail(*c.fault));
    if (!s_->spoolerRunning) return c.Done(R::Fail(kErrRpcServerUnavailable));
    if (uint32_t e = ServerCheck(server)) return c.Done(R::Fail(e));
    return R::Ok(s_->ports);
}

Status Machine::ConfigurePortA(const char* server, uintptr_t window, const std::string& portName) {
    (void)window;
    Lock g(mutex_);
    State::Call c = s_->Begin("ConfigurePortA", portName);
    if (c.fault) return c.Done(Status::Fail(*c.fault));
    if (!s_->spoolerRunning) return c.Done(Status::Fail(kErrRpcServerUnavailable));
    if (uint32_t e = ServerCheck(server)) return c.Done(Status::Fail(e));
    auto& p = s_->ports;
    if (std::none_of(p.begin(), p.end(), [&](const std::string& x) { return IEquals(x, portName); }))
        return c.Done(Status::Fail(kErrNotSupported));
    UiEvent e;
    e.kind = "port-dialog";
    e.text = portName;
    e.value = s_->portDialogOk ? kIdOk : kIdCancel;
    s_->ui.push_back(e);
    return c.Done(s_->portDialogOk ? Status::Ok() : Status::Fail(err::kCancelled));
}

namespace {

CommConfig DefaultCommConfig() {
    CommConfig c;
    c.baudRate = 9600;
    c.byteSize = 8;
    c.parity = kNoParity;
    c.stopBits = kOneStopBit;
    return c;
}

std::string CommText(const CommConfig& c) {
    static const char kParity[] = "noems";
    static const char* const kStop[] = {"1", "1.5", "2"};
    return std::to_string(c.baudRate) + "," + kParity[c.parity % 5] + "," +
           std::to_string(c.byteSize) + "," + kStop[c.stopBits % 3];
}

// What a serial port's configuration refuses (the DCB rules).
bool CommConfigValid(const CommConfig& c) {
    if (c.baudRate == 0 || c.byteSize < 5 || c.byteSize > 8 || c.parity > kSpaceParity ||
        c.stopBits > kTwoStopBits)
        return false;
    if (c.byteSize == 5 && c.stopBits == kTwoStopBits) return false;
    return !(c.byteSize > 5 && c.stopBits == kOne5StopBits);
}

}  // namespace

std::string Machine::State::ComDevice(const std::string& port) const {
    for (const std::string& p : ports) {
        if (!IEquals(p, port) && !IEquals(p, port + ":")) continue;
        std::string device = Upper(p);
        if (!device.empty() && device.back() == ':') device.pop_back();
        return device.rfind("COM", 0) == 0 ? device : "";
    }
    return "";
}

std::string Machine::PortSettingsText(const std::string& port) const {
    Lock g(mutex_);
    std::string device = s_->ComDevice(port);
    if (device.empty()) return "";
    auto it = s_->commConfigs.find(device);
    return CommText(it != s_->commConfigs.end() ? it->second : DefaultCommConfig());
}

void Machine::SetXcvDataMissing(bool missing) {
    Lock g(mutex_);
    s_->xcvDataMissing = missing;
}

// The local port monitor's commands; the handle's name says which port.
std::optional<Result<CommConfig>> Machine::XcvDataGetDefaultCommConfig(HPrinter xcv,
                                                                      const std::string& device) {
    Lock g(mutex_);
    using R = Result<CommConfig>;
    if (s_->xcvDataMissing) return std::nullopt;
    State::Call c = s_->Begin("XcvDataW", "GetDefaultCommConfig|" + device);
    if (c.fault) return c.Done(R::Fail(*c.fault));
    if (!s_->spoolerRunning) return c.Done(R::Fail(kErrRpcServerUnavailable));
    auto h = s_->printerHandles.find(uintptr_t(xcv));
    if (h == s_->printerHandles.end() || h->second.xcvPort.empty())
        return c.Done(R::Fail(kErrInvalidHandle));
    std::string com = s_->ComDevice(device);
    if (com.empty()) return c.Done(R::Fail(kErrFileNotFound));
    auto it = s_->commConfigs.find(com);
    return R::Ok(it != s_->commConfigs.end() ? it->second : DefaultCommConfig());
}

std::optional<Status> Machine::XcvDataSetDefaultCommConfig(HPrinter xcv, const CommConfig& config) {
    Lock g(mutex_);
    if (s_->xcvDataMissing) return std::nullopt;
    State::Call c = s_->Begin("XcvDataW", "SetDefaultCommConfig|" + CommText(config));
    if (c.fault) return c.Done(Status::Fail(*c.fault));
    if (!s_->spoolerRunning) return c.Done(Status::Fail(kErrRpcServerUnavailable));
    auto h = s_->printerHandles.find(uintptr_t(xcv));
    if (h == s_->printerHandles.end() || h->second.xcvPort.empty())
        return c.Done(Status::Fail(kErrInvalidHandle));
    if (!(h->second.access & kServerAccessAdminister)) return c.Done(Status::Fail(kErrAccessDenied));
    std::string com = s_->ComDevice(h->second.xcvPort);
    if (com.empty()) return c.Done(Status::Fail(kErrFileNotFound));
    if (!CommConfigValid(config)) return c.Done(Status::Fail(kErrInvalidParameter));
    CommConfig stored = config;
    stored.raw.clear();
    s_->commConfigs[com] = stored;
    return Status::Ok();
}

// ---------------------------------------------------------------- seam: monitors

Status Machine::AddMonitorA(const char* server, const MonitorInfo2& info) {
    Lock g(mutex_);
    State::Call c = s_->Begin("AddMonitorA", info.environment + "|" + info.name + "|" + info.dllName);
    if (c.fault) return c.Done(Status::Fail(*c.fault));
    if (!s_->spoolerRunning) return c.Done(Status::Fail(kErrRpcServerUnavailable));
    if (uint32_t e = ServerCheck(server)) return c.Done(Status::Fail(e));
    if (info.name.empty() || info.dllName.empty()) return c.Done(Status::Fail(kErrInvalidParameter));
    std::string env = info.environment.empty() ? s_->NativeEnvironment()
                                                : s_->CanonicalEnv(info.environment.c_str());
    if (env.empty()) return c.Done(Status::Fail(kErrInvalidEnvironment));
    for (const MonitorInfo2& m : s_->monitors)
        if (IEquals(m.name, info.name)) return c.Done(Status::Fail(kErrPrintMonitorAlreadyInstalled));
    // The 64-bit spooler loads the DLL from its own system folder or the Windows folder.
    bool found = HasFolder(info.dllName)
                     ? s_->FileExistsNative(info.dllName)
                     : s_->FileExistsNative(s_->SystemDir() + "\\" + info.dllName) ||
                           s_->FileExistsNative(s_->windowsDir + "\\" + info.dllName);
    if (!found) return c.Done(Status::Fail(kErrModNotFound));
    MonitorInfo2 m{info.name, env, info.dllName};
    s_->monitors.push_back(m);
    s_->MirrorMonitor(m);
    return Status::Ok();
}

Status Machine::DeleteMonitorA(const char* server, const char* environment,
                               const std::string& name) {
    Lock g(mutex_);
    State::Call c = s_->Begin("DeleteMonitorA", NameOrNull(environment) + "|" + name);
    if (c.fault) return c.Done(Status::Fail(*c.fault));
    if (!s_->spoolerRunning) return c.Done(Status::Fail(kErrRpcServerUnavailable));
    if (uint32_t e = ServerCheck(server)) return c.Done(Status::Fail(e));
    if (s_->CanonicalEnv(environment).empty()) return c.Done(Status::Fail(kErrInvalidEnvironment));
    auto& v = s_->monitors;
    auto it = std::find_if(v.begin(), v.end(), [&](const MonitorInfo2& m) { return IEquals(m.name, name); });
    if (it == v.end()) return c.Done(Status::Fail(kErrUnknownPrintMonitor));
    // A language monitor is busy while a printer's driver uses it.
    bool busy = false;
    for (const auto& [key, p] : s_->printers)
        for (const DriverInfo3& d : s_->drivers)
            if (IEquals(d.name, p.info.driverName) && d.environment == s_->NativeEnvironment() &&
                IEquals(d.monitorName, name))
                busy = true;
    if (busy) return c.Done(Status::Fail(kErrPrintMonitorInUse));
    s_->RegDeleteTree(s_->MonitorKey(it->name));
    v.erase(it);
    return Status::Ok();
}

// ---------------------------------------------------------------- seam: print processors

Status Machine::AddPrintProcessorA(const char* server, const std::string& environment,
                                   const std::string& pathName, const std::string& processorName) {
    Lock g(mutex_);
    State::Call c = s_->Begin("AddPrintProcessorA", environment + "|" + processorName + "|" + pathName);
    if (c.fault) return c.Done(Status::Fail(*c.fault));
    if (!s_->spoolerRunning) return c.Done(Status::Fail(kErrRpcServerUnavailable));
    if (uint32_t e = ServerCheck(server)) return c.Done(Status::Fail(e));
    std::string env = s_->CanonicalEnv(environment.c_str());
    if (env.empty()) return c.Done(Status::Fail(kErrInvalidEnvironment));
    if (pathName.empty() || processorName.empty()) return c.Done(Status::Fail(kErrInvalidParameter));
    // As for drivers, the folder a 32-bit caller was given counts too.
    bool found = HasFolder(pathName)
                     ? s_->FileExistsNative(pathName)
                     : s_->FileExistsNative(s_->ProcessorDir(env) + "\\" + pathName) ||
                           s_->FileExistsNative(s_->ProcessorDir(s_->CanonicalEnv(nullptr)) + "\\" + pathName);
    if (!found) return c.Done(Status::Fail(kErrFileNotFound));
    for (const SimProcessor& p : s_->processors)
        if (p.env == env && IEquals(p.name, processorName))
            return c.Done(Status::Fail(kErrPrintProcessorAlreadyInstalled));
    SimProcessor p{env, processorName, Leaf(pathName)};
    s_->processors.push_back(p);
    s_->MirrorProcessor(p);
    return Status::Ok();
}

Status Machine::DeletePrintProcessorA(const char* server, const char* environment,
                                      const std::string& name) {
    Lock g(mutex_);
    State::Call c = s_->Begin("DeletePrintProcessorA", NameOrNull(environment) + "|" + name);
    if (c.fault) return c.Done(Status::Fail(*c.fault));
    if (!s_->spoolerRunning) return c.Done(Status::Fail(kErrRpcServerUnavailable));
    if (uint32_t e = ServerCheck(server)) return c.Done(Status::Fail(e));
    std::string env = s_->CanonicalEnv(environment);
    if (env.empty()) return c.Done(Status::Fail(kErrInvalidEnvironment));
    auto& v = s_->processors;
    auto it = std::find_if(v.begin(), v.end(), [&](const SimProcessor& p) {
        return p.env == env && IEquals(p.name, name);
    });
    if (it == v.end()) return c.Done(Status::Fail(kErrUnknownPrintProcessor));
    if (env == s_->NativeEnvironment())
        for (const auto& [key, p] : s_->printers)
            if (IEquals(p.info.printProcessor, name)) return c.Done(Status::Fail(kErrInvalidParameter));
    s_->RegDeleteTree(s_->ProcessorKey(it->env, it->name));
    v.erase(it);
    return Status::Ok();
}

Result<std::vector<std::string>> Machine::EnumPrintProcessorsA(const char* server,
                                                               const char* environment) {
    Lock g(mutex_);
    using R = Result<std::vector<std::string>>;
    State::Call c = s_->Begin("EnumPrintProcessorsA", NameOrNull(environment));
    if (c.fault) return c.Done(R::Fail(*c.fault));
    if (!s_->spoolerRunning) return c.Done(R::Fail(kErrRpcServerUnavailable));
    if (uint32_t e = ServerCheck(server)) return c.Done(R::Fail(e));
    std::string env = s_->CanonicalEnv(environment);
    if (env.empty()) return c.Done(R::Fail(kErrInvalidEnvironment));
    std::vector<std::string> out;
    for (const SimProcessor& p : s_->processors)
        if (p.env == env) out.push_back(p.name);
    return R::Ok(out);
}

Result<std::string> Machine::GetPrintProcessorDirectoryA(const char* server, const char* environment) {
    Lock g(mutex_);
    using R = Result<std::string>;
    State::Call c = s_->Begin("GetPrintProcessorDirectoryA", NameOrNull(environment));
    if (c.fault) return c.Done(R::Fail(*c.fault));
    if (!s_->spoolerRunning) return c.Done(R::Fail(kErrRpcServerUnavailable));
    if (uint32_t e = ServerCheck(server)) return c.Done(R::Fail(e));
    std::string env = s_->CanonicalEnv(environment);
    if (env.empty()) return c.Done(R::Fail(kErrInvalidEnvironment));
    return R::Ok(s_->ProcessorDir(env));
}

// ---------------------------------------------------------------- seam: drivers

Result<std::string> Machine::GetPrinterDriverDirectoryA(const char* server, const char* environment) {
    Lock g(mutex_);
    using R = Result<std::string>;
    State::Call c = s_->Begin("GetPrinterDriverDirectoryA", NameOrNull(environment));
    if (c.fault) return c.Done(R::Fail(*c.fault));
    if (!s_->spoolerRunning) return c.Done(R::Fail(kErrRpcServerUnavailable));
    if (uint32_t e = ServerCheck(server)) return c.Done(R::Fail(e));
    std::string env = s_->CanonicalEnv(environment);
    if (env.empty()) return c.Done(R::Fail(kErrInvalidEnvironment));
    return R::Ok(s_->DriverDir(env));
}

Status Machine::AddPrinterDriverA(const char* server, const DriverInfo3& info) {
    Lock g(mutex_);
    State::Call c = s_->Begin("AddPrinterDriverA", info.environment + "|" + info.name);
    if (c.fault) return c.Done(Status::Fail(*c.fault));
    if (!s_->spoolerRunning) return c.Done(Status::Fail(kErrRpcServerUnavailable));
    if (uint32_t e = ServerCheck(server)) return c.Done(Status::Fail(e));
    std::string env = s_->CanonicalEnv(info.environment.c_str());
    if (env.empty()) return c.Done(Status::Fail(kErrInvalidEnvironment));
    if (info.name.empty() || info.driverPath.empty() || info.dataFile.empty() ||
        info.configFile.empty() || info.version > 3)
        return c.Done(Status::Fail(kErrInvalidParameter));

    // Files are taken from the environment's driver folder (or already in its
    // version folder) and copied into the version folder. A 32-bit caller on
    // 64-bit Windows was given the x86 folder to stage in, so that folder is
    // searched as well.
    std::string dir = s_->DriverDir(env);
    std::string callerDir = s_->DriverDir(s_->CanonicalEnv(nullptr));
    std::string versionDir = dir + "\\" + std::to_string(info.version);
    auto source = [&](const std::string& f) -> std::string {
        if (HasFolder(f)) return s_->FileExistsNative(f) ? f : "";
        for (const std::string& d : {dir, versionDir, callerDir})
            if (s_->FileExistsNative(d + "\\" + f)) return d + "\\" + f;
        return "";
    };
    for (const std::string* f : {&info.driverPath, &info.dataFile, &info.configFile})
        if (source(*f).empty()) return c.Done(Status::Fail(kErrFileNotFound));
    if (!info.monitorName.empty() &&
        std::none_of(s_->monitors.begin(), s_->monitors.end(),
                     [&](const MonitorInfo2& m) { return IEquals(m.name, info.monitorName); }))
        return c.Done(Status::Fail(kErrUnknownPrintMonitor));

    std::vector<std::string> listed = {info.driverPath, info.dataFile, info.configFile, info.helpFile};
    listed.insert(listed.end(), info.dependentFiles.begin(), info.dependentFiles.end());
    s_->MakeDirs(versionDir);
    for (const std::string& f : listed) {
        if (f.empty()) continue;
        std::string from = source(f);
        if (from.empty()) continue;  // a missing optional file is skipped
        std::string to = versionDir + "\\" + Leaf(f);
        PathRef rf = s_->Resolve(from, false, true), rt = s_->Resolve(to, false, false);
        if (rf.key == rt.key) continue;
        FsEntry copy;
        const FsEntry* existing = s_->Find(rt.key);
        copy.path = existing ? existing->path : rt.display;
        copy.data = s_->Find(rf.key)->data;
        copy.attrs = kFileAttributeArchive;
        s_->fs[rt.key] = copy;
    }

    DriverInfo3 d = info;
    d.environment = env;
    d.driverPath = Leaf(info.driverPath);
    d.dataFile = Leaf(info.dataFile);
    d.configFile = Leaf(info.configFile);
    d.helpFile = Leaf(info.helpFile);
    for (std::string& f : d.dependentFiles) f = Leaf(f);
    auto& v = s_->drivers;
    v.erase(std::remove_if(v.begin(), v.end(),
                           [&](const DriverInfo3& x) {
                               return IEquals(x.name, d.name) && x.environment == env &&
                                      x.version == d.version;
                           }),
            v.end());
    v.push_back(d);
    s_->MirrorDriver(d);
    return Status::Ok();
}

Result<std::vector<DriverInfo3>> Machine::EnumPrinterDriversA(const char* server,
                                                              const char* environment,
                                                              uint32_t level) {
    Lock g(mutex_);
    using R = Result<std::vector<DriverInfo3>>;
    State::Call c = s_->Begin("EnumPrinterDriversA", NameOrNull(environment));
    if (c.fault) return c.Done(R::Fail(*c.fault));
    if (!s_->spoolerRunning) return c.Done(R::Fail(kErrRpcServerUnavailable));
    if (uint32_t e = ServerCheck(server)) return c.Done(R::Fail(e));
    if (level != 3 && level != 4) return c.Done(R::Fail(err::kInvalidLevel));
    bool all = environment && IEquals(environment, "all");
    std::string env = all ? "" : s_->CanonicalEnv(environment);
    if (!all && env.empty()) return c.Done(R::Fail(kErrInvalidEnvironment));
    std::vector<DriverInfo3> out;
    for (const DriverInfo3& d : s_->drivers)
        if (all || d.environment == env) out.push_back(s_->FullPaths(d));
    return R::Ok(out);
}

Status Machine::DeletePrinterDriverExA(const char* server, const char* environment,
                                       const std::string& driverName, uint32_t deleteFlag,
                                       uint32_t versionFlag) {
    Lock g(mutex_);
    State::Call c = s_->Begin("DeletePrinterDriverExA", NameOrNull(environment) + "|" + driverName);
    if (c.fault) return c.Done(Status::Fail(*c.fault));
    if (!s_->spoolerRunning) return c.Done(Status::Fail(kErrRpcServerUnavailable));
    if (uint32_t e = ServerCheck(server)) return c.Done(Status::Fail(e));
    std::string env = s_->CanonicalEnv(environment);
    if (env.empty()) return c.Done(Status::Fail(kErrInvalidEnvironment));
    if (deleteFlag & ~(kDpdDeleteUnusedFiles | kDpdDeleteSpecificVersion))
        return c.Done(Status::Fail(kErrInvalidParameter));
    auto matches = [&](const DriverInfo3& d) {
        return IEquals(d.name, driverName) && d.environment == env &&
               (!(deleteFlag & kDpdDeleteSpecificVersion) || d.version == versionFlag);
    };
    auto& v = s_->drivers;
    if (std::none_of(v.begin(), v.end(), matches)) return c.Done(Status::Fail(kErrUnknownPrinterDriver));
    if (s_->DriverInUse(env, driverName)) return c.Done(Status::Fail(kErrPrinterDriverInUse));

    std::vector<DriverInfo3> gone;
    std::copy_if(v.begin(), v.end(), std::back_inserter(gone), matches);
    v.erase(std::remove_if(v.begin(), v.end(), matches), v.end());
    for (const DriverInfo3& d : gone) {
        s_->RegDeleteTree(s_->DriverKey(d.environment, d.version, d.name));
        if (!(deleteFlag & kDpdDeleteUnusedFiles)) continue;
        // A file stays while another driver of the same folder still lists it.
        DriverInfo3 full = s_->FullPaths(d);
        std::vector<std::string> files = {full.driverPath, full.dataFile, full.configFile, full.helpFile};
        files.insert(files.end(), full.dependentFiles.begin(), full.dependentFiles.end());
        for (const std::string& f : files) {
            if (f.empty()) continue;
            bool shared = false;
            for (const DriverInfo3& o : v) {
                if (o.environment != d.environment || o.version != d.version) continue;
                DriverInfo3 of = s_->FullPaths(o);
                for (const std::string* x : {&of.driverPath, &of.dataFile, &of.configFile, &of.helpFile})
                    shared = shared || IEquals(*x, f);
                for (const std::string& x : of.dependentFiles) shared = shared || IEquals(x, f);
            }
            if (!shared) s_->FsDeleteFile(f, false);
        }
    }
    return Status::Ok();
}

// ---------------------------------------------------------------- seam: printers

Result<HPrinter> Machine::AddPrinterA(const char* server, const PrinterInfo2& info) {
    Lock g(mutex_);
    using R = Result<HPrinter>;
    State::Call c = s_->Begin("AddPrinterA", info.printerName + "|" + info.portName + "|" +
                                                 info.driverName + "|" + info.printProcessor);
    if (c.fault) return c.Done(R::Fail(*c.fault));
    if (!s_->spoolerRunning) return c.Done(R::Fail(kErrRpcServerUnavailable));
    if (uint32_t e = ServerCheck(server)) return c.Done(R::Fail(e));
    if (!ValidPrinterName(info.printerName)) return c.Done(R::Fail(kErrInvalidPrinterName));
    if (s_->FindPrinterByName(info.printerName)) return c.Done(R::Fail(kErrPrinterAlreadyExists));
    if (!info.hasPortName || info.portName.empty()) return c.Done(R::Fail(kErrInvalidParameter));
    auto known = [&](const std::string& port) {
        return std::any_of(s_->ports.begin(), s_->ports.end(),
                           [&](const std::string& p) { return IEquals(p, Trim(port)); });
    };
    size_t start = 0;
    while (start <= info.portName.size()) {  // a pooled printer lists ports with commas
        size_t comma = info.portName.find(',', start);
        if (comma == std::string::npos) comma = info.portName.size();
        if (!known(info.portName.substr(start, comma - start))) return c.Done(R::Fail(kErrUnknownPort));
        start = comma + 1;
    }
    std::string env = s_->NativeEnvironment();
    if (std::none_of(s_->drivers.begin(), s_->drivers.end(), [&](const DriverInfo3& d) {
            return d.environment == env && IEquals(d.name, info.driverName);
        }))
        return c.Done(R::Fail(kErrUnknownPrinterDriver));
    if (info.printProcessor.empty()) return c.Done(R::Fail(kErrInvalidParameter));
    if (std::none_of(s_->processors.begin(), s_->processors.end(), [&](const SimProcessor& p) {
            return p.env == env && IEquals(p.name, info.printProcessor);
        }))
        return c.Done(R::Fail(kErrUnknownPrintProcessor));
    SimPrinter p;
    p.info = info;
    p.info.serverName.clear();
    p.info.cJobs = 0;
    p.info.status &= ~kPrinterStatusPendingDeletion;
    p.info.hasPortName = true;
    if (p.info.datatype.empty()) p.info.datatype = "RAW";
    s_->printers.emplace(Upper(info.printerName), std::move(p));
    uintptr_t h = s_->NewHandle();
    s_->printerHandles[h] = PrinterHandle{false, Upper(info.printerName), kPrinterAllAccess, ""};
    return R::Ok(HPrinter(h));
}

Result<HPrinter> Machine::OpenPrinterA(const char* printerName, const PrinterDefaults* defaults) {
    Lock g(mutex_);
    using R = Result<HPrinter>;
    State::Call c = s_->Begin("OpenPrinterA", NameOrNull(printerName));
    if (c.fault) return c.Done(R::Fail(*c.fault));
    if (!s_->spoolerRunning) return c.Done(R::Fail(kErrRpcServerUnavailable));
    uint32_t access = defaults && defaults->desiredAccess ? defaults->desiredAccess : kPrinterAccessUse;
    if (access & kGenericAll) access |= kPrinterAllAccess;
    PrinterHandle ph;
    ph.access = access;
    static const std::string kXcvPort = ",XcvPort ";
    if (!printerName || !*printerName) {
        ph.server = true;
    } else if (std::string(printerName).rfind(kXcvPort, 0) == 0) {
        // The spooler finds the port's monitor by the port's name.
        std::string port = std::string(printerName).substr(kXcvPort.size());
        if (std::none_of(s_->ports.begin(), s_->ports.end(),
                         [&](const std::string& x) { return IEquals(x, port); }))
            return c.Done(R::Fail(kErrUnknownPort));
        ph.printer = printerName;
        ph.xcvPort = port;
    } else {
        SimPrinter* p = s_->FindPrinterByName(printerName);
        if (!p) return c.Done(R::Fail(kErrInvalidPrinterName));
        if (p->pendingDeletion) return c.Done(R::Fail(kErrPrinterDeleted));
        ph.printer = Upper(p->info.printerName);
    }
    uintptr_t h = s_->NewHandle();
    s_->printerHandles[h] = ph;
    return R::Ok(HPrinter(h));
}

Status Machine::ClosePrinter(HPrinter printer) {
    Lock g(mutex_);
    State::Call c = s_->Begin("ClosePrinter", s_->PrinterArgs(printer));
    if (c.fault) return c.Done(Status::Fail(*c.fault));
    if (!s_->spoolerRunning) return c.Done(Status::Fail(kErrRpcServerUnavailable));
    if (!s_->printerHandles.erase(uintptr_t(printer))) {
        s_->misuse.push_back("ClosePrinter: unknown printer handle " + Hex(uint32_t(uintptr_t(printer))));
        return c.Done(Status::Fail(kErrInvalidHandle));
    }
    return Status::Ok();
}

Status Machine::DeletePrinter(HPrinter printer) {
    Lock g(mutex_);
    State::Call c = s_->Begin("DeletePrinter", s_->PrinterArgs(printer));
    if (c.fault) return c.Done(Status::Fail(*c.fault));
    PrinterHandle* ph = nullptr;
    SimPrinter* p = nullptr;
    if (uint32_t e = s_->PrinterFor(printer, &ph, &p)) return c.Done(Status::Fail(e));
    if (!p) return c.Done(Status::Fail(kErrInvalidHandle));
    if (!(ph->access & kDelete)) return c.Done(Status::Fail(kErrAccessDenied));
    if (!p->jobs.empty())
        p->pendingDeletion = true;  // it goes with its last job
    else
        s_->RemovePrinter(Upper(p->info.printerName));
    return Status::Ok();
}

Result<std::vector<PrinterInfo2>> Machine::EnumPrintersA(uint32_t flags, const char* name) {
    Lock g(mutex_);
    using R = Result<std::vector<PrinterInfo2>>;
    State::Call c = s_->Begin("EnumPrintersA", Hex(flags) + "|" + NameOrNull(name));
    if (c.fault) return c.Done(R::Fail(*c.fault));
    if (!s_->spoolerRunning) return c.Done(R::Fail(kErrRpcServerUnavailable));
    std::vector<PrinterInfo2> out;
    bool local = (flags & kPrinterEnumLocal) || ((flags & kPrinterEnumName) && !(name && *name));
    if ((flags & kPrinterEnumName) && name && *name) return c.Done(R::Fail(kErrRpcServerUnavailable));
    if (local)
        for (const SimPrinter& p : Printers()) out.push_back(p.info);
    return R::Ok(out);
}

Status Machine::SetPrinterA(HPrinter printer, const PrinterInfo2& info) {
    Lock g(mutex_);
    State::Call c = s_->Begin("SetPrinterA", s_->PrinterArgs(printer));
    if (c.fault) return c.Done(Status::Fail(*c.fault));
    PrinterHandle* ph = nullptr;
    SimPrinter* p = nullptr;
    if (uint32_t e = s_->PrinterFor(printer, &ph, &p)) return c.Done(Status::Fail(e));
    if (!p) return c.Done(Status::Fail(kErrInvalidHandle));
    if (!(ph->access & kPrinterAccessAdminister)) return c.Done(Status::Fail(kErrAccessDenied));
    if (!ValidPrinterName(info.printerName)) return c.Done(Status::Fail(kErrInvalidPrinterName));
    SimPrinter* other = s_->FindPrinterByName(info.printerName);
    if (other && other != p) return c.Done(Status::Fail(kErrPrinterAlreadyExists));
    if (std::none_of(s_->ports.begin(), s_->ports.end(),
                     [&](const std::string& x) { return IEquals(x, info.portName); }))
        return c.Done(Status::Fail(kErrUnknownPort));
    std::string env = s_->NativeEnvironment();
    if (std::none_of(s_->drivers.begin(), s_->drivers.end(), [&](const DriverInfo3& d) {
            return d.environment == env && IEquals(d.name, info.driverName);
        }))
        return c.Done(Status::Fail(kErrUnknownPrinterDriver));
    if (std::none_of(s_->processors.begin(), s_->processors.end(), [&](const SimProcessor& x) {
            return x.env == env && IEquals(x.name, info.printProcessor);
        }))
        return c.Done(Status::Fail(kErrUnknownPrintProcessor));
    std::string oldKey = Upper(p->info.printerName);
    uint32_t status = p->info.status;
    p->info = info;
    p->info.serverName.clear();
    p->info.status = status;  // level 2 does not set the status
    p->info.cJobs = 0;
    p->info.hasPortName = true;
    std::string newKey = Upper(info.printerName);
    for (auto& [h, x] : s_->printerHandles)
        if (!x.server && x.printer == oldKey) x.printer = newKey;
    if (newKey != oldKey) {
        // Renamed: the printer moves to its new place in the order.
        auto node = s_->printers.extract(oldKey);
        node.key() = newKey;
        s_->printers.insert(std::move(node));
    }
    return Status::Ok();
}

Spooler::DataResult Machine::GetPrinterDataA(HPrinter printer, const std::string& valueName,
                                             uint32_t bufferSize) {
    Lock g(mutex_);
    DataResult r;
    State::Call c = s_->Begin("GetPrinterDataA", s_->PrinterArgs(printer) + "|" + valueName);
    auto fail = [&](uint32_t e) {
        r.status = e;
        c.Fail(e);
        return r;
    };
    if (c.fault) return fail(*c.fault);
    PrinterHandle* ph = nullptr;
    SimPrinter* p = nullptr;
    if (uint32_t e = s_->PrinterFor(printer, &ph, &p)) return fail(e);
    if (!p) return fail(kErrFileNotFound);
    for (const auto& [name, value] : p->data) {
        if (!IEquals(name, valueName)) continue;
        r.type = value.first;
        if (bufferSize < value.second.size()) return fail(kErrMoreData);
        r.data = value.second;
        return r;
    }
    return fail(kErrFileNotFound);
}

uint32_t Machine::SetPrinterDataA(HPrinter printer, const std::string& valueName, uint32_t type,
                                  const std::string& data) {
    Lock g(mutex_);
    State::Call c = s_->Begin("SetPrinterDataA", s_->PrinterArgs(printer) + "|" + valueName);
    auto fail = [&](uint32_t e) {
        c.Fail(e);
        return e;
    };
    if (c.fault) return fail(*c.fault);
    PrinterHandle* ph = nullptr;
    SimPrinter* p = nullptr;
    if (uint32_t e = s_->PrinterFor(printer, &ph, &p)) return fail(e);
    if (!p) return fail(kErrInvalidParameter);
    if (!(ph->access & kPrinterAccessAdminister)) return fail(kErrAccessDenied);
    for (auto it = p->data.begin(); it != p->data.end(); ++it)
        if (IEquals(it->first, valueName)) {
            p->data.erase(it);
            break;
        }
    p->data[valueName] = {type, data};
    return 0;
}

// ---------------------------------------------------------------- seam: forms

Result<std::vector<FormInfo1>> Machine::EnumFormsA(HPrinter printer) {
    Lock g(mutex_);
    using R = Result<std::vector<FormInfo1>>;
    State::Call c = s_->Begin("EnumFormsA", s_->PrinterArgs(printer));
    if (c.fault) return c.Done(R::Fail(*c.fault));
    PrinterHandle* ph = nullptr;
    SimPrinter* p = nullptr;
    if (uint32_t e = s_->PrinterFor(printer, &ph, &p)) return c.Done(R::Fail(e));
    return R::Ok(s_->forms);
}

Status Machine::AddFormA(HPrinter printer, const FormInfo1& form) {
    Lock g(mutex_);
    State::Call c = s_->Begin("AddFormA", s_->PrinterArgs(printer) + "|" + form.name);
    if (c.fault) return c.Done(Status::Fail(*c.fault));
    PrinterHandle* ph = nullptr;
    SimPrinter* p = nullptr;
    if (uint32_t e = s_->PrinterFor(printer, &ph, &p)) return c.Done(Status::Fail(e));
    if (form.name.empty()) return c.Done(Status::Fail(kErrInvalidFormName));
    if (form.width <= 0 || form.height <= 0) return c.Done(Status::Fail(kErrInvalidFormSize));
    for (const FormInfo1& f : s_->forms)
        if (IEquals(f.name, form.name)) return c.Done(Status::Fail(kErrFileExists));
    FormInfo1 f = form;
    f.flags = 0;  // FORM_USER
    s_->forms.push_back(f);
    return Status::Ok();
}

Status Machine::DeleteFormA(HPrinter printer, const std::string& formName) {
    Lock g(mutex_);
    State::Call c = s_->Begin("DeleteFormA", s_->PrinterArgs(printer) + "|" + formName);
    if (c.fault) return c.Done(Status::Fail(*c.fault));
    PrinterHandle* ph = nullptr;
    SimPrinter* p = nullptr;
    if (uint32_t e = s_->PrinterFor(printer, &ph, &p)) return c.Done(Status::Fail(e));
    auto& v = s_->forms;
    auto it = std::find_if(v.begin(), v.end(), [&](const FormInfo1& f) { return IEquals(f.name, formName); });
    if (it == v.end()) return c.Done(Status::Fail(kErrInvalidFormName));
    if (it->flags & kFormBuiltin) return c.Done(Status::Fail(kErrInvalidParameter));
    v.erase(it);
    return Status::Ok();
}

// ---------------------------------------------------------------- seam: jobs

Result<std::vector<JobInfo3>> Machine::EnumJobsA(HPrinter printer, uint32_t firstJob, uint32_t count) {
    Lock g(mutex_);
    using R = Result<std::vector<JobInfo3>>;
    State::Call c = s_->Begin("EnumJobsA", s_->PrinterArgs(printer));
    if (c.fault) return c.Done(R::Fail(*c.fault));
    PrinterHandle* ph = nullptr;
    SimPrinter* p = nullptr;
    if (uint32_t e = s_->PrinterFor(printer, &ph, &p)) return c.Done(R::Fail(e));
    if (!p) return c.Done(R::Fail(kErrInvalidHandle));
    std::vector<JobInfo3> out;
    for (size_t i = firstJob; i < p->jobs.size() && out.size() < count; ++i)
        out.push_back(JobInfo3{p->jobs[i], i + 1 < p->jobs.size() ? p->jobs[i + 1] : 0});
    return R::Ok(out);
}

Status Machine::SetJobA(HPrinter printer, uint32_t jobId, uint32_t level, uint32_t command) {
    Lock g(mutex_);
    State::Call c = s_->Begin("SetJobA", s_->PrinterArgs(printer) + "|" + std::to_string(jobId) +
                                             "|" + std::to_string(command));
    if (c.fault) return c.Done(Status::Fail(*c.fault));
    PrinterHandle* ph = nullptr;
    SimPrinter* p = nullptr;
    if (uint32_t e = s_->PrinterFor(printer, &ph, &p)) return c.Done(Status::Fail(e));
    if (!p) return c.Done(Status::Fail(kErrInvalidHandle));
    // Job rights come from the job's owner and the caller (an administrator
    // here), not from the access the printer handle was opened with.
    if (level != 0) return c.Done(Status::Fail(kErrInvalidParameter));  // no job record passed
    auto it = std::find(p->jobs.begin(), p->jobs.end(), jobId);
    if (it == p->jobs.end()) return c.Done(Status::Fail(kErrInvalidParameter));
    switch (command) {
        case kJobControlCancel:
        case kJobControlDelete:
            if (s_->spoolerTiming.jobCancelMs != 0) {
                // Listed until the spooler has dropped it.
                s_->leavingJobs.push_back(
                    {Upper(p->info.printerName), jobId, s_->Later(s_->spoolerTiming.jobCancelMs)});
                return Status::Ok();
            }
            p->jobs.erase(it);
            if (p->jobs.empty() && p->pendingDeletion) s_->RemovePrinter(Upper(p->info.printerName));
            return Status::Ok();
        case 1: case 2: case 4: case 6: case 7:  // pause, resume, restart, sent, ejected
            return Status::Ok();
        default:
            return c.Done(Status::Fail(kErrInvalidParameter));
    }
}

}  // namespace zep::sim
