// The simulated file system: paths, WOW64 redirection, junctions, sharing,
// attributes, and the kernel's file calls.
#include <algorithm>
#include <cctype>

#include "platform/sim/state.h"

namespace zep::sim {

using Lock = std::lock_guard<std::recursive_mutex>;

namespace {

constexpr uint32_t kDelete = 0x10000;
constexpr uint32_t kTruncateExisting = 5;
constexpr uint32_t kDriveRootAttributes = kFileAttributeHidden | kFileAttributeSystem |
                                          kFileAttributeDirectory;
constexpr uint32_t kSettableAttributes = kFileAttributeReadonly | kFileAttributeHidden |
                                         kFileAttributeSystem | kFileAttributeArchive |
                                         0x100 /*temporary*/ | 0x1000 /*offline*/ |
                                         0x2000 /*not content indexed*/;

bool WantsRead(uint32_t a) { return a & (kGenericRead | kGenericAll | kFileReadData); }
bool WantsWrite(uint32_t a) {
    return a & (kGenericWrite | kGenericAll | kFileWriteData | kFileAppendData);
}
bool WantsDelete(uint32_t a) { return a & (kGenericAll | kDelete); }
// FILE_APPEND_DATA without FILE_WRITE_DATA: every write goes to the end.
bool AppendsOnly(uint32_t a) {
    return (a & kFileAppendData) && !(a & (kGenericWrite | kGenericAll | kFileWriteData));
}

constexpr uint32_t kMovefileCopyAllowed = 0x2;
const char* const kSessionManager = "HKLM\\SYSTEM\\CurrentControlSet\\Control\\Session Manager";
const char* const kPendingRenames = "PendingFileRenameOperations";

struct Parsed {
    uint32_t error = 0;
    std::string drive;  // "C:"
    std::vector<std::string> comps;
    bool trailingSlash = false;
};

bool BadChar(char c, bool wildcards) {
    if (static_cast<unsigned char>(c) < 32) return true;
    switch (c) {
        case '<': case '>': case '"': case '|': case ':':
            return true;
        case '*': case '?':
            return !wildcards;
        default:
            return false;
    }
}

void Split(const std::string& rest, std::vector<std::string>& comps) {
    size_t i = 0;
    while (i <= rest.size()) {
        size_t j = rest.find('\\', i);
        if (j == std::string::npos) j = rest.size();
        std::string c = rest.substr(i, j - i);
        // Doubled separators read as one; "." stays, ".." climbs (never above the root).
        if (c.empty() || c == ".") {
        } else if (c == "..") {
            if (!comps.empty()) comps.pop_back();
        } else {
            comps.push_back(c);
        }
        i = j + 1;
    }
}

Parsed Parse(std::string s, const std::string& cwd, bool wildcardsInLast) {
    Parsed p;
    if (s.empty()) {
        p.error = kErrPathNotFound;
        return p;
    }
    std::replace(s.begin(), s.end(), '/', '\\');
    if (s.compare(0, 4, "\\\\?\\") == 0) {
        s = s.substr(4);
    } else if (s.compare(0, 2, "\\\\") == 0) {
        p.error = err::kBadNetPath;  // no network in this machine
        return p;
    }
    p.trailingSlash = s.size() > 1 && s.back() == '\\';
    std::string rest;
    bool hasDrive = s.size() >= 2 && s[1] == ':' && std::isalpha(static_cast<unsigned char>(s[0]));
    std::string cwdDrive = Upper(cwd.substr(0, 2));
    if (hasDrive) {
        p.drive = Upper(s.substr(0, 2));
        rest = s.substr(2);
        if (rest.empty() || rest[0] != '\\') {
            // "C:name": relative to the current folder when it is on that drive.
            if (p.drive == cwdDrive) Split(cwd.substr(2), p.comps);
        }
    } else if (s[0] == '\\') {
        p.drive = cwdDrive;
        rest = s;
    } else {
        p.drive = cwdDrive;
        Split(cwd.substr(2), p.comps);
        rest = s;
    }
    Split(rest, p.comps);
    for (size_t i = 0; i < p.comps.size(); ++i) {
        bool wild = wildcardsInLast && i + 1 == p.comps.size();
        for (char c : p.comps[i])
            if (BadChar(c, wild)) {
                p.error = err::kInvalidName;
                return p;
            }
    }
    return p;
}

}  // namespace

// ---------------------------------------------------------------- state: paths

FsEntry* Machine::State::Find(const std::string& key) {
    auto it = fs.find(key);
    return it == fs.end() ? nullptr : &it->second;
}

const FsEntry* Machine::State::Find(const std::string& key) const {
    auto it = fs.find(key);
    return it == fs.end() ? nullptr : &it->second;
}

PathRef Machine::State::Resolve(const std::string& path, bool redirect, bool followLast,
                                bool wildcardsInLast) const {
    PathRef r;
    Parsed p = Parse(path, currentDir, wildcardsInLast);
    if (p.error) {
        r.error = p.error;
        return r;
    }
    r.trailingSlash = p.trailingSlash;

    if (redirect && windows64) {
        // A 32-bit process sees SysWOW64 where it names system32, except for
        // the folders that WOW64 leaves shared.
        Parsed w = Parse(windowsDir, currentDir, false);
        size_t n = w.comps.size();
        bool under = p.drive == w.drive && p.comps.size() > n;
        for (size_t i = 0; under && i < n; ++i) under = IEquals(p.comps[i], w.comps[i]);
        if (under) {
            std::string c = Upper(p.comps[n]);
            std::string next = p.comps.size() > n + 1 ? Upper(p.comps[n + 1]) : "";
            std::string after = p.comps.size() > n + 2 ? Upper(p.comps[n + 2]) : "";
            if (c == "SYSNATIVE" && version.major >= 6) {
                p.comps[n] = "system32";
            } else if (c == "SYSTEM32") {
                bool exempt = next == "CATROOT" || next == "CATROOT2" || next == "DRIVERSTORE" ||
                              next == "LOGFILES" || next == "SPOOL" ||
                              (next == "DRIVERS" && after == "ETC");
                if (!exempt) p.comps[n] = "SysWOW64";
            }
        }
    }

    std::string curKey = p.drive, curDisp = p.drive;
    if (!Find(curKey)) {
        r.error = kErrPathNotFound;
        return r;
    }
    if (p.comps.empty()) {
        r.ok = true;
        r.key = curKey;
        r.display = curDisp + "\\";
        return r;
    }
    int hops = 0;
    for (size_t i = 0; i < p.comps.size(); ++i) {
        bool last = i + 1 == p.comps.size();
        std::string childKey = curKey + "\\" + Upper(p.comps[i]);
        const FsEntry* e = Find(childKey);
        if (e && !e->junction.empty() && (!last || followLast)) {
            if (++hops > 32) {
                r.error = err::kCantResolveFilename;
                return r;
            }
            childKey = e->junction;
            e = Find(childKey);
            if (e && !e->junction.empty()) {
                r.error = err::kCantResolveFilename;
                return r;
            }
        }
        if (!last) {
            if (!e || !e->dir) {
                r.error = kErrPathNotFound;
                return r;
            }
            curKey = childKey;
            curDisp = e->path;
        } else {
            r.ok = true;
            r.parentKey = curKey;
            r.key = childKey;
            r.display = e ? e->path : curDisp + "\\" + p.comps[i];
            r.name = p.comps[i];
        }
    }
    return r;
}

std::vector<std::string> Machine::State::ChildKeys(const std::string& key) const {
    std::vector<std::string> out;
    std::string prefix = key + "\\";
    for (auto it = fs.lower_bound(prefix); it != fs.end(); ++it) {
        if (it->first.compare(0, prefix.size(), prefix) != 0) break;
        if (it->first.find('\\', prefix.size()) == std::string::npos) out.push_back(it->first);
    }
    return out;
}

std::string Machine::State::MakeDirs(const std::string& path) {
    Parsed p = Parse(path, currentDir, false);
    if (p.error) return "";
    std::string key = p.drive;
    if (!Find(key)) {
        FsEntry root;
        root.path = p.drive;
        root.dir = true;
        root.attrs = kDriveRootAttributes;
        fs[key] = root;
    }
    for (const std::string& c : p.comps) {
        std::string child = key + "\\" + Upper(c);
        FsEntry* e = Find(child);
        if (e && !e->junction.empty()) {
            child = e->junction;
            e = Find(child);
        }
        if (!e) {
            FsEntry d;
            d.path = fs[key].path + "\\" + c;
            d.dir = true;
            d.attrs = kFileAttributeDirectory;
            fs[child] = d;
        } else if (!e->dir) {
            return "";
        }
        key = child;
    }
    return key;
}

void Machine::State::PutFile(const std::string& path, const std::string& data, uint32_t attrs) {
    Parsed p = Parse(path, currentDir, false);
    if (p.error || p.comps.empty()) return;
    std::string name = p.comps.back();
    std::string parent = p.drive;
    for (size_t i = 0; i + 1 < p.comps.size(); ++i) parent += "\\" + p.comps[i];
    std::string parentKey = MakeDirs(parent + "\\");
    if (parentKey.empty()) return;
    std::string key = parentKey + "\\" + Upper(name);
    FsEntry* e = Find(key);
    if (e && e->dir) return;
    FsEntry f;
    f.path = e ? e->path : fs[parentKey].path + "\\" + name;
    f.data = data;
    f.attrs = attrs & ~(kFileAttributeDirectory | kFileAttributeNormal);
    fs[key] = f;
}

uint32_t Machine::State::ReadAttributes(const FsEntry& e) const {
    if (e.dir) return e.attrs | kFileAttributeDirectory;
    return e.attrs == 0 ? kFileAttributeNormal : e.attrs;
}

bool Machine::State::SharesAllow(const std::string& key, uint32_t needShare) const {
    for (const auto& [h, f] : files)
        if (f.key == key && f.access != 0 && !(f.share & needShare)) return false;
    for (const Hold& h : holds)
        if (h.key == key && !(h.share & needShare)) return false;
    return true;
}

uint32_t Machine::State::OpenConflict(const std::string& key, uint32_t access,
                                      uint32_t share) const {
    auto clash = [&](uint32_t ea, uint32_t es) {
        if (ea == 0) return false;
        if ((WantsRead(access) && !(es & kFileShareRead)) ||
            (WantsWrite(access) && !(es & kFileShareWrite)) ||
            (WantsDelete(access) && !(es & kFileShareDelete)))
            return true;
        return (WantsRead(ea) && !(share & kFileShareRead)) ||
               (WantsWrite(ea) && !(share & kFileShareWrite)) ||
               (WantsDelete(ea) && !(share & kFileShareDelete));
    };
    for (const auto& [h, f] : files)
        if (f.key == key && clash(f.access, f.share)) return kErrSharingViolation;
    for (const Hold& h : holds)
        if (h.key == key && clash(h.access, h.share)) return kErrSharingViolation;
    return 0;
}

bool Machine::State::InUse(const std::string& key) const {
    auto inside = [&](const std::string& k) {
        return k == key || k.compare(0, key.size() + 1, key + "\\") == 0;
    };
    for (const auto& [h, f] : files)
        if (inside(f.key)) return true;
    for (const Hold& h : holds)
        if (inside(h.key)) return true;
    return false;
}

void Machine::State::RemoveTree(const std::string& key) {
    std::string prefix = key + "\\";
    for (auto it = fs.begin(); it != fs.end();) {
        if (it->first == key || it->first.compare(0, prefix.size(), prefix) == 0)
            it = fs.erase(it);
        else
            ++it;
    }
}

void Machine::State::MoveTree(const std::string& fromKey, const std::string& toKey,
                              const std::string& toDisplay) {
    std::string prefix = fromKey + "\\";
    auto inside = [&](const std::string& k) {
        return k == fromKey || k.compare(0, prefix.size(), prefix) == 0;
    };
    auto rekey = [&](std::string& k) {
        if (inside(k)) k = toKey + k.substr(fromKey.size());
    };
    size_t oldLen = fs[fromKey].path.size();
    std::vector<std::pair<std::string, FsEntry>> moved;
    for (auto it = fs.begin(); it != fs.end();) {
        if (inside(it->first)) {
            FsEntry e = it->second;
            e.path = toDisplay + e.path.substr(oldLen);
            moved.emplace_back(toKey + it->first.substr(fromKey.size()), e);
            it = fs.erase(it);
        } else {
            ++it;
        }
    }
    for (auto& [k, e] : moved) fs[k] = e;
    for (auto& [k, e] : fs)
        if (!e.junction.empty()) rekey(e.junction);
    for (auto& [h, f] : files) rekey(f.key);
    for (Hold& h : holds) rekey(h.key);
}

std::string Machine::State::HandlePath(HFile h) const {
    auto it = files.find(uintptr_t(h));
    if (it == files.end()) return "";
    const FsEntry* e = Find(it->second.key);
    return e ? e->path : it->second.key;
}

void Machine::State::SyncLinks(const FsEntry& e) {
    if (e.linkGroup == 0) return;
    for (auto& [k, other] : fs)
        if (other.linkGroup == e.linkGroup && &other != &e) {
            other.data = e.data;
            other.attrs = e.attrs;
        }
}

uint32_t Machine::State::LinkCount(const FsEntry& e) const {
    if (e.linkGroup == 0) return 1;
    uint32_t n = 0;
    for (const auto& [k, other] : fs) n += other.linkGroup == e.linkGroup;
    return n;
}

bool Machine::State::FileExistsNative(const std::string& path) const {
    PathRef r = Resolve(path, false, true);
    const FsEntry* e = r.ok ? Find(r.key) : nullptr;
    return e && !e->dir;
}

// ---------------------------------------------------------------- state: operations

Result<HFile> Machine::State::FsCreateFile(const std::string& path, uint32_t access,
                                           uint32_t share, uint32_t disposition,
                                           uint32_t flags) {
    using R = Result<HFile>;
    if (path.size() >= 260) return R::Fail(kErrFilenameExcedRange);
    if (disposition < kCreateNew || disposition > kTruncateExisting)
        return R::Fail(kErrInvalidParameter);
    // A link as the last component is followed unless the link itself is asked for.
    PathRef r = Resolve(path, true, (flags & kFileFlagOpenReparsePoint) == 0);
    if (!r.ok) return R::Fail(r.error);
    FsEntry* e = Find(r.key);
    if (e && e->dir) {
        // Folders open only with backup semantics, and only as they are.
        if (!(flags & kFileFlagBackupSemantics)) return R::Fail(kErrAccessDenied);
        if (disposition == kCreateNew) return R::Fail(kErrFileExists);
        if (disposition != kOpenExisting && disposition != kOpenAlways)
            return R::Fail(kErrAccessDenied);
        if (uint32_t c = OpenConflict(r.key, access, share)) return R::Fail(c);
        uintptr_t h = NewHandle();
        files[h] = OpenFile{r.key, access, share, 0};
        R result = R::Ok(HFile(h));
        if (disposition == kOpenAlways) result.error = kErrAlreadyExists;
        return result;
    }
    if (r.parentKey.empty()) return R::Fail(kErrAccessDenied);
    if (r.trailingSlash) return R::Fail(err::kInvalidName);

    uint32_t newAttrs =
        (flags & (kFileAttributeReadonly | kFileAttributeHidden | kFileAttributeSystem)) |
        kFileAttributeArchive;
    bool existed = e != nullptr;
    bool truncate = false;
    switch (disposition) {
        case kCreateNew:
            if (e) return R::Fail(kErrFileExists);
            break;
        case kCreateAlways:
            if (e) {
                uint32_t hs = e->attrs & (kFileAttributeHidden | kFileAttributeSystem);
                if ((flags & hs) != hs) return R::Fail(kErrAccessDenied);
                truncate = true;
            }
            break;
        case kOpenExisting:
            if (!e) return R::Fail(kErrFileNotFound);
            break;
        case kOpenAlways:
            break;
        case kTruncateExisting:
            if (!e) return R::Fail(kErrFileNotFound);
            if (!WantsWrite(access)) return R::Fail(kErrInvalidParameter);
            truncate = true;
            break;
    }
    if (e) {
        if ((e->attrs & kFileAttributeReadonly) && (WantsWrite(access) || truncate))
            return R::Fail(kErrAccessDenied);
        if (uint32_t c = OpenConflict(r.key, access, share)) return R::Fail(c);
        if (truncate) {
            e->data.clear();
            if (disposition == kCreateAlways) e->attrs = newAttrs;
            SyncLinks(*e);
        }
    } else {
        FsEntry f;
        f.path = r.display;
        f.attrs = newAttrs;
        fs[r.key] = f;
    }
    uintptr_t h = NewHandle();
    files[h] = OpenFile{r.key, access, share, 0};
    R result = R::Ok(HFile(h));
    // Windows reports ERROR_ALREADY_EXISTS on success when the file was there.
    if (existed && (disposition == kCreateAlways || disposition == kOpenAlways))
        result.error = kErrAlreadyExists;
    return result;
}

Status Machine::State::FsDeleteFile(const std::string& path, bool redirect) {
    if (path.size() >= 260) return Status::Fail(kErrFilenameExcedRange);
    PathRef r = Resolve(path, redirect, false);
    if (!r.ok) return Status::Fail(r.error);
    FsEntry* e = Find(r.key);
    if (!e) return Status::Fail(kErrFileNotFound);
    if (e->dir) return Status::Fail(kErrAccessDenied);
    if (e->attrs & kFileAttributeReadonly) return Status::Fail(kErrAccessDenied);
    if (!SharesAllow(r.key, kFileShareDelete)) return Status::Fail(kErrSharingViolation);
    fs.erase(r.key);
    return Status::Ok();
}

Status Machine::State::FsCopyFile(const std::string& source, const std::string& dest,
                                  bool failIfExists, bool redirect) {
    if (source.size() >= 260 || dest.size() >= 260) return Status::Fail(kErrFilenameExcedRange);
    PathRef rs = Resolve(source, redirect, false);
    if (!rs.ok) return Status::Fail(rs.error);
    const FsEntry* es = Find(rs.key);
    if (!es) return Status::Fail(kErrFileNotFound);
    if (es->dir) return Status::Fail(kErrAccessDenied);
    if (!SharesAllow(rs.key, kFileShareRead)) return Status::Fail(kErrSharingViolation);
    PathRef rd = Resolve(dest, redirect, false);
    if (!rd.ok) return Status::Fail(rd.error);
    if (rd.parentKey.empty()) return Status::Fail(kErrAccessDenied);
    FsEntry* ed = Find(rd.key);
    if (ed) {
        if (failIfExists) return Status::Fail(kErrFileExists);
        if (ed->dir) return Status::Fail(kErrAccessDenied);
        if (rd.key == rs.key) return Status::Fail(kErrSharingViolation);
        if (ed->attrs & (kFileAttributeReadonly | kFileAttributeHidden))
            return Status::Fail(kErrAccessDenied);
        if (!SharesAllow(rd.key, kFileShareWrite)) return Status::Fail(kErrSharingViolation);
    }
    FsEntry copy;
    copy.path = ed ? ed->path : rd.display;
    copy.data = es->data;
    // The copy keeps the source's attributes and is marked for archiving.
    copy.attrs = (es->attrs & (kFileAttributeReadonly | kFileAttributeHidden |
                               kFileAttributeSystem)) |
                 kFileAttributeArchive;
    // An existing file is overwritten in place: its other names see it too.
    if (ed) copy.linkGroup = ed->linkGroup;
    fs[rd.key] = copy;
    SyncLinks(fs[rd.key]);
    return Status::Ok();
}

Status Machine::State::FsRename(const std::string& from, const std::string& to) {
    if (from.size() >= 260 || to.size() >= 260) return Status::Fail(kErrFilenameExcedRange);
    PathRef rf = Resolve(from, true, false);
    if (!rf.ok) return Status::Fail(rf.error);
    FsEntry* ef = Find(rf.key);
    if (!ef) return Status::Fail(kErrFileNotFound);
    if (rf.parentKey.empty()) return Status::Fail(kErrAccessDenied);
    PathRef rt = Resolve(to, true, false);
    if (!rt.ok) return Status::Fail(rt.error);
    if (rt.parentKey.empty()) return Status::Fail(kErrAccessDenied);
    if (Find(rt.key) && rt.key != rf.key) return Status::Fail(kErrAlreadyExists);
    if (ef->dir) {
        if (rt.key.compare(0, rf.key.size() + 1, rf.key + "\\") == 0)
            return Status::Fail(kErrInvalidParameter);
        if (InUse(rf.key)) return Status::Fail(kErrAccessDenied);
        PathRef cwd = Resolve(currentDir, false, true);
        if (cwd.key == rf.key || cwd.key.compare(0, rf.key.size() + 1, rf.key + "\\") == 0)
            return Status::Fail(kErrSharingViolation);
    } else if (!SharesAllow(rf.key, kFileShareDelete)) {
        return Status::Fail(kErrSharingViolation);
    }
    MoveTree(rf.key, rt.key, fs[rt.parentKey].path + "\\" + rt.name);
    return Status::Ok();
}

Result<uint32_t> Machine::State::FsGetAttributes(const std::string& path) {
    auto fail = [](uint32_t code) { return Result<uint32_t>{false, code, kInvalidFileAttributes}; };
    if (path.size() >= 260) return fail(kErrFilenameExcedRange);
    PathRef r = Resolve(path, true, false);
    if (!r.ok) return fail(r.error);
    const FsEntry* e = Find(r.key);
    if (!e) return fail(kErrFileNotFound);
    if (r.trailingSlash && !e->dir) return fail(err::kInvalidName);
    return Result<uint32_t>::Ok(ReadAttributes(*e));
}

Status Machine::State::FsSetAttributes(const std::string& path, uint32_t attributes) {
    if (path.size() >= 260) return Status::Fail(kErrFilenameExcedRange);
    // A junction passes the new attributes on to its target.
    PathRef r = Resolve(path, true, true);
    if (!r.ok) return Status::Fail(r.error);
    FsEntry* e = Find(r.key);
    if (!e) return Status::Fail(kErrFileNotFound);
    uint32_t kept = e->attrs & (kFileAttributeDirectory | kFileAttributeReparsePoint);
    e->attrs = kept | (attributes & kSettableAttributes);
    return Status::Ok();
}

Status Machine::State::FsCreateDirectory(const std::string& path,
                                         const std::vector<Machine::AceRecord>* acl,
                                         bool nullDacl) {
    if (path.size() >= 248) return Status::Fail(kErrFilenameExcedRange);
    PathRef r = Resolve(path, true, false);
    if (!r.ok) return Status::Fail(r.error);
    if (Find(r.key)) return Status::Fail(kErrAlreadyExists);
    FsEntry d;
    d.path = r.display;
    d.dir = true;
    d.attrs = kFileAttributeDirectory;
    if (acl) d.acl = *acl;
    d.nullDacl = nullDacl;
    fs[r.key] = d;
    return Status::Ok();
}

Status Machine::State::FsRemoveDirectory(const std::string& path) {
    if (path.size() >= 260) return Status::Fail(kErrFilenameExcedRange);
    PathRef r = Resolve(path, true, false);
    if (!r.ok) return Status::Fail(r.error);
    FsEntry* e = Find(r.key);
    if (!e) return Status::Fail(kErrFileNotFound);
    if (!e->dir) return Status::Fail(err::kDirectory);
    if (r.parentKey.empty()) return Status::Fail(kErrAccessDenied);
    if (e->attrs & kFileAttributeReadonly) return Status::Fail(kErrAccessDenied);
    if (!e->junction.empty()) {  // only the link goes, whatever its target holds
        fs.erase(r.key);
        return Status::Ok();
    }
    if (!ChildKeys(r.key).empty()) return Status::Fail(kErrDirNotEmpty);
    if (Resolve(currentDir, false, true).key == r.key) return Status::Fail(kErrSharingViolation);
    if (InUse(r.key)) return Status::Fail(kErrSharingViolation);
    fs.erase(r.key);
    return Status::Ok();
}

Result<std::vector<FindRecord>> Machine::State::FsFind(const std::string& pattern,
                                                       bool redirect) {
    using R = Result<std::vector<FindRecord>>;
    if (pattern.size() >= 260) return R::Fail(kErrFilenameExcedRange);
    std::string p = pattern;
    std::replace(p.begin(), p.end(), '/', '\\');
    size_t cut = p.find_last_of('\\');
    std::string folder, name;
    if (cut == std::string::npos) {
        bool drive = p.size() >= 2 && p[1] == ':';
        folder = drive ? p.substr(0, 2) + "." : ".";
        name = drive ? p.substr(2) : p;
    } else {
        folder = p.substr(0, cut + 1);
        name = p.substr(cut + 1);
    }
    if (name.empty()) return R::Fail(kErrFileNotFound);
    for (char c : name)
        if (BadChar(c, true)) return R::Fail(err::kInvalidName);
    PathRef r = Resolve(folder, redirect, true);
    if (!r.ok) return R::Fail(r.error);
    const FsEntry* d = Find(r.key);
    if (!d || !d->dir) return R::Fail(kErrPathNotFound);

    std::vector<FindRecord> out;
    if (!r.parentKey.empty()) {  // a drive root has no "." and ".."
        if (WildcardMatch(name, ".")) out.push_back({".", kFileAttributeDirectory});
        if (WildcardMatch(name, "..")) out.push_back({"..", kFileAttributeDirectory});
    }
    std::vector<FindRecord> found;
    for (const std::string& k : ChildKeys(r.key)) {
        const FsEntry& e = fs.at(k);
        std::string leaf = e.path.substr(e.path.find_last_of('\\') + 1);
        if (WildcardMatch(name, leaf)) found.push_back({leaf, ReadAttributes(e)});
    }
    std::sort(found.begin(), found.end(), [](const FindRecord& a, const FindRecord& b) {
        return Upper(a.name) < Upper(b.name);
    });
    out.insert(out.end(), found.begin(), found.end());
    if (out.empty()) return R::Fail(kErrFileNotFound);
    return R::Ok(out);
}

void Machine::State::BuildDefaultFolders() {
    MakeDirs("C:\\");
    MakeDirs(currentDir);
    MakeDirs(windowsDir);
    MakeDirs(SystemDir());
    if (windows64) MakeDirs(Wow64Dir());
    MakeDirs(InfDir());
    for (const char* env : {"w32x86", "x64"}) {
        MakeDirs(SystemDir() + "\\spool\\drivers\\" + env + "\\3");
        MakeDirs(SystemDir() + "\\spool\\prtprocs\\" + env);
    }
}

void Machine::State::BuildDefaultFiles() {
    // What the programs may meet in a fresh Windows: the net command in both
    // system folders and a few of the system's own INF files.
    PutFile(SystemDir() + "\\net.exe", "MZ net", kFileAttributeArchive);
    if (windows64) PutFile(Wow64Dir() + "\\net.exe", "MZ net", kFileAttributeArchive);
    const std::string printerInf =
        "[Version]\r\nSignature=\"$Windows NT$\"\r\nClass=Printer\r\n"
        "ClassGUID={4D36E979-E325-11CE-BFC1-08002BE10318}\r\nProvider=%MS%\r\n"
        "[Strings]\r\nMS=\"Microsoft\"\r\n";
    PutFile(InfDir() + "\\ntprint.inf", printerInf, kFileAttributeArchive);
    PutFile(InfDir() + "\\usbprint.inf", printerInf, kFileAttributeArchive);
}

// ---------------------------------------------------------------- helpers

void Machine::AddFile(const std::string& path, const std::string& contents,
                      uint32_t attributes) {
    Lock g(mutex_);
    s_->PutFile(path, contents, attributes);
}

void Machine::AddDirectory(const std::string& path) {
    Lock g(mutex_);
    s_->MakeDirs(path);
}

void Machine::AddJunction(const std::string& path, const std::string& target) {
    Lock g(mutex_);
    std::string targetKey = s_->MakeDirs(target);
    std::string p = path;
    std::replace(p.begin(), p.end(), '/', '\\');
    while (p.size() > 3 && p.back() == '\\') p.pop_back();
    size_t cut = p.find_last_of('\\');
    if (cut != std::string::npos) s_->MakeDirs(p.substr(0, cut + 1));
    PathRef r = s_->Resolve(p, false, false);
    if (!r.ok || targetKey.empty() || r.parentKey.empty()) return;
    if (s_->Find(r.key)) s_->RemoveTree(r.key);
    FsEntry link;
    link.path = r.display;
    link.dir = true;
    link.attrs = kFileAttributeDirectory | kFileAttributeReparsePoint;
    link.junction = targetKey;
    s_->fs[r.key] = link;
}

void Machine::AddSymbolicLink(const std::string& path, const std::string& target, bool directory) {
    Lock g(mutex_);
    if (directory) {
        AddJunction(path, target);  // the same to every call the programs make
        return;
    }
    PathRef t = s_->Resolve(target, false, true);
    if (!t.ok || !s_->Find(t.key) || s_->Find(t.key)->dir) return;
    std::string p = path;
    std::replace(p.begin(), p.end(), '/', '\\');
    size_t cut = p.find_last_of('\\');
    if (cut != std::string::npos) s_->MakeDirs(p.substr(0, cut + 1));
    PathRef r = s_->Resolve(p, false, false);
    if (!r.ok || r.parentKey.empty()) return;
    if (s_->Find(r.key)) s_->RemoveTree(r.key);
    FsEntry link;
    link.path = r.display;
    link.attrs = kFileAttributeReparsePoint | kFileAttributeArchive;
    link.junction = t.key;
    s_->fs[r.key] = link;
}

void Machine::AddHardLink(const std::string& path, const std::string& existing) {
    Lock g(mutex_);
    PathRef t = s_->Resolve(existing, false, true);
    FsEntry* e = t.ok ? s_->Find(t.key) : nullptr;
    if (!e || e->dir) return;
    if (e->linkGroup == 0) e->linkGroup = s_->nextLinkGroup++;
    FsEntry copy = *e;
    std::string p = path;
    std::replace(p.begin(), p.end(), '/', '\\');
    size_t cut = p.find_last_of('\\');
    if (cut != std::string::npos) s_->MakeDirs(p.substr(0, cut + 1));
    PathRef r = s_->Resolve(p, false, false);
    if (!r.ok || r.parentKey.empty() || s_->Find(r.key)) return;
    copy.path = r.display;
    s_->fs[r.key] = copy;
}

void Machine::HoldOpen(const std::string& path, uint32_t shareMode) {
    HoldOpen(path, shareMode, kGenericRead);
}

void Machine::HoldOpen(const std::string& path, uint32_t shareMode, uint32_t access) {
    Lock g(mutex_);
    PathRef r = s_->Resolve(path, false, true);
    if (r.ok) s_->holds.push_back(Hold{r.key, access, shareMode});
}

void Machine::ReleaseHolds(const std::string& path) {
    Lock g(mutex_);
    PathRef r = s_->Resolve(path, false, true);
    auto& h = s_->holds;
    h.erase(std::remove_if(h.begin(), h.end(), [&](const Hold& x) { return x.key == r.key; }),
            h.end());
}

bool Machine::Exists(const std::string& path) const {
    Lock g(mutex_);
    PathRef r = s_->Resolve(path, false, false);
    return r.ok && s_->Find(r.key);
}

bool Machine::IsDirectory(const std::string& path) const {
    Lock g(mutex_);
    PathRef r = s_->Resolve(path, false, false);
    const FsEntry* e = r.ok ? s_->Find(r.key) : nullptr;
    return e && e->dir;
}

std::string Machine::FileContents(const std::string& path) const {
    Lock g(mutex_);
    PathRef r = s_->Resolve(path, false, true);
    const FsEntry* e = r.ok ? s_->Find(r.key) : nullptr;
    return e && !e->dir ? e->data : std::string();
}

uint32_t Machine::Attributes(const std::string& path) const {
    Lock g(mutex_);
    PathRef r = s_->Resolve(path, false, false);
    const FsEntry* e = r.ok ? s_->Find(r.key) : nullptr;
    return e ? s_->ReadAttributes(*e) : kInvalidFileAttributes;
}

std::vector<std::string> Machine::ListDirectory(const std::string& path) const {
    Lock g(mutex_);
    std::vector<std::string> out;
    PathRef r = s_->Resolve(path, false, true);
    if (!r.ok) return out;
    for (const std::string& k : s_->ChildKeys(r.key)) {
        const std::string& p = s_->fs.at(k).path;
        out.push_back(p.substr(p.find_last_of('\\') + 1));
    }
    std::sort(out.begin(), out.end(),
              [](const std::string& a, const std::string& b) { return Upper(a) < Upper(b); });
    return out;
}

bool Machine::HasNullDacl(const std::string& path) const {
    Lock g(mutex_);
    PathRef r = s_->Resolve(path, false, false);
    const FsEntry* e = r.ok ? s_->Find(r.key) : nullptr;
    return e && e->nullDacl;
}

std::vector<Machine::AceRecord> Machine::DirectoryAcl(const std::string& path) const {
    Lock g(mutex_);
    PathRef r = s_->Resolve(path, false, false);
    const FsEntry* e = r.ok ? s_->Find(r.key) : nullptr;
    return e ? e->acl : std::vector<AceRecord>{};
}

std::string Machine::LogText(const std::string& fileName) const {
    Lock g(mutex_);
    std::string name = fileName;
    while (!name.empty() && name[0] == '\\') name.erase(0, 1);
    return FileContents(s_->windowsDir.substr(0, 2) + "\\Temp\\" + name);
}

Machine::HandleCounts Machine::OpenHandles() const {
    Lock g(mutex_);
    HandleCounts c;
    c.files = s_->files.size();
    c.keys = s_->keys.size();
    c.printers = s_->printerHandles.size();
    c.infs = s_->infs.size();
    c.sids = s_->sids.size();
    c.acls = s_->acls.size();
    c.tokens = s_->tokens.size();
    return c;
}

// ---------------------------------------------------------------- seam: folders

Result<std::string> Machine::GetWindowsDirectoryA() {
    Lock g(mutex_);
    State::Call c = s_->Begin("GetWindowsDirectoryA", "");
    if (c.fault) return c.Done(Result<std::string>::Fail(*c.fault));
    return Result<std::string>::Ok(s_->windowsDir);
}

Result<std::string> Machine::GetSystemDirectoryA() {
    Lock g(mutex_);
    State::Call c = s_->Begin("GetSystemDirectoryA", "");
    if (c.fault) return c.Done(Result<std::string>::Fail(*c.fault));
    return Result<std::string>::Ok(s_->SystemDir());
}

Result<std::string> Machine::GetModuleFileNameA() {
    Lock g(mutex_);
    State::Call c = s_->Begin("GetModuleFileNameA", "");
    if (c.fault) return c.Done(Result<std::string>::Fail(*c.fault));
    return Result<std::string>::Ok(s_->programPath);
}

std::optional<Result<std::string>> Machine::GetSystemWow64DirectoryA() {
    Lock g(mutex_);
    State::Call c = s_->Begin("GetSystemWow64DirectoryA", "", s_->hasWow64Dir);
    if (!s_->hasWow64Dir) {
        c.Fail(kErrProcNotFound);
        return std::nullopt;
    }
    if (c.fault) return c.Done(Result<std::string>::Fail(*c.fault));
    if (!s_->windows64) return c.Done(Result<std::string>::Fail(err::kCallNotImplemented));
    return Result<std::string>::Ok(s_->Wow64Dir());
}

// ---------------------------------------------------------------- seam: files

Result<HFile> Machine::CreateFileA(const std::string& path, uint32_t access, uint32_t share,
                                   uint32_t disposition, uint32_t flags) {
    Lock g(mutex_);
    State::Call c = s_->Begin("CreateFileA", path);
    if (c.fault) return c.Done(Result<HFile>::Fail(*c.fault));
    return c.Done(s_->FsCreateFile(path, access, share, disposition, flags));
}

Status Machine::SetFilePointer(HFile file, int32_t distance, uint32_t method) {
    Lock g(mutex_);
    State::Call c = s_->Begin("SetFilePointer", s_->HandlePath(file));
    if (c.fault) return c.Done(Status::Fail(*c.fault));
    auto it = s_->files.find(uintptr_t(file));
    if (it == s_->files.end()) return c.Done(Status::Fail(kErrInvalidHandle));
    const FsEntry* e = s_->Find(it->second.key);
    int64_t base = 0;
    if (method == 1)
        base = int64_t(it->second.pos);
    else if (method == kFileEnd)
        base = e ? int64_t(e->data.size()) : 0;
    else if (method != kFileBegin)
        return c.Done(Status::Fail(kErrInvalidParameter));
    int64_t pos = base + distance;
    if (pos < 0) return c.Done(Status::Fail(err::kNegativeSeek));
    it->second.pos = uint64_t(pos);
    return Status::Ok();
}

Status Machine::WriteFile(HFile file, const std::string& bytes) {
    Lock g(mutex_);
    State::Call c = s_->Begin("WriteFile", s_->HandlePath(file));
    if (c.fault) return c.Done(Status::Fail(*c.fault));
    auto it = s_->files.find(uintptr_t(file));
    if (it == s_->files.end()) return c.Done(Status::Fail(kErrInvalidHandle));
    if (!WantsWrite(it->second.access)) return c.Done(Status::Fail(kErrAccessDenied));
    FsEntry* e = s_->Find(it->second.key);
    if (e && AppendsOnly(it->second.access)) it->second.pos = e->data.size();
    if (e) {  // a file deleted while open takes the bytes nowhere
        std::string& d = e->data;
        if (d.size() < it->second.pos) d.resize(it->second.pos, '\0');
        d.replace(it->second.pos, std::min(bytes.size(), d.size() - it->second.pos), bytes);
        e->attrs |= kFileAttributeArchive;
        s_->SyncLinks(*e);
    }
    it->second.pos += bytes.size();
    return Status::Ok();
}

Result<std::string> Machine::ReadFile(HFile file, uint32_t maxBytes) {
    Lock g(mutex_);
    using R = Result<std::string>;
    State::Call c = s_->Begin("ReadFile", s_->HandlePath(file));
    if (c.fault) return c.Done(R::Fail(*c.fault));
    auto it = s_->files.find(uintptr_t(file));
    if (it == s_->files.end()) return c.Done(R::Fail(kErrInvalidHandle));
    if (!WantsRead(it->second.access)) return c.Done(R::Fail(kErrAccessDenied));
    const FsEntry* e = s_->Find(it->second.key);
    std::string out;
    if (e && it->second.pos < e->data.size()) out = e->data.substr(it->second.pos, maxBytes);
    it->second.pos += out.size();
    return R::Ok(out);
}

Status Machine::CloseHandle(HFile file) {
    Lock g(mutex_);
    State::Call c = s_->Begin("CloseHandle", s_->HandlePath(file));
    if (c.fault) return c.Done(Status::Fail(*c.fault));
    if (!s_->files.erase(uintptr_t(file))) {
        s_->misuse.push_back("CloseHandle: unknown file handle " + Hex(uint32_t(uintptr_t(file))));
        return c.Done(Status::Fail(kErrInvalidHandle));
    }
    return Status::Ok();
}

Result<FileInformation> Machine::GetFileInformationByHandle(HFile file) {
    Lock g(mutex_);
    using R = Result<FileInformation>;
    State::Call c = s_->Begin("GetFileInformationByHandle", s_->HandlePath(file));
    if (c.fault) return c.Done(R::Fail(*c.fault));
    auto it = s_->files.find(uintptr_t(file));
    if (it == s_->files.end()) return c.Done(R::Fail(kErrInvalidHandle));
    FileInformation info;
    info.volumeSerial = uint32_t(Fnv1a(it->second.key.substr(0, 2)));
    if (const FsEntry* e = s_->Find(it->second.key)) {
        info.attributes = s_->ReadAttributes(*e);
        info.numberOfLinks = e->dir ? 1 : s_->LinkCount(*e);
        info.fileIndex = e->linkGroup ? e->linkGroup : Fnv1a(it->second.key);
    } else {  // deleted while open: no name is left
        info.attributes = kFileAttributeNormal;
        info.fileIndex = Fnv1a(it->second.key);
    }
    return R::Ok(info);
}

Status Machine::MoveFileExA(const std::string& from, const char* to, uint32_t flags) {
    Lock g(mutex_);
    State::Call c = s_->Begin("MoveFileExA", from + "|" + NameOrNull(to));
    if (c.fault) return c.Done(Status::Fail(*c.fault));
    if (!(flags & kMovefileDelayUntilReboot)) {
        if (!to) return c.Done(Status::Fail(kErrInvalidParameter));
        if ((flags & kMovefileReplaceExisting) && s_->FileExistsNative(to)) {
            Status gone = s_->FsDeleteFile(to, true);
            if (!gone.ok) return c.Done(gone);
        }
        return c.Done(s_->FsRename(from, to));
    }
    if (flags & kMovefileCopyAllowed) return c.Done(Status::Fail(kErrInvalidParameter));
    // Queued in the registry, where Windows reads it while it starts:
    // "\??\" paths in pairs, an empty second one for a deletion.
    PathRef r = s_->Resolve(from, true, false);
    if (!r.ok) return c.Done(Status::Fail(r.error));
    if (!s_->Find(r.key)) return c.Done(Status::Fail(kErrFileNotFound));
    std::string target;
    if (to) {
        PathRef rt = s_->Resolve(to, true, false);
        if (!rt.ok) return c.Done(Status::Fail(rt.error));
        target = std::string(flags & kMovefileReplaceExisting ? "!" : "") + "\\??\\" + rt.display;
    }
    std::vector<std::pair<std::string, std::string>> pending = PendingFileOperations();
    pending.emplace_back("\\??\\" + r.display, target);
    std::string list;
    for (const auto& [source, dest] : pending) list += source + '\0' + dest + '\0';
    s_->RegSetValue(kSessionManager, kPendingRenames, 7 /*REG_MULTI_SZ*/, list + '\0');
    return Status::Ok();
}

std::vector<std::pair<std::string, std::string>> Machine::PendingFileOperations() const {
    Lock g(mutex_);
    std::vector<std::pair<std::string, std::string>> out;
    const RegNode* n = s_->RegFind(kSessionManager);
    if (!n) return out;
    for (const RegValue& v : n->values) {
        if (!IEquals(v.name, kPendingRenames)) continue;
        std::vector<std::string> items;
        size_t at = 0;
        while (at < v.data.size()) {
            size_t end = v.data.find('\0', at);
            if (end == std::string::npos) end = v.data.size();
            items.push_back(v.data.substr(at, end - at));
            at = end + 1;
        }
        // Pairs; the list ends with an empty string, which is no pair.
        if (!items.empty() && items.back().empty() && items.size() % 2 == 1) items.pop_back();
        for (size_t i = 0; i + 1 < items.size(); i += 2) out.emplace_back(items[i], items[i + 1]);
    }
    return out;
}

void Machine::RestartWindows() {
    Lock g(mutex_);
    std::vector<std::pair<std::string, std::string>> pending = PendingFileOperations();
    // Every other program has ended.
    s_->holds.clear();
    auto native = [](std::string p) {
        if (!p.empty() && p[0] == '!') p.erase(0, 1);
        if (p.compare(0, 4, "\\??\\") == 0) p.erase(0, 4);
        return p;
    };
    for (const auto& [from, to] : pending) {
        std::string source = native(from);
        if (to.empty()) {
            if (!s_->FsDeleteFile(source, false).ok) s_->FsRemoveDirectory(source);
            continue;
        }
        std::string dest = native(to);
        if (to[0] == '!' && s_->FileExistsNative(dest)) s_->FsDeleteFile(dest, false);
        s_->FsRename(source, dest);
    }
    if (RegNode* n = s_->RegFind(kSessionManager)) {
        auto& values = n->values;
        values.erase(std::remove_if(values.begin(), values.end(),
                                    [](const RegValue& v) { return IEquals(v.name, kPendingRenames); }),
                     values.end());
    }
}

Status Machine::DeleteFileA(const std::string& path) {
    Lock g(mutex_);
    State::Call c = s_->Begin("DeleteFileA", path);
    if (c.fault) return c.Done(Status::Fail(*c.fault));
    return c.Done(s_->FsDeleteFile(path, true));
}

Status Machine::CopyFileA(const std::string& source, const std::string& dest, bool failIfExists) {
    Lock g(mutex_);
    State::Call c = s_->Begin("CopyFileA", source + "|" + dest);
    if (c.fault) return c.Done(Status::Fail(*c.fault));
    return c.Done(s_->FsCopyFile(source, dest, failIfExists, true));
}

Status Machine::rename(const std::string& from, const std::string& to) {
    Lock g(mutex_);
    State::Call c = s_->Begin("rename", from + "|" + to);
    if (c.fault) return c.Done(Status::Fail(*c.fault));
    return c.Done(s_->FsRename(from, to));
}

Result<uint32_t> Machine::GetFileAttributesA(const std::string& path) {
    Lock g(mutex_);
    State::Call c = s_->Begin("GetFileAttributesA", path);
    if (c.fault) return c.Done(Result<uint32_t>{false, *c.fault, kInvalidFileAttributes});
    return c.Done(s_->FsGetAttributes(path));
}

Status Machine::SetFileAttributesA(const std::string& path, uint32_t attributes) {
    Lock g(mutex_);
    State::Call c = s_->Begin("SetFileAttributesA", path);
    if (c.fault) return c.Done(Status::Fail(*c.fault));
    return c.Done(s_->FsSetAttributes(path, attributes));
}

Status Machine::CreateDirectoryA(const std::string& path) {
    Lock g(mutex_);
    State::Call c = s_->Begin("CreateDirectoryA", path);
    if (c.fault) return c.Done(Status::Fail(*c.fault));
    return c.Done(s_->FsCreateDirectory(path, nullptr));
}

Status Machine::CreateDirectoryWithDacl(const std::string& path, HAcl dacl) {
    Lock g(mutex_);
    State::Call c = s_->Begin("CreateDirectoryWithDacl", path);
    if (c.fault) return c.Done(Status::Fail(*c.fault));
    // A descriptor whose DACL is present but NULL grants everyone everything.
    if (dacl == HAcl::None) return c.Done(s_->FsCreateDirectory(path, nullptr, true));
    auto it = s_->acls.find(uintptr_t(dacl));
    if (it == s_->acls.end()) {
        s_->misuse.push_back("CreateDirectoryWithDacl: unknown or freed ACL " +
                             Hex(uint32_t(uintptr_t(dacl))));
        return c.Done(Status::Fail(err::kInvalidAcl));
    }
    return c.Done(s_->FsCreateDirectory(path, &it->second));
}

Status Machine::RemoveDirectoryA(const std::string& path) {
    Lock g(mutex_);
    State::Call c = s_->Begin("RemoveDirectoryA", path);
    if (c.fault) return c.Done(Status::Fail(*c.fault));
    return c.Done(s_->FsRemoveDirectory(path));
}

Result<std::vector<FindRecord>> Machine::FindFiles(const std::string& pattern) {
    Lock g(mutex_);
    State::Call c = s_->Begin("FindFiles", pattern);
    if (c.fault) return c.Done(Result<std::vector<FindRecord>>::Fail(*c.fault));
    return c.Done(s_->FsFind(pattern, true));
}

}  // namespace zep::sim
