// Version, bitness, the virtual clock, process start and exit, system error
// texts; and the user32 side: string table, message boxes, restart.
#include <cctype>

#include "platform/sim/state.h"

namespace zep::sim {

using Lock = std::lock_guard<std::recursive_mutex>;

namespace {

// Days since 1970-01-01 of a civil date, and back (proleptic Gregorian).
int64_t DaysFromCivil(int64_t y, unsigned m, unsigned d) {
    y -= m <= 2;
    const int64_t era = (y >= 0 ? y : y - 399) / 400;
    const unsigned yoe = unsigned(y - era * 400);
    const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + int64_t(doe) - 719468;
}

void CivilFromDays(int64_t z, int64_t* y, unsigned* m, unsigned* d) {
    z += 719468;
    const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const unsigned doe = unsigned(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    *d = doy - (153 * mp + 2) / 5 + 1;
    *m = mp < 10 ? mp + 3 : mp - 9;
    *y = int64_t(yoe) + era * 400 + (*m <= 2);
}

struct Message {
    uint32_t code;
    const char* text;
};

// Windows' English (United States) texts for the codes the programs can meet.
constexpr Message kMessages[] = {
    {0, "The operation completed successfully."},
    {1, "Incorrect function."},
    {2, "The system cannot find the file specified."},
    {3, "The system cannot find the path specified."},
    {5, "Access is denied."},
    {6, "The handle is invalid."},
    {8, "Not enough storage is available to process this command."},
    {13, "The data is invalid."},
    {32, "The process cannot access the file because it is being used by another process."},
    {50, "The request is not supported."},
    {112, "There is not enough space on the disk."},
    {53, "The network path was not found."},
    {80, "The file exists."},
    {87, "The parameter is incorrect."},
    {120, "This function is not supported on this system."},
    {122, "The data area passed to a system call is too small."},
    {123, "The filename, directory name, or volume label syntax is incorrect."},
    {124, "The system call level is not correct."},
    {126, "The specified module could not be found."},
    {127, "The specified procedure could not be found."},
    {145, "The directory is not empty."},
    {161, "The specified path is invalid."},
    {183, "Cannot create a file when that file already exists."},
    {193, "%1 is not a valid Win32 application."},  // inserts stay as text
    {206, "The filename or extension is too long."},
    {234, "More data is available."},
    {259, "No more data is available."},
    {267, "The directory name is invalid."},
    {1018, "Illegal operation attempted on a registry key that has been marked for deletion."},
    {1168, "Element not found."},
    {1223, "The operation was canceled by the user."},
    {1300, "Not all privileges or groups referenced are assigned to the caller."},
    {1313, "A specified privilege does not exist."},
    {1314, "A required privilege is not held by the client."},
    {1336, "The access control list (ACL) structure is invalid."},
    {1722, "The RPC server is unavailable."},
    {1796, "The specified port is unknown."},
    {1797, "The printer driver is unknown."},
    {1798, "The print processor is unknown."},
    {1801, "The printer name is invalid."},
    {1802, "The printer already exists."},
    {1804, "The specified datatype is invalid."},
    {1805, "The environment specified is invalid."},
    {1902, "The specified form name is invalid."},
    {1903, "The specified form size is invalid."},
    {1905, "The specified printer has been deleted."},
    {3000, "The specified print monitor is unknown."},
    {3001, "The specified printer driver is currently in use."},
    {3005, "The specified print processor has already been installed."},
    {3006, "The specified print monitor has already been installed."},
    {3008, "The specified print monitor is currently in use."},
};

// The virtual clock starts at 2026-12-08 10:00:00.000 local time.
const int64_t kStartDay = DaysFromCivil(2026, 12, 8);
constexpr uint64_t kStartMsOfDay = 10ull * 3600 * 1000;

std::string NormalizeCommand(const std::string& cmd) {
    std::string out;
    for (char c : cmd) {
        if (std::isspace(static_cast<unsigned char>(c))) {
            if (!out.empty() && out.back() != ' ') out += ' ';
        } else {
            out += char(std::tolower(static_cast<unsigned char>(c)));
        }
    }
    if (!out.empty() && out.back() == ' ') out.pop_back();
    return out;
}

}  // namespace

std::string Machine::State::FindProgram(const std::string& commandLine) const {
    std::string cmd = Trim(commandLine), program;
    if (!cmd.empty() && cmd[0] == '"') {
        size_t end = cmd.find('"', 1);
        program = cmd.substr(1, end == std::string::npos ? std::string::npos : end - 1);
    } else {
        program = cmd.substr(0, cmd.find_first_of(" \t"));
    }
    if (program.empty()) return "";
    size_t slash = program.find_last_of("\\/");
    if (program.find('.', slash == std::string::npos ? 0 : slash) == std::string::npos)
        program += ".exe";
    auto exists = [&](const std::string& path) {
        PathRef r = Resolve(path, true, true);
        const FsEntry* e = r.ok ? Find(r.key) : nullptr;
        return e && !e->dir;
    };
    if (program.find_first_of("\\/:") != std::string::npos) return exists(program) ? program : "";
    for (const std::string& dir : {currentDir, SystemDir(), windowsDir})
        if (exists(dir + "\\" + program)) return dir + "\\" + program;
    return "";
}

// ---------------------------------------------------------------- version and bitness

Result<OsVersion> Machine::GetVersionExA(uint32_t structSize) {
    Lock g(mutex_);
    using R = Result<OsVersion>;
    State::Call c = s_->Begin("GetVersionExA", std::to_string(structSize));
    if (c.fault) return c.Done(R::Fail(*c.fault));
    if (structSize == kOsVersionInfoExSize) {
        if (s_->refusesExtended) return c.Done(R::Fail(kErrInsufficientBuffer));
        return R::Ok(s_->version);
    }
    if (structSize == kOsVersionInfoSize) {
        OsVersion basic;
        basic.platformId = s_->version.platformId;
        basic.major = s_->version.major;
        basic.minor = s_->version.minor;
        basic.build = s_->version.build;
        basic.csdVersion = s_->version.csdVersion;
        return R::Ok(basic);
    }
    return c.Done(R::Fail(kErrInsufficientBuffer));
}

std::optional<Result<bool>> Machine::IsWow64Process() {
    Lock g(mutex_);
    State::Call c = s_->Begin("IsWow64Process", "", s_->hasIsWow64);
    if (!s_->hasIsWow64) {
        c.Fail(kErrProcNotFound);
        return std::nullopt;
    }
    if (c.fault) return c.Done(Result<bool>::Fail(*c.fault));
    return Result<bool>::Ok(s_->windows64);
}

// ---------------------------------------------------------------- time

void Machine::Sleep(uint32_t milliseconds) {
    Lock g(mutex_);
    s_->Begin("Sleep", std::to_string(milliseconds), false);
    s_->AdvanceClock(milliseconds);
    s_->pauses.push_back(milliseconds);
    UiEvent e;
    e.kind = "pause";
    e.value = milliseconds;
    s_->ui.push_back(e);
}

SystemTime Machine::GetLocalTime() {
    Lock g(mutex_);
    s_->Begin("GetLocalTime", "", false);
    uint64_t ms = kStartMsOfDay + s_->elapsed;
    int64_t day = kStartDay + int64_t(ms / 86400000);
    uint64_t inDay = ms % 86400000;
    int64_t y = 0;
    unsigned m = 0, d = 0;
    CivilFromDays(day, &y, &m, &d);
    SystemTime t;
    t.year = uint16_t(y);
    t.month = uint16_t(m);
    t.day = uint16_t(d);
    t.dayOfWeek = uint16_t(((day % 7) + 11) % 7);  // 1970-01-01 was a Thursday
    t.hour = uint16_t(inDay / 3600000);
    t.minute = uint16_t(inDay / 60000 % 60);
    t.second = uint16_t(inDay / 1000 % 60);
    t.milliseconds = uint16_t(inDay % 1000);
    return t;
}

// ---------------------------------------------------------------- processes

uint32_t Machine::WinExec(const std::string& commandLine, uint32_t show) {
    Lock g(mutex_);
    State::Call c = s_->Begin("WinExec", commandLine);
    if (c.fault) {
        // WinExec reports failure as a value below 32.
        uint32_t r = *c.fault < 32 ? *c.fault : kErrFileNotFound;
        c.Fail(r);
        return r;
    }
    if (s_->FindProgram(commandLine).empty()) {
        c.Fail(kErrFileNotFound);
        return kErrFileNotFound;
    }
    s_->commands.push_back(commandLine);
    UiEvent e;
    e.kind = "exec";
    e.text = commandLine;
    e.value = show;
    s_->ui.push_back(e);
    std::string cmd = NormalizeCommand(commandLine);
    if (cmd == "net stop spooler")
        s_->NetStopSpooler();
    else if (cmd == "net start spooler")
        s_->NetStartSpooler();
    return 33;
}

Status Machine::WaitForProcessExit(uint32_t processId, uint32_t milliseconds) {
    Lock g(mutex_);
    State::Call c = s_->Begin("WaitForProcessExit", std::to_string(processId));
    if (c.fault) return c.Done(Status::Fail(*c.fault));
    uint64_t endsAt = State::kNever;
    if (!s_->ProcessAlive(processId, &endsAt)) return c.Done(Status::Fail(kErrInvalidParameter));
    // The wait takes the clock along: to the process's end, or the whole time.
    uint64_t left = endsAt == State::kNever ? State::kNever : endsAt - s_->elapsed;
    if (left > milliseconds) {
        // An INFINITE wait for a process that never ends would never
        // return; the simulated one answers at once.
        s_->AdvanceClock(milliseconds == kNever ? 0 : milliseconds);
        return c.Done(Status::Fail(kErrWaitTimeout));
    }
    s_->AdvanceClock(left);
    return Status::Ok();
}

void Machine::exit(int code) {
    {
        Lock g(mutex_);
        s_->Begin("exit", std::to_string(code), false);
        UiEvent e;
        e.kind = "exit";
        e.value = code;
        s_->ui.push_back(e);
        s_->exited = true;
        s_->exitCode = code;
    }
    throw ProcessExit{code};
}

Result<HMutex> Machine::CreateMutexA(const std::string& name) {
    Lock g(mutex_);
    State::Call c = s_->Begin("CreateMutexA", name);
    if (c.fault) return c.Done(Result<HMutex>::Fail(*c.fault));
    int& handles = s_->mutexes[name];
    bool existed = handles > 0;
    ++handles;
    return {true, existed ? kErrAlreadyExists : 0, HMutex(s_->NewHandle())};
}

void Machine::HoldMutex(const std::string& name) {
    Lock g(mutex_);
    ++s_->mutexes[name];
}

void Machine::ReleaseMutex(const std::string& name) {
    Lock g(mutex_);
    auto it = s_->mutexes.find(name);
    if (it != s_->mutexes.end() && it->second > 0) --it->second;
}

int Machine::MutexHandles(const std::string& name) const {
    Lock g(mutex_);
    auto it = s_->mutexes.find(name);
    return it == s_->mutexes.end() ? 0 : it->second;
}

Result<std::string> Machine::FormatMessageA(uint32_t code, uint32_t languageId) {
    Lock g(mutex_);
    using R = Result<std::string>;
    State::Call c = s_->Begin("FormatMessageA", std::to_string(code));
    if (c.fault) return c.Done(R::Fail(*c.fault));
    // This machine has the English (United States) texts only.
    if (languageId != 0 && languageId != kLangEnglishUs && languageId != 0x400)
        return c.Done(R::Fail(err::kResourceLangNotFound));
    for (const Message& m : kMessages)
        if (m.code == code) return R::Ok(std::string(m.text) + "\r\n");
    return c.Done(R::Fail(err::kMrMidNotFound));
}

// ---------------------------------------------------------------- user32

std::string Machine::LoadStringA(uint32_t id) {
    Lock g(mutex_);
    s_->Begin("LoadStringA", std::to_string(id), false);
    auto it = s_->strings.find(id);
    return it == s_->strings.end() ? std::string() : it->second;
}

Status Machine::ExitWindowsEx(uint32_t flags, uint32_t reason) {
    Lock g(mutex_);
    State::Call c = s_->Begin("ExitWindowsEx", Hex(flags) + "|" + Hex(reason));
    if (c.fault) return c.Done(Status::Fail(*c.fault));
    if (!s_->shutdownEnabled) return c.Done(Status::Fail(kErrPrivilegeNotHeld));
    s_->restarts.push_back(flags);
    UiEvent e;
    e.kind = "restart";
    e.value = flags;
    s_->ui.push_back(e);
    return Status::Ok();
}

int Machine::AfxMessageBox(const std::string& text, uint32_t style) {
    Lock g(mutex_);
    s_->Begin("AfxMessageBox", text, false);
    int answer = s_->Answer(style);
    s_->ui.push_back(UiEvent{"box", text, s_->appName, style, answer});
    return answer;
}

int Machine::MessageBoxA(uintptr_t owner, const std::string& text, const std::string& caption,
                         uint32_t style) {
    (void)owner;
    Lock g(mutex_);
    s_->Begin("MessageBoxA", text, false);
    int answer = s_->Answer(style);
    s_->ui.push_back(UiEvent{"box", text, caption, style, answer});
    return answer;
}

}  // namespace zep::sim
