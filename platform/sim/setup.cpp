// The simulated setup API: the INF folder with its oemN.inf copies, INF
// parsing and line look-up.
#include <algorithm>
#include <cctype>

#include "platform/sim/state.h"

namespace zep::sim {

using Lock = std::lock_guard<std::recursive_mutex>;

namespace {

constexpr uint32_t kSpCopyDeleteSource = 0x1;
constexpr uint32_t kSpostMax = 3;

bool IsOemInfName(const std::string& name) {
    std::string u = Upper(name);
    if (u.size() < 8 || u.compare(0, 3, "OEM") != 0 || u.compare(u.size() - 4, 4, ".INF") != 0)
        return false;
    for (size_t i = 3; i + 4 < u.size(); ++i)
        if (!std::isdigit(static_cast<unsigned char>(u[i]))) return false;
    return true;
}

// Splits at `sep` outside double quotes.
std::vector<std::string> SplitOutsideQuotes(const std::string& s, char sep, size_t maxParts = 0) {
    std::vector<std::string> out;
    std::string cur;
    bool quoted = false;
    for (char c : s) {
        if (c == '"') quoted = !quoted;
        if (c == sep && !quoted && (maxParts == 0 || out.size() + 1 < maxParts)) {
            out.push_back(cur);
            cur.clear();
        } else {
            cur += c;
        }
    }
    out.push_back(cur);
    return out;
}

// Trims and removes the quotes; "" inside quotes is one quote.
std::string Unquote(const std::string& s) {
    std::string t = Trim(s), out;
    for (size_t i = 0; i < t.size(); ++i) {
        if (t[i] == '"') {
            if (i + 1 < t.size() && t[i + 1] == '"') {
                out += '"';
                ++i;
            }
            continue;
        }
        out += t[i];
    }
    return out;
}

std::string Substitute(const std::string& s, const std::map<std::string, std::string>& strings) {
    std::string out;
    size_t i = 0;
    while (i < s.size()) {
        if (s[i] != '%') {
            out += s[i++];
            continue;
        }
        size_t end = s.find('%', i + 1);
        if (end == std::string::npos) {
            out += s.substr(i);
            break;
        }
        std::string name = s.substr(i + 1, end - i - 1);
        if (name.empty()) {
            out += '%';  // "%%" is a literal percent sign
        } else {
            auto it = strings.find(Upper(name));
            out += it != strings.end() ? it->second : s.substr(i, end - i + 1);
        }
        i = end + 1;
    }
    return out;
}

std::string InfValue(const InfFile& f, const std::string& section, const std::string& key) {
    auto it = f.sections.find(Upper(section));
    if (it == f.sections.end()) return "";
    for (const InfLine& l : it->second)
        if (IEquals(l.key, key)) return l.fields.empty() ? "" : l.fields[0];
    return "";
}

}  // namespace

uint32_t Machine::State::ParseInf(const std::string& text, InfFile* out,
                                  uint32_t* errorLine) const {
    std::vector<std::string> lines;
    size_t i = 0;
    while (i <= text.size()) {
        size_t j = text.find('\n', i);
        if (j == std::string::npos) j = text.size();
        std::string l = text.substr(i, j - i);
        if (!l.empty() && l.back() == '\r') l.pop_back();
        lines.push_back(l);
        i = j + 1;
    }
    std::string section;
    bool inSection = false;
    for (size_t n = 0; n < lines.size(); ++n) {
        uint32_t lineNo = uint32_t(n + 1);
        std::string line;
        // Comments end a line; a backslash at the end joins the next one.
        for (;;) {
            std::string raw = lines[n], kept;
            bool quoted = false;
            for (char c : raw) {
                if (c == '"') quoted = !quoted;
                if (c == ';' && !quoted) break;
                kept += c;
            }
            std::string t = Trim(kept);
            if (!t.empty() && t.back() == '\\' && n + 1 < lines.size()) {
                line += t.substr(0, t.size() - 1);
                ++n;
                continue;
            }
            line += kept;
            break;
        }
        std::string t = Trim(line);
        if (t.empty()) continue;
        if (t[0] == '[') {
            size_t close = t.find(']');
            if (close == std::string::npos) {
                *errorLine = lineNo;
                return kErrBadSectionNameLine;
            }
            std::string name = Trim(t.substr(1, close - 1));
            if (name.size() > 255) {
                *errorLine = lineNo;
                return kErrSectionNameTooLong;
            }
            section = Upper(name);
            out->sections[section];
            inSection = true;
            continue;
        }
        if (!inSection) {
            *errorLine = lineNo;
            return kErrExpectedSectionName;
        }
        InfLine l;
        std::vector<std::string> kv = SplitOutsideQuotes(t, '=', 2);
        std::string value = kv.size() == 2 ? kv[1] : kv[0];
        if (kv.size() == 2) l.key = Unquote(kv[0]);
        for (const std::string& f : SplitOutsideQuotes(value, ',')) l.fields.push_back(Unquote(f));
        out->sections[section].push_back(l);
    }
    std::map<std::string, std::string> texts;  // the [Strings] section
    auto it = out->sections.find("STRINGS");
    if (it != out->sections.end())
        for (const InfLine& l : it->second)
            texts[Upper(l.key)] = l.fields.empty() ? "" : l.fields[0];
    for (auto& [name, body] : out->sections) {
        if (name == "STRINGS") continue;
        for (InfLine& l : body) {
            l.key = Substitute(l.key, texts);
            for (std::string& f : l.fields) f = Substitute(f, texts);
        }
    }
    return 0;
}

std::string Machine::InfDirectory() const {
    Lock g(mutex_);
    return s_->InfDir();
}

// ---------------------------------------------------------------- seam: setup API

Result<std::string> Machine::SetupCopyOEMInfA(const std::string& source, uint32_t mediaType,
                                              uint32_t copyStyle) {
    Lock g(mutex_);
    using R = Result<std::string>;
    State::Call c = s_->Begin("SetupCopyOEMInfA", source);
    if (c.fault) return c.Done(R::Fail(*c.fault));
    if (mediaType >= kSpostMax) return c.Done(R::Fail(kErrInvalidParameter));
    PathRef rs = s_->Resolve(source, true, true);
    if (!rs.ok) return c.Done(R::Fail(rs.error));
    const FsEntry* src = s_->Find(rs.key);
    if (!src || src->dir) return c.Done(R::Fail(kErrFileNotFound));
    std::string data = src->data;
    InfFile parsed;
    uint32_t line = 0;
    if (uint32_t e = s_->ParseInf(data, &parsed, &line)) return c.Done(R::Fail(e));
    PathRef rd = s_->Resolve(s_->InfDir(), false, true);
    const FsEntry* dir = rd.ok ? s_->Find(rd.key) : nullptr;
    if (!dir || !dir->dir) return c.Done(R::Fail(kErrPathNotFound));

    std::string existing;
    for (const std::string& k : s_->ChildKeys(rd.key)) {
        const FsEntry& e = s_->fs.at(k);
        std::string leaf = e.path.substr(e.path.find_last_of('\\') + 1);
        if (!e.dir && IsOemInfName(leaf) && e.data == data) {
            existing = leaf;
            break;
        }
    }
    auto write = [&](const std::string& name) {
        std::string stem = name.substr(0, name.size() - 4);
        s_->PutFile(dir->path + "\\" + name, data, kFileAttributeArchive);
        s_->PutFile(dir->path + "\\" + stem + ".PNF",
                    "PNF " + source + " " + HexBytes(DwordBytes(uint32_t(Fnv1a(data)))),
                    kFileAttributeArchive);
    };
    std::string chosen;
    if (!existing.empty()) {
        std::string full = dir->path + "\\" + existing;
        if (copyStyle & kSpCopyNoOverwrite) return c.Done(R{false, kErrFileExists, full});
        if (copyStyle & kSpCopyReplaceOnly) write(existing);
        chosen = existing;
    } else {
        if (copyStyle & kSpCopyReplaceOnly) return c.Done(R::Fail(kErrFileNotFound));
        for (int n = 0;; ++n) {
            std::string name = "oem" + std::to_string(n) + ".inf";
            if (!s_->Find(rd.key + "\\" + Upper(name))) {
                chosen = name;
                break;
            }
        }
        write(chosen);
    }
    if (copyStyle & kSpCopyDeleteSource) s_->FsDeleteFile(source, true);
    return R::Ok(s_->Find(rd.key)->path + "\\" + chosen);
}

Result<std::vector<std::string>> Machine::SetupGetInfFileListA(const char* directory,
                                                               uint32_t style) {
    (void)style;
    Lock g(mutex_);
    using R = Result<std::vector<std::string>>;
    State::Call c = s_->Begin("SetupGetInfFileListA", NameOrNull(directory));
    if (c.fault) return c.Done(R::Fail(*c.fault));
    std::string folder = directory ? std::string(directory) : s_->InfDir();
    PathRef r = s_->Resolve(folder, true, true);
    if (!r.ok) return c.Done(R::Fail(r.error));
    const FsEntry* d = s_->Find(r.key);
    if (!d || !d->dir) return c.Done(R::Fail(kErrPathNotFound));
    std::vector<std::string> out;
    for (const std::string& k : s_->ChildKeys(r.key)) {
        const FsEntry& e = s_->fs.at(k);
        std::string leaf = e.path.substr(e.path.find_last_of('\\') + 1);
        if (!e.dir && WildcardMatch("*.inf", leaf)) out.push_back(leaf);
    }
    std::sort(out.begin(), out.end(),
              [](const std::string& a, const std::string& b) { return Upper(a) < Upper(b); });
    return R::Ok(out);
}

Setup::InfResult Machine::SetupOpenInfFileA(const std::string& fileName, const char* infClass,
                                            uint32_t style) {
    Lock g(mutex_);
    InfResult r;
    State::Call c = s_->Begin("SetupOpenInfFileA", fileName);
    auto fail = [&](uint32_t e) {
        r.error = e;
        c.Fail(e);
        return r;
    };
    if (c.fault) return fail(*c.fault);
    // A bare name is looked up in the INF folder.
    bool bare = fileName.find_first_of("\\/:") == std::string::npos;
    std::string path = bare ? s_->InfDir() + "\\" + fileName : fileName;
    PathRef p = s_->Resolve(path, true, true);
    if (!p.ok) return fail(p.error);
    const FsEntry* e = s_->Find(p.key);
    if (!e || e->dir) return fail(kErrFileNotFound);
    InfFile f;
    f.path = e->path;
    if (uint32_t err = s_->ParseInf(e->data, &f, &r.errorLine)) return fail(err);
    if (infClass && !IEquals(InfValue(f, "Version", "Class"), infClass))
        return fail(kErrClassMismatch);
    if (style == kInfStyleWin4) {
        std::string sig = InfValue(f, "Version", "Signature");
        if (!IEquals(sig, "$Chicago$") && !IEquals(sig, "$Windows NT$") &&
            !IEquals(sig, "$Windows 95$"))
            return fail(kErrWrongInfStyle);
    }
    uintptr_t h = s_->NewHandle();
    s_->infs[h] = f;
    r.ok = true;
    r.inf = HInf(h);
    return r;
}

Status Machine::SetupFindFirstLineA(HInf inf, const std::string& section, const std::string& key) {
    Lock g(mutex_);
    auto it = s_->infs.find(uintptr_t(inf));
    std::string name = it == s_->infs.end() ? "?" : it->second.path.substr(it->second.path.find_last_of('\\') + 1);
    State::Call c = s_->Begin("SetupFindFirstLineA", name + "|" + section + "|" + key);
    if (c.fault) return c.Done(Status::Fail(*c.fault));
    if (it == s_->infs.end()) return c.Done(Status::Fail(kErrInvalidHandle));
    auto sec = it->second.sections.find(Upper(section));
    if (sec == it->second.sections.end()) return c.Done(Status::Fail(kErrLineNotFound));
    for (const InfLine& l : sec->second)
        if (key.empty() || IEquals(l.key, key)) return Status::Ok();
    return c.Done(Status::Fail(kErrLineNotFound));
}

void Machine::SetupCloseInfFile(HInf inf) {
    Lock g(mutex_);
    auto it = s_->infs.find(uintptr_t(inf));
    std::string name = it == s_->infs.end() ? "?" : it->second.path.substr(it->second.path.find_last_of('\\') + 1);
    State::Call c = s_->Begin("SetupCloseInfFile", name, false);
    if (it == s_->infs.end()) {
        s_->misuse.push_back("SetupCloseInfFile: unknown INF handle " + Hex(uint32_t(uintptr_t(inf))));
        c.Fail(kErrInvalidHandle);
        return;
    }
    s_->infs.erase(it);
}

std::optional<Status> Machine::SetupUninstallOEMInfA(const std::string& infFileName, uint32_t flags) {
    (void)flags;  // no devices are modelled, so nothing keeps an INF in use
    Lock g(mutex_);
    State::Call c = s_->Begin("SetupUninstallOEMInfA", infFileName, s_->hasUninstallOem);
    if (!s_->hasUninstallOem) {
        c.Fail(kErrProcNotFound);
        return std::nullopt;
    }
    if (c.fault) return c.Done(Status::Fail(*c.fault));
    if (infFileName.find_first_of("\\/:") != std::string::npos)
        return c.Done(Status::Fail(kErrPathNotFound));
    std::string path = s_->InfDir() + "\\" + infFileName;
    if (!s_->FileExistsNative(path)) return c.Done(Status::Fail(kErrFileNotFound));
    if (!IsOemInfName(infFileName)) return c.Done(Status::Fail(kErrNotAnInstalledOemInf));
    Status st = s_->FsDeleteFile(path, false);
    if (!st.ok) return c.Done(st);
    s_->FsDeleteFile(s_->InfDir() + "\\" + infFileName.substr(0, infFileName.size() - 4) + ".PNF",
                     false);
    return Status::Ok();
}

}  // namespace zep::sim
