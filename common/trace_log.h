// The trace log: one plain-text file per program in the folder Temp at the
// root of the system drive (or the file /log names), a time-stamped line per
// call, on disk at once.
#pragma once

#include <cstdarg>
#include <string>

#include "common/format.h"
#include "platform/platform.h"
#include "platform/routine.h"

namespace zep {

// The folder and the file are never links: a standard user can make the
// folder, and the programs run as administrator. A link found in place of
// the Temp folder or of the file is removed (the link itself, never what it
// points to) and a real folder or file takes its place; a /log folder that
// is a link is not used at all (it is the caller's, not ours to remove).
// The folder and the file stay open, without delete sharing, so neither
// can be swapped for a link while the program runs; the open file also
// tells a second program started meanwhile that this file is being written.
class TraceLog {
public:
    // fileName is appended to the folder, e.g. "\\ZEP_Installer.txt".
    TraceLog(Kernel& kernel, std::string fileName);
    ~TraceLog();
    TraceLog(const TraceLog&) = delete;
    TraceLog& operator=(const TraceLog&) = delete;

    // The file /log names, used instead of the one in the Temp folder. Set
    // before the log is opened.
    void SetPath(std::string path) { customPath_ = std::move(path); }

    enum class Start {
        Fresh,         // the run's own log: the previous run's file is deleted
        Append,        // adds to the file that is there (a refused start)
        AppendIfFree,  // adds only when no other program has the file open for
                       // writing, and then keeps others from writing it meanwhile
    };
    // The start of a program opens its log; true when lines can be written.
    // From then on OpenLog keeps this file.
    bool Open(Start start);

    // The sequences' call: builds the path, makes the Temp folder and
    // deletes the previous run's file, unless the program's start has
    // opened the log already. Returns the result of that deletion (callers
    // ignore it). Without a real folder the program runs without a log.
    bool OpenLog();

    // Nothing more is written, and the file is let go.
    void Close();

    // Appends one line; dropped silently before OpenLog or when the file
    // cannot be opened. Never pass data as the format.
    void WriteLog(const char* format, ...) ZEP_PRINTF(2, 3);
    void WriteLogV(const char* format, va_list args);

    const std::string& path() const { return path_; }

    // The message part of a line is cut to this many characters.
    static constexpr size_t kMaxMessage = 1013;

private:
    bool OpenAt(Start start);
    // Opens `folder` itself (not what a link there points to); true, with
    // the handle held, when it is a real folder. A link there is replaced by
    // a real folder when replaceLink is set.
    bool HoldFolder(const std::string& folder, bool replaceLink);
    // Opens the log file itself; a link or a second name of another file is
    // removed and the file made again, once.
    Result<HFile> OpenFile(uint32_t share, bool checkPath);
    // The run's own handle of the log file (OpenFile, the path checked too).
    Result<HFile> HoldFile();
    bool IsLink(HFile file, bool folder);
    // The path's own attributes say it is a link. (A handle opened through
    // a link that Windows cannot open as such, as Wine's Unix links, shows
    // its target's.)
    bool PathIsLink(const std::string& path);
    void CloseHandles();

    Kernel& kernel_;
    std::string fileName_;
    std::string customPath_;
    std::string path_;
    HFile folder_ = HFile::Invalid;
    HFile file_ = HFile::Invalid;  // held for the run
    bool exclusive_ = false;       // lines go through file_, which no one else may write
    bool openedByStart_ = false;
    bool deleted_ = false;
};

// A routine that the log shows as a block: it names the routine for the
// call sites (RoutineScope), writes "\r\n" and "<name> BEGIN" on entry and
// "<name> END" on every way out. A process exit inside it writes no END, as
// a real exit, which ends the program where it stands, writes none.
class LoggedRoutine {
public:
    LoggedRoutine(TraceLog& log, const char* name) : LoggedRoutine(log, name, name) {}
    // `scope` names the call sites of a routine that shares its log name
    // with another one.
    LoggedRoutine(TraceLog& log, const char* scope, const char* logName);
    ~LoggedRoutine();
    LoggedRoutine(const LoggedRoutine&) = delete;
    LoggedRoutine& operator=(const LoggedRoutine&) = delete;

    // The END line now, where it comes before a later step of the routine;
    // the way out then writes none.
    void End();

private:
    RoutineScope scope_;
    TraceLog& log_;
    const char* name_;
    bool ended_ = false;
    // Exceptions in flight at the start, where there are any (the simulated
    // machine's process exit is one; the programs have none).
    int unwinding_ = 0;
};

}  // namespace zep
