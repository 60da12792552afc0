// The simulated registry (with the WOW64 view of HKLM\SOFTWARE), security
// objects and privileges.
#include "platform/sim/state.h"

namespace zep::sim {

using Lock = std::lock_guard<std::recursive_mutex>;

namespace {

std::vector<std::string> SplitKey(const std::string& path) {
    std::vector<std::string> out;
    size_t i = 0;
    while (i <= path.size()) {
        size_t j = path.find('\\', i);
        if (j == std::string::npos) j = path.size();
        if (j > i) out.push_back(path.substr(i, j - i));
        i = j + 1;
    }
    return out;
}

std::string JoinKey(const std::vector<std::string>& parts) {
    std::string out;
    for (const std::string& p : parts) out += (out.empty() ? "" : "\\") + p;
    return out;
}

const char* SidName(WellKnownSid sid) {
    switch (sid) {
        case WellKnownSid::Everyone: return "Everyone";
        case WellKnownSid::Administrators: return "Administrators";
        case WellKnownSid::LocalSystem: return "SYSTEM";
    }
    return "?";
}

constexpr uint32_t kShutdownLuid = 19;  // SE_SHUTDOWN_PRIVILEGE

const std::pair<const char*, uint32_t> kPrivileges[] = {
    {"SeSecurityPrivilege", 8},     {"SeTakeOwnershipPrivilege", 9},
    {"SeLoadDriverPrivilege", 10},  {"SeSystemtimePrivilege", 12},
    {"SeBackupPrivilege", 17},      {"SeRestorePrivilege", 18},
    {"SeShutdownPrivilege", 19},    {"SeDebugPrivilege", 20},
    {"SeChangeNotifyPrivilege", 23}, {"SeRemoteShutdownPrivilege", 24},
};

}  // namespace

// ---------------------------------------------------------------- state

std::string Machine::State::RegPhysical(const std::string& logical, bool view32) const {
    std::vector<std::string> parts = SplitKey(logical);
    // A 32-bit process on 64-bit Windows reaches HKLM\SOFTWARE\X through Wow6432Node.
    if (windows64 && view32 && parts.size() >= 3 && IEquals(parts[0], "HKLM") &&
        IEquals(parts[1], "SOFTWARE") && !IEquals(parts[2], "Wow6432Node"))
        parts.insert(parts.begin() + 2, "Wow6432Node");
    return JoinKey(parts);
}

RegNode* Machine::State::RegFind(const std::string& physPath) {
    auto it = reg.find(Upper(physPath));
    return it == reg.end() ? nullptr : &it->second;
}

const RegNode* Machine::State::RegFind(const std::string& physPath) const {
    auto it = reg.find(Upper(physPath));
    return it == reg.end() ? nullptr : &it->second;
}

RegNode& Machine::State::RegEnsure(const std::string& physPath) {
    std::vector<std::string> parts = SplitKey(physPath);
    std::string key, display;
    RegNode* node = nullptr;
    for (const std::string& p : parts) {
        key += (key.empty() ? "" : "\\") + Upper(p);
        auto it = reg.find(key);
        if (it == reg.end()) {
            RegNode n;
            n.path = display.empty() ? p : display + "\\" + p;
            n.id = nextKeyId++;
            it = reg.emplace(key, n).first;
        }
        display = it->second.path;
        node = &it->second;
    }
    return *node;
}

std::vector<std::string> Machine::State::RegChildKeys(const std::string& physKey) const {
    std::vector<std::string> out;
    std::string prefix = Upper(physKey) + "\\";
    for (auto it = reg.lower_bound(prefix); it != reg.end(); ++it) {
        if (it->first.compare(0, prefix.size(), prefix) != 0) break;
        if (it->first.find('\\', prefix.size()) == std::string::npos) out.push_back(it->first);
    }
    return out;
}

bool Machine::State::RegHasSubkeys(const std::string& physKey) const {
    return !RegChildKeys(physKey).empty();
}

void Machine::State::RegDeleteTree(const std::string& physKey) {
    std::string key = Upper(physKey), prefix = key + "\\";
    for (auto it = reg.begin(); it != reg.end();) {
        if (it->first == key || it->first.compare(0, prefix.size(), prefix) == 0)
            it = reg.erase(it);
        else
            ++it;
    }
}

int32_t Machine::State::RegBase(HKey root, std::string* logical, bool* view32) const {
    *view32 = windows64;  // the process's own view: 32-bit
    if (root == kHKeyLocalMachine) {
        *logical = "HKLM";
        return 0;
    }
    if (root == kHKeyCurrentUser) {
        *logical = "HKCU";
        return 0;
    }
    auto it = keys.find(uintptr_t(root));
    if (it == keys.end()) return int32_t(kErrInvalidHandle);
    const RegNode* n = RegFind(it->second.phys);
    if (!n || n->id != it->second.id) return int32_t(err::kKeyDeleted);
    *logical = it->second.logical;
    *view32 = it->second.view32;
    return 0;
}

int32_t Machine::State::RegPath(HKey root, const std::string& subKey, uint32_t sam,
                                std::string* logical, bool* view32) const {
    if (int32_t st = RegBase(root, logical, view32)) return st;
    if (!subKey.empty() && subKey[0] == '\\') return int32_t(err::kBadPathname);
    for (const std::string& p : SplitKey(subKey)) *logical += "\\" + p;
    if (sam & kKeyWow64_64Key) *view32 = false;
    if (sam & kKeyWow64_32Key) *view32 = windows64;
    return 0;
}

std::string Machine::State::RegArgs(HKey root, const std::string& subKey) const {
    std::string logical;
    bool view32 = false;
    if (RegBase(root, &logical, &view32) != 0) {
        auto it = keys.find(uintptr_t(root));
        logical = it != keys.end() ? it->second.logical : "?";
    }
    return subKey.empty() ? logical : logical + "\\" + subKey;
}

int32_t Machine::State::RegHandleNode(HKey key, RegNode** node) {
    std::string logical;
    bool view32 = false;
    if (int32_t st = RegBase(key, &logical, &view32)) return st;
    auto it = keys.find(uintptr_t(key));
    *node = it != keys.end() ? RegFind(it->second.phys) : RegFind(logical);
    return *node ? 0 : int32_t(kErrInvalidHandle);
}

std::string Machine::State::HelperRegPath(const std::string& path, bool view64) const {
    std::string p = path;
    while (!p.empty() && p[0] == '\\') p.erase(0, 1);
    std::string logical;
    if (IStartsWith(p, "HKLM\\") || IStartsWith(p, "HKCU\\"))
        logical = Upper(p.substr(0, 4)) + p.substr(4);
    else if (IStartsWith(p, "HKEY_LOCAL_MACHINE\\"))
        logical = "HKLM" + p.substr(18);
    else
        logical = "HKLM\\" + p;
    return RegPhysical(logical, !view64);
}

void Machine::State::RegSetValue(const std::string& physPath, const std::string& name,
                                 uint32_t type, const std::string& data) {
    RegNode& n = RegEnsure(physPath);
    for (RegValue& v : n.values)
        if (IEquals(v.name, name)) {
            v.type = type;
            v.data = data;
            return;
        }
    n.values.push_back(RegValue{name, type, data});
}

void Machine::State::BuildDefaultRegistry() {
    RegEnsure("HKLM");
    RegEnsure("HKCU\\Software");
    RegEnsure("HKLM\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall");
    if (windows64) RegEnsure("HKLM\\SOFTWARE\\Wow6432Node\\Microsoft\\Windows\\CurrentVersion\\Uninstall");
    const std::string print = "HKLM\\SYSTEM\\CurrentControlSet\\Control\\Print";
    RegEnsure(print + "\\Monitors");
    RegEnsure("HKLM\\SYSTEM\\CurrentControlSet\\Control\\Session Manager");
    for (const char* env : {"Windows NT x86", "Windows x64"}) {
        RegEnsure(print + "\\Environments\\" + env + "\\Drivers\\Version-3");
        RegEnsure(print + "\\Environments\\" + env + "\\Print Processors");
    }
}

// ---------------------------------------------------------------- helpers

void Machine::SetRegString(const std::string& path, const std::string& name,
                           const std::string& value, bool view64) {
    Lock g(mutex_);
    s_->RegSetValue(s_->HelperRegPath(path, view64), name, kRegSz, SzBytes(value));
}

void Machine::SetRegValue(const std::string& path, const std::string& name, uint32_t type,
                          const std::string& data, bool view64) {
    Lock g(mutex_);
    s_->RegSetValue(s_->HelperRegPath(path, view64), name, type, data);
}

void Machine::AddRegKey(const std::string& path, bool view64) {
    Lock g(mutex_);
    s_->RegEnsure(s_->HelperRegPath(path, view64));
}

bool Machine::RegKeyExists(const std::string& path, bool view64) const {
    Lock g(mutex_);
    return s_->RegFind(s_->HelperRegPath(path, view64)) != nullptr;
}

std::optional<RegValue> Machine::RegRawValue(const std::string& path, const std::string& name,
                                             bool view64) const {
    Lock g(mutex_);
    const RegNode* n = s_->RegFind(s_->HelperRegPath(path, view64));
    if (!n) return std::nullopt;
    for (const RegValue& v : n->values)
        if (IEquals(v.name, name)) return v;
    return std::nullopt;
}

std::optional<std::string> Machine::RegString(const std::string& path, const std::string& name,
                                              bool view64) const {
    std::optional<RegValue> v = RegRawValue(path, name, view64);
    if (!v) return std::nullopt;
    std::string s = v->data;
    if (v->type == kRegSz || v->type == 2 /*REG_EXPAND_SZ*/) {
        if (s.empty() || s.back() != '\0') return s + kUnterminated;
        s.pop_back();
    }
    return s;
}

std::vector<std::string> Machine::RegValueNames(const std::string& path, bool view64) const {
    Lock g(mutex_);
    std::vector<std::string> out;
    if (const RegNode* n = s_->RegFind(s_->HelperRegPath(path, view64)))
        for (const RegValue& v : n->values) out.push_back(v.name);
    return out;
}

// ---------------------------------------------------------------- seam: registry

Advapi::KeyResult Machine::RegOpenKeyExA(HKey root, const std::string& subKey, uint32_t options,
                                         uint32_t samDesired) {
    (void)options;
    Lock g(mutex_);
    State::Call c = s_->Begin("RegOpenKeyExA", s_->RegArgs(root, subKey));
    KeyResult r;
    if (c.fault) {
        r.status = c.DoneStatus(int32_t(*c.fault));
        return r;
    }
    std::string logical;
    bool view32 = false;
    if ((r.status = s_->RegPath(root, subKey, samDesired, &logical, &view32)) != 0) {
        c.DoneStatus(r.status);
        return r;
    }
    std::string phys = s_->RegPhysical(logical, view32);
    const RegNode* n = s_->RegFind(phys);
    if (!n) {
        r.status = c.DoneStatus(int32_t(kErrFileNotFound));
        return r;
    }
    uintptr_t h = s_->NewHandle();
    s_->keys[h] = KeyHandle{logical, view32, Upper(phys), n->id};
    r.key = HKey(h);
    return r;
}

Advapi::KeyResult Machine::RegCreateKeyExA(HKey root, const std::string& subKey,
                                           uint32_t options, uint32_t samDesired) {
    (void)options;
    Lock g(mutex_);
    State::Call c = s_->Begin("RegCreateKeyExA", s_->RegArgs(root, subKey));
    KeyResult r;
    if (c.fault) {
        r.status = c.DoneStatus(int32_t(*c.fault));
        return r;
    }
    std::string logical;
    bool view32 = false;
    if ((r.status = s_->RegPath(root, subKey, samDesired, &logical, &view32)) != 0) {
        c.DoneStatus(r.status);
        return r;
    }
    std::string phys = s_->RegPhysical(logical, view32);
    if (const RegNode* existing = s_->RegFind(phys)) {
        r.disposition = kRegOpenedExistingKey;
        (void)existing;
    } else {
        // The roots of the machine hive take no new keys.
        std::vector<std::string> parts = SplitKey(phys);
        if (parts.size() >= 2 && IEquals(parts[0], "HKLM") && !s_->RegFind(parts[0] + "\\" + parts[1])) {
            r.status = c.DoneStatus(int32_t(kErrAccessDenied));
            return r;
        }
        s_->RegEnsure(phys);
        r.disposition = kRegCreatedNewKey;
    }
    const RegNode* n = s_->RegFind(phys);
    uintptr_t h = s_->NewHandle();
    s_->keys[h] = KeyHandle{logical, view32, Upper(phys), n->id};
    r.key = HKey(h);
    return r;
}

int32_t Machine::RegSetValueExA(HKey key, const std::string& name, uint32_t type,
                                const std::string& data) {
    Lock g(mutex_);
    State::Call c = s_->Begin("RegSetValueExA", s_->RegArgs(key, "") + "|" + name);
    if (c.fault) return c.DoneStatus(int32_t(*c.fault));
    RegNode* n = nullptr;
    if (int32_t st = s_->RegHandleNode(key, &n)) return c.DoneStatus(st);
    s_->RegSetValue(n->path, name, type, data);
    return 0;
}

Result<RegValue> Machine::RegQueryValueExA(HKey key, const std::string& name) {
    Lock g(mutex_);
    State::Call c = s_->Begin("RegQueryValueExA", s_->RegArgs(key, "") + "|" + name);
    if (c.fault) return c.Done(Result<RegValue>::Fail(*c.fault));
    RegNode* n = nullptr;
    if (int32_t st = s_->RegHandleNode(key, &n)) return c.Done(Result<RegValue>::Fail(uint32_t(st)));
    for (const RegValue& v : n->values)
        if (IEquals(v.name, name)) return Result<RegValue>::Ok(v);
    return c.Done(Result<RegValue>::Fail(kErrFileNotFound));
}

Result<std::vector<std::string>> Machine::RegEnumKeys(HKey key) {
    Lock g(mutex_);
    using R = Result<std::vector<std::string>>;
    State::Call c = s_->Begin("RegEnumKeys", s_->RegArgs(key, ""));
    if (c.fault) return c.Done(R::Fail(*c.fault));
    RegNode* n = nullptr;
    if (int32_t st = s_->RegHandleNode(key, &n)) return c.Done(R::Fail(uint32_t(st)));
    std::vector<std::string> out;
    for (const std::string& k : s_->RegChildKeys(n->path)) {
        const std::string& p = s_->reg.at(k).path;
        out.push_back(p.substr(p.find_last_of('\\') + 1));
    }
    return R::Ok(out);
}

Result<std::vector<RegValue>> Machine::RegEnumValues(HKey key) {
    Lock g(mutex_);
    using R = Result<std::vector<RegValue>>;
    State::Call c = s_->Begin("RegEnumValues", s_->RegArgs(key, ""));
    if (c.fault) return c.Done(R::Fail(*c.fault));
    RegNode* n = nullptr;
    if (int32_t st = s_->RegHandleNode(key, &n)) return c.Done(R::Fail(uint32_t(st)));
    return R::Ok(n->values);
}

int32_t Machine::RegCloseKey(HKey key) {
    Lock g(mutex_);
    State::Call c = s_->Begin("RegCloseKey", s_->RegArgs(key, ""));
    if (c.fault) return c.DoneStatus(int32_t(*c.fault));
    if (key == kHKeyLocalMachine || key == kHKeyCurrentUser) return 0;
    if (!s_->keys.erase(uintptr_t(key))) {
        s_->misuse.push_back("RegCloseKey: unknown key handle " + Hex(uint32_t(uintptr_t(key))));
        return c.DoneStatus(int32_t(kErrInvalidHandle));
    }
    return 0;
}

int32_t Machine::SHDeleteKeyA(HKey root, const std::string& subKey) {
    Lock g(mutex_);
    State::Call c = s_->Begin("SHDeleteKeyA", s_->RegArgs(root, subKey));
    if (c.fault) return c.DoneStatus(int32_t(*c.fault));
    std::string logical;
    bool view32 = false;
    // No view flag: a 32-bit caller deletes in its own (redirected) view.
    if (int32_t st = s_->RegPath(root, subKey, 0, &logical, &view32)) return c.DoneStatus(st);
    std::string phys = s_->RegPhysical(logical, view32);
    if (SplitKey(phys).size() < 2) return c.DoneStatus(int32_t(kErrAccessDenied));
    if (!s_->RegFind(phys)) return c.DoneStatus(int32_t(kErrFileNotFound));
    s_->RegDeleteTree(phys);
    return 0;
}

std::optional<int32_t> Machine::RegDeleteKeyExA(HKey root, const std::string& subKey,
                                                uint32_t samDesired, uint32_t reserved) {
    Lock g(mutex_);
    State::Call c = s_->Begin("RegDeleteKeyExA", s_->RegArgs(root, subKey), s_->hasRegDeleteKeyEx);
    if (!s_->hasRegDeleteKeyEx) {
        c.Fail(kErrProcNotFound);
        return std::nullopt;
    }
    if (c.fault) return c.DoneStatus(int32_t(*c.fault));
    if (reserved != 0) return c.DoneStatus(int32_t(kErrInvalidParameter));
    std::string logical;
    bool view32 = false;
    if (int32_t st = s_->RegPath(root, subKey, samDesired, &logical, &view32))
        return c.DoneStatus(st);
    std::string phys = s_->RegPhysical(logical, view32);
    if (SplitKey(phys).size() < 2) return c.DoneStatus(int32_t(kErrAccessDenied));
    if (!s_->RegFind(phys)) return c.DoneStatus(int32_t(kErrFileNotFound));
    if (s_->RegHasSubkeys(phys)) return c.DoneStatus(int32_t(kErrAccessDenied));
    s_->reg.erase(Upper(phys));
    return 0;
}

// ---------------------------------------------------------------- seam: security

Result<HSid> Machine::AllocateAndInitializeSid(WellKnownSid sid) {
    Lock g(mutex_);
    State::Call c = s_->Begin("AllocateAndInitializeSid", SidName(sid));
    if (c.fault) return c.Done(Result<HSid>::Fail(*c.fault));
    uintptr_t h = s_->NewHandle();
    s_->sids[h] = sid;
    return Result<HSid>::Ok(HSid(h));
}

void Machine::FreeSid(HSid sid) {
    Lock g(mutex_);
    auto it = s_->sids.find(uintptr_t(sid));
    State::Call c =
        s_->Begin("FreeSid", it != s_->sids.end() ? SidName(it->second) : "?", false);
    if (it == s_->sids.end()) {
        s_->misuse.push_back("FreeSid: unknown or already freed SID " +
                             Hex(uint32_t(uintptr_t(sid))));
        c.Fail(kErrInvalidHandle);
        return;
    }
    s_->sids.erase(it);
}

Result<HAcl> Machine::SetEntriesInAclA(const std::vector<ExplicitAccess>& entries) {
    Lock g(mutex_);
    std::string args;
    for (const ExplicitAccess& e : entries) {
        auto it = s_->sids.find(uintptr_t(e.trustee));
        args += (args.empty() ? "" : ",") + std::string(it != s_->sids.end() ? SidName(it->second) : "?");
    }
    State::Call c = s_->Begin("SetEntriesInAclA", args);
    if (c.fault) return c.Done(Result<HAcl>::Fail(*c.fault));
    // No entries and no old ACL: success, and the new ACL is NULL.
    if (entries.empty()) return Result<HAcl>::Ok(HAcl::None);
    std::vector<AceRecord> aces;
    for (const ExplicitAccess& e : entries) {
        auto it = s_->sids.find(uintptr_t(e.trustee));
        if (it == s_->sids.end()) return c.Done(Result<HAcl>::Fail(kErrInvalidParameter));
        if (e.mode == kGrantAccess || e.mode == kSetAccess)
            aces.push_back(AceRecord{SidName(it->second), e.permissions, e.inheritance});
    }
    uintptr_t h = s_->NewHandle();
    s_->acls[h] = aces;
    return Result<HAcl>::Ok(HAcl(h));
}

void Machine::LocalFree(HAcl acl) {
    Lock g(mutex_);
    State::Call c = s_->Begin("LocalFree", Hex(uint32_t(uintptr_t(acl))), false);
    if (acl == HAcl::None) return;  // LocalFree(NULL) does nothing
    if (!s_->acls.erase(uintptr_t(acl))) {
        s_->misuse.push_back("LocalFree: unknown or already freed ACL " +
                             Hex(uint32_t(uintptr_t(acl))));
        c.Fail(kErrInvalidHandle);
    }
}

// ---------------------------------------------------------------- seam: privileges

Result<HToken> Machine::OpenProcessToken(uint32_t desiredAccess) {
    Lock g(mutex_);
    State::Call c = s_->Begin("OpenProcessToken", Hex(desiredAccess));
    if (c.fault) return c.Done(Result<HToken>::Fail(*c.fault));
    uintptr_t h = s_->NewHandle();
    s_->tokens.insert(h);
    return Result<HToken>::Ok(HToken(h));
}

Result<Luid> Machine::LookupPrivilegeValueA(const std::string& name) {
    Lock g(mutex_);
    State::Call c = s_->Begin("LookupPrivilegeValueA", name);
    if (c.fault) return c.Done(Result<Luid>::Fail(*c.fault));
    for (const auto& [n, v] : kPrivileges)
        if (IEquals(name, n)) return Result<Luid>::Ok(Luid{v, 0});
    return c.Done(Result<Luid>::Fail(err::kNoSuchPrivilege));
}

Status Machine::AdjustTokenPrivileges(HToken token, Luid privilege, uint32_t attributes) {
    Lock g(mutex_);
    std::string name = "?";
    for (const auto& [n, v] : kPrivileges)
        if (privilege.low == v && privilege.high == 0) name = n;
    State::Call c = s_->Begin("AdjustTokenPrivileges", name);
    if (c.fault) return c.Done(Status::Fail(*c.fault));
    if (!s_->tokens.count(uintptr_t(token))) return c.Done(Status::Fail(kErrInvalidHandle));
    bool held = name != "?" && (privilege.low != kShutdownLuid || s_->shutdownHeld);
    if (!held) {
        // The call succeeds but says that the privilege was not assigned.
        s_->calls[c.index].error = kErrNotAllAssigned;
        return Status{true, kErrNotAllAssigned};
    }
    if (privilege.low == kShutdownLuid) s_->shutdownEnabled = (attributes & kSePrivilegeEnabled) != 0;
    return Status::Ok();
}

}  // namespace zep::sim
