// Internal state of the simulated machine, shared by its source files.
// Not part of the public API: tests use machine.h only.
#pragma once

#include <cstdint>
#include <deque>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "platform/routine.h"
#include "platform/sim/machine.h"

namespace zep::sim {

// ---------------------------------------------------------------- text helpers

std::string Upper(std::string s);
bool IEquals(const std::string& a, const std::string& b);
bool IContains(const std::string& haystack, const std::string& needle);
bool IStartsWith(const std::string& s, const std::string& prefix);
std::string Trim(const std::string& s);
std::string Hex(uint32_t v);
std::string HexBytes(const std::string& bytes);
uint64_t Fnv1a(const std::string& data);
// File-name pattern as FindFirstFile reads it: * and ?, case-insensitive,
// "*.*" matches every name and a trailing ".*" also matches names without a dot.
bool WildcardMatch(const std::string& pattern, const std::string& name);
std::string DwordBytes(uint32_t v);
std::string SzBytes(const std::string& s);  // with its terminating NUL
std::string MultiSzBytes(const std::vector<std::string>& items);
std::string NameOrNull(const char* s);


// ---------------------------------------------------------------- files

struct FsEntry {
    std::string path;      // full path as created (case kept); a drive root is "C:"
    bool dir = false;
    uint32_t attrs = 0;    // stored bits; a file with none reads as NORMAL
    std::string data;
    std::string junction;  // key of the target folder when this is a junction
    std::vector<Machine::AceRecord> acl;
    bool nullDacl = false;  // made with a NULL DACL: full control for everyone
    uint64_t linkGroup = 0;  // hard links: names of one file share a group (0: one name)
};

struct OpenFile {
    std::string key;
    uint32_t access = 0;
    uint32_t share = 0;
    uint64_t pos = 0;
};

struct Hold {
    std::string key;
    uint32_t access = 0;
    uint32_t share = 0;
    uint32_t process = 0;  // the simulated process that holds it; 0: one the test names
};

// A path resolved down to its last component.
struct PathRef {
    bool ok = false;
    uint32_t error = 0;
    std::string key;        // upper-case key of the entry (it may not exist)
    std::string display;    // the path with the case of existing entries
    std::string parentKey;  // empty for a drive root
    std::string name;       // last component as given
    bool trailingSlash = false;
};

// ---------------------------------------------------------------- registry

struct RegNode {
    std::string path;  // e.g. "HKLM\SOFTWARE\Wow6432Node\X" (case kept)
    uint64_t id = 0;   // changes when the key is deleted and created again
    std::vector<RegValue> values;
};

struct KeyHandle {
    std::string logical;  // the path as the program named it
    bool view32 = false;  // the handle was opened in the 32-bit view
    std::string phys;     // upper-case key of the node
    uint64_t id = 0;
};

// ---------------------------------------------------------------- spooler

struct SimProcessor {
    std::string env;
    std::string name;
    std::string dll;
};

struct PrinterHandle {
    bool server = false;
    std::string printer;  // upper-case name; the whole name for an Xcv handle
    uint32_t access = 0;
    std::string xcvPort;  // ",XcvPort COM3:" gives "COM3:"
};

// ---------------------------------------------------------------- setup API

struct InfLine {
    std::string key;
    std::vector<std::string> fields;
};

struct InfFile {
    std::string path;
    std::map<std::string, std::vector<InfLine>> sections;  // upper-case name
};

struct FaultState {
    Fault fault;
    int matched = 0;
    int fired = 0;
};

struct Machine::State {
    // A call in progress: its record, and the injected failure if one applies.
    struct Call {
        State* s = nullptr;
        size_t index = 0;
        std::optional<uint32_t> fault;

        void Fail(uint32_t error);
        Status Done(Status st) {
            if (!st.ok) Fail(st.error);
            return st;
        }
        template <class T>
        Result<T> Done(Result<T> r) {
            if (!r.ok) Fail(r.error);
            return r;
        }
        int32_t DoneStatus(int32_t status) {
            if (status != 0) Fail(uint32_t(status));
            return status;
        }
    };

    State();

    // ------------------------------------------------------------ configuration
    OsVersion version;
    bool windows64 = true;
    std::string windowsDir = "C:\\Windows";
    std::string currentDir = "C:\\Package";
    std::string programPath = "C:\\Package\\ZEP_Installer.exe";
    bool hasIsWow64 = true;
    bool hasRegDeleteKeyEx = true;
    bool hasUninstallOem = true;
    bool hasWow64Dir = true;
    bool refusesExtended = false;
    bool shutdownHeld = true;
    std::map<uint32_t, std::string> strings;
    std::string appName = "ZEP_Installer";

    uintptr_t nextHandle = 0x1000;
    uintptr_t NewHandle() { return nextHandle += 4; }

    // ------------------------------------------------------------ calls and faults
    std::vector<CallRecord> calls;
    std::vector<FaultState> faults;
    Call Begin(const char* call, std::string args, bool faultable = true);

    // ------------------------------------------------------------ files
    std::map<std::string, FsEntry> fs;
    std::map<uintptr_t, OpenFile> files;
    std::vector<Hold> holds;

    std::string SystemDir() const { return windowsDir + "\\system32"; }
    std::string Wow64Dir() const { return windowsDir + "\\SysWOW64"; }
    // redirect: apply the WOW64 file-system redirection of a 32-bit process.
    // followLast: a junction as the last component is followed too.
    PathRef Resolve(const std::string& path, bool redirect, bool followLast,
                    bool wildcardsInLast = false) const;
    FsEntry* Find(const std::string& key);
    const FsEntry* Find(const std::string& key) const;
    std::vector<std::string> ChildKeys(const std::string& key) const;
    // Makes the folder and its parents (helpers and defaults only).
    std::string MakeDirs(const std::string& path);
    void PutFile(const std::string& path, const std::string& data, uint32_t attrs);
    uint32_t ReadAttributes(const FsEntry& e) const;
    bool SharesAllow(const std::string& key, uint32_t needShare) const;
    uint32_t OpenConflict(const std::string& key, uint32_t access, uint32_t share) const;
    bool InUse(const std::string& key) const;  // any handle or hold on it or below it
    void RemoveTree(const std::string& key);
    void MoveTree(const std::string& fromKey, const std::string& toKey,
                  const std::string& toDisplay);
    std::string HandlePath(HFile h) const;
    // Hard links: a change to one name reaches the others; the names of a file.
    void SyncLinks(const FsEntry& e);
    uint32_t LinkCount(const FsEntry& e) const;
    uint64_t nextLinkGroup = 1;

    Result<HFile> FsCreateFile(const std::string& path, uint32_t access, uint32_t share,
                               uint32_t disposition, uint32_t flags);
    Status FsDeleteFile(const std::string& path, bool redirect);
    Status FsCopyFile(const std::string& source, const std::string& dest, bool failIfExists,
                      bool redirect);
    Status FsRename(const std::string& from, const std::string& to);
    Result<uint32_t> FsGetAttributes(const std::string& path);
    Status FsSetAttributes(const std::string& path, uint32_t attributes);
    Status FsCreateDirectory(const std::string& path, const std::vector<Machine::AceRecord>* acl,
                             bool nullDacl = false);
    Status FsRemoveDirectory(const std::string& path);
    Result<std::vector<FindRecord>> FsFind(const std::string& pattern, bool redirect);
    bool FileExistsNative(const std::string& path) const;

    // ------------------------------------------------------------ registry
    std::map<std::string, RegNode> reg;
    std::map<uintptr_t, KeyHandle> keys;
    uint64_t nextKeyId = 1;

    std::string RegPhysical(const std::string& logical, bool view32) const;
    RegNode& RegEnsure(const std::string& physPath);
    RegNode* RegFind(const std::string& physPath);
    const RegNode* RegFind(const std::string& physPath) const;
    void RegDeleteTree(const std::string& physKey);
    bool RegHasSubkeys(const std::string& physKey) const;
    std::vector<std::string> RegChildKeys(const std::string& physKey) const;
    // Logical base path of a root or handle; error 6 or 1018 when unusable.
    int32_t RegBase(HKey root, std::string* logical, bool* view32) const;
    // Full logical path of root + subKey, and the view; error code or 0.
    int32_t RegPath(HKey root, const std::string& subKey, uint32_t sam, std::string* logical,
                    bool* view32) const;
    std::string RegArgs(HKey root, const std::string& subKey) const;
    // The node behind an open handle, or the status that says why not.
    int32_t RegHandleNode(HKey key, RegNode** node);
    std::string HelperRegPath(const std::string& path, bool view64) const;
    void RegSetValue(const std::string& physPath, const std::string& name, uint32_t type,
                     const std::string& data);

    // ------------------------------------------------------------ security and privileges
    std::map<uintptr_t, WellKnownSid> sids;
    std::map<uintptr_t, std::vector<Machine::AceRecord>> acls;
    std::set<uintptr_t> tokens;
    bool shutdownEnabled = false;
    std::vector<std::string> misuse;

    // ------------------------------------------------------------ spooler
    // Answers its calls: the service is RUNNING.
    bool spoolerRunning = true;
    // The service as the service control manager reports it. A state that
    // is pending reaches `spoolerTarget` at `spoolerTargetAt` on the clock.
    static constexpr uint64_t kNever = ~uint64_t(0);
    uint32_t spoolerState = kServiceRunning;
    uint32_t spoolerPid = 1236;
    uint32_t spoolerTarget = kServiceRunning;
    uint64_t spoolerTargetAt = kNever;
    uint32_t spoolerStartType = kServiceAutoStart;
    uint32_t nextPid = 1236;
    Machine::SpoolerTiming spoolerTiming;
    // Spooler processes asked to stop, and when each ends (kNever: not at
    // all); until then it holds the files it had loaded.
    struct EndingProcess {
        uint32_t pid;
        uint64_t endsAt;
    };
    std::vector<EndingProcess> endingProcesses;
    // Cancelled jobs that leave their queue at `at`.
    struct LeavingJob {
        std::string printer;  // upper-case name
        uint32_t jobId;
        uint64_t at;
    };
    std::vector<LeavingJob> leavingJobs;
    uint64_t Later(uint32_t ms) const { return ms == Machine::kNever ? kNever : elapsed + ms; }
    // "net stop spooler" / "net start spooler" as the service takes them.
    void NetStopSpooler();
    void NetStartSpooler();
    // Makes what is due by now on the clock happen.
    void AdvanceClock(uint64_t ms);
    // When the process ends (kNever while it runs on), and whether it exists.
    bool ProcessAlive(uint32_t pid, uint64_t* endsAt) const;
    std::vector<std::string> ports;
    std::vector<MonitorInfo2> monitors;
    std::vector<SimProcessor> processors;
    std::vector<DriverInfo3> drivers;  // bare file names
    // By upper-case name, the order EnumPrintersA lists them in; a map, so
    // that finding and deleting one does not grow with their number.
    std::map<std::string, SimPrinter> printers;
    std::vector<FormInfo1> forms;      // built-in first
    std::map<uintptr_t, PrinterHandle> printerHandles;
    uint32_t nextJobId = 1;
    bool portDialogOk = true;
    // Default settings of the COM ports that were changed, by upper-case
    // device name without colon; every other COM port has 9600,n,8,1.
    std::map<std::string, CommConfig> commConfigs;
    bool xcvDataMissing = false;
    // The COM port's device name ("COM3" for "COM3:"), "" for any other port.
    std::string ComDevice(const std::string& port) const;

    std::string NativeEnvironment() const;
    // Canonical environment name; "" when unknown. nullptr or "" gives the default.
    std::string CanonicalEnv(const char* env) const;
    std::string EnvDir(const std::string& canonicalEnv) const;
    std::string DriverDir(const std::string& env) const;
    std::string ProcessorDir(const std::string& env) const;
    std::string DriverKey(const std::string& env, uint32_t version, const std::string& name) const;
    std::string ProcessorKey(const std::string& env, const std::string& name) const;
    std::string MonitorKey(const std::string& name) const;
    void MirrorDriver(const DriverInfo3& d);
    void MirrorProcessor(const SimProcessor& p);
    void MirrorMonitor(const MonitorInfo2& m);
    void StartSpooler();
    void StopSpooler();
    SimPrinter* FindPrinterByName(const std::string& name);
    void RemovePrinter(const std::string& upperName);
    DriverInfo3 FullPaths(const DriverInfo3& d) const;
    bool DriverInUse(const std::string& env, const std::string& name) const;
    // The handle's entry, or the error: 1722 when stopped, 6 when unknown.
    uint32_t PrinterFor(HPrinter h, PrinterHandle** handle, SimPrinter** printer);
    std::string PrinterArgs(HPrinter h) const;

    // ------------------------------------------------------------ setup API
    std::map<uintptr_t, InfFile> infs;
    std::string InfDir() const { return windowsDir + "\\inf"; }
    // Parses INF text; on a syntax error returns the code and the 1-based line.
    uint32_t ParseInf(const std::string& text, InfFile* out, uint32_t* errorLine) const;

    // ------------------------------------------------------------ user, time, processes
    std::deque<int> answers;
    std::vector<UiEvent> ui;
    uint64_t elapsed = 0;
    std::vector<uint32_t> pauses;
    bool exited = false;
    int exitCode = 0;
    std::vector<uint32_t> restarts;
    std::vector<std::string> commands;
    std::map<std::string, int> mutexes;  // name -> handles open on it
    int Answer(uint32_t style);
    // The program a command line starts, found as CreateProcess finds it; "" if none.
    std::string FindProgram(const std::string& commandLine) const;

    // ------------------------------------------------------------ layout
    void BuildDefaultFolders();
    void BuildDefaultFiles();
    void BuildDefaultRegistry();
    void BuildDefaultSpooler();
};

}  // namespace zep::sim
